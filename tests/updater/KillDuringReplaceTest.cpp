// An updater killed while it replaces config.ini, a catalogue conf or the version file leaves the old or
// the new file, never a broken one. The updater runs in a forked child that kills itself at a chosen point.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "ClientDataUpdate.h"
#include "ResUpdate.h"
#include "UpdaterTestEnv.h"
#include "UpdaterUtil.h"
#include "ZqLib.h"

using namespace updtest;

namespace {

class KillTest : public UpdaterTest {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // The child of fork() runs the whole job in a copy of a threaded program: under TSan it finds
        // locks that other threads held at the fork, and hangs.
        GTEST_SKIP() << "ThreadSanitizer: a forked child of a threaded program cannot run the updater's job";
#endif
        UpdaterTest::SetUp();
    }
    // Runs `job` in a child that dies by SIGKILL at `point` of the replacement of a file named `target`
    // (no kill when point is empty). True when the child ended as planned.
    bool RunChild(const std::function<void()>& job, const std::string& target, const std::string& point) {
        pid_t pid = fork();
        if (pid == 0) {
            env_.fault = [&](const char* p, const std::string& path) {
                if (point == p && fs::path(path).filename() == target) raise(SIGKILL);
            };
            job();
            _exit(0);
        }
        if (pid < 0) return false;
        // A child that hangs is killed after a minute and counts as failed.
        int status = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        pid_t got = 0;
        while ((got = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < end) usleep(10000);
        if (got == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the updater child did not end within a minute";
            return false;
        }
        if (got != pid) return false;
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
        ASSERT_TRUE(RunChild([&] { CClientDataUpdate(env_).DownloadServerConfig(); }, "config.ini", point)) << point;
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
        ASSERT_TRUE(RunChild([&] { CResUpdateMgr(env_).Update(); }, r.target, r.point)) << r.target << r.point;
        std::string face = ReadText(Path("install/res/face.conf"));
        std::string version = ReadText(Path("install/res/version.conf"));
        EXPECT_EQ(face, r.newFace ? AsServed(newFace) : oldFace) << r.target << " " << r.point;
        Json::Value v;
        EXPECT_TRUE(ParseJson(version.data(), version.size(), v)) << r.target << " " << r.point;
        EXPECT_EQ(version == oldVersion, !r.newVersion) << r.target << " " << r.point;
    }
}
