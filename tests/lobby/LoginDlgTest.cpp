// The login dialog against the local room service: saved accounts, account and guest logins, failures
// and the time-out, auto-login. Driven by control name.
#include <gtest/gtest.h>

#include <glib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "LobbyTestEnv.h"
#include "LobbyMessages.h"
#include "LoginDlg.h"
#include "SecretStore.h"
#include "UiTestSupport.h"
#include "WebView.h"
#include "ZQCommands.h"
#include "ZqLib.h"

using namespace DuiLib;

using duitest::RunLater;
using lobbytest::SetUpOnce;

namespace {

const UINT kStuck = 99;

SavedAccount Account(const char* name, const char* pwd, bool remember, bool autoLogin = false) {
    SavedAccount a;
    a.name = name;
    a.password = pwd;
    a.remember = remember;
    a.autoLogin = autoLogin;
    a.loginType = 0;
    return a;
}

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        service = &SetUpOnce();
        service->ClearFaults();
        lobbytest::SignOut();
    }
    // Runs the dialog modally; `steps` run inside its loop; a watchdog closes it after 20 s.
    UINT Run(CLoginDlg& dlg, std::function<void()> steps) {
        if (!dlg.Create(nullptr, "login", UI_WS_POPUP, 0, 0, 0, 410, 315)) return 0;
        RunLater(20, std::move(steps));
        unsigned dog = RunLater(20000, [&] { dlg.Close(kStuck); });
        UINT r = dlg.ShowModal();
        g_source_remove(dog);
        return r;
    }
    static void Type(CLoginDlg& dlg, const char* edit, const char* text) {
        auto* e = static_cast<CEditUI*>(UITest::Find(&dlg, edit));
        ASSERT_NE(e, nullptr);
        e->SetText("");
        e->InputText(text);
    }
    static CDuiString Text(CLoginDlg& dlg, const char* name) {
        CControlUI* c = UITest::Find(&dlg, name);
        return c ? c->GetText() : CDuiString("<missing>");
    }
    static bool Enabled(CLoginDlg& dlg, const char* name) {
        CControlUI* c = UITest::Find(&dlg, name);
        return c && c->IsEnabled();
    }
    testenv::RoomService* service = nullptr;
};

}  // namespace

TEST_F(LoginTest, SavedAccountsRoundTripThroughTheConfiguration) {
    for (int i = 0; i < 11; ++i)
        WriteSavedAccounts(ReadSavedAccounts(), Account(("user" + std::to_string(i)).c_str(), "pw", i % 2 == 0));
    std::vector<SavedAccount> list = ReadSavedAccounts();
    ASSERT_EQ(list.size(), 10u);  // the oldest went past the ten that are read
    EXPECT_EQ(list.front().name, "user10");
    EXPECT_EQ(list.back().name, "user1");
    EXPECT_EQ(list.front().password, "pw");  // remembered
    EXPECT_EQ(list[1].password, "");         // not remembered: never stored
    std::string stored;
    AfxGetConfigManager()->GetString("UserInfo", "PassWord1", stored, "?");
    EXPECT_EQ(stored, "");
    // Logging in again with a saved name moves it first, once.
    WriteSavedAccounts(ReadSavedAccounts(), Account("user5", "密码", true, true));
    list = ReadSavedAccounts();
    EXPECT_EQ(list.front(), Account("user5", "密码", true, true));
    EXPECT_EQ(std::count_if(list.begin(), list.end(), [](auto& a) { return a.name == "user5"; }), 1);
    // A stored password that is too long or not Base64 reads as empty; the rest of the record stays.
    IConfigManager* cfg = AfxGetConfigManager();
    std::string big(400, 'x');
    cfg->SetString("UserInfo", "PassWord0", Base64::Base64Encode(big.data(), (int)big.size()).c_str(), 1);
    cfg->SetString("UserInfo", "PassWord1", "***not base64***", 1);
    list = ReadSavedAccounts();
    EXPECT_EQ(list[0].password, "");
    EXPECT_EQ(list[0].name, "user5");
    EXPECT_EQ(list[1].password, "");
}

