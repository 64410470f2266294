#include "RoomConfigSetDlg.h"

#include <ctime>

#include "GlobalData.h"
#include "IDataHalvec.h"
#include "RoomNotify.h"
#include "SettingsRules.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMessageBox.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace {

constexpr UINT WM_SETTINGS_REPLY = WM_USER + 611;  // lParam: Reply*, owned by the receiver

const char kMicSection[] = "RoomConfigMic";
const char* const kOptions[3] = {"PersonalInfoOption", "VoiceSetingOption", "VideoAdjustOption"};

std::atomic<int> g_instances{0};

std::function<std::unique_ptr<ISettingsPreview>()>& PreviewFactory() {
    static std::function<std::unique_ptr<ISettingsPreview>()> f;
    return f;
}

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

int LocalYear() {
    time_t now = time(nullptr);
    struct tm t {};
    localtime_r(&now, &t);
    return t.tm_year + 1900;
}

CListLabelElementUI* Item(const std::string& text, UINT_PTR tag) {
    auto* item = new CListLabelElementUI;
    item->SetText(text.c_str());
    item->SetTag(tag);
    item->SetFixedHeight(15);
    return item;
}

int TagAt(CComboUI* c) {
    if (!c || c->GetCurSel() < 0) return -1;
    CControlUI* it = c->GetItemAt(c->GetCurSel());
    return it ? int(it->GetTag()) : -1;
}

}  // namespace

struct CRoomConfigSetDlg::Reply {
    bool update = false;  // updatemyinfo, else checknick
    int status = 0;
    std::string statusdesc;
    int ctx0 = 0;
    int request = 0;
};

void CRoomConfigSetDlg::SetPreviewFactory(std::function<std::unique_ptr<ISettingsPreview>()> factory) {
    PreviewFactory() = std::move(factory);
}

CRoomConfigSetDlg::CRoomConfigSetDlg() : m_instance(++g_instances) {}

CRoomConfigSetDlg::~CRoomConfigSetDlg() {
    Listen(false);
    StopMic();
    m_camera.StopCapture();
    m_camera.CloseCamera();
    {
        varnet::MutexLock g(m_dataCB.lock);
        m_dataCB.preview = nullptr;
    }
}

// ---- lifecycle ----

void CRoomConfigSetDlg::Listen(bool on) {
    CZQEventSource& src = CMsgClientThread::GetInstance().EventSource();
    if (on) src.AddListener(this);
    else src.RemoveListener(this);  // waits for a running notification
    m_bListening = on;
}

void CRoomConfigSetDlg::InitWindow() {
    Listen(true);
    if (!m_pPreview && PreviewFactory()) m_pPreview = PreviewFactory()();
    {
        varnet::MutexLock g(m_dataCB.lock);
        m_dataCB.preview = m_pPreview.get();
    }
    m_pTab = static_cast<CTabLayoutUI*>(m_PaintManager.FindControl("RoomConfigOptionTab"));
    for (int i = 0; i < 3; ++i) m_pOptions[i] = static_cast<COptionUI*>(m_PaintManager.FindControl(kOptions[i]));
    m_pMeter = static_cast<CProgressUI*>(m_PaintManager.FindControl("ChkMicroPhoneProgress"));
    m_pNickEdit = static_cast<CEditUI*>(m_PaintManager.FindControl("PersonalNickNameEdit"));
    if (m_pMeter) {
        m_pMeter->SetMinValue(0);
        m_pMeter->SetMaxValue(100);
    }
    if (!m_micLevel) m_micLevel = std::make_unique<CVideoDataCB>();
    m_micLevel->SetLevelBar(m_pMeter);
    if (CControlUI* l = m_PaintManager.FindControl("NickNameErrorTipLabel")) l->SetVisible(true);
    m_bReady = true;
}

LRESULT CRoomConfigSetDlg::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = TRUE;
    ShowWindow(false);
    m_bReady = false;
    return 0;
}

