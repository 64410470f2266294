#include "PrivateMicWnd.h"

#include "ChatHtml.h"
#include "GlobalData.h"
#include "RoomInfoMgr.h"
#include "VideoGtkPresenter.h"
#include "ZQCommands.h"
#include "ZqLog.h"

using namespace DuiLib;

namespace {

CWindowWnd* RoomWindow(IRoomUI* room) {
    return room ? CWindowWnd::FromHandle(room->GetHWND()) : nullptr;
}

}  // namespace

// ---- CPrivateMicWnd

CPrivateMicWnd::CPrivateMicWnd(int index, IPrivateMicWndCallBack* mgr)
    : CMicSlotWnd(index, false, m_view), m_pMgr(mgr) {}

CPrivateMicWnd::~CPrivateMicWnd() {
    DetachMedia(*this);
}

void CPrivateMicWnd::Bind(IRoomUI* room, IMicRoomActions* actions) {
    BindRoom(room, actions);
}

bool CPrivateMicWnd::CreateSlot(const RECT& rc) {
    if (m_hWnd) return true;
    if (!Create(RoomHwnd(), "", 0x96000000u, 0, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top)) return false;
    MoveWindow(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    m_link->SetWindow(m_hWnd);
    m_pop.m_hOwner = m_hWnd;
    return true;
}

void CPrivateMicWnd::InitWindow() {
    RECT rc;
    rc.left = 2, rc.top = 18, rc.right = 234, rc.bottom = 201;
    CreateView(*this, rc, 0, 0);
    if (GetMicUid() != 0) m_view.SetBackgroundImage(m_adapter->WaitingBkPath());
    UpdateButtons();
    UpdateControlContent();
    UpdateTagImage();
}

void CPrivateMicWnd::OnFinalMessage(HWND hWnd) {
    EndWindow(*this, hWnd);
    WindowImplBase::OnFinalMessage(hWnd);
}

void CPrivateMicWnd::SetMicUser(const RoomUserInfo& user, const std::string& url, uint32_t micattr) {
    UpdateUserRecord(user);  // first: the publish side follows whose stream it is
    ApplyStream(url, micattr);
    UpdateControlContent();
    UpdateButtons();
    m_pop.SetNickName(user.nickname);
    UpdateTagImage();
    m_view.SetBackgroundImage(m_adapter->WaitingBkPath());
}

void CPrivateMicWnd::ApplyMicAttr(uint32_t attr) {
    SwitchToAttr(attr);
    UpdateButtons();
}

void CPrivateMicWnd::SelectTab(const char* name, int item) {
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl(name))) tab->SelectItem(item);
}

void CPrivateMicWnd::UpdateButtons() {
    if (!m_hWnd) return;
    auto* mic = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("tablayout_OpenCloseMic"));
    auto* video = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("tablayout_OpenCloseVideo"));
    CControlUI* openVideo = m_PaintManager.FindControl("btnOpenVideo");
    CControlUI* closeVideo = m_PaintManager.FindControl("btnCloseVideo");
    CControlUI* openVolume = m_PaintManager.FindControl("btnOpenVolume");
    CControlUI* closeVolume = m_PaintManager.FindControl("btnCloseVolume");
    if (!mic || !video || !openVideo || !closeVideo || !openVolume || !closeVolume) return;
    bool own = IsOwnStream();
    int flags = m_adapter->GetShowFlags();
    if (m_adapter->IsAudioShow()) {
        mic->SelectItem(0);
        openVolume->SetEnabled(true);
    } else {
        mic->SelectItem(1);
        openVolume->SetEnabled((flags & 1) || own);
    }
    if (m_adapter->IsVideoShow()) {
        video->SelectItem(0);
    } else {
        video->SelectItem(1);
        openVideo->SetEnabled((flags & 2) || own);
    }
}

void CPrivateMicWnd::UpdateControlContent() {
    if (!m_hWnd) return;
    CControlUI* gif = m_PaintManager.FindControl("gifbkIdentity");
    CControlUI* nick = m_PaintManager.FindControl("labelNickName");
    if (!gif || !nick) {
        PJ_Log(micwnd::kUiLog, LOG_IMPOSSIBLE, "CPrivateMicWnd::UpdateControlContent", "获取控件指针失败");
        return;
    }
    const RoomUserInfo& u = m_pop.m_user;
    std::string file, name;
    if (u.uid != 0 && micwnd::IdentityItem(u, file, name)) {
        micwnd::SetGifFile(gif, file);
        gif->SetToolTip(name.c_str());
    }
    nick->SetText(u.nickname.c_str());
    nick->SetToolTip(u.nickname.c_str());
}