// A private session bus with a keyring answering on it, for this test process (each test runs in a process
// of its own); stopped with the bus, which the keyring leaves with. Started() is false where the keyring is
// not installed.
class PrivateKeyring {
public:
    PrivateKeyring() {
        char dir[] = "/tmp/varnet-keyring-XXXXXX";
        if (!mkdtemp(dir) || access("/usr/bin/gnome-keyring-daemon", X_OK) != 0) return;
        dir_ = dir;
        FILE* bus = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
        char address[512] = {0}, pid[32] = {0};
        if (!bus || !fgets(address, sizeof address, bus) || !fgets(pid, sizeof pid, bus)) {
            if (bus) pclose(bus);
            return;
        }
        pclose(bus);
        address[strcspn(address, "\n")] = 0;
        busPid_ = atoi(pid);
        setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
        setenv("XDG_DATA_HOME", dir, 1);
        const std::string cmd = "cd " + dir_ + " && printf pw | XDG_RUNTIME_DIR=" + dir_ +
                                " gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null 2>&1";
        started_ = system(cmd.c_str()) == 0;
    }
    ~PrivateKeyring() {
        if (busPid_ > 0) kill(busPid_, SIGTERM);
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        if (!dir_.empty()) system(("rm -rf " + dir_).c_str());
    }
    bool Started() const { return started_; }

private:
    std::string dir_;
    int busPid_ = 0;
    bool started_ = false;
};

std::string StoredPassword(int i) {
    std::string stored;
    AfxGetConfigManager()->GetString("UserInfo", ("PassWord" + std::to_string(i)).c_str(), stored, "?");
    return stored;
}