LRESULT CRoomConfigSetDlg::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    Listen(false);
    m_bReady = false;
    StopMic();
    m_camera.StopCapture();
    m_camera.CloseCamera();
    DestroyPreviewWnd();
    m_mic.SetBuffCB(nullptr);
    if (m_micLevel) m_micLevel->SetLevelBar(nullptr);
    return WindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

void CRoomConfigSetDlg::DestroyPreviewWnd() {
    if (!m_pPreview) return;
    m_pPreview->Destroy();
    {
        varnet::MutexLock g(m_dataCB.lock);
        m_dataCB.preview = nullptr;
    }
    m_pPreview.reset();
}

LRESULT CRoomConfigSetDlg::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_RETURN) {
        Apply();
        return TRUE;
    }
    if (wParam == VK_ESCAPE) {
        CloseDialog(2);
        return TRUE;
    }
    return FALSE;
}

void CRoomConfigSetDlg::CloseDialog(int code) {
    // An update already sent still gets its reply: the service may have taken it.
    m_bClosed = true;
    if (m_pending.empty()) Listen(false);
    StopMic();
    if (m_pPreview) m_pPreview->Destroy();
    m_camera.StopCapture();
    m_camera.CloseCamera();
    m_nCloseCode = code;
    Close(UINT(code));
}

void CRoomConfigSetDlg::OpenPage(int page) {
    m_bClosed = false;
    if (!m_bListening) Listen(true);
    if (!m_pTab || !m_pOptions[0] || !m_pOptions[1] || !m_pOptions[2]) return;
    m_nPage = page;
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    m_strNickname = a.nickname;
    m_uid = a.uid;
    m_shownId = a.beautyid ? a.beautyid : a.uid;
    m_level = a.level;
    m_sex = a.sex;
    m_photoid = a.photoid;
    m_strBirth = a.birth;
    m_strProvince = a.province;
    m_strCity = a.city;
    // Clear first, then select: the selection runs the page's handler.
    for (int i = 0; i < 3; ++i)
        if (i + 1 != page) m_pOptions[i]->Selected(false, false);
    SelectTab(page);
    if (page >= 1 && page <= 3) {
        if (m_pOptions[page - 1]->IsSelected()) m_pOptions[page - 1]->Selected(false, false);
        m_pOptions[page - 1]->Selected(true);
    }
    FillPhotoButtons();
    FillPersonalInfo();
    SetPageTitle(page);
    NickTip("");
    UserPhotoItem photo;
    IDataHalvec* h = Halvec();
    if (h && h->GetUserPhoto(-1, int(m_photoid), photo)) ShowPhoto(photo.fname);
    m_nCloseCode = 0;
    m_bReady = true;
}

// ---- helpers ----

CComboUI* CRoomConfigSetDlg::Combo(const char* name) {
    CControlUI* c = m_PaintManager.FindControl(name);
    return c ? static_cast<CComboUI*>(c->GetInterface("Combo")) : nullptr;
}

void CRoomConfigSetDlg::Label(const char* name, const char* text) {
    if (CControlUI* c = m_PaintManager.FindControl(name)) c->SetText(text);
}

void CRoomConfigSetDlg::NickTip(const char* text, bool good) {
    if (auto* l = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("NickNameErrorTipLabel"))) {
        l->SetTextColor(good ? kNickGoodColor : kNickErrorColor);
        l->SetText(text);
    }
}

void CRoomConfigSetDlg::SelectTab(int page) {
    if (m_pTab) m_pTab->SelectItem(page);
    // The photo page has no option of its own: its button is marked as the options are.
    if (CControlUI* b = m_PaintManager.FindControl("PhotoSetingBTN")) b->SetBkColor(page == 0 ? 0xFFDCE9F8 : 0);
}

void CRoomConfigSetDlg::SetPageTitle(int page) {
    static const char* const titles[4] = {"头像修改", "个人资料", "语音设置", "视频调节"};
    if (page >= 0 && page < 4) Label("RoomConfigTitleLabel", titles[page]);
}