void CPrivateMicWnd::SendMicAttr(bool video, bool open) {
    if (IsOwnStream()) micwnd::SendOpMicAttr(RoomId(), GetMicUid(), open, video);
}

void CPrivateMicWnd::PopOut() {
    PopOutShow(m_hWnd, true, true);
    if (IsPoppedOut()) ShowWindow(false, false);
}

void CPrivateMicWnd::DealClickClose() {
    const char* module = "CUIPrivateMic::DealClickClose";
    PJ_Log(micwnd::kUiLog, LOG_INFO, module, "关闭(nickname=%s, userid=%d)", m_pop.m_user.nickname.c_str(),
           static_cast<int>(GetMicUid()));
    if (!IsOwnStream()) {
        PJ_Log(micwnd::kUiLog, LOG_INFO, module, "关闭收看窗口");
        Close(1);
        return;
    }
    if (micwnd::HasOwnRight(5, RoomId())) {
        PJ_Log(micwnd::kUiLog, LOG_INFO, module, "有权限下麦，关闭窗口，发送下麦请求");
        uint32_t me = GetMicUid();
        Close(1);
        micwnd::SendOpMic(RoomId(), me, false, false);
        return;
    }
    PJ_Log(micwnd::kUiLog, LOG_INFO, module, "没有权限下麦");
    CMicLink::PostChatNotice(RoomHwnd(), BuildTipHtml("您没有下私麦的权限"));
}

void CPrivateMicWnd::ShowUserMenu() {
    CControlUI* arrows = m_PaintManager.FindControl("btnArrows");
    RECT wr = GetWindowRect();
    // From the button's bottom-right corner: under the button, or above it.
    RECT rc = arrows ? arrows->GetPos() : RECT{};
    RunUserMenu(m_hWnd, {wr.left + rc.right, wr.top + rc.top, wr.left + rc.right, wr.top + rc.bottom});
}

void CPrivateMicWnd::Notify(TNotifyUI& msg) {
    if (msg.sType != DUI_MSGTYPE_CLICK || !msg.pSender) {
        WindowImplBase::Notify(msg);
        return;
    }
    const CDuiString& n = msg.pSender->GetName();
    // The video and sound buttons act only with their tab layout in the skin.
    const bool videoButton = n == "btnCloseVideo" || n == "btnOpenVideo";
    const bool soundButton = n == "btnCloseVolume" || n == "btnOpenVolume";
    if ((videoButton && !dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("tablayout_OpenCloseVideo"))) ||
        (soundButton && !dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("tablayout_OpenCloseMic"))))
        return;
    if (n == "btnCloseVideo") {
        m_adapter->SwitchVideo(false);
        m_view.SetBackgroundImage(GetNoVideoBkPath());
        m_view.ClearFrame();
        SendMicAttr(true, false);
        SelectTab("tablayout_OpenCloseVideo", 1);
    } else if (n == "btnOpenVideo") {
        m_adapter->SwitchVideo(true);
        SendMicAttr(true, true);
        SelectTab("tablayout_OpenCloseVideo", 0);
    } else if (n == "btnCloseVolume") {
        m_adapter->SwitchAudio(false);
        if (m_view.IsMeterVisible()) {
            m_view.SetMeterVisible(false);
            m_view.Invalidate();
        }
        SendMicAttr(false, false);
        SelectTab("tablayout_OpenCloseMic", 1);
    } else if (n == "btnOpenVolume") {
        m_adapter->SwitchAudio(true);
        m_view.SetMeterVisible(true);
        SendMicAttr(false, true);
        SelectTab("tablayout_OpenCloseMic", 0);
    } else if (n == "btnCloseMicAll") {
        if (m_pMgr) m_pMgr->CloseAllPrivateMic();
    } else if (n == "btnPopup") {
        PopOut();
    } else if (n == "btnCloseMic") {
        DealClickClose();
    } else if (n == "btnArrows") {
        ShowUserMenu();
    } else {
        WindowImplBase::Notify(msg);
    }
}