// Without a secret store (no session bus) a remembered password stays in the settings file, which only its
// owner may read.
TEST_F(LoginTest, WithoutASecretStoreTheSettingsFileKeepsThePasswordOwnerOnly) {
    const std::string ini = Dir::ToNativePath(Dir::GetZqPath(107) + "user.ini");
    chmod(ini.c_str(), 0644);  // as an earlier run left it
    WriteSavedAccounts({}, Account("alice", "secret", true));
    EXPECT_EQ(StoredPassword(0), Base64::Base64Encode("secret", 6));
    EXPECT_EQ(ReadSavedAccounts().front().password, "secret");
    struct stat st {};
    ASSERT_EQ(stat(ini.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// With a secret store answering, the password lives there: an earlier run's entry in the settings file moves
// on the first read, a new one never reaches the file, a forgotten one leaves the store.
TEST_F(LoginTest, RememberedPasswordsMoveIntoTheSecretStore) {
    PrivateKeyring keyring;
    if (!keyring.Started()) GTEST_SKIP() << "no gnome-keyring-daemon to stand in for the desktop's secret store";
    WriteSavedAccounts({}, Account("carol", "", false));
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetString("UserInfo", "PassWord0", Base64::Base64Encode("老密码", 6).c_str(), 1);
    cfg->SetBool("UserInfo", "RemPW0", true);
    EXPECT_EQ(ReadSavedAccounts().front().password, "老密码");
    EXPECT_EQ(StoredPassword(0), "");
    std::string kept;
    bool found = false;
    EXPECT_TRUE(zqconfig::LookupSecret("carol", kept, found));
    EXPECT_TRUE(found);
    EXPECT_EQ(kept, "老密码");
    EXPECT_EQ(ReadSavedAccounts().front().password, "老密码");  // from the store now

    WriteSavedAccounts(ReadSavedAccounts(), Account("alice", "secret", true));
    EXPECT_EQ(StoredPassword(0), "");
    EXPECT_EQ(ReadSavedAccounts().front().password, "secret");
    WriteSavedAccounts(ReadSavedAccounts(), Account("alice", "secret", false));
    EXPECT_TRUE(zqconfig::LookupSecret("alice", kept, found));
    EXPECT_FALSE(found);
    EXPECT_EQ(ReadSavedAccounts().front().password, "");
}

// Tab goes account -> password -> 登录 and round again; the focused control shows it.
TEST_F(LoginTest, TabGoesThroughAccountPasswordAndLogin) {
    CLoginDlg dlg(nullptr, CLoginDlg::kModeGuest + 100);
    std::vector<std::string> order;
    UINT r = Run(dlg, [&] {
        UITest::Find(&dlg, "UserNameEdit")->SetFocus();
        for (int i = 0; i < 4; ++i) {
            CControlUI* f = dlg.m_PaintManager.GetFocus();
            order.push_back(f ? f->GetName().c_str() : "");
            if (f) EXPECT_NE(f->GetFocusBorderColor(), 0u) << order.back() << " shows no focus";
            ::SendMessage(dlg.GetHWND(), WM_KEYDOWN, VK_TAB, 0);
        }
        dlg.Close(2);
    });
    EXPECT_EQ(r, 2u);
    EXPECT_EQ(order, (std::vector<std::string>{"UserNameEdit", "PassWordEdit", "LoginBTN", "UserNameEdit"}));
}

TEST_F(LoginTest, AccountLoginFillsTheStateAndSavesTheAccount) {
    CLoginDlg dlg(nullptr, CLoginDlg::kModeGuest + 100);  // a mode without automatic steps
    UINT r = Run(dlg, [&] {
        Type(dlg, "UserNameEdit", "alice");
        Type(dlg, "PassWordEdit", "secret");
        UITest::Click(&dlg, "LoginBTN");
        EXPECT_FALSE(Enabled(dlg, "LoginBTN"));
    });
    EXPECT_EQ(r, 1u);
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    EXPECT_EQ(a.uid, 1001u);
    EXPECT_EQ(a.nickname, "爱丽丝");
    EXPECT_EQ(a.loginType, 0);
    EXPECT_EQ(a.xiubi, 5000000000ULL);
    std::vector<SavedAccount> list = ReadSavedAccounts();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.front().name, "alice");
    EXPECT_EQ(list.front().password, "secret");  // "KeepPWChkBox" starts checked without saved accounts
    EXPECT_TRUE(list.front().remember);
}

TEST_F(LoginTest, RefusalsTimeOutAndEmptyFields) {
    CLoginDlg dlg(nullptr, 100);
    std::vector<std::pair<CDuiString, CDuiString>> tips;  // (name tip, password tip) after each step
    auto waitEnabled = [&] { PumpUntil([&] { return Enabled(dlg, "LoginBTN"); }, 10000); };
    auto record = [&] { tips.emplace_back(Text(dlg, "lbeUserNameTips"), Text(dlg, "lbePasswordTips")); };
    UINT r = Run(dlg, [&] {
        UITest::Click(&dlg, "LoginBTN");  // nothing typed
        record();
        Type(dlg, "UserNameEdit", "alice");
        UITest::Click(&dlg, "LoginBTN");
        record();
        Type(dlg, "PassWordEdit", "wrong");
        UITest::Click(&dlg, "LoginBTN");
        waitEnabled();
        record();
        Type(dlg, "UserNameEdit", "nobody");
        Type(dlg, "PassWordEdit", "x");
        UITest::Click(&dlg, "LoginBTN");
        waitEnabled();
        record();
        // No answer in time: the worker's failure reply is shown like a refusal.
        testenv::RoomServiceFault stall;
        stall.kind = testenv::RoomServiceFault::Stall;
        stall.stallMs = 3400;  // past both attempts of the worker
        service->SetFault("login", stall);
        UITest::Click(&dlg, "LoginBTN");
        waitEnabled();
        record();
        PumpMessagesFor(800);  // the service ends its stalled answers
        // A registration fills in its new account: the refusal's tip goes.
        Type(dlg, "PassWordEdit", "wrong");
        service->ClearFaults();
        Type(dlg, "UserNameEdit", "alice");
        UITest::Click(&dlg, "LoginBTN");
        waitEnabled();
        auto* texts = new std::map<std::string, std::string>{{"uname", "carol"}, {"pwd", "pw"}};
        ::SendMessage(dlg.GetHWND(), WM_LOGIN_UI_INFO, 0, LPARAM(texts));
        record();
        dlg.Close(2);
    });
    EXPECT_EQ(r, 2u);
    ASSERT_EQ(tips.size(), 6u);
    EXPECT_EQ(tips[5], std::make_pair(CDuiString(""), CDuiString("")));
    EXPECT_EQ(tips[0], std::make_pair(CDuiString("请输入用户名!"), CDuiString("")));
    EXPECT_EQ(tips[1], std::make_pair(CDuiString(""), CDuiString("请输入密码!")));
    EXPECT_EQ(tips[2], std::make_pair(CDuiString(""), CDuiString("密码错误")));
    EXPECT_EQ(tips[3], std::make_pair(CDuiString("用户不存在"), CDuiString("")));
    EXPECT_FALSE(tips[4].first.empty());
    EXPECT_EQ(tips[4].second, "");
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetUid(), 0u);
    EXPECT_TRUE(ReadSavedAccounts().empty());
}

TEST_F(LoginTest, GuestLoginAndControlCoupling) {
    CLoginDlg dlg(nullptr, 100);
    UINT r = Run(dlg, [&] {
        auto* keep = static_cast<CCheckBoxUI*>(UITest::Find(&dlg, "KeepPWChkBox"));
        auto* autoLogin = static_cast<CCheckBoxUI*>(UITest::Find(&dlg, "AutoLoginChkBox"));
        ASSERT_TRUE(keep && autoLogin);
        Type(dlg, "PassWordEdit", "pw");
        UITest::Click(&dlg, "KeepPWChkBox");  // un-remember: clears the password and auto-login
        EXPECT_FALSE(keep->GetCheck());
        EXPECT_EQ(Text(dlg, "PassWordEdit"), "");
        UITest::Click(&dlg, "AutoLoginChkBox");  // auto-login implies remember
        EXPECT_TRUE(keep->GetCheck());
        UITest::Click(&dlg, "AnonyUserBTN");
    });
    EXPECT_EQ(r, 1u);
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    EXPECT_GE(a.uid, 500000u);
    EXPECT_EQ(a.beautyid, a.uid);
    EXPECT_EQ(a.nickname, "游客");
    EXPECT_EQ(a.level, 100u);
    EXPECT_EQ(a.loginType, 1);
    EXPECT_EQ(a.photoid, 31000u);
    EXPECT_TRUE(ReadSavedAccounts().empty());  // guests are not saved
}

// An account login under way: the guest button, Enter and a second click start no other login.
TEST_F(LoginTest, OneLoginAtATime) {
    testenv::RoomServiceFault stall;
    stall.kind = testenv::RoomServiceFault::Stall;
    stall.stallMs = 1000;
    stall.times = 1;
    service->SetFault("login", stall);
    int guests = service->RequestCount("getanonyuser");
    int logins = service->RequestCount("login");
    CLoginDlg dlg(nullptr, 100);
    UINT r = Run(dlg, [&] {
        Type(dlg, "UserNameEdit", "alice");
        Type(dlg, "PassWordEdit", "secret");
        UITest::Click(&dlg, "LoginBTN");
        EXPECT_FALSE(Enabled(dlg, "AnonyUserBTN"));
        dlg.OnBtnClickAnonyUserLogin();
        dlg.OnBtnClickLogin();
        dlg.OnBtnClickLoginThirdPart("qq", "QQ登录");
    });
    EXPECT_EQ(r, 1u);
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetAccount().nickname, "爱丽丝");
    EXPECT_EQ(service->RequestCount("getanonyuser"), guests);
    EXPECT_EQ(service->RequestCount("login"), logins + 1);
}

