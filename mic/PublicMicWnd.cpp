#include "PublicMicWnd.h"

#include "ChatHtml.h"
#include "GlobalData.h"
#include "MsgClientThread.h"
#include "RoomInfoMgr.h"
#include "VideoGtkPresenter.h"
#include "ZQCommands.h"
#include "ZqLog.h"

using namespace DuiLib;

namespace {

MicMediaFactory& Factory() {
    static MicMediaFactory f;
    return f;
}

RoomUserInfo EmptyUser() {
    return RoomUserInfo();
}

}  // namespace

// ---- CMicSlot

void CMicSlot::SetMediaFactory(const MicMediaFactory& factory) {
    Factory() = factory;
}

CMicSlot::CMicSlot(int index, bool isPublic, CVideoShowVoiceWnd& view)
    : m_index(index),
      m_public(isPublic),
      m_slotView(view),
      m_adapter(std::make_shared<CMicPublishReplayAdapter>(Factory())),
      m_link(std::make_unique<CMicLink>(index, isPublic, m_adapter)) {
    m_adapter->SetOwner(this);
}

CMicSlot::~CMicSlot() {
    m_link->StopLinkThread();
    m_adapter->SetOwner(nullptr);  // waits for a callback still inside this slot
    m_adapter->StopActive();
}

bool CMicSlot::IsOwnStream() const {
    return m_link->IsOwnStream();
}

void CMicSlot::BindRoom(IRoomUI* room, IMicRoomActions* actions) {
    m_pop.m_pRoom = room;
    m_pop.m_pActions = actions;
    if (room) m_link->SetRoom(room->GetHWND(), room->GetRoomID());
}

void CMicSlot::SetStream(const std::string& url, uint32_t micattr) {
    m_adapter->SetParam(url, IsOwnStream(), static_cast<int>(micattr));
}

void CMicSlot::UpdateTagImage() {
    if (!m_slotView.GetHWND()) return;
    std::string file = m_pop.m_user.uid ? micwnd::TagFile(m_pop.m_user.tagid) : "";
    if (file.empty()) {
        m_slotView.SetIconVisible(false);
        return;
    }
    m_slotView.SetOverlayIcon(file);
    m_slotView.SetIconVisible(true);
}

