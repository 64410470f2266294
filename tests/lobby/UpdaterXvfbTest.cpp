// The lobby frame on the test display driven by the real updater Trenby against the local update service:
// a forced download shows the prompt with its progress and ends it; a changed gift catalogue makes the
// frame's catalogue plug-in reload the gift catalogue and nothing else. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gdk/gdk.h>
#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "CatalogRecords.h"
#include "IDataHalvec.h"
#include "LobbyTestEnv.h"
#include "UiTestSupport.h"
#include "UIBackendGtk.h"
#include "Win32.h"
#include "ZqLib.h"
#include "UpdateService.h"
#include "VarnetFrameWnd.h"
#include "ZqMusicCore.h"
#include "TestUtil.h"

using namespace DuiLib;

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

class UpdaterXvfbTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
        const std::string tmpl = testsupport::MakeTempDir("varnet-lobby-update");
        ASSERT_FALSE(tmpl.empty());
        root_ = tmpl;
        // An installation of its own (the updater writes its catalogue), the build's programs beside it.
        fs::path bin = VARNET_BINARY_DIR "/bin";
        fs::create_directories(root_ / "install");
        for (const auto& e : fs::directory_iterator(bin))
            if (e.path().filename() != "res") fs::create_symlink(e.path(), root_ / "install" / e.path().filename());
        fs::copy(bin / "res", root_ / "install/res", fs::copy_options::recursive);
        fs::create_directories(root_ / "run");
        fs::permissions(root_ / "run", fs::perms::owner_all, fs::perm_options::replace);
        setenv("VARNET_INSTALL_DIR", (root_ / "install").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
        lobbytest::SetUpOnce();
        ASSERT_TRUE(UIBackendGtkInit()) << "cannot open display " << getenv("DISPLAY");
        data_ = Dir::ToNativePath(Dir::GetZqPath(107));
        ASSERT_TRUE(testenv::PrepareChangedGiftCatalogue((bin / "res").string(), (root_ / "served").string()));
        service_.SetCatalogueFolder((root_ / "served").string());
        ASSERT_TRUE(service_.Start());
        rm_ = new lobbytest::RecordingRoomManager;
        frame_ = std::make_unique<CVarnetFrameWnd>(std::unique_ptr<CRoomManager>(rm_));
    }
    void TearDown() override {
        if (frame_ && ::IsWindow(frame_->GetHWND())) ::DestroyWindow(frame_->GetHWND());
        frame_.reset();
        service_.Stop();
        SetWindowBackendFactory(nullptr);
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }

    // The server configuration, both as the current one and as the service's answer.
    void UseConfig(const std::string& ini) {
        WriteText(fs::path(data_) / "config.ini", ini);
        service_.SetConfigText(ini);
        AfxGetConfigManager()->Reload();
    }

    // Runs the program Trenby of the installation as the main program starts it, while this thread handles
    // the windows; true when it ended in time with 0.
    bool RunTrenby() {
        std::string program = (root_ / "install/Trenby").string();
        std::vector<char*> argv = {program.data(), nullptr};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addchdir_np(&fa, (root_ / "install").c_str());
        pid_t pid = -1;
        int rc = posix_spawn(&pid, program.c_str(), &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        if (rc != 0) return false;
        int status = -1;
        bool ended = PumpUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 90000);
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        PumpMessagesFor(100);  // messages still under way
        return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

    std::string Log(const char* file) { return ReadText(fs::path(data_) / "log" / file); }

    fs::path root_;
    std::string data_;
    testenv::UpdateService service_;
    lobbytest::RecordingRoomManager* rm_ = nullptr;
    std::unique_ptr<CVarnetFrameWnd> frame_;
};

IDataHalvec* Halvec() {
    return static_cast<IDataHalvec*>(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME));
}

}  // namespace

