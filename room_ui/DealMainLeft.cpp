#include "DealMainLeft.h"

#include "ChatHtml.h"
#include "DealMainCenter.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "PickerControls.h"
#include "RoomInfoMgr.h"
#include "SettingsPreview.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

constexpr const char* kUiLog = "RoomUI.txt";

void LendGifControl() {
    micwnd::GifHooks hooks;
    hooks.create = [] { return static_cast<CControlUI*>(new CControlGifBk); };
    hooks.setFile = [](CControlUI* c, const std::string& file) {
        if (auto* gif = dynamic_cast<CControlGifBk*>(c)) gif->SetGifFile(file.c_str());
    };
    micwnd::SetGifHooks(std::move(hooks));
}

}  // namespace

CDealMainLeft::CDealMainLeft() {
    m_sliders[0].m_nKind = CUIWndMicAudioSlider::KIND_SPEAKER;
    m_sliders[1].m_nKind = CUIWndMicAudioSlider::KIND_MICROPHONE;
    for (auto& s : m_sliders) s.m_pCallback = this;
}

CDealMainLeft::~CDealMainLeft() {
    ReleaseWindows();
}

bool CDealMainLeft::InitControls(IRoomUI* room, IRoomModalHost* host, CDealMainCenter* center, CPaintManagerUI* pm) {
    m_room = room;
    m_host = host;
    m_center = center;
    m_pm = pm;
    if (!pm) return true;
    m_joinLeave = dynamic_cast<CTabLayoutUI*>(pm->FindControl("tablayout_joinleavemiclist"));
    if (!m_joinLeave) return false;
    LendGifControl();
    UseVideoShowPreview();
    m_public.Init(room, this);
    m_private.Init(room, this);
    HWND owner = room ? room->GetHWND() : nullptr;
    for (auto& s : m_sliders)
        if (!s.GetHWND()) s.Create(owner, "", UI_WS_CHILD, 0, 0, 0, 25, 130);
    if (CControlUI* join = pm->FindControl("btn_joinmiclist")) {
        bool stealth = CGlobalDataApp::GetInstance().GetAccount().stealth == 1;
        join->SetEnabled(!stealth);
        join->SetToolTip(stealth ? "隐身状态下不能上麦" : "");
    }
    return true;
}

void CDealMainLeft::ReleaseWindows() {
    m_public.UnInit();
    m_private.UnInit();
    if (m_settings.GetHWND()) ::DestroyWindow(m_settings.GetHWND());
    for (auto& s : m_sliders)
        if (s.GetHWND()) ::DestroyWindow(s.GetHWND());
}

bool CDealMainLeft::OnNotify(TNotifyUI& msg) {
    if (!msg.pSender || !m_pm) return false;
    std::string name = msg.pSender->GetName().c_str();
    if (msg.sType == "click") {
        if (name == "btn_joinmiclist") {
            ShowJoinMicMenu(msg.pSender);
            return true;
        }
        if (name == "btn_leavemiclist") {
            OnBtnLeaveMicList();
            return true;
        }
        if (name == "VideoSetupBTN") {
            OpenSettings(3);  // the video page
            return true;
        }
        return false;
    }
    if (msg.sType == "mouseenter" && (name == "option_volume" || name == "option_mic")) {
        OnMouseEnter(msg.pSender);
        return true;
    }
    return false;
}

void CDealMainLeft::OpenSettings(int page) {
    HWND owner = m_room ? m_room->GetHWND() : nullptr;
    if (!m_settings.GetHWND()) {
        m_settings.m_hOwner = owner;
        if (!m_settings.Create(owner, "房间设置对话框", UI_WS_POPUP, 0, 0, 0, 500, 373)) return;
        m_settings.CenterWindow();
    }
    m_settings.OpenPage(page);
    m_settings.ShowWindow(true, true);
}

void CDealMainLeft::OnMouseEnter(CControlUI* sender) {
    CUIWndMicAudioSlider& s = sender->GetName() == "option_volume" ? m_sliders[0] : m_sliders[1];
    if (!s.GetHWND()) return;
    RECT rc = sender->GetPos();
    s.MoveWindow(rc.left - 1, rc.bottom - 125, 25, 130);
    s.ShowWindow(true, true);
}

void CDealMainLeft::OnMuteChanged(int kind, bool muted) {
    const char* name = kind == 1 ? "option_volume" : kind == 2 ? "option_mic" : nullptr;
    if (!name || !m_pm) return;
    if (auto* o = dynamic_cast<COptionUI*>(m_pm->FindControl(name))) o->Selected(muted);
}