void CRoomConfigSetDlg::ShowPhoto(const std::string& path) {
    if (CControlUI* b = m_PaintManager.FindControl("PhotoSetingBTN"))
        b->SetBkImage(("file='" + path + "' dest='32,10,87,65'").c_str());
}

void CRoomConfigSetDlg::FillPhotoButtons() {
    IDataHalvec* h = Halvec();
    if (!h) return;
    const char* prefixes[2] = {"SelMenPhotoBTN%d", "SelWuMenPhotoBTN%d"};
    for (int list = 1; list <= 2; ++list) {
        std::vector<UserPhotoItem> items;
        h->GetUserPhotoList(list, items);
        for (size_t i = 0; i < items.size(); ++i) {
            CControlUI* b = m_PaintManager.FindControl(CDuiString::Format(prefixes[list - 1], int(i + 1)).c_str());
            if (!b) continue;
            b->SetVisible(true);
            b->SetBkImage(items[i].fname.c_str());
            b->SetTag(items[i].id);
        }
    }
}

void CRoomConfigSetDlg::SelectPhoto(const char* prefix, int n) {
    CControlUI* b = m_PaintManager.FindControl(CDuiString::Format(prefix, n).c_str());
    IDataHalvec* h = Halvec();
    UserPhotoItem photo;
    if (!b || !h || int(b->GetTag()) <= 0 || !h->GetUserPhoto(-1, int(b->GetTag()), photo)) return;
    m_photoid = uint32_t(b->GetTag());
    ShowPhoto(photo.fname);
}

void CRoomConfigSetDlg::FillDays(int count) {
    CComboUI* day = Combo("BirthdayDayCombo");
    if (!day) return;
    day->RemoveAll();
    for (int d = 1; d <= count; ++d) day->Add(Item(CDuiString::Format("  %d日", d), UINT_PTR(d)));
}

void CRoomConfigSetDlg::FillCities(const std::string& province, const std::string& select) {
    CComboUI* city = Combo("AddressCityCombo");
    IDataHalvec* h = Halvec();
    if (!city) return;
    city->RemoveAll();
    if (!h) return;
    std::vector<CityInfo*> list;
    h->GetCityList(list);
    for (CityInfo* p : list) {
        if (p->province != province) continue;
        for (const std::string& c : p->cities) {
            if (c.empty()) continue;
            city->Add(Item(c, UINT_PTR(city->GetCount())));
            if (c == select) city->SelectItem(city->GetCount() - 1);
        }
    }
    if (select.empty() && city->GetCount() == 1) city->SelectItem(0);
    for (CityInfo* p : list) delete p;
}

void CRoomConfigSetDlg::FillPersonalInfo() {
    if (CComboUI* sex = Combo("SexSelCombo")) sex->SelectItem(m_sex <= 2 ? int(m_sex) : -1);
    Label("UserIDEdit", CDuiString::Format("%u", m_shownId).c_str());
    LevelItem lvl;
    IDataHalvec* h = Halvec();
    if (h && h->GetLevel(int(m_level), lvl)) Label("UserLevelEdit", lvl.name.c_str());
    if (m_pNickEdit) m_pNickEdit->SetText(m_strNickname.c_str());

    CComboUI* year = Combo("BirthdayYearCombo");
    CComboUI* month = Combo("BirthdayMonthCombo");
    CComboUI* day = Combo("BirthdayDayCombo");
    const int now = LocalYear();
    const int by = settings::GetBirthYear(m_strBirth), bm = settings::GetBirthMonth(m_strBirth),
              bd = settings::GetBirthDay(m_strBirth);
    if (year) {
        year->RemoveAll();
        for (int y = now - 50; y <= now; ++y) year->Add(Item(CDuiString::Format("  %04d年", y), UINT_PTR(y)));
        // A year outside the list selects none.
        int idx = by >= 1 ? by - now + 50 : -1;
        year->SelectItem(idx >= 0 && idx < year->GetCount() ? idx : -1);
    }
    if (month) {
        month->RemoveAll();
        for (int m = 1; m <= 12; ++m) month->Add(Item(CDuiString::Format("  %d月", m), UINT_PTR(m)));
        month->SelectItem(bm >= 1 && bm <= 12 && by >= 1 ? bm - 1 : -1);
    }
    if (day) {
        FillDays(by >= 1 ? std::max(0, settings::DaysInMonth(bm, by)) : 0);
        day->SelectItem(bd >= 1 && bd <= day->GetCount() ? bd - 1 : -1);
    }
    if (month) month->SetEnabled(year && year->GetCurSel() >= 0);
    if (day) day->SetEnabled(month && month->GetCurSel() >= 0);

    CComboUI* prov = Combo("AddressProvinceCombo");
    if (prov) {
        prov->RemoveAll();
        if (h) {
            std::vector<CityInfo*> list;
            h->GetCityList(list);
            for (size_t i = 0; i < list.size(); ++i) {
                prov->Add(Item(list[i]->province, UINT_PTR(i)));
                if (list[i]->province == m_strProvince) prov->SelectItem(int(i));
            }
            for (CityInfo* p : list) delete p;
        }
        FillCities(m_strProvince, m_strCity);
    }
}