TEST_F(UpdaterXvfbTest, ForcedDownloadShowsThePromptWithItsProgress) {
    // A newer forced version, downloaded slowly. Today's install is used up, so the updater does not go
    // on to end the main programs of this user and run the installer.
    std::string ini = service_.ConfigIni("Varnet_1.0.0.2_release", "Varnet_1.0.0.2_FORCE.sh");
    size_t at = ini.find("InstallTimesLimit=0");
    ASSERT_NE(at, std::string::npos);
    ini.replace(at, 19, "InstallTimesLimit=1");
    UseConfig(ini);
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetInt("UpdateData", "LastInstallDay", (int)(time(nullptr) / 86400));
    cfg->SetInt("UpdateData", "InstallTimesDaily", 1);
    service_.SetInstaller("Varnet_1.0.0.2_FORCE.sh", "#!/bin/sh\n" + std::string(96 * 1024, '#') + "\n", 32 * 1024);

    ASSERT_NE(frame_->Create(nullptr, "泽秀美女视频", UI_WS_POPUP, 0, 0, 0, 800, 572), nullptr);
    frame_->ShowWindow(true, true);
    // Watches the prompt from inside its modal loop.
    struct Watcher {
        CVarnetFrameWnd* frame;
        CForceUpdateTipDlg* prompt;
        std::vector<int> percents;
        std::vector<std::string> texts;
        bool frameHidden = true;
        bool shot = false;
        void Tick() {
            if (!::IsWindow(prompt->GetHWND()) || !prompt->IsWindowVisible()) return;
            auto* bar = static_cast<CProgressUI*>(UITest::Find(prompt, "UpdateSoftProgress"));
            CControlUI* label = UITest::Find(prompt, "TimeSurplusLabel");
            int v = bar ? bar->GetValue() : -1;
            std::string t = label ? label->GetText().c_str() : "";
            if (percents.empty() || percents.back() != v) percents.push_back(v);
            if (texts.empty() || texts.back() != t) texts.push_back(t);
            frameHidden = frameHidden && !frame->IsWindowVisible();
            if (shot || v <= 0 || v >= 100) return;
            shot = true;
            RECT rc = prompt->GetWindowRect();
            if (GdkPixbuf* pb = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), rc.left, rc.top,
                                                           rc.right - rc.left, rc.bottom - rc.top)) {
                fs::create_directories(VARNET_BINARY_DIR "/screenshots");
                gdk_pixbuf_save(pb, VARNET_BINARY_DIR "/screenshots/lobby_force_update.png", "png", nullptr, nullptr);
                g_object_unref(pb);
            }
        }
    } w{frame_.get(), &frame_->GetForceUpdateDlg()};
    guint source = g_timeout_add(
        50,
        [](gpointer p) -> gboolean {
            static_cast<Watcher*>(p)->Tick();
            return G_SOURCE_CONTINUE;
        },
        &w);
    EXPECT_TRUE(RunTrenby());
    g_source_remove(source);
    CForceUpdateTipDlg& prompt = frame_->GetForceUpdateDlg();
    const std::vector<int>& percents = w.percents;
    const std::vector<std::string>& texts = w.texts;
    bool frameHidden = w.frameHidden;

    EXPECT_FALSE(::IsWindow(prompt.GetHWND()) && prompt.IsWindowVisible())
        << "the updater's end did not close the prompt";
    EXPECT_TRUE(frameHidden);
    ASSERT_GE(percents.size(), 3u) << "too little progress seen";
    for (size_t i = 1; i < percents.size(); ++i) EXPECT_GE(percents[i], percents[i - 1]);
    bool between = false;
    for (int p : percents) between = between || (p > 0 && p < 100);
    EXPECT_TRUE(between);
    bool seconds = false;
    for (const std::string& t : texts)
        seconds = seconds || (t.rfind("还需 ", 0) == 0 && t.find("秒") != std::string::npos);
    EXPECT_TRUE(seconds);
    EXPECT_TRUE(fs::exists(fs::path(data_) / "update/Varnet_1.0.0.2_FORCE.sh"));
    EXPECT_NE(Log("Trenby.txt").find("over daily limit"), std::string::npos);
}

TEST_F(UpdaterXvfbTest, ChangedGiftCatalogueIsReloadedAlone) {
    UseConfig(service_.ConfigIni("Varnet_1.0.0.1_release", ""));
    ASSERT_NE(frame_->Create(nullptr, "泽秀美女视频", UI_WS_POPUP, 0, 0, 0, 800, 572), nullptr);
    frame_->ShowWindow(true, true);
    IDataHalvec* halvec = Halvec();
    ASSERT_NE(halvec, nullptr) << "the catalogue plug-in did not load";
    GiftItem gift;
    CatalogGroupInfo group;
    LevelItem level;
    EXPECT_FALSE(halvec->GetGiftAndGroup(19999, gift, group));
    ASSERT_TRUE(halvec->GetLevel(100, level));
    // The level catalogue changes on disk behind the program's back: only a reload would show it.
    WriteText(root_ / "install/res/level.conf", "{\"levellist\": []}");

    ASSERT_TRUE(RunTrenby());
    ASSERT_TRUE(PumpUntil(
        [&] { return Log("VarnetFrame.txt").find(Charset::GbkToUtf8("资源更新 mask=0x2")) != std::string::npos; },
        5000));
    EXPECT_TRUE(halvec->GetGiftAndGroup(19999, gift, group));
    EXPECT_TRUE(fs::exists(root_ / "install/res/gift/19999.png"));
    EXPECT_TRUE(halvec->GetLevel(100, level)) << "a catalogue that did not change was reloaded";
}