void CDealMainLeft::AppendOwn(const std::string& html) {
    if (m_host) m_host->AppendOwnViewHtml(html);
}

bool CDealMainLeft::HasRight(int right) {
    return micwnd::HasOwnRight(right, RoomId());
}

void CDealMainLeft::SelectJoinLeave(int item) {
    if (m_joinLeave) m_joinLeave->SelectItem(item);
}

void CDealMainLeft::ShowJoinMicMenu(CControlUI* button) {
    IRoomLogic* logic = m_room ? m_room->GetRoomLogic() : nullptr;
    if (!logic || !logic->IsChatReady()) {
        AppendOwn(BuildSysMsgHtml("正在连接聊天服务，请稍后重试"));
        return;
    }
    std::vector<ZqMenuItem> items;
    items.emplace_back("上公麦", 0);
    items.emplace_back("上私麦(大亨及以上用户可连接）", 1);
    CZqMenuUI menu;
    menu.SetMenuItem(items);
    // Above the button (under it when there is no room above).
    RECT rc = button->GetPos();
    if (CWindowWnd* room = m_room ? CWindowWnd::FromHandle(m_room->GetHWND()) : nullptr) {
        RECT rr = room->GetWindowRect();
        rc = {rc.left + rr.left, rc.top + rr.top, rc.right + rr.left, rc.bottom + rr.top};
    }
    if (!menu.CreateMenuFor(rc, m_room ? m_room->GetHWND() : nullptr, true)) return;
    HWND mw = menu.GetHWND();
    const HWND roomWnd = m_room ? m_room->GetHWND() : nullptr;
    PushModalWnd(mw);
    int r = menu.PopupMenuNoCreate();
    PopModalWnd(mw);
    if (!::IsWindow(roomWnd)) return;  // the room closed under the menu: no request for it
    if (r == CZqMenuUI::kDismissed) ContinueModalCancel();
    else if (r == 0) JoinPublicMic();
    else if (r == 1) JoinPrivateMic();
}

void CDealMainLeft::JoinPublicMic() {
    if (!HasRight(1)) {
        AppendOwn(BuildPublicMicUpgradeTip());
        return;
    }
    if (CRoomInfoMgr::GetInstance().CountMicUsers(RoomId(), true) < 3)
        micwnd::SendOpMic(RoomId(), CGlobalDataApp::GetInstance().GetUid(), true, true);
    else AppendOwn(BuildSysMsgHtml("公麦窗口已满，无法上麦"));
}

void CDealMainLeft::JoinPrivateMic() {
    if (!HasRight(4)) {
        AppendOwn(BuildPrivateMicUpgradeTip());
        return;
    }
    if (CRoomInfoMgr::GetInstance().CountMicUsers(RoomId(), false) < 8)
        micwnd::SendOpMic(RoomId(), CGlobalDataApp::GetInstance().GetUid(), true, false);
    else AppendOwn(BuildSysMsgHtml("私麦窗口已满，无法上麦"));
}

void CDealMainLeft::OnBtnLeaveMicList() {
    uint32_t me = CGlobalDataApp::GetInstance().GetUid();
    uint32_t state = CRoomInfoMgr::GetInstance().GetUserMicState(RoomId(), me);
    if (state == 1) {
        if (HasRight(2)) micwnd::SendOpMic(RoomId(), me, false, true);
        else AppendOwn(BuildTipHtml("您没有下公麦的权限"));
    } else if (state == 2) {
        if (HasRight(5)) {
            m_private.RemovePrivateMicByUserId(me);
            micwnd::SendOpMic(RoomId(), me, false, false);
        } else {
            AppendOwn(BuildTipHtml("您没有下私麦的权限"));
        }
    }
}

void CDealMainLeft::UpdateMicList(const MicUserMap& mics) {
    m_mics = mics;
    for (const auto& [uid, m] : mics) {
        (void)uid;
        int idx = static_cast<int>(m.stream.idx);
        if (!m_pm) continue;
        if (m.stream.live == 1) m_public.AddPublicMic(idx, m.user, m.stream.url, m.stream.micattr);
        else m_private.AddPrivateMic(idx, m.user, m.stream.url, m.stream.micattr, true);
    }
}