// ---- notifications ----

void CRoomConfigSetDlg::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED) OnSelectChanged(msg);
    else if (msg.sType == DUI_MSGTYPE_ITEMSELECT) OnItemSelect(msg);
    else if (msg.sType == DUI_MSGTYPE_KILLFOCUS) OnKillFocus(msg);
    else if (msg.sType == DUI_MSGTYPE_CLICK) OnClick(msg);
}

void CRoomConfigSetDlg::OnClick(TNotifyUI& msg) {
    const std::string name = msg.pSender ? msg.pSender->GetName().c_str() : "";
    if (name == "RoomConfigCloseBTN" || name == "RoomConfigCancelBTN") {
        CloseDialog(2);
    } else if (name == "ChkNickNameBTN") {
        CheckNickName();
    } else if (name == "PhotoSetingBTN") {
        SelectTab(0);
        Label("RoomConfigTitleLabel", "头像修改");
        StopCameraPreview();
        StopMic();
        for (COptionUI* o : m_pOptions)
            if (o) o->Selected(false, false);
        FillPhotoButtons();
    } else if (name == "RoomConfigApplyBTN") {
        Apply();
    } else if (name == "VideoRefreshBTN") {
        // A camera plugged in since the page opened is listed now.
        if (CComboUI* combo = Combo("SelVideoDeviceCombo"); combo && combo->GetCount() == 0) InitVideoPage();
        StartCameraPreview();
    } else if (name == "ImageQualityRegulateBTN") {
        m_camera.ShowSetUp(m_pPreview ? m_pPreview->GetHWND() : GetHWND());
    } else if (name.rfind("SelMenPhotoBTN", 0) == 0) {
        SelectPhoto("SelMenPhotoBTN%d", atoi(name.c_str() + 14));
    } else if (name.rfind("SelWuMenPhotoBTN", 0) == 0) {
        SelectPhoto("SelWuMenPhotoBTN%d", atoi(name.c_str() + 16));
    }
}

void CRoomConfigSetDlg::OnSelectChanged(TNotifyUI& msg) {
    auto* o = msg.pSender ? static_cast<COptionUI*>(msg.pSender->GetInterface("Option")) : nullptr;
    if (!o || !o->IsSelected()) return;
    const std::string name = o->GetName().c_str();
    if (name == "PersonalInfoOption") {
        SelectTab(1);
        SetPageTitle(1);
        StopCameraPreview();
        StopMic();
    } else if (name == "VoiceSetingOption") {
        SelectTab(2);
        SetPageTitle(2);
        InitVoicePage();
        StopCameraPreview();
    } else if (name == "VideoAdjustOption") {
        SelectTab(3);
        SetPageTitle(3);
        InitVideoPage();
        StopMic();
    }
}