// Counts the replies of one request class the worker hands its listeners.
template <class T>
class ReplyCounter : public CZQEventListener {
public:
    ReplyCounter() { CMsgClientThread::GetInstance().EventSource().AddListener(this); }
    ~ReplyCounter() override { CMsgClientThread::GetInstance().EventSource().RemoveListener(this); }
    void OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) override {
        if (dynamic_cast<T*>(msg)) ++count;
    }
    std::atomic<int> count{0};
};

// A slow service: the answer to a dialog that was cancelled reaches the dialog opened after it, which did not
// ask; that dialog goes on with its own login.
TEST_F(LoginTest, ADialogTakesOnlyTheAnswerToItsOwnRequest) {
    testenv::RoomServiceFault stall;
    stall.kind = testenv::RoomServiceFault::Stall;
    stall.stallMs = 1500;
    stall.times = 1;
    service->SetFault("login", stall);
    ReplyCounter<CZQLogInMsg> logins;
    ReplyCounter<CZQGetAllNavMsg> navs;
    CLoginDlg first(nullptr, 100);
    EXPECT_EQ(Run(first,
                  [&] {
                      Type(first, "UserNameEdit", "alice");
                      Type(first, "PassWordEdit", "secret");
                      UITest::Click(&first, "LoginBTN");
                      UITest::Click(&first, "LoginCloseBTN");
                  }),
              2u);
    WriteSavedAccounts({}, Account("carol", "", false));
    CLoginDlg second(nullptr, 100);
    UINT r = Run(second, [&] {
        ASSERT_TRUE(PumpUntil([&] { return logins.count == 1; }, 10000));
        // The worker answers in order: once this is answered, the login answer was handed out whole.
        CZQGetAllNavMsg nav;
        CMsgClientThread::GetInstance().PostRequest(&nav);
        ASSERT_TRUE(PumpUntil([&] { return navs.count == 1; }, 10000));
        PumpMessagesFor(50);
        if (!::IsWindow(second.GetHWND())) return ADD_FAILURE() << "closed by another dialog's answer";
        EXPECT_EQ(CGlobalDataApp::GetInstance().GetUid(), 0u);
        Type(second, "UserNameEdit", "bob");
        Type(second, "PassWordEdit", "pw");
        UITest::Click(&second, "LoginBTN");
    });
    EXPECT_EQ(r, 1u);
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetAccount().userName, "bob");
    std::vector<SavedAccount> saved = ReadSavedAccounts();
    ASSERT_GE(saved.size(), 2u);
    EXPECT_EQ(saved[0].name, "bob");
    EXPECT_EQ(saved[1].name, "carol");
}

