// The settings dialog by control name: birthday and nickname rules, device lists and their stored names,
// the personal page against the local room service, replies to two dialogs.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "GlobalData.h"
#include "RoomConfigSetDlg.h"
#include "RoomNotify.h"
#include "RoomService.h"
#include "SharedRoomService.h"
#include "SettingsRules.h"
#include "SyntheticCamera.h"
#include "TestKeys.h"
#include "UiTestSupport.h"
#include "ZqMessageBox.h"
#include "Win32.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace {

using roomsvc::Service;

struct FakePreview : ISettingsPreview {
    static std::atomic<int> frames;
    bool window = false;
    unsigned w = 0, h = 0;
    bool Create(HWND, const RECT&, const std::string&) override { return window = true; }
    void Destroy() override { window = false; }
    bool HasWindow() const override { return window; }
    void SetFrameFormat(unsigned fw, unsigned fh, int) override {
        w = fw;
        h = fh;
    }
    void Show() override {}
    HWND GetHWND() const override { return nullptr; }
    void OnFrame(const BYTE*, long length) override {
        if (length == long(w) * h * 3) ++frames;
    }
};
std::atomic<int> FakePreview::frames{0};

struct Sink : CWin32Window {
    std::vector<UINT> msgs;
    LRESULT HandleMessage(UINT m, WPARAM, LPARAM) override {
        msgs.push_back(m);
        return 0;
    }
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        static bool once = [] {
            setenv("VARNET_DATA_DIR", duitest::TempDir("room_popups_settings").c_str(), 1);
            capture::SelectSyntheticCamera(1);
            AfxReleaseConfigManager();
            AfxGetConfigManager()->SetString("config", "version", "1.0.0.1", 1);
            Win32Init();
            CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
            CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
            Service().Start(0);
            CMsgClientThread& w = CMsgClientThread::GetInstance();
            w.SetEndpoint(Service().Endpoint());
            w.SetRequestTimeout(1500);
            w.Start();
            CRoomConfigSetDlg::SetPreviewFactory([] { return std::make_unique<FakePreview>(); });
            return true;
        }();
        (void)once;
        // Signed in as 1001 with session 77.
        Service().WithData([](testenv::SvcData& d) {
            d.users[1001].sid = 77;
            d.users[1001].nickname = "爱丽丝";
        });
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = 1001;
            a.sid = 77;
            a.level = 200;
            a.nickname = "爱丽丝";
            a.sex = 2;
            a.birth = "2000-02-15";
            a.province.clear();
            a.city.clear();
            a.photoid = 0;
        });
    }
    void Open(CRoomConfigSetDlg& dlg, int page, HWND owner = nullptr) {
        dlg.m_hOwner = owner;
        ASSERT_NE(dlg.Create(nullptr, "房间设置对话框", UI_WS_POPUP, 0, 0, 0, 500, 373), nullptr);
        dlg.OpenPage(page);
        dlg.ShowWindow(true);
    }
    static CComboUI* Combo(CRoomConfigSetDlg& d, const char* n) {
        return static_cast<CComboUI*>(d.m_PaintManager.FindControl(n));
    }
    static std::string Text(CRoomConfigSetDlg& d, const char* n) {
        CControlUI* c = d.m_PaintManager.FindControl(n);
        return c ? c->GetText().c_str() : "<missing>";
    }
};

}  // namespace

TEST(SettingsRules, BirthdayDaysNicknameAndSex) {
    struct Birth {
        const char* text;
        int y, m, d;
    } births[] = {
        {"1990-05-09", 1990, 5, 9}, {"1990", -1, -1, -1},      {"", -1, -1, -1},
        {"1990-05", -1, -1, -1},    {"1990--09", 1990, -1, 9}, {"x-1-2", -1, 1, 2},
    };
    for (const Birth& b : births) {
        EXPECT_EQ(settings::GetBirthYear(b.text), b.y) << b.text;
        EXPECT_EQ(settings::GetBirthMonth(b.text), b.m) << b.text;
        EXPECT_EQ(settings::GetBirthDay(b.text), b.d) << b.text;
    }
    struct Days {
        int month, year, days;
    } days[] = {
        {2, 2000, 29}, {2, 1900, 28}, {2, 2024, 29},  {2, 2023, 28},
        {4, 2023, 30}, {12, 1, 31},   {13, 2000, -1}, {0, 2000, -1},
    };
    for (const Days& d : days) EXPECT_EQ(settings::DaysInMonth(d.month, d.year), d.days) << d.month << "/" << d.year;
    EXPECT_EQ(settings::FormatBirthday("  1990年", "  5月", "  9日"), "1990-05-09");
    EXPECT_EQ(settings::FormatBirthday("  0987年", "  12月", "  31日"), "0987-12-31");
    EXPECT_EQ(settings::FormatBirthday("", "  5月", "  9日"), "");
    EXPECT_EQ(settings::NicknameError("一二三四五六七八"), "");  // 24 UTF-8 bytes
    EXPECT_NE(settings::NicknameError("一二三四五六七八九"), "");
    EXPECT_EQ(settings::NicknameError(""), "昵称不能为空!");
    EXPECT_EQ(settings::NicknameError(std::string(24, 'a')), "");
    EXPECT_NE(settings::NicknameError(std::string(25, 'a')), "");
    EXPECT_EQ(settings::SexFromText("保密"), 0u);
    EXPECT_EQ(settings::SexFromText("男"), 1u);
    EXPECT_EQ(settings::SexFromText("女"), 2u);
    EXPECT_EQ(settings::SexFromText("?"), 3u);
}