void CRoomConfigSetDlg::OnItemSelect(TNotifyUI& msg) {
    const std::string name = msg.pSender ? msg.pSender->GetName().c_str() : "";
    CComboUI* year = Combo("BirthdayYearCombo");
    CComboUI* month = Combo("BirthdayMonthCombo");
    CComboUI* day = Combo("BirthdayDayCombo");
    if (name == "BirthdayYearCombo" || name == "BirthdayMonthCombo") {
        if (name == "BirthdayMonthCombo" && year && day && TagAt(year) > 0) {
            int n = settings::DaysInMonth(TagAt(month), TagAt(year));
            if (n > 0 && n != day->GetCount()) FillDays(n);
        }
        if (month) month->SetEnabled(year && year->GetCurSel() >= 0);
        if (day) day->SetEnabled(month && month->GetCurSel() >= 0);
    } else if (name == "AddressProvinceCombo") {
        CComboUI* prov = Combo("AddressProvinceCombo");
        FillCities(prov ? std::string(prov->GetText().c_str()) : "", "");
    } else if (name == "SelVideoDeviceCombo") {
        StartCameraPreview();
    } else if (name == "SelAudioInputDeviceCombo") {
        StartMicTest();
    }
}

void CRoomConfigSetDlg::OnKillFocus(TNotifyUI& msg) {
    if (!m_pNickEdit || msg.pSender != m_pNickEdit) return;
    std::string err = settings::NicknameError(m_pNickEdit->GetText().c_str());
    if (!err.empty()) m_pNickEdit->SetText(m_strNickname.c_str());
    NickTip(err.c_str());
}

// ---- devices ----

void CRoomConfigSetDlg::InitVideoPage() {
    if (m_pPreview) {
        RECT rc{217, 65, 411, 211};
        m_pPreview->Create(GetHWND(), rc, Dir::GetZqPath(105) + "VideoAdjustPlayWnd.png");
    }
    CComboUI* combo = Combo("SelVideoDeviceCombo");
    if (!combo) return;
    combo->RemoveAll();
    std::string saved;
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetString(kMicSection, "CameraIndexSel", saved, "");
    int chosen = 0;
    const int n = Grabbel::CameraCount();
    for (int i = 0; i < n; ++i) {
        char name[250] = {0};
        Grabbel::CameraName(i, name, sizeof(name));
        combo->Add(Item(name, UINT_PTR(i)));
        if (saved == name) chosen = i;
    }
    if (n > 0) combo->SelectItem(chosen);
    if (CControlUI* tip = m_PaintManager.FindControl("NoCameraTipLabel")) tip->SetVisible(n <= 0);
    // Without a camera there is nothing to adjust.
    if (CControlUI* quality = m_PaintManager.FindControl("ImageQualityRegulateBTN")) quality->SetEnabled(n > 0);
}

void CRoomConfigSetDlg::StartCameraPreview() {
    CComboUI* combo = Combo("SelVideoDeviceCombo");
    CControlUI* area = m_PaintManager.FindControl("VideoAdjustPlayWnd");
    if (!combo || combo->GetCurSel() < 0) return;
    RECT rc = area ? area->GetPos() : RECT{217, 65, 411, 211};
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0) {
        w = 194;
        h = 146;
    }
    m_camera.StopCapture();
    m_camera.CloseCamera();
    if (!m_camera.OpenCamera(combo->GetCurSel(), w, h, 10)) return;
    unsigned fw = 0, fh = 0;
    m_camera.GetRatio(fw, fh);
    if (m_pPreview) m_pPreview->SetFrameFormat(fw, fh, 24);
    m_camera.SetBuffCB(&m_dataCB);
    m_camera.StartCapture();
    if (m_pPreview) m_pPreview->Show();
}

void CRoomConfigSetDlg::StopCameraPreview() {
    if (m_pPreview) m_pPreview->Destroy();
    m_camera.StopCapture();
    m_camera.CloseCamera();
}