LRESULT CPrivateMicWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_LBUTTONDOWN: {
        // The window has no system frame: a press outside the controls is its non-client press.
        int x = static_cast<short>(lParam & 0xFFFF), y = static_cast<short>((lParam >> 16) & 0xFFFF);
        POINT pt;
        pt.x = x, pt.y = y;
        RECT wr = GetWindowRect();
        if (!dynamic_cast<CButtonUI*>(m_PaintManager.FindControl(pt)) &&
            micwnd::PrivateSelects(x, y, wr.right - wr.left, wr.bottom - wr.top))
            m_pop.NodifySelectUser();
        break;
    }
    case WM_TIMER:
        if (wParam == MIC_RECONNECT_TIMER_ID) {
            if (!m_link->OnReConnectTimer(&m_view)) Close(1);
            return 0;
        }
        break;
    case WM_MIC_POPUP_CLOSED:
        PopOutShow(m_hWnd, false, false);
        ShowWindow(true, true);
        return 0;
    case WM_MIC_LINK_RESULT:
        m_link->OnLinkResult(wParam, &m_view);
        break;
    default:
        break;
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

// ---- CPrivateMicWndMgr

void CPrivateMicWndMgr::Init(IRoomUI* room, IMicRoomActions* actions) {
    if (m_wnds[0]) return;
    m_pRoom = room;
    for (int i = 0; i < kSlots; ++i) {
        m_wnds[i] = new CPrivateMicWnd(i, this);
        m_wnds[i]->Bind(room, actions);
    }
}

void CPrivateMicWndMgr::UnInit() {
    uint32_t roomId = RoomId();
    for (auto*& w : m_wnds) {
        if (!w) continue;
        if (w->HasWindow()) {
            if (w->IsOwnStream() && micwnd::HasOwnRight(5, roomId)) {
                PJ_Log(micwnd::kUiLog, LOG_INFO, "CPrivateMicWndMgr::UnInit", "有权限下麦，关闭窗口，发送下麦请求");
                micwnd::SendOpMic(roomId, w->GetMicUid(), false, false);
            }
            ::SendMessage(w->GetHWND(), WM_CLOSE, 0, 0);
        }
        CMicSlot::Release(w);
        w = nullptr;
    }
}

bool CPrivateMicWndMgr::EnsureWindow(int index, bool keepPos) {
    CPrivateMicWnd* w = m_wnds[index];
    if (w->HasWindow()) return true;
    RECT rc = micwnd::PrivateMicRect(index);
    if (!keepPos) {
        if (CWindowWnd* room = RoomWindow(m_pRoom)) {
            IWindowBackend* b = room->GetBackend();
            if (b && (!b->IsVisible() || b->IsMinimized())) {
                b->Restore();
                room->ShowWindow(true, false);
            }
            RECT rr = room->GetWindowRect();
            rc.left += rr.left, rc.right += rr.left, rc.top += rr.top, rc.bottom += rr.top;
        }
    }
    if (!w->CreateSlot(rc)) {
        PJ_Log(micwnd::kUiLog, LOG_FAILURE, "CPrivateMicMgr::AddPrivateMic", "创建私麦窗口失败index=%d", index);
        return false;
    }
    ++m_created;
    return true;
}

void CPrivateMicWndMgr::AddPrivateMic(int index, const RoomUserInfo& user, const std::string& url, uint32_t micattr,
                                      bool keepPos) {
    PJ_Log(micwnd::kUiLog, LOG_INFO, "CPrivateMicMgr::AddPrivateMic", "添加私麦显示窗口nickname=%s userid=%d",
           user.nickname.c_str(), static_cast<int>(user.uid));
    if (!ValidIndex(index, "AddPrivateMic")) return;
    CPrivateMicWnd* w = m_wnds[index];
    if (w->HasWindow()) {
        w->StopLinkThread();
        w->Adapter().StopActive();
        w->SetMicUser(user, url, micattr);
        w->StartLinkThread();
        return;
    }
    w->SetMicUser(user, url, micattr);
    if (!EnsureWindow(index, keepPos)) return;
    w->StartLinkThread();
}

void CPrivateMicWndMgr::DealMicAttrChange(uint32_t attr, int index) {
    if (!ValidIndex(index, "DealMicAttrChange")) return;
    m_wnds[index]->ApplyMicAttr(attr);
}