TEST_F(SettingsTest, PersonalPageFilledFromTheSession) {
    CRoomConfigSetDlg dlg;
    Open(dlg, 1);
    EXPECT_EQ(Text(dlg, "RoomConfigTitleLabel"), "个人资料");
    EXPECT_EQ(Text(dlg, "PersonalNickNameEdit"), "爱丽丝");
    EXPECT_EQ(Text(dlg, "UserIDEdit"), "1001");
    // A beauty id is what the user lists show, so the dialog shows it too.
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.beautyid = 66666; });
    dlg.OpenPage(1);
    EXPECT_EQ(Text(dlg, "UserIDEdit"), "66666");
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.beautyid = 0; });
    EXPECT_EQ(Text(dlg, "SexSelCombo"), "女");
    EXPECT_EQ(Combo(dlg, "BirthdayDayCombo")->GetCount(), 29);  // February 2000
    EXPECT_EQ(Text(dlg, "BirthdayDayCombo"), "  15日");
    EXPECT_EQ(Text(dlg, "BirthdayMonthCombo"), "  2月");
    // Choosing another month refills the days.
    Combo(dlg, "BirthdayMonthCombo")->SelectItem(3);
    EXPECT_EQ(Combo(dlg, "BirthdayDayCombo")->GetCount(), 30);
    // Nickname rules when the edit loses the focus.
    auto* edit = static_cast<CEditUI*>(dlg.m_PaintManager.FindControl("PersonalNickNameEdit"));
    edit->SetText("一二三四五六七八九");
    dlg.m_PaintManager.SendNotify(edit, DUI_MSGTYPE_KILLFOCUS);
    EXPECT_EQ(Text(dlg, "PersonalNickNameEdit"), "爱丽丝");
    EXPECT_EQ(Text(dlg, "NickNameErrorTipLabel"), "昵称长度不能超过24个字符，请重新输入昵称!");
    // A birth year outside the list selects no year; a birthday without "-" selects nothing.
    for (const char* birth : {"1800-01-01", "1990"}) {
        CGlobalDataApp::GetInstance().UpdateAccount([birth](UserAccount& a) { a.birth = birth; });
        dlg.OpenPage(1);
        EXPECT_EQ(Combo(dlg, "BirthdayYearCombo")->GetCurSel(), -1) << birth;
        EXPECT_FALSE(Combo(dlg, "BirthdayMonthCombo")->IsEnabled()) << birth;
    }
    EXPECT_EQ(Combo(dlg, "BirthdayMonthCombo")->GetCurSel(), -1);
    EXPECT_EQ(Combo(dlg, "BirthdayDayCombo")->GetCount(), 0);
    ::DestroyWindow(dlg.GetHWND());
}