void CRoomConfigSetDlg::InitVoicePage() {
    m_mic.SetBuffCB(m_micLevel.get());
    CComboUI* combo = Combo("SelAudioInputDeviceCombo");
    if (!combo) return;
    combo->RemoveAll();
    std::string saved;
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetString(kMicSection, "AudioIndexSel", saved, "");
    int chosen = 0;
    const int n = Micrel::MicrophoneCount();
    for (int i = 0; i < n; ++i) {
        char name[250] = {0};
        Micrel::MicrophoneName(i, name, sizeof(name));
        combo->Add(Item(name, UINT_PTR(i)));
        if (saved == name) chosen = i;
    }
    if (n > 0) combo->SelectItem(chosen);
    if (CControlUI* tip = m_PaintManager.FindControl("NoCameraTipLabel")) tip->SetVisible(n <= 0);
    // Without a camera there is nothing to adjust.
    if (CControlUI* quality = m_PaintManager.FindControl("ImageQualityRegulateBTN")) quality->SetEnabled(n > 0);
}

void CRoomConfigSetDlg::StopMic() {
    m_mic.StopCapture();
    m_mic.CloseMicrophone();
}

void CRoomConfigSetDlg::StartMicTest() {
    StopMic();
    if (m_pMeter) m_pMeter->SetValue(0);
    CComboUI* combo = Combo("SelAudioInputDeviceCombo");
    if (!combo || combo->GetCurSel() < 0) return;
    m_mic.SetBuffCB(m_micLevel.get());
    if (m_mic.OpenMicrophone(combo->GetCurSel(), 11025, 1, 4096)) m_mic.StartCapture();
}

void CRoomConfigSetDlg::DataCB::VideoFrameCB(BYTE* rgb24, long length) {
    varnet::MutexLock g(lock);
    if (preview) preview->OnFrame(rgb24, length);
}

// ---- personal data ----

void CRoomConfigSetDlg::CheckNickName() {
    if (!m_pNickEdit || m_pNickEdit->GetText().empty()) return;
    if (m_level <= 100) {
        NickTip("请登录后再修改!");
        return;
    }
    CZQCheckNickMsg msg;
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    msg.uid = a.uid;
    msg.sid = a.sid;
    msg.nickname = m_pNickEdit->GetText().c_str();
    msg.ctxInt[1] = m_instance;
    msg.ctxInt[2] = 0;
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CRoomConfigSetDlg::Apply() {
    if (m_level <= 100) {
        NickTip("请登录后再修改!");
        return;
    }
    IConfigManager* cfg = AfxGetConfigManager();
    CComboUI* video = Combo("SelVideoDeviceCombo");
    CComboUI* audio = Combo("SelAudioInputDeviceCombo");
    if (cfg && video && !video->GetText().empty())
        cfg->SetString(kMicSection, "CameraIndexSel", video->GetText().c_str(), 1);
    if (cfg && audio && !audio->GetText().empty())
        cfg->SetString(kMicSection, "AudioIndexSel", audio->GetText().c_str(), 1);

    PendingInfo info;
    CComboUI* sex = Combo("SexSelCombo");
    info.sex = settings::SexFromText(sex ? sex->GetText().c_str() : "");
    info.nickname = m_pNickEdit ? m_pNickEdit->GetText().c_str() : m_strNickname;
    info.photoid = m_photoid;
    CComboUI* y = Combo("BirthdayYearCombo");
    CComboUI* mo = Combo("BirthdayMonthCombo");
    CComboUI* d = Combo("BirthdayDayCombo");
    std::string birth = settings::FormatBirthday(y ? y->GetText().c_str() : "", mo ? mo->GetText().c_str() : "",
                                                 d ? d->GetText().c_str() : "");
    info.birth = birth.empty() ? m_strBirth : birth;
    CComboUI* prov = Combo("AddressProvinceCombo");
    CComboUI* city = Combo("AddressCityCombo");
    info.province = prov ? prov->GetText().c_str() : "";
    info.city = city ? city->GetText().c_str() : "";

    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    if (info.nickname == a.nickname && info.photoid == a.photoid && info.sex == a.sex && info.birth == a.birth &&
        info.province == a.province && info.city == a.city) {
        CloseDialog(1);
        return;
    }
    CZQUpdateMyInfoMsg msg;
    msg.uid = a.uid;
    msg.sid = a.sid;
    msg.tid = int(a.uid);
    msg.nickname = info.nickname;
    msg.photoid = int(info.photoid);
    msg.sex = int(info.sex);
    msg.birth = info.birth;
    msg.prov = info.province;
    msg.city = info.city;
    // The record stays here; the reply finds it by the instance and request numbers.
    const int request = m_nextRequest++;
    msg.ctxInt[0] = 0;
    msg.ctxInt[1] = m_instance;
    msg.ctxInt[2] = request;
    if (!m_bListening) Listen(true);
    if (CMsgClientThread::GetInstance().PostRequest(&msg)) m_pending[request] = info;
    else ShowUpdateFailure("更新我的信息失败");
}

void CRoomConfigSetDlg::OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) {
    const bool update = dynamic_cast<CZQUpdateMyInfoMsg*>(msg) != nullptr;
    if (!update && !dynamic_cast<CZQCheckNickMsg*>(msg)) return;
    if (msg->ctxInt[1] != m_instance) return;  // another dialog's request
    if (update) PJ_Log("VarnetFrame.txt", 0, "CVarnetFrameWnd::OnZQMessageNotify", "HTTP应答CZQUpdateMyInfoMsg");
    auto r = std::make_unique<Reply>();
    r->update = update;
    r->status = msg->status;
    r->statusdesc = msg->statusdesc;
    r->ctx0 = msg->ctxInt[0];
    r->request = msg->ctxInt[2];
    PostMessageOwned(GetHWND(), WM_SETTINGS_REPLY, 0, std::move(r));
}