void CPrivateMicWndMgr::RemovePrivateMicByIndex(int index) {
    if (!ValidIndex(index, "RemovePrivateMicByIndex")) return;
    if (m_wnds[index]->HasWindow()) ::SendMessage(m_wnds[index]->GetHWND(), WM_CLOSE, 0, 0);
}

void CPrivateMicWndMgr::RemovePrivateMicByUserId(uint32_t uid) {
    for (int i = 0; i < kSlots; ++i) {
        if (m_wnds[i] && uid != 0 && m_wnds[i]->GetMicUid() == uid) {
            RemovePrivateMicByIndex(i);
            return;
        }
    }
}

void CPrivateMicWndMgr::DealGetLiveSig(const RoomMicStream* s) {
    PJ_Log(micwnd::kUiLog, LOG_INFO, "CPrivateMicWndMgr::DealGetLiveSig", "entry");
    if (!s) return;
    int index = s->idx;
    if (s->requestType == 22) {
        index = -1;
        for (int i = 0; i < kSlots && index < 0; ++i)
            if (m_wnds[i] && m_wnds[i]->GetMicUid() == s->uid) index = i;
        if (index < 0) {
            PJ_Log(micwnd::kUiLog, LOG_IMPOSSIBLE, "CPrivateMicWndMgr::DealGetLiveSig",
                   "平台切换时没找到对应的索引（userid=%d）", static_cast<int>(s->uid));
            return;
        }
    }
    if (!ValidIndex(index, "DealGetLiveSig")) return;
    CPrivateMicWnd* w = m_wnds[index];
    RoomUserInfo user = StreamUser(s->uid);
    if (s->kind != 0) {
        AddPrivateMic(index, user, s->url, s->micattr, false);
        return;
    }
    switch (s->status) {
    case 1:
        if (s->requestType == 20) {
            AddPrivateMic(index, user, s->url, s->micattr, false);
        } else if (w->HasWindow()) {
            w->SetMicUser(user, s->url, s->micattr);
            w->StartLinkThread();
        } else {
            // The user closed this window: a fresh signature for it starts nothing.
            PJ_Log(micwnd::kUiLog, LOG_INFO, "CPrivateMicWndMgr::DealGetLiveSig", "窗口已关闭（userid=%d）",
                   static_cast<int>(s->uid));
        }
        break;
    case 2:
        PJ_Log(micwnd::kUiLog, LOG_INFO, "CPrivateMicWndMgr::DealGetLiveSig", "后台返回失败（userid=%d, error=%s）",
               static_cast<int>(s->uid), s->text.c_str());
        if (s->uid != 0 && s->uid == CGlobalDataApp::GetInstance().GetUid()) {
            w->DealClickClose();
            CMicLink::PostChatNotice(RoomHwnd(), BuildTipHtml(BuildMicJoinFailText(s->text)));
        }
        break;
    case 255:
        if (s->requestType == 20) {
            // A window that already exists keeps it: a second one would lose the first.
            w->SetMicUser(user, s->url, s->micattr);
            EnsureWindow(index, false);
        }
        if (w->HasWindow()) w->SetReconnectTimer();
        break;
    default:
        break;
    }
}

void CPrivateMicWndMgr::UpdatePrivateMicList(const std::map<int, MicUserInfo>& mics) {
    for (int i = 0; i < kSlots; ++i) {
        CPrivateMicWnd* w = m_wnds[i];
        if (!w) continue;
        auto it = mics.find(i);
        if (it == mics.end()) {
            if (w->HasWindow()) RemovePrivateMicByIndex(i);
            continue;
        }
        if (w->HasWindow() || it->second.user.uid == w->GetMicUid()) continue;
        AddPrivateMic(i, it->second.user, it->second.stream.url, it->second.stream.micattr, false);
    }
}

void CPrivateMicWndMgr::OnPlatformSwitch() {
    for (auto* w : m_wnds) {
        if (!w || !w->HasWindow()) continue;
        w->StopLinkThread();
        KillTimer(w->GetHWND(), MIC_RECONNECT_TIMER_ID);
        w->RequestSwitchSig(RoomId());
    }
}

void CPrivateMicWndMgr::CloseAllPrivateMic() {
    for (auto* w : m_wnds)
        if (w && w->HasWindow()) w->DealClickClose();
}