TEST_F(SettingsTest, ApplyUpdatesTheServiceOnceForTheDialogThatAsked) {
    Sink owner;
    HWND hOwner = CreateWindowHandle(&owner);
    CRoomConfigSetDlg other;  // a second dialog, listening too
    Open(other, 1, hOwner);
    CRoomConfigSetDlg dlg;
    Open(dlg, 1, hOwner);

    // Nothing changed: closes with 1, sends nothing.
    int before = Service().RequestCount("updatemyinfo");
    UITest::Click(&dlg, "RoomConfigApplyBTN");
    EXPECT_EQ(dlg.LastCloseCode(), 1);
    EXPECT_EQ(Service().RequestCount("updatemyinfo"), before);

    // Check a nickname that is taken, then change it.
    dlg.OpenPage(1);
    Service().WithData([](testenv::SvcData& d) { d.users[1002].nickname = "鲍勃"; });
    auto* edit = static_cast<CEditUI*>(dlg.m_PaintManager.FindControl("PersonalNickNameEdit"));
    edit->SetText("鲍勃");
    UITest::Click(&dlg, "ChkNickNameBTN");
    ASSERT_TRUE(PumpUntil([&] { return Text(dlg, "NickNameErrorTipLabel") == "昵称已被使用"; }, 5000))
        << Text(dlg, "NickNameErrorTipLabel");
    auto* tip = static_cast<CLabelUI*>(dlg.m_PaintManager.FindControl("NickNameErrorTipLabel"));
    EXPECT_EQ(tip->GetTextColor(), CRoomConfigSetDlg::kNickErrorColor);
    EXPECT_EQ(Text(other, "NickNameErrorTipLabel"), "");
    edit->SetText("新名字");
    UITest::Click(&dlg, "ChkNickNameBTN");
    ASSERT_TRUE(PumpUntil([&] { return Text(dlg, "NickNameErrorTipLabel") == "恭喜您，昵称可用!"; }, 5000));
    EXPECT_EQ(tip->GetTextColor(), CRoomConfigSetDlg::kNickGoodColor);  // not in the error colour

    Combo(dlg, "SexSelCombo")->SelectItem(1);
    UITest::PressKey(&dlg, VK_RETURN);
    ASSERT_TRUE(PumpUntil([&] { return dlg.LastCloseCode() == 1; }, 5000));
    PumpMessagesFor(100);
    EXPECT_EQ(owner.msgs, std::vector<UINT>{WM_UPDATE_MY_INFO});  // once, by the dialog that asked
    EXPECT_EQ(other.LastCloseCode(), 0);
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    EXPECT_EQ(a.nickname, "新名字");
    EXPECT_EQ(a.sex, 1u);
    EXPECT_EQ(a.birth, "2000-02-15");
    Service().WithData([](testenv::SvcData& d) {
        EXPECT_EQ(d.users[1001].nickname, "新名字");
        EXPECT_EQ(d.users[1001].sex, 1u);
        EXPECT_EQ(d.users[1001].birth, "2000-02-15");
    });

    // Cancelled before the reply: the service took the change, so the process has it too, quietly.
    owner.msgs.clear();
    dlg.OpenPage(1);
    edit->SetText("第三个名字");
    UITest::Click(&dlg, "RoomConfigApplyBTN");
    UITest::Click(&dlg, "RoomConfigCancelBTN");
    EXPECT_EQ(dlg.LastCloseCode(), 2);
    ASSERT_TRUE(PumpUntil([] { return CGlobalDataApp::GetInstance().GetAccount().nickname == "第三个名字"; }, 5000));
    PumpMessagesFor(100);
    EXPECT_EQ(owner.msgs, std::vector<UINT>{WM_UPDATE_MY_INFO});
    EXPECT_EQ(dlg.LastCloseCode(), 2);

    // A guest may not apply.
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& u) { u.level = 100; });
    dlg.OpenPage(1);
    UITest::Click(&dlg, "RoomConfigApplyBTN");
    EXPECT_EQ(Text(dlg, "NickNameErrorTipLabel"), "请登录后再修改!");
    EXPECT_EQ(dlg.LastCloseCode(), 0);
    ::DestroyWindow(other.GetHWND());
    ::DestroyWindow(dlg.GetHWND());
    ::DestroyWindow(hOwner);
}

// A refusal's text from the service is shown as it stands: no colour and no link are read from it.
TEST_F(SettingsTest, ARefusalTextIsShownAsText) {
    const std::string hostile = "{c #FFFFFFFF}看不见{/c}{a http://x/}点这里{/a}";
    testenv::RoomServiceFault refuse;
    refuse.kind = testenv::RoomServiceFault::Refuse;
    refuse.desc = hostile;
    Service().SetFault("updatemyinfo", refuse);
    CRoomConfigSetDlg dlg;
    Open(dlg, 1);
    static_cast<CEditUI*>(dlg.m_PaintManager.FindControl("PersonalNickNameEdit"))->SetText("另一个名字");
    // The box runs its own loop: looked for from a timer, among the windows made after the dialog.
    std::string shown;
    bool html = true;
    int links = -1, tries = 0;
    std::function<void()> look = [&] {
        for (uintptr_t id = uintptr_t(dlg.GetHWND()) + 1; id < uintptr_t(dlg.GetHWND()) + 200; ++id) {
            auto* box = dynamic_cast<CZqMessageBox*>(CWindowWnd::FromHandle(reinterpret_cast<HWND>(id)));
            auto* text = box ? static_cast<CTextUI*>(UITest::Find(box, "MessageBox_TXT_Msg")) : nullptr;
            if (!text) continue;
            shown = text->GetText().c_str();
            html = text->IsShowHtml();
            links = text->GetLinkCount();
            box->Close(1);
            return;
        }
        if (++tries < 500) duitest::RunLater(20, look);
    };
    duitest::RunLater(20, look);
    UITest::Click(&dlg, "RoomConfigApplyBTN");
    ASSERT_TRUE(PumpUntil([&] { return !shown.empty(); }, 10000));
    EXPECT_EQ(shown, hostile);
    EXPECT_FALSE(html);
    EXPECT_EQ(links, 0);
    Service().ClearFaults();
    ::DestroyWindow(dlg.GetHWND());
}