// The dialog with the registration dialog answered by the test.
class RegisterAnswered : public CLoginDlg {
public:
    RegisterAnswered(int mode, UINT answer) : CLoginDlg(nullptr, mode), answer_(answer) {}
    int registrations = 0;

protected:
    UINT RunModal(WindowImplBase& dlg) override {
        ++registrations;
        RunLater(10, [&dlg, this] { dlg.Close(answer_); });
        return dlg.ShowModal();
    }

private:
    UINT answer_;
};

std::string g_opened;
bool RecordUrl(const std::string& url) {
    g_opened = url;
    return true;
}

TEST_F(LoginTest, StartModesRegistrationFirstAndForgottenPassword) {
    // Mode 2: a guest login at once.
    CLoginDlg guest(nullptr, CLoginDlg::kModeGuest);
    EXPECT_EQ(Run(guest, [] {}), 1u);
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetAccount().nickname, "游客");
    lobbytest::SignOut();

    // Mode 1: the first saved account signs in by itself.
    WriteSavedAccounts({}, Account("alice", "secret", true, true));
    CLoginDlg autoLogin(nullptr, CLoginDlg::kModeAutoLogin);
    EXPECT_EQ(Run(autoLogin, [] {}), 1u);
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetUid(), 1001u);
    lobbytest::SignOut();
    WriteSavedAccounts({}, Account("alice", "secret", false, false));

    // Mode 3: hidden in the tray; shown from the tray, it signs in as a guest.
    CLoginDlg tray(nullptr, CLoginDlg::kModeTray);
    bool hidden = false;
    EXPECT_EQ(Run(tray,
                  [&] {
                      PumpMessagesFor(100);
                      hidden = !tray.IsWindowVisible();
                      ::SendMessage(tray.GetHWND(), WM_TRAY_NOTIFY, kTrayIconId, WM_LBUTTONDBLCLK);
                  }),
              1u);
    EXPECT_TRUE(hidden);
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetAccount().nickname, "游客");
    lobbytest::SignOut();
    // 退出 of the desktop's own tray menu (StatusNotifierItem) closes it with 2.
    CLoginDlg quit(nullptr, CLoginDlg::kModeTray);
    EXPECT_EQ(Run(quit, [&] { ::SendMessage(quit.GetHWND(), WM_TRAY_NOTIFY, kTrayIconId, kTrayMenuQuit); }), 2u);

    // Registration first: a cancelled registration ends the dialog with 2; a later one does not.
    RegisterAnswered cancelled(100, 2);
    cancelled.SetRegisterFirst(true);
    EXPECT_EQ(Run(cancelled, [] {}), 2u);
    EXPECT_EQ(cancelled.registrations, 1);
    RegisterAnswered done(100, 1);
    done.SetRegisterFirst(true);
    EXPECT_EQ(Run(done,
                  [&] {
                      PumpUntil([&] { return done.registrations == 1; }, 5000);
                      done.OnBtnClickRegister();  // not first any more: cancelling keeps the dialog
                      PumpMessagesFor(100);
                      done.Close(kStuck);
                  }),
              kStuck);

    // The forgotten-password page of the user service, for the typed name.
    AfxGetConfigManager()->SetString("ZqServerList", "ussvr", "http://127.0.0.1:9", 1);
    AfxGetConfigManager()->SetString("config", "version", "1.0.0.1", 1);
    webview::SetUrlOpener(RecordUrl);
    CLoginDlg forgot(nullptr, 100);
    Run(forgot, [&] {
        Type(forgot, "UserNameEdit", "alice");
        forgot.OnBtnClickForgotPW();
        forgot.Close(2);
    });
    webview::SetUrlOpener(nullptr);
    EXPECT_EQ(g_opened, "http://127.0.0.1:9/US/FindPassword?uname=YWxpY2U=&ver=MS4wLjAuMQ==");
}

