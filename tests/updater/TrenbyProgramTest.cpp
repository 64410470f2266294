// The whole pass: in process with nothing to update, and the program Trenby against the local service,
// posting to the test window across processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sys/stat.h>

#include "TestUtil.h"
#include "Trenby.h"
#include "UpdaterTestEnv.h"

extern char** environ;

using namespace updtest;

namespace {

const char kVersion[] = "Varnet_1.0.0.1_release";

class TrenbyTest : public UpdaterTest {
protected:
    void SetUp() override {
        UpdaterTest::SetUp();
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("served"), fs::copy_options::recursive);
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", Path("install/res"),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        service_.SetCatalogueFolder(Path("served").string());
        UseServiceConfig(kVersion, "Varnet_1.0.0.1_FORCE.sh");
        service_.SetConfigText(service_.ConfigIni(kVersion, "Varnet_1.0.0.1_FORCE.sh"));
        config_->SetString("config", "version", kVersion, 1);
        PublishMainWindow();
    }
};

// Runs a program of the build with `args`; its exit status, or -1 when it did not end within 60 s.
int RunProgram(const char* name, std::vector<std::string> args) {
    std::string program = std::string(VARNET_BINARY_DIR) + "/bin/" + name;
    std::vector<char*> argv = {program.data()};
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = -1;
    bool ended = PumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// The service offers a silent installer: Trenby fetches it, and the next start of Varnet runs it and ends
// before it opens any window. A silent installer that went missing is fetched again.
TEST_F(TrenbyTest, ASilentInstallerRunsAtTheNextStartOfTheProgram) {
    if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
    const std::string name = "Varnet_1.0.0.2_SILENT.sh";
    const fs::path marker = Path("installed.txt");
    const std::string installer = "#!/bin/sh\necho installed > '" + marker.string() + "'\n";
    service_.SetInstaller(name, installer);
    service_.SetConfigText(service_.ConfigIni("Varnet_1.0.0.2_release", name));

    ASSERT_EQ(RunProgram("Trenby", {"trayrun"}), 0);
    config_->Reload();
    EXPECT_EQ(Get("UpdateData", "SiLentUpdate"), "1");
    struct stat st {};
    ASSERT_EQ(stat(Path("data/update/" + name).c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(Get("UpdateData", "InstallSoftware"), name);

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunProgram("Varnet", {}), 0);
    EXPECT_TRUE(PumpUntil([&] { return fs::exists(marker); }, 20000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(50));

    // The installer is gone before it could run: the updater fetches it again instead of waiting for ever.
    fs::remove(Path("data/update/" + name));
    auto fetches = [&] {
        int n = 0;
        for (const auto& r : service_.Http().Requests()) n += r.path == "/dl/" + name;
        return n;
    };
    int fetched = fetches();
    ASSERT_EQ(RunProgram("Trenby", {"trayrun"}), 0);
    config_->Reload();
    EXPECT_EQ(fetches(), fetched + 1);
    EXPECT_TRUE(fs::exists(Path("data/update/" + name)));
    EXPECT_EQ(Get("UpdateData", "SiLentUpdate"), "1");
}

TEST_F(TrenbyTest, NothingToUpdatePostsNoMessage) {
    Run([&] { RunTrenby(env_, "-x"); });
    EXPECT_EQ(service_.ConfigQueries().size(), 1u);
    EXPECT_EQ(service_.StatLines().size(), 1u);
    EXPECT_TRUE(main_.got.empty());
    EXPECT_EQ(Get("UpdateData", "LastUpdateDay"), std::to_string(kStartTime / 86400));
}

TEST_F(TrenbyTest, ProgramTellsTheMainWindowWhatChanged) {
    std::string version = ReadText(Path("served/version.conf"));
    size_t at = version.find("\"gift\"");
    ASSERT_NE(at, std::string::npos);
    at = version.find("\"version\": 1", at);
    version.replace(at, 12, "\"version\": 2");
    WriteText(Path("served/version.conf"), version);

    std::string program = std::string(VARNET_BINARY_DIR) + "/bin/Trenby";
    std::vector<char*> argv = {program.data(), const_cast<char*>("trayrun"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    int status = -1;
    bool ended = PumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 60000);
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    PumpUntil([&] { return main_.Count(WM_RES_CHANGED) > 0; }, 5000);
    ASSERT_EQ(main_.got.size(), 1u);
    EXPECT_EQ(main_.got[0].msg, static_cast<UINT>(WM_RES_CHANGED));
    EXPECT_EQ(main_.got[0].w, 0x2u);
    ASSERT_EQ(service_.StatLines().size(), 1u);
    EXPECT_NE(service_.StatLines()[0].find("|type:2"), std::string::npos);
    EXPECT_EQ(ReadText(Path("install/res/version.conf")), AsServed(version));
    EXPECT_TRUE(fs::exists(Path("data/log/Trenby.txt")));
}

// A temporary folder that is a link to another folder: the pass removes the link, never what it points to, and
// writes nothing there.
TEST_F(TrenbyTest, LinkedTemporaryFolderIsNotFollowed) {
    std::string version = ReadText(Path("served/version.conf"));
    size_t at = version.find("\"gift\"");
    ASSERT_NE(at, std::string::npos);
    at = version.find("\"version\": 1", at);
    version.replace(at, 12, "\"version\": 2");
    WriteText(Path("served/version.conf"), version);
    fs::create_directories(Path("outside"));
    WriteText(Path("outside/keep.txt"), "mine");
    fs::create_directories(Path("data/update"));
    fs::create_directory_symlink(Path("outside"), Path("data/update/res"));
    Run([&] { RunTrenby(env_, "-x"); });
    EXPECT_EQ(ReadText(Path("outside/keep.txt")), "mine");
    size_t entries = 0;
    for (auto it = fs::directory_iterator(Path("outside")); it != fs::directory_iterator(); ++it) ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_EQ(ReadText(Path("install/res/version.conf")), AsServed(version));
}