TEST_F(SettingsTest, DeviceListsAndStoredNames) {
    IConfigManager* cfg = AfxGetConfigManager();
    ASSERT_GT(Grabbel::CameraCount(), 0);
    char camName[250];
    Grabbel::CameraName(0, camName, sizeof(camName));
    // Hostile stored names: unknown devices fall back to the first one.
    cfg->SetString("RoomConfigMic", "CameraIndexSel", "no such camera\x81", 1);
    cfg->SetString("RoomConfigMic", "AudioIndexSel", std::string(600, 'x').c_str(), 1);
    CRoomConfigSetDlg dlg;
    Open(dlg, 3);
    EXPECT_EQ(Text(dlg, "RoomConfigTitleLabel"), "视频调节");
    EXPECT_EQ(Combo(dlg, "SelVideoDeviceCombo")->GetCount(), Grabbel::CameraCount());
    EXPECT_EQ(Combo(dlg, "SelVideoDeviceCombo")->GetCurSel(), 0);
    EXPECT_EQ(Text(dlg, "SelVideoDeviceCombo"), camName);
    // The synthetic camera's frames reach the preview.
    auto* preview = static_cast<FakePreview*>(dlg.Preview());
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->HasWindow());
    EXPECT_GT(preview->w, 0u);
    int start = FakePreview::frames;
    EXPECT_TRUE(PumpUntil([&] { return FakePreview::frames > start; }, 5000));

    // Voice page: microphone list; the camera stops.
    auto* voice = static_cast<COptionUI*>(dlg.m_PaintManager.FindControl("VoiceSetingOption"));
    voice->Selected(true);
    EXPECT_FALSE(preview->HasWindow());
    EXPECT_EQ(Text(dlg, "RoomConfigTitleLabel"), "语音设置");
    const int mics = Micrel::MicrophoneCount();
    EXPECT_EQ(Combo(dlg, "SelAudioInputDeviceCombo")->GetCount(), mics);
    if (mics > 0) EXPECT_EQ(Combo(dlg, "SelAudioInputDeviceCombo")->GetCurSel(), 0);

    // The microphone test's meter follows the level rule of the video data callback (the mean level of a
    // chunk's first 100 samples), not the chunk's peak.
    if (mics > 0) {
        Micrel::SetSampleSource([](int16_t* samples, size_t frames, int channels, int, double) {
            for (size_t i = 0; i < frames * size_t(channels); ++i) samples[i] = 1000;
        });
        std::vector<int16_t> chunk(2048, 1000);
        const int want = CVideoDataCB::ChunkLevel(reinterpret_cast<BYTE*>(chunk.data()), 4096);
        ASSERT_NE(want, 1000 * 100 / 32768);
        auto* meter = static_cast<CProgressUI*>(dlg.m_PaintManager.FindControl("ChkMicroPhoneProgress"));
        ASSERT_NE(meter, nullptr);
        TNotifyUI pick;
        pick.sType = DUI_MSGTYPE_ITEMSELECT;
        pick.pSender = Combo(dlg, "SelAudioInputDeviceCombo");
        dlg.Notify(pick);
        EXPECT_TRUE(PumpUntil([&] { return meter->GetValue() == want; }, 10000)) << meter->GetValue() << " " << want;
        Micrel::SetSampleSource(nullptr);
    }

    // Apply stores the chosen names (nothing else changed: closes with 1).
    UITest::Click(&dlg, "RoomConfigApplyBTN");
    EXPECT_EQ(dlg.LastCloseCode(), 1);
    std::string cam, mic;
    cfg->GetString("RoomConfigMic", "CameraIndexSel", cam, "");
    cfg->GetString("RoomConfigMic", "AudioIndexSel", mic, "");
    EXPECT_EQ(cam, camName);
    if (mics > 0) EXPECT_EQ(mic, Text(dlg, "SelAudioInputDeviceCombo"));

    // Reopened, the stored names are selected again.
    dlg.OpenPage(3);
    EXPECT_EQ(Text(dlg, "SelVideoDeviceCombo"), camName);
    ::DestroyWindow(dlg.GetHWND());
}