LRESULT CRoomConfigSetDlg::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    if (uMsg == WM_SETTINGS_REPLY) {
        std::unique_ptr<Reply> r(reinterpret_cast<Reply*>(lParam));
        OnReply(r.get());
        bHandled = TRUE;
        return 0;
    }
    return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
}

void CRoomConfigSetDlg::OnReply(Reply* r) {
    if (!r->update) {
        if (r->status == 1) NickTip("恭喜您，昵称可用!", true);
        else if (r->status == 2) NickTip(r->statusdesc.c_str());
        else NickTip("检测昵称是否可用失败，请查看网络是否正常或者重新检测!");
        return;
    }
    auto it = m_pending.find(r->request);
    if (it == m_pending.end()) return;
    PendingInfo info = it->second;
    m_pending.erase(it);
    if (m_bClosed) {
        // Cancelled meanwhile: what the service took still reaches the process, quietly.
        if (m_pending.empty()) Listen(false);
        if (r->ctx0 != 0 || r->status != 1) return;
    } else if (r->ctx0 != 0) {
        CloseDialog(1);
        return;
    }
    if (r->status == 1) {
        CGlobalDataApp::GetInstance().UpdateAccount([&info](UserAccount& a) {
            a.nickname = info.nickname;
            a.photoid = info.photoid;
            a.sex = info.sex;
            a.birth = info.birth;
            a.province = info.province;
            a.city = info.city;
        });
        // The owner (a room shows the name in its title, lists and chat) and the lobby show it at once.
        const WPARAM flags = USER_CHANGE_NICKNAME | USER_CHANGE_PHOTO;
        if (m_hOwner) ::PostMessage(m_hOwner, WM_UPDATE_MY_INFO, flags, 0);
        HWND lobby = static_cast<HWND>(CGlobalDataApp::GetInstance().mainWnd);
        if (lobby && lobby != m_hOwner) ::PostMessage(lobby, WM_UPDATE_MY_INFO, flags, 0);
        if (!m_bClosed) CloseDialog(1);
    } else {
        ShowUpdateFailure(r->statusdesc);
    }
}

void CRoomConfigSetDlg::ShowUpdateFailure(const std::string& text) {
    ShowZqMessageBox(GetHWND(), text.c_str(), "提示");
}
