// Process state: tokens, server time, RTMP connection text, helpers, updater start.
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "GlobalData.h"
#include "IDataHalvec.h"
#include "NullHalvec.h"
#include "ProtocolTestEnv.h"
#include "ZqModConfig.h"

namespace {

std::atomic<uint32_t> g_tick{0};

class GlobalData : public ::testing::Test {
protected:
    void SetUp() override {
        prototest::SetUpOnce();
        IConfigManager* cfg = AfxGetConfigManager();
        cfg->SetInt("WsNgb", "NgbEnabled", 0);
    }
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
};

TEST_F(GlobalData, RequestTokenGolden) {
    g.SetRequestCounter(7);
    std::string tm, mac, token;
    EXPECT_EQ(g.MakeRequestToken(tm, 3003, mac, token), 1);
    EXPECT_EQ(tm, "17000000007");
    EXPECT_EQ(mac, prototest::kMac);
    EXPECT_EQ(token, "ce0e61def78322c585a9754a57b9b237");
    std::string tm2;
    g.MakeRequestToken(tm2, 3003, mac, token);
    EXPECT_EQ(tm2, "17000000008");

    uint32_t webTm = 0;
    g.MakeWebLoginToken(webTm, token);
    EXPECT_EQ(webTm, 1700000000u);
    EXPECT_EQ(token, "d7471cc549499913f901c10ec93f2e47");
}

TEST_F(GlobalData, TmIsUniqueAcrossThreads) {
    std::vector<std::string> a, b;
    auto run = [this](std::vector<std::string>& out) {
        for (int i = 0; i < 10000; ++i) {
            std::string tm, mac, token;
            g.MakeRequestToken(tm, 1, mac, token);
            out.push_back(tm);
        }
    };
    std::thread t1(run, std::ref(a)), t2(run, std::ref(b));
    t1.join();
    t2.join();
    std::set<std::string> all(a.begin(), a.end());
    all.insert(b.begin(), b.end());
    EXPECT_EQ(all.size(), 20000u);
}

TEST_F(GlobalData, ServerTime) {
    CGlobalDataApp local;  // a fresh object: no base yet
    local.SetTimeSource([] { return int64_t(1600000000); });
    local.SetTickSource([] { return g_tick.load(); });
    EXPECT_EQ(local.GetServerTime(), 1600000000);
    g_tick = 0xFFFFF000u;  // wraps 4096 ms later
    local.SyncServerTime(1700000000);
    g_tick = 0xFFFFF000u + 2500;
    EXPECT_EQ(local.GetServerTime(), 1700000002);
    g_tick = 0x00000F00u;  // 7936 ms after the sync, across the wrap
    EXPECT_EQ(local.GetServerTime(), 1700000007);
    local.SyncServerTime(0);  // the local clock becomes the base
    EXPECT_EQ(local.GetServerTime(), 1600000000);
}

TEST_F(GlobalData, RtmpConnectionText) {
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetString("WsNgb", "PageUrl", "http://page/", 1);
    cfg->SetString("WsNgb", "PullBase", "rtmp://pull/vstar", 1);
    cfg->SetString("WsNgb", "PushBase", "rtmp://push/live", 1);
    cfg->SetString("WsNgb", "WsGet1", "rtmp://alt/get?k=1", 1);
    cfg->SetString("WsNgb", "WsPush1", "rtmp://alt/push", 1);
    const std::string q = "opstr=play&tm=5&uid=1001&roomid=77&Md5=m";
    struct Row {
        int ngb;
        std::string addr;
        std::string expected;
    };
    const Row rows[] = {
        {0, "rtmp://pull/vstar/77",
         "rtmp://pull/vstar/77?" + q + " live=1 swfUrl=http://page/ pageUrl=http://page/ conn=S:" + q},
        {1, "rtmp://pull/vstar/77",
         "rtmp://alt/get/77?" + q + "?k=1 live=1 swfUrl=http://page/ pageUrl=http://page/ conn=S:" + q},
        // The push alternative has no "?": the normal form.
        {1, "rtmp://push/live/77",
         "rtmp://push/live/77?" + q + " live=1 swfUrl=http://page/ pageUrl=http://page/ conn=S:" + q},
    };
    for (const Row& r : rows) {
        cfg->SetInt("WsNgb", "NgbEnabled", r.ngb);
        EXPECT_EQ(g.BuildRtmpUrl(r.addr, 5, "play", "m"), r.expected);
    }
    std::string noSlash = g.BuildRtmpUrl("noslash", 5, "play", "m");
    EXPECT_EQ(noSlash.rfind("noslash?opstr=play&tm=5&uid=1001&roomid=&Md5=m live=1", 0), 0u) << noSlash;
}

TEST_F(GlobalData, AccountResetAndCopies) {
    CGlobalDataApp s;
    s.UpdateAccount([](UserAccount& a) {
        a.userName = "u";
        a.nickname = "n";
        a.uid = 5;
        a.xiubiver = 9;
        a.loginType = 0;
    });
    UserAccount copy = s.GetAccount();
    s.ResetUserInfo();
    EXPECT_EQ(copy.nickname, "n");
    UserAccount a = s.GetAccount();
    EXPECT_TRUE(a.userName.empty());
    EXPECT_EQ(a.loginType, 2);
    EXPECT_EQ(a.uid, 0u);
    EXPECT_EQ(a.xiubiver, 0u);
    EXPECT_EQ(a.sex, 3u);
}

TEST_F(GlobalData, SigningKeysAreCut) {
    CGlobalDataApp s;
    s.SetSignKeys(std::string(40, 'a'), std::string(40, 'b'));
    EXPECT_EQ(std::string(s.KeyA()).size(), 22u);
    EXPECT_EQ(std::string(s.KeyB()).size(), 31u);
}

TEST_F(GlobalData, TextHelpers) {
    std::string t = "  a b  ";
    TrimString(t);
    EXPECT_EQ(t, "a b");
    t = "    ";
    TrimString(t);
    EXPECT_TRUE(t.empty());

    auto m = ParseKeyValueParams({"A=1", "b", "c=1=2", "Key=", "=v"});
    EXPECT_EQ(m.size(), 3u);  // "Key=" and "=v" split into two parts
    EXPECT_EQ(m["a"], "1");
    EXPECT_EQ(m.count("c"), 0u);
    EXPECT_EQ(m.count("b"), 0u);

    EXPECT_EQ(GetUtf8Length("中a"), 4u);
    std::string mac = GetFirstNetCardMac();
    EXPECT_TRUE(mac.empty() || mac.size() == 12u) << mac;
    EXPECT_NE(GetNoVideoBkPath().find("defaultbk_novideo.png"), std::string::npos);

    const std::pair<const char*, double> numbers[] = {{"12", 12}, {" 3.5", 3.5}, {"-2", -2},  {"7abc", 7},
                                                      {"", 0},    {"abc", 0},    {"1e999", 0}};
    for (auto& [text, value] : numbers) EXPECT_EQ(StringToDouble(text), value) << text;
}

TEST_F(GlobalData, AttentionRequestAndProgramIcon) {
    struct Desktop : IDesktopWindows {
        std::vector<FLASHWINFO> seen;
        bool Flash(const FLASHWINFO& info) override {
            seen.push_back(info);
            return true;
        }
    } desktop;
    HWND wnd = reinterpret_cast<HWND>(0x20);
    EXPECT_FALSE(FlashWindowUntilForeground(wnd));  // no desktop
    SetDesktopWindows(&desktop);
    EXPECT_TRUE(FlashWindowUntilForeground(wnd));
    SetDesktopWindows(nullptr);
    ASSERT_EQ(1u, desktop.seen.size());
    EXPECT_EQ(wnd, desktop.seen[0].hwnd);
    EXPECT_EQ(FLASHW_ALL | FLASHW_TIMERNOFG, desktop.seen[0].dwFlags);
    EXPECT_EQ(30u, desktop.seen[0].uCount);
    EXPECT_EQ(500u, desktop.seen[0].dwTimeout);

    g.LoadAppIcon();
    HICON icon = g.AppIcon();
    ASSERT_NE(nullptr, icon);
    g.LoadAppIcon();  // once
    EXPECT_EQ(icon, g.AppIcon());
    size_t size = 0;
    const unsigned char* png = IconImage(icon, &size);
    ASSERT_GT(size, 8u);
    EXPECT_EQ(0, memcmp(png, "\x89PNG\r\n\x1a\n", 8));
}

TEST_F(GlobalData, ChatFontRoundTrip) {
    ChatFontFormat f;
    f.effects = 3;
    f.fontSize = 240;
    f.fontColor = 0x123456;
    f.charSet = 134;
    std::string face = std::string(30, 'x') + "中";  // 32 bytes: the last character does not fit
    Charset::GbkCopy(f.faceName, sizeof f.faceName, "微软雅黑");
    SaveChatFontConfig(f, "RoomFontSetupChat");
    ChatFontFormat back;
    LoadChatFontConfig("RoomFontSetupChat", back);
    EXPECT_EQ(back.effects, 3);
    EXPECT_EQ(back.fontSize, 240);
    EXPECT_EQ(back.fontColor, 0x123456);
    EXPECT_EQ(back.charSet, 134);
    EXPECT_STREQ(back.faceName, "微软雅黑");

    AfxGetConfigManager()->SetString("RoomFontSetupTmpNotice", "FaceName", face.c_str(), 1);
    ChatFontFormat cut;
    cut.fontSize = 99;
    LoadChatFontConfig("RoomFontSetupTmpNotice", cut);
    EXPECT_EQ(std::string(cut.faceName), std::string(30, 'x'));
    EXPECT_EQ(cut.fontSize, 99);  // absent keys leave the field
}

// Starts the updater script `script` in `cwd` with one argument, as a running updater.
static pid_t RunUpdater(const std::string& script, const std::string& cwd, const char* arg) {
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(127);
        execl(script.c_str(), "Trenby", arg, static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

static bool WaitFile(const std::string& path) {
    for (int i = 0; i < 1000 && access(path.c_str(), F_OK) != 0; ++i) usleep(10000);
    return access(path.c_str(), F_OK) == 0;
}

TEST_F(GlobalData, StartUpdaterReplacesTheRunningOne) {
    const char* dir = getenv("VARNET_INSTALL_DIR");
    ASSERT_TRUE(dir);
    std::string folder = dir;
    std::string other = folder + "/other-install";
    std::filesystem::create_directories(other);
    std::string out = folder + "/updater.out";
    std::string script = folder + "/Trenby";
    unlink(out.c_str());  // left by an earlier run in the same folder
    unlink((other + "/updater.out").c_str());
    {
        // Writes its working folder, its arguments and its pid, then runs until ended.
        std::ofstream s(script);
        s << "#!/bin/sh\nf=\"$PWD/updater.out\"\npwd > \"$f.tmp\"\necho \"$@\" >> \"$f.tmp\"\necho $$ >> \"$f.tmp\"\n"
          << "mv \"$f.tmp\" \"$f\"\nwhile :; do sleep 0.1; done\n";
    }
    chmod(script.c_str(), 0755);
    // The updater of this installation, and one of another installation.
    pid_t old = RunUpdater(script, folder, "old");
    pid_t foreign = RunUpdater(script, other, "foreign");
    ASSERT_TRUE(WaitFile(out));
    ASSERT_TRUE(WaitFile(other + "/updater.out"));
    unlink(out.c_str());

    g.SetCommandLine("/trayrun");
    EXPECT_EQ(g.StartUpdater(), 1);
    int status = 0;
    EXPECT_EQ(waitpid(old, &status, 0), old);
    EXPECT_TRUE(WIFSIGNALED(status));

    ASSERT_TRUE(WaitFile(out));
    std::ifstream in(out);
    std::string cwd, args, pid;
    std::getline(in, cwd);
    std::getline(in, args);
    std::getline(in, pid);
    EXPECT_EQ(std::filesystem::canonical(cwd), std::filesystem::canonical(folder));
    EXPECT_EQ(args, "/trayrun");
    EXPECT_EQ(waitpid(foreign, &status, WNOHANG), 0);  // still running
    kill(foreign, SIGTERM);
    waitpid(foreign, &status, 0);
    ASSERT_GT(std::atoi(pid.c_str()), 1);
    kill(std::atoi(pid.c_str()), SIGTERM);
}

}  // namespace

namespace {

// A catalogue module that knows two levels.
class FakeHalvec : public testsupport::NullHalvec {
public:
    void FilterWords(const std::u16string& in, std::u16string& out) override { out = in; }
    bool GetLevel(int id, LevelItem& out) override {
        if (id == 5) out.upgradeleft = 100;
        return id == 5 || id == 6;
    }
};

TEST(LevelBar, WidthFollowsTheLevelCatalogue) {
    prototest::SetUpOnce();
    CGlobalDataApp s;
    s.UpdateAccount([](UserAccount& a) { a.level = 5; });
    EXPECT_EQ(s.GetLevelBarWidth(), 100);  // no catalogue loaded
    FakeHalvec fake;
    ASSERT_TRUE(AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &fake));
    EXPECT_EQ(s.GetLevelBarWidth(), 16);
    s.UpdateAccount([](UserAccount& a) { a.level = 6; });
    EXPECT_EQ(s.GetLevelBarWidth(), 100);  // the top level: nothing left
    s.UpdateAccount([](UserAccount& a) { a.level = 7; });
    EXPECT_EQ(s.GetLevelBarWidth(), 100);  // unknown level
    AfxGetDataManager()->UnregisterModule(HALVEC_MODULE_NAME);
}

}  // namespace