void CMicSlot::RequestSwitchSig(uint32_t roomId) const {
    CZQGetLiveSigMsg msg;
    msg.typeId = 23;
    msg.uid = CGlobalDataApp::GetInstance().GetUid();
    msg.sid = CGlobalDataApp::GetInstance().GetSid();
    msg.ctxInt[0] = static_cast<int>(roomId);
    msg.ctxInt[1] = static_cast<int>(GetMicUid());
    msg.ctxText[0] = IsOwnStream() ? "publish" : "listen";
    msg.micIndex = m_index;
    msg.isPublic = m_public;
    CZQGetLiveSigMsg::MakeOpContext(msg);
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CMicSlot::OnLinkChange(int severity, std::string text) {
    m_link->OnLinkChange(severity, text, &m_slotView);
}

void CMicSlot::OnVideoData(BYTE* rgb24, BITMAPINFOHEADER* header) {
    // The pop-out's view drops frames while it has no window, so a hide racing this frame loses nothing
    // but the frame.
    CMicLink::RouteVideo(rgb24, header, m_popped ? &m_pop.View() : static_cast<CVideoShowWnd*>(&m_slotView));
}

void CMicSlot::OnAudioLevel(short samples[9]) {
    m_slotView.SetVoiceSamples(samples);
}

void CMicSlot::PopOutShow(HWND owner, bool show, bool centre) {
    if (!show) {
        m_popped = false;
        m_pop.ShowPopup(false);
        return;
    }
    if (!m_pop.HasWindow()) {
        POINT pt;
        if (IWindowBackend* b = m_pop.m_pRoom && CWindowWnd::FromHandle(m_pop.m_pRoom->GetHWND())
                                    ? CWindowWnd::FromHandle(m_pop.m_pRoom->GetHWND())->GetBackend()
                                    : nullptr)
            pt = b->GetCursorPos();
        if (!m_pop.CreatePopup(owner, pt.x + 20, pt.y + 20)) return;
        if (centre) m_pop.CenterWindow();
    }
    m_pop.ShowPopup(true);
    m_popped = true;
    m_slotView.ClearFrame();
    m_slotView.SetBackgroundImage(GetDefaultVideoBkPath());
    m_slotView.Invalidate();
}

void CMicSlot::ClosePop() {
    m_popped = false;
    if (m_pop.HasWindow()) {
        m_pop.ShowPopup(false);
        ::SendMessage(m_pop.GetHWND(), WM_CLOSE, 0, 0);
    }
}

void CMicSlot::UpdateUserRecord(const RoomUserInfo& user) {
    m_pop.m_user = user;
    m_link->SetMicUser(user.uid, user.nickname);
}

void CMicSlot::CreateView(CWindowWnd& host, const RECT& rc, int buttonCount, DWORD exStyle) {
    if (m_slotView.Create(host.GetHWND(), &rc, GetDefaultVideoBkPath(), buttonCount, exStyle) == 1)
        m_presenter = micwnd::AttachPresenter(host, m_slotView, rc);
}

void CMicSlot::ApplyStream(const std::string& url, uint32_t micattr) {
    m_adapter->SetParam(url, IsOwnStream(), static_cast<int>(micattr));
    m_adapter->ApplyShowFlags();
    bool meter = (micattr & 1) != 0;
    if (m_slotView.IsMeterVisible() != meter) {
        m_slotView.SetMeterVisible(meter);
        m_slotView.Invalidate();
    }
}

void CMicSlot::SwitchToAttr(uint32_t attr) {
    m_adapter->SetParam(m_adapter->GetUrl(), m_adapter->IsPublish(), static_cast<int>(attr));
    if (!(attr & 2) && m_adapter->IsVideoShow()) {
        m_adapter->SwitchVideo(false);
        m_slotView.ClearFrame();
        m_slotView.SetBackgroundImage(GetNoVideoBkPath());
    } else if ((attr & 2) && !m_adapter->IsVideoShow()) {
        m_adapter->SwitchVideo(true);
    }
    if (!(attr & 1) && m_adapter->IsAudioShow()) {
        m_adapter->SwitchAudio(false);
        m_slotView.SetMeterVisible(false);
    } else if ((attr & 1) && !m_adapter->IsAudioShow()) {
        m_adapter->SwitchAudio(true);
        m_slotView.SetMeterVisible(true);
    }
}

void CMicSlot::EndWindow(CWindowWnd& host, HWND hWnd) {
    m_link->StopLinkThread();
    KillTimer(hWnd, MIC_RECONNECT_TIMER_ID);
    m_adapter->StopActive();
    ClosePop();
    micwnd::ReleasePresenter(host, m_slotView, m_presenter);
    m_slotView.Destroy();
    m_link->SetWindow(nullptr);
}

void CMicSlot::DetachMedia(CWindowWnd& host) {
    m_link->StopLinkThread();
    m_adapter->SetOwner(nullptr);
    micwnd::ReleasePresenter(host, m_slotView, m_presenter);
    m_slotView.Destroy();
}

void CMicSlot::Release(CMicSlot* slot) {
    if (!slot) return;
    // A performer menu may run inside the slot: it ends dismissed, and the slot goes once the loops are back.
    slot->m_released = true;
    if (slot->m_menu) ::PostMessage(slot->m_menu, WM_DISMISS_POPUP, 0, 0);
    ::DeleteWhenIdle(std::unique_ptr<CMicSlot>(slot));
}

void CMicSlot::RunUserMenu(HWND owner, const RECT& field) {
    const uint32_t uid = GetMicUid();
    if (uid == 0) return;
    IMicRoomActions* actions = m_pop.m_pActions;
    CZqMenuUI menu;
    menu.SetMenuItem(m_pop.UserMenuItems(IsOwnStream()));
    if (!menu.CreateMenuFor(field, owner)) return;
    HWND mw = menu.GetHWND();
    if (actions) actions->PushModalWnd(mw);
    HWND outer = m_menu;
    m_menu = mw;
    ++m_menuDepth;
    int r = menu.PopupMenuNoCreate();
    --m_menuDepth;
    m_menu = outer;
    // The room let the slot go meanwhile: nothing is done for it any more.
    if (m_released) return;
    if (actions) actions->PopModalWnd(mw);
    if (r == CZqMenuUI::kDismissed) {
        if (actions) actions->ContinueModalCancel();
        return;
    }
    if (r < 0) return;
    if (GetMicUid() != uid) {
        PJ_Log(micwnd::kUiLog, LOG_INFO, "CPublicMicPopWnd::ShowUserMenu", "用户已经下麦(userid=%u)", uid);
        return;
    }
    m_pop.ActOnUserMenu(r, uid, m_public);
}

// ---- CPublicMicWnd

CPublicMicWnd::CPublicMicWnd(int index) : CMicSlotWnd(index, true, m_view) {}

CPublicMicWnd::~CPublicMicWnd() {
    m_view.SetCallBack(nullptr);
    DetachMedia(*this);
}

void CPublicMicWnd::Bind(IRoomUI* room, IMicRoomActions* actions) {
    BindRoom(room, actions);
    m_view.SetCallBack(this);
}

bool CPublicMicWnd::CreateSlot() {
    if (!Create(RoomHwnd(), "", 0x56000000u, 0, 2, 55 + kHeight * m_index, kWidth, kHeight)) return false;
    m_link->SetWindow(m_hWnd);
    m_pop.m_hOwner = m_hWnd;
    return true;
}

CControlUI* CMicSlotWnd::CreateControl(const char* pstrClass) {
    return micwnd::CreateGifControl(pstrClass);
}

void CPublicMicWnd::InitWindow() {
    RECT rc;
    rc.left = 1, rc.top = 1, rc.right = 233, rc.bottom = 183;
    CreateView(*this, rc, 3, 32);
    m_imageA = m_PaintManager.GetImageEx("btn_MicList_CloseVideo.png");
    m_imageB = m_PaintManager.GetImageEx("videoshow_btn_popupwnd.png");
    UpdateControlContent();
}

void CPublicMicWnd::OnFinalMessage(HWND hWnd) {
    EndWindow(*this, hWnd);
    m_imageA = nullptr;
    m_imageB = nullptr;
    WindowImplBase::OnFinalMessage(hWnd);
}

void CPublicMicWnd::SetMicUser(const RoomUserInfo& user, const std::string& url, uint32_t micattr) {
    UpdateUserRecord(user);
    UpdateControlContent();
    m_pop.SetNickName(user.nickname);
    UpdateTagImage();
    if (user.uid != 0) {
        ApplyStream(url, micattr);
        m_view.SetBackgroundImage(m_adapter->WaitingBkPath());
        m_view.SetStripEnabled(true);
        return;
    }
    // Stopped before the timer is killed: a link thread ending now cannot arm it again.
    m_link->StopLinkThread();
    if (m_hWnd) KillTimer(m_hWnd, MIC_RECONNECT_TIMER_ID);
    m_adapter->StopActive();
    m_view.SetBackgroundImage(GetDefaultVideoBkPath());
    m_view.SetStripEnabled(false);
    m_view.Invalidate();
    m_view.SetMeterVisible(false);
    m_view.ClearFrame();
    m_view.SetVideoEnabled(false);
    ClosePop();
}

void CPublicMicWnd::ApplyMicAttr(uint32_t attr) {
    SwitchToAttr(attr);
    m_view.SetRedraw(CVideoShowWnd::kRedrawStrip);
}

void CPublicMicWnd::UpdateControlContent() {
    if (!m_hWnd) return;
    CControlUI* gif = m_PaintManager.FindControl("gifbkIdentity");
    CControlUI* nick = m_PaintManager.FindControl("labelNickName");
    CControlUI* arrows = m_PaintManager.FindControl("btnArrows");
    if (!gif || !nick || !arrows) {
        PJ_Log(micwnd::kUiLog, LOG_IMPOSSIBLE, "CPublicMicWnd::UpdateControlContent", "获取控件指针失败");
        return;
    }
    const RoomUserInfo& u = m_pop.m_user;
    if (u.uid == 0) {
        micwnd::SetGifFile(gif, "");
        gif->SetToolTip("");
        nick->SetText("");
        nick->SetToolTip("");
        arrows->SetEnabled(false);
        return;
    }
    std::string file, name;
    if (micwnd::IdentityItem(u, file, name)) {
        micwnd::SetGifFile(gif, file);
        gif->SetToolTip(name.c_str());
    }
    nick->SetText(u.nickname.c_str());
    nick->SetToolTip(u.nickname.c_str());
    arrows->SetEnabled(true);
}

void CPublicMicWnd::StopForSwitch() {
    m_link->StopLinkThread();
    if (m_hWnd) KillTimer(m_hWnd, MIC_RECONNECT_TIMER_ID);
    m_adapter->StopActive();
}

bool CPublicMicWnd::IsControlActive(int index) {
    if (IsOwnStream()) return true;
    int flags = m_adapter->GetShowFlags();
    if (index == 0) return (flags & 1) != 0;
    if (index == 1) return (flags & 2) != 0;
    return true;
}

void CPublicMicWnd::ToggleAudio() {
    bool on = !m_adapter->IsAudioShow();
    m_adapter->SwitchAudio(on);
    m_view.SetMeterVisible(on);
    if (IsOwnStream()) micwnd::SendOpMicAttr(RoomId(), GetMicUid(), on, false);
}

void CPublicMicWnd::ToggleVideo() {
    bool on = !m_adapter->IsVideoShow();
    m_adapter->SwitchVideo(on);
    if (!on) {
        m_view.ClearFrame();
        m_view.SetBackgroundImage(GetNoVideoBkPath());
    }
    if (IsOwnStream()) micwnd::SendOpMicAttr(RoomId(), GetMicUid(), on, true);
}

void CPublicMicWnd::TogglePopOut() {
    if (IsPoppedOut()) {
        PopOutShow(m_hWnd, false, false);
        return;
    }
    PopOutShow(m_hWnd, true, false);
}

void CPublicMicWnd::OnClickControl(int index) {
    switch (index) {
    case 0:
        ToggleAudio();
        break;
    case 1:
        ToggleVideo();
        break;
    case 2:
        TogglePopOut();
        break;
    default:
        m_pop.NodifySelectUser();
        break;
    }
    m_view.SetRedraw(CVideoShowWnd::kRedrawStrip);
}

void CPublicMicWnd::OnPaintControl(HDC dc, int width, int, int hover, bool pressed) {
    const TImageInfo* a = m_imageA;
    const TImageInfo* b = m_imageB;
    if ((!a || !b) && !m_imageLogged.exchange(true)) {
        if (!a)
            PJ_Log(micwnd::kUiLog, LOG_IMPOSSIBLE, "CPublicMicWnd::OnPaintControl",
                   "加载btn_MicList_CloseVideo.png图片失败");
        if (!b)
            PJ_Log(micwnd::kUiLog, LOG_IMPOSSIBLE, "CPublicMicWnd::OnPaintControl",
                   "加载videoshow_btn_popupwnd.png图片失败");
    }
    bool own = IsOwnStream();
    int flags = m_adapter->GetShowFlags();
    auto draw = [&](const TImageInfo* img, int right, micwnd::Cell c) {
        if (!img) return;
        RECT dst, part, none;
        dst.left = width - right, dst.top = 0, dst.right = width - right + 18, dst.bottom = 18;
        part.left = c.x, part.top = c.y, part.right = c.x + 18, part.bottom = c.y + 18;
        CRenderEngine::DrawImage(dc, img, dst, dst, part, none, true, 255);
    };
    draw(a, 23, micwnd::StripCell(0, m_adapter->IsAudioShow(), own || (flags & 1), hover, pressed));
    draw(a, 46, micwnd::StripCell(1, m_adapter->IsVideoShow(), own || (flags & 2), hover, pressed));
    draw(b, 69, micwnd::StripCell(2, IsPoppedOut(), true, hover, pressed));
}

void CPublicMicWnd::ShowUserMenu() {
    CControlUI* arrows = m_PaintManager.FindControl("btnArrows");
    RECT wr = GetWindowRect();
    // From the button's bottom-right corner: under the button, or above it.
    RECT rc = arrows ? arrows->GetPos() : RECT{};
    RECT field{rc.right, rc.top, rc.right, rc.bottom};
    // A child's rectangle is in its parent's client coordinates.
    if (CWindowWnd* room = RoomHwnd() ? CWindowWnd::FromHandle(RoomHwnd()) : nullptr) {
        RECT rr = room->GetWindowRect();
        const int dx = rr.left + wr.left, dy = rr.top + wr.top;
        field = {field.left + dx, field.top + dy, field.right + dx, field.bottom + dy};
    }
    RunUserMenu(m_hWnd, field);
}

void CPublicMicWnd::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender && msg.pSender->GetName() == "btnArrows") {
        ShowUserMenu();
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CPublicMicWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
    case WM_TIMER:
        if (wParam == MIC_RECONNECT_TIMER_ID) {
            if (!m_link->OnReConnectTimer(&m_view)) SetMicUser(EmptyUser(), "", 0);
            return 0;
        }
        break;
    case WM_MIC_LINK_RESULT:
        m_link->OnLinkResult(wParam, &m_view);
        break;
    case WM_MIC_POPUP_CLOSED:
        PopOutShow(m_hWnd, false, false);
        break;
    case WM_MIC_GET_CLOSE_VIDEO_IMAGE:
        return reinterpret_cast<LRESULT>(m_PaintManager.GetImageEx("btn_MicList_CloseVideo.png"));
    case WM_MIC_GET_POPUP_IMAGE:
        return reinterpret_cast<LRESULT>(m_PaintManager.GetImageEx("videoshow_btn_popupwnd.png"));
    case WM_LBUTTONDOWN: {
        int x = static_cast<short>(lParam & 0xFFFF), y = static_cast<short>((lParam >> 16) & 0xFFFF);
        RECT wr = GetWindowRect();
        int w = wr.right - wr.left, h = wr.bottom - wr.top;
        if (y > h - 18 && x < w - 20) m_pop.NodifySelectUser();
        break;
    }
    default:
        break;
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

// ---- CPublicMicWndMgr

void CPublicMicWndMgr::Init(IRoomUI* room, IMicRoomActions* actions) {
    if (m_wnds[0]) return;
    m_pRoom = room;
    for (int i = 0; i < kSlots; ++i) {
        m_wnds[i] = new CPublicMicWnd(i);
        m_wnds[i]->Bind(room, actions);
        if (!m_wnds[i]->CreateSlot())
            PJ_Log(micwnd::kMicLog, LOG_FAILURE, "CPublicMicWndMgr::Init", "创建公麦窗口失败index=%d", i);
    }
}

void CPublicMicWndMgr::UnInit() {
    for (auto*& w : m_wnds) {
        if (!w) continue;
        if (w->GetHWND()) ::SendMessage(w->GetHWND(), WM_CLOSE, 0, 0);
        CMicSlot::Release(w);
        w = nullptr;
    }
}

void CPublicMicWndMgr::AddPublicMic(int index, const RoomUserInfo& user, const std::string& url, uint32_t micattr) {
    if (!ValidIndex(index, "AddPublicMic")) return;
    m_wnds[index]->SetMicUser(user, url, micattr);
    m_wnds[index]->StartLinkThread();
}

void CPublicMicWndMgr::LeaveMic(int index) {
    if (!ValidIndex(index, "LeaveMic")) return;
    m_wnds[index]->SetMicUser(EmptyUser(), "", 0);
}

void CPublicMicWndMgr::DealMicAttrChange(uint32_t attr, int index) {
    if (!ValidIndex(index, "DealMicAttrChange")) return;
    m_wnds[index]->ApplyMicAttr(attr);
}

void CPublicMicWndMgr::DealGetLiveSig(const RoomMicStream* s) {
    PJ_Log(micwnd::kMicLog, LOG_INFO, "CPublicMicWndMgr::DealGetLiveSig", "entry");
    if (!s) return;
    int index = s->idx;
    if (s->requestType == 22) {
        index = -1;
        for (int i = 0; i < kSlots; ++i)
            if (m_wnds[i] && m_wnds[i]->GetMicUid() == s->uid) index = i;
        if (index < 0) {
            PJ_Log(micwnd::kMicLog, LOG_IMPOSSIBLE, "CPublicMicWndMgr::DealGetLiveSig",
                   "平台切换时没找到对应的索引（userid=%d）", static_cast<int>(s->uid));
            return;
        }
    }
    if (!ValidIndex(index, "DealGetLiveSig")) return;
    CPublicMicWnd* w = m_wnds[index];
    RoomUserInfo user = StreamUser(s->uid);
    if (s->kind != 0) {
        w->SetMicUser(user, s->url, s->micattr);
        w->StartLinkThread();
        return;
    }
    switch (s->status) {
    case 1:
        if (s->requestType == 20) w->SetMicUser(user, s->url, s->micattr);
        else w->SetStream(s->url, s->micattr);
        w->StartLinkThread();
        break;
    case 2: {
        PJ_Log(micwnd::kMicLog, LOG_INFO, "CPublicMicWndMgr::DealGetLiveSig", "后台返回失败（userid=%d, error=%s）",
               static_cast<int>(s->uid), s->text.c_str());
        if (s->uid != 0 && s->uid == CGlobalDataApp::GetInstance().GetUid()) {
            w->SetMicUser(EmptyUser(), "", 0);
            micwnd::SendOpMic(RoomId(), s->uid, false, true);
            CMicLink::PostChatNotice(RoomHwnd(), BuildMicJoinFailText(s->text));
        }
        break;
    }
    case 255:
        if (s->requestType == 20) w->SetMicUser(user, s->url, s->micattr);
        w->SetReconnectTimer();
        break;
    default:
        break;
    }
}

void CPublicMicWndMgr::UpdatePublicMicList(const std::map<int, MicUserInfo>& mics) {
    for (int i = 0; i < kSlots; ++i) {
        CPublicMicWnd* w = m_wnds[i];
        if (!w) continue;
        auto it = mics.find(i);
        if (it == mics.end()) {
            if (w->GetMicUid() != 0) w->SetMicUser(EmptyUser(), "", 0);
            continue;
        }
        if (it->second.user.uid == w->GetMicUid()) continue;
        w->SetMicUser(it->second.user, it->second.stream.url, it->second.stream.micattr);
        w->StartLinkThread();
    }
}

void CPublicMicWndMgr::OnPlatformSwitch() {
    for (auto* w : m_wnds) {
        if (!w || w->GetMicUid() == 0) continue;
        w->StopForSwitch();
        w->RequestSwitchSig(RoomId());
    }
}
