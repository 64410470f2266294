// Start-up pieces of the main program: the installer hand-over, the saved volumes, the work left until the
// login dialog stands.
#include <gtest/gtest.h>

#include <glib.h>
#include <sys/stat.h>

#include "LobbyTestEnv.h"
#include "LoginDlg.h"
#include "StartUp.h"
#include "UiTestSupport.h"
#include "ZqLib.h"

TEST(StartUp, SilentUpdateStartsOnlyANewerInstallerOfTheDownloadFolder) {
    lobbytest::SetUpOnce();
    IConfigManager* cfg = AfxGetConfigManager();
    std::string folder = Dir::GetZqPath(113);
    auto write = [&](const std::string& name, mode_t mode) {
        std::string path = Dir::ToNativePath(folder + name);
        ASSERT_TRUE(Dir::WriteFileAtomic(folder + name, "#!/bin/sh\n"));
        chmod(path.c_str(), mode);
    };
    write("setup.run", 0755);
    write("plain.txt", 0644);
    struct Row {
        bool silent;
        const char* file;
        const char* running;
        const char* downloaded;
        int startResult;
        bool started, result;
    } rows[] = {
        {false, "setup.run", "1.0.0.1", "1.0.0.2", 0, false, false},
        {true, "", "1.0.0.1", "1.0.0.2", 0, false, false},
        {true, "missing.run", "1.0.0.1", "1.0.0.2", 0, false, false},
        {true, "plain.txt", "1.0.0.1", "1.0.0.2", 0, false, false},            // not executable
        {true, "../update/setup.run", "1.0.0.1", "1.0.0.2", 0, false, false},  // not a bare name
        {true, "/bin/sh", "1.0.0.1", "1.0.0.2", 0, false, false},
        {true, "setup.run", "1.0.0.2", "1.0.0.2", 0, false, false},  // not newer
        {true, "setup.run", "1.0.0.1", "1.0.2", 0, false, false},    // three parts read as 0
        {true, "setup.run", "1.0.0.1", "1.0.0.2", -1, true, false},  // failed to start: run on
        {true, "setup.run", "1.0.0.1", "1.0.0.2", 0, true, true},
    };
    for (const Row& r : rows) {
        cfg->SetBool("UpdateData", "SiLentUpdate", r.silent);
        cfg->SetString("UpdateData", "InstallSoftware", r.file, 1);
        cfg->SetString("config", "version", r.running, 1);
        cfg->SetString("Update", "version", r.downloaded, 1);
        std::string cmdline;
        bool result = RunSilentUpdate([&](const std::string& c, const std::string&) {
            cmdline = c;
            return r.startResult;
        });
        EXPECT_EQ(result, r.result) << r.file;
        EXPECT_EQ(!cmdline.empty(), r.started) << r.file;
        if (r.started) {
            EXPECT_EQ(cmdline, "\"" + folder + "setup.run\"");
        }
    }
    cfg->SetBool("UpdateData", "SiLentUpdate", false);
}

TEST(StartUp, SavedVolumes) {
    lobbytest::SetUpOnce();
    IConfigManager* cfg = AfxGetConfigManager();
    struct Row {
        const char* mute;
        const char* value;
        int volume;
    } rows[] = {{nullptr, nullptr, 80}, {"0", "35", 35}, {"1", "35", 0},
                {"0", "150", 80},       {"0", "-1", 80}, {"0", "100", 100}};
    for (const Row& r : rows) {
        cfg->SetString("RoomAudioSetSection", "AudioMute", r.mute, 1);
        cfg->SetString("RoomAudioSetSection", "AudioValue", r.value, 1);
        cfg->SetString("RoomAudioSetSection", "MicMute", r.mute, 1);
        cfg->SetString("RoomAudioSetSection", "MicValue", r.value, 1);
        RoomAudioVolumes v = ReadRoomAudioSettings();
        EXPECT_EQ(v.playback, r.volume) << (r.value ? r.value : "none");
        EXPECT_EQ(v.microphone, r.volume);
    }
}

TEST(StartUp, DebugLogLevelSelectsTheDumpTypeOnly) {
    lobbytest::SetUpOnce();
    IConfigManager* cfg = AfxGetConfigManager();
    LogSetDebug(false);
    struct Row {
        const char* level;
        bool on;
    } rows[] = {{nullptr, false}, {"", false}, {"Debug", false}, {"info", false}, {"debug", true}};
    for (const Row& r : rows) {
        cfg->SetString("LogMsg", "realloglevel", r.level, 1);
        EXPECT_EQ(IsDebugLogLevel(), r.on) << (r.level ? r.level : "(none)");
        EXPECT_FALSE(LogDebugOn()) << (r.level ? r.level : "(none)");  // detailed logging stays off
    }
    cfg->SetString("LogMsg", "realloglevel", nullptr, 1);
}

// What start-up leaves until the login dialog stands runs once: after the dialog's first paint, at once
// when it starts hidden, at the latest when it ends unpainted.
TEST(StartUp, WorkLeftForTheLoginDialogRunsOnceItIsDrawn) {
    lobbytest::SetUpOnce();
    const struct Row { bool tray, paint; } rows[] = {{false, true}, {false, false}, {true, true}};
    for (const Row& r : rows) {
        CLoginDlg login(nullptr, r.tray ? CLoginDlg::kModeTray : CLoginDlg::kModeNormal);
        int ran = 0, beforePaint = -1, afterPaint = -1;
        duitest::RunLater(20, [&] {
            PumpMessagesFor(50);
            beforePaint = ran;
            if (r.paint) {
                ::SendMessage(login.GetHWND(), WM_PAINT, 0, 0);
                ::SendMessage(login.GetHWND(), WM_PAINT, 0, 0);
                PumpMessagesFor(50);
            }
            afterPaint = ran;
            login.Close(2);
        });
        EXPECT_EQ(RunLoginDialog(login, r.tray, [&] { ++ran; }), 2) << r.tray << r.paint;
        EXPECT_EQ(beforePaint, r.tray ? 1 : 0) << r.tray << r.paint;
        EXPECT_EQ(afterPaint, r.tray || r.paint ? 1 : 0) << r.tray << r.paint;
        EXPECT_EQ(ran, 1) << r.tray << r.paint;
    }
}

// The program's toolkit objects come from malloc, set before GLib started (its slice allocator would keep
// what they free).
TEST(StartUp, GLibSlicesComeFromMalloc) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    EXPECT_EQ(g_slice_get_config(G_SLICE_CONFIG_ALWAYS_MALLOC), 1);
#pragma GCC diagnostic pop
}
