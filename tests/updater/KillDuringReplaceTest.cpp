// An updater killed while it replaces config.ini, a catalogue conf or the version file leaves the old or
// the new file, never a broken one. The updater runs in a child process that kills itself at a chosen point:
// this test program started again on the same test, with VARNET_KILL_CHILD naming the job, the file and the
// point (a forked child of this threaded program could hang on a lock another thread held at the fork).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <vector>

#include "ClientDataUpdate.h"
#include "ResUpdate.h"
#include "UpdaterTestEnv.h"
#include "UpdaterUtil.h"
#include "ZqLib.h"

extern char** environ;

using namespace updtest;

namespace {

constexpr char kChildVar[] = "VARNET_KILL_CHILD";  // "<job>\n<target>\n<point>\n<root>"

class KillTest : public UpdaterTest {
protected:
    void SetUp() override {
        if (const char* child = getenv(kChildVar)) RunAsChild(child);
        UpdaterTest::SetUp();
    }

    // The child: the parent's folders and service, the job run to its kill or its end.
    [[noreturn]] void RunAsChild(const std::string& job) {
        std::vector<std::string> f;
        std::istringstream lines(job);
        for (std::string line; std::getline(lines, line);) f.push_back(line);
        if (f.size() != 4) _exit(5);
        SetUpIn(f[3], false);
        if (HasFatalFailure()) _exit(6);
        const std::string target = f[1], point = f[2];
        env_.fault = [&](const char* p, const std::string& path) {
            if (point == p && fs::path(path).filename() == target) raise(SIGKILL);
        };
        if (f[0] == "config") CClientDataUpdate(env_).DownloadServerConfig();
        else if (f[0] == "catalogue") CResUpdateMgr(env_).Update();
        else _exit(4);
        _exit(0);
    }

    // Runs `job` ("config" or "catalogue") in a child that dies by SIGKILL at `point` of the replacement of
    // a file named `target` (no kill when point is empty). True when the child ended as planned.
    bool RunChild(const std::string& job, const std::string& target, const std::string& point) {
        const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::vector<std::string> args{"updater_tests",
                                      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()};
        std::vector<std::string> env{std::string(kChildVar) + "=" + job + "\n" + target + "\n" + point + "\n" +
                                     root_.string()};
        for (char** e = environ; *e; ++e)
            if (strncmp(*e, kChildVar, sizeof kChildVar - 1) != 0) env.push_back(*e);
        std::vector<char*> argv, envp;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::fflush(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            execve("/proc/self/exe", argv.data(), envp.data());
            _exit(127);
        }
        if (pid < 0) return false;
        // A child that hangs is killed after two minutes and counts as failed.
        int status = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        pid_t got = 0;
        while ((got = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) usleep(10000);
        if (got == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the updater child did not end within two minutes";
            return false;
        }
        if (got != pid) return false;
        EXPECT_TRUE(point.empty() || WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
        return point.empty() ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                             : WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
};

}  // namespace

TEST_F(KillTest, ConfigIniIsOldOrNew) {
    const std::string oldIni = "[Update]\nversion=Varnet_1.0.0.1_r\n";
    const std::string newIni = "[Update]\nversion=Varnet_2.0.0.0_r\n" + std::string(120, ';');
    config_->SetString("ZqServerList", "ConfigSvrUrl", service_.BaseUrl().c_str(), 1);
    service_.SetConfigText(newIni);
    for (const char* point : {"replace-write", "replace-rename", ""}) {
        WriteText(Path("data/config.ini"), oldIni);
        ASSERT_TRUE(RunChild("config", "config.ini", point)) << point;
        EXPECT_EQ(ReadText(Path("data/config.ini")), *point ? oldIni : newIni) << point;
    }
}

TEST_F(KillTest, CatalogueAndVersionFileAreOldOrNew) {
    fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("served"), fs::copy_options::recursive);
    service_.SetCatalogueFolder(Path("served").string());
    config_->SetString("ZqServerList", "ResUpdateVersionUrl", service_.VersionUrl().c_str(), 1);
    std::string served = ReadText(Path("served/version.conf"));
    size_t at = served.find("\"version\": 1");  // face
    ASSERT_NE(at, std::string::npos);
    served.replace(at, 12, "\"version\": 2");
    WriteText(Path("served/version.conf"), served);
    std::string newFace = ReadText(Path("served/face.conf")) + "\n";
    WriteText(Path("served/face.conf"), newFace);

    struct Row {
        const char* target;
        const char* point;
        bool newFace, newVersion;
    } rows[] = {
        {"face.conf", "replace-write", false, false},
        {"face.conf", "replace-rename", false, false},
        {"version.conf", "replace-write", true, false},
        {"version.conf", "replace-rename", true, false},
        {"", "", true, true},
    };
    for (const Row& r : rows) {
        fs::remove_all(Path("install/res"));
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("install/res"), fs::copy_options::recursive);
        std::string oldFace = ReadText(Path("install/res/face.conf"));
        std::string oldVersion = ReadText(Path("install/res/version.conf"));
        ASSERT_TRUE(RunChild("catalogue", r.target, r.point)) << r.target << r.point;
        std::string face = ReadText(Path("install/res/face.conf"));
        std::string version = ReadText(Path("install/res/version.conf"));
        EXPECT_EQ(face, r.newFace ? AsServed(newFace) : oldFace) << r.target << " " << r.point;
        Json::Value v;
        EXPECT_TRUE(ParseJson(version.data(), version.size(), v)) << r.target << " " << r.point;
        EXPECT_EQ(version == oldVersion, !r.newVersion) << r.target << " " << r.point;
    }
}