void CDealMainLeft::DealGetLiveSig(const RoomMicStream& s) {
    PJ_Log("RoomManager.txt", LOG_INFO, "CDealMainLeft::DealGetLiveSig", "entry");
    if (s.isPublic) m_public.DealGetLiveSig(&s);
    else m_private.DealGetLiveSig(&s);
    if (s.uid != 0 && s.uid == CGlobalDataApp::GetInstance().GetUid()) SelectJoinLeave(1);
}

void CDealMainLeft::DealOpMicResult(const RoomMicOpResult& r) {
    if (r.tid != CGlobalDataApp::GetInstance().GetUid()) return;
    uint32_t state = 0;
    if (r.open) {
        SelectJoinLeave(1);
        state = r.micType ? 1 : 2;
    } else {
        SelectJoinLeave(0);
    }
    CRoomInfoMgr::GetInstance().SetUserMicState(RoomId(), r.tid, state);
}

void CDealMainLeft::LeaveMic(const RoomMicOff& off) {
    PJ_Log(kUiLog, LOG_INFO, "CDealMainLeft::LeaveMic", "第%d个%s麦（%d）下麦", off.idx, off.isPublic ? "公" : "私",
           static_cast<int>(off.uid));
    m_mics.erase(off.uid);
    if (off.isPublic) m_public.LeaveMic(off.idx);
    else m_private.RemovePrivateMicByIndex(off.idx);
    if (off.uid != 0 && off.uid == CGlobalDataApp::GetInstance().GetUid()) SelectJoinLeave(0);
}

void CDealMainLeft::DealMicAttrChange(const RoomMicAttr& a) {
    PJ_Log(kUiLog, LOG_INFO, "CDealMainLeft::DealMicAttrChange", "第%d个%s麦（%d）麦属性变为0x%x", a.idx,
           a.isPublic ? "公" : "私", static_cast<int>(a.uid), a.micattr);
    auto it = m_mics.find(a.uid);
    if (it != m_mics.end()) it->second.stream.micattr = a.micattr;
    if (a.isPublic) m_public.DealMicAttrChange(a.micattr, a.idx);
    else m_private.DealMicAttrChange(a.micattr, a.idx);
}

void CDealMainLeft::RefreshMicList(const MicUserMap& mics) {
    m_mics = mics;
    std::map<int, MicUserInfo> pub, priv;
    for (const auto& [uid, m] : mics) {
        (void)uid;
        (m.stream.live == 1 ? pub : priv)[static_cast<int>(m.stream.idx)] = m;
    }
    m_public.UpdatePublicMicList(pub);
    m_private.UpdatePrivateMicList(priv);
    SelectJoinLeave(mics.count(CGlobalDataApp::GetInstance().GetUid()) ? 1 : 0);
}

void CDealMainLeft::OnPlatformSwitch() {
    m_public.OnPlatformSwitch();
    m_private.OnPlatformSwitch();
}

void CDealMainLeft::UpdateUserNickName(uint32_t uid) {
    m_public.UpdateUserNickName(uid);
    m_private.UpdateUserNickName(uid);
}

// The user-list column keeps the gift target and finds the row.
static IRoomRightUI* RightColumn(IRoomUI* room) {
    IRoomDealUI* ui = nullptr;
    return room && room->GetDealUI(2, &ui) ? static_cast<IRoomRightUI*>(ui) : nullptr;
}

void CDealMainLeft::SelectGiftTarget(uint32_t uid) {
    if (IRoomRightUI* right = RightColumn(m_room)) right->SelectGiftTarget(uid);
}

void CDealMainLeft::LocateUser(uint32_t uid) {
    if (IRoomRightUI* right = RightColumn(m_room)) right->LocateUser(uid);
}

void CDealMainLeft::SetChatTarget(uint32_t uid) {
    if (m_center) m_center->SetChatTarget(uid);
}

void CDealMainLeft::OpenStampDialog(uint32_t uid) {
    if (IRoomRightUI* right = RightColumn(m_room)) right->OpenStampDialog(uid);
}

void CDealMainLeft::PushModalWnd(HWND wnd) {
    if (m_host) m_host->PushModalWnd(wnd);
}

void CDealMainLeft::PopModalWnd(HWND wnd) {
    if (m_host) m_host->PopModalWnd(wnd);
}

void CDealMainLeft::ContinueModalCancel() {
    if (m_host) m_host->ContinueModalCancel();
}

}  // namespace roomui