TEST_F(LoginTest, AutoLoginWithTheFirstSavedAccount) {
    WriteSavedAccounts({}, Account("bob", "pw", true, false));
    WriteSavedAccounts(ReadSavedAccounts(), Account("alice", "secret", true, true));
    CLoginDlg dlg(nullptr, CLoginDlg::kModeNormal);
    EXPECT_EQ(dlg.GetSavedAccounts().size(), 2u);
    std::vector<CDuiString> combo;
    UINT r = Run(dlg, [&] {
        auto* c = static_cast<CComboUI*>(UITest::Find(&dlg, "UserNameComBo"));
        for (int i = 0; c && i < c->GetCount(); ++i) combo.push_back(c->GetItemAt(i)->GetText());
    });
    EXPECT_EQ(r, 1u);
    EXPECT_EQ(combo, (std::vector<CDuiString>{"alice", "bob"}));
    EXPECT_EQ(CGlobalDataApp::GetInstance().GetUid(), 1001u);
    // Choosing "bob" fills his name and remembered password.
    CLoginDlg again(nullptr, 100);
    r = Run(again, [&] {
        auto* c = static_cast<CComboUI*>(UITest::Find(&again, "UserNameComBo"));
        ASSERT_NE(c, nullptr);
        c->SelectItem(1);
        EXPECT_EQ(Text(again, "UserNameEdit"), "bob");
        EXPECT_EQ(Text(again, "PassWordEdit"), "pw");
        UITest::PressKey(&again, VK_ESCAPE);
    });
    EXPECT_EQ(r, 2u);
}
