#include "MicPopWnd.h"

#include "GlobalData.h"
#include "IDataHalvec.h"
#include "MsgClientThread.h"
#include "RoomInfoMgr.h"
#include "VideoGtkPresenter.h"
#include "ZQCommands.h"
#include "ZqLog.h"
#include "ZqMusicCore.h"

#include <algorithm>

using namespace DuiLib;

namespace micwnd {

namespace {

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

}  // namespace

bool HasOwnRight(int right, uint32_t roomId) {
    IDataHalvec* h = Halvec();
    if (!h) return false;
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    if (h->HasRight(right, static_cast<int>(app.GetLevel()), -1)) return true;
    return h->HasRight2(right, static_cast<int>(CRoomInfoMgr::GetInstance().GetUserRole(roomId, app.GetUid())), -1);
}

bool HasRightOver(int right, uint32_t roomId, uint32_t targetUid) {
    IDataHalvec* h = Halvec();
    if (!h) return false;
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CRoomInfoMgr& mgr = CRoomInfoMgr::GetInstance();
    int myLevel = static_cast<int>(app.GetLevel());
    int myRole = static_cast<int>(mgr.GetUserRole(roomId, app.GetUid()));
    RoomUserInfo him;
    mgr.GetRoomUser(roomId, targetUid, him);
    int hisLevel = static_cast<int>(him.level), hisRole = static_cast<int>(him.role);
    return (h->HasRightPair(right, myLevel, hisLevel) && h->HasRightPair(right, myLevel, hisRole)) ||
           (h->HasRightPair2(right, myRole, hisLevel) && h->HasRightPair2(right, myRole, hisRole));
}

std::vector<MenuEntry> PerformerMenu(bool own, uint32_t tagId, bool stealth, bool mayTakeOff) {
    return {
        {0, "选中赠送对象", own},
        {1, "选中聊天对象", own},
        {2, "用户定位", false},
        {3, "给Ta盖章", own || tagId != 0},
        {4, "抱下麦", stealth || !mayTakeOff},
    };
}

Cell StripCell(int button, bool on, bool enabled, int hover, bool pressed) {
    const int c = pressed ? 36 : 18;
    Cell cell{0, 0};
    switch (button) {
    case 0:
        cell.y = on ? 0 : 18;
        cell.x = hover == 0 ? c : 0;
        if (!on && !enabled) cell.x = 54;
        break;
    case 1:
        cell.y = on ? 36 : 54;
        cell.x = hover == 1 ? c : 0;
        if (!on && !enabled) cell.x = 54;
        break;
    default:
        cell.y = on ? 18 : 0;
        cell.x = hover == 2 ? c : 0;
        break;
    }
    return cell;
}

SIZE PopVideoSize(int mode) {
    static const SIZE kSizes[CPublicMicPopWnd::kModes] = {{232, 182}, {320, 240}, {400, 300},
                                                          {480, 360}, {560, 420}, {640, 480}};
    return kSizes[std::clamp(mode, 0, CPublicMicPopWnd::kModes - 1)];
}

RECT PrivateMicRect(int index) {
    RECT rc;
    rc.left = 240 + 236 * (index % 4);
    rc.top = 200 + 218 * (index / 4);
    rc.right = rc.left + 236;
    rc.bottom = rc.top + 218;
    return rc;
}

bool PrivateSelects(int x, int y, int w, int h) {
    if (y >= 20 && y < h - 20) return true;
    if (y < 20) return x > 80 && x < w;
    return x < w - 20;
}

std::shared_ptr<CVideoGtkPresenter> AttachPresenter(CWindowWnd& host, CVideoShowWnd& view, const RECT& rc) {
    IWindowBackend* b = host.GetBackend();
    if (!b || !b->HasNativeWidgets() || !view.GetHWND()) return nullptr;
    auto p = CVideoGtkPresenter::Create(view.GetHWND());
    if (!p) return nullptr;
    b->PlaceNativeWidget(p->Widget(), rc, true);
    view.SetPresenter(p);
    return p;
}

void MovePresenter(CWindowWnd& host, const std::shared_ptr<CVideoGtkPresenter>& p, const RECT& rc, bool show) {
    IWindowBackend* b = host.GetBackend();
    if (b && p) b->PlaceNativeWidget(p->Widget(), rc, show);
}

void ReleasePresenter(CWindowWnd& host, CVideoShowWnd& view, std::shared_ptr<CVideoGtkPresenter>& p) {
    view.SetPresenter(nullptr);
    if (!p) return;
    if (IWindowBackend* b = host.GetBackend()) b->RemoveNativeWidget(p->Widget());
    p.reset();
}

bool SendOpMic(uint32_t roomId, uint32_t target, bool on, bool isPublic) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQOpMicMsg msg;
    msg.rid = static_cast<int>(roomId);
    msg.tid = static_cast<int>(target);
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.optype = on ? 1 : 2;
    msg.mictype = isPublic ? 1 : 2;
    msg.ctxInt[0] = static_cast<int>(roomId);
    msg.ctxInt[1] = static_cast<int>(target);
    return CMsgClientThread::GetInstance().PostRequest(&msg) != 0;
}

bool SendOpMicAttr(uint32_t roomId, uint32_t target, bool open, bool video) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQOpMicAttrMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.ctxInt[0] = static_cast<int>(roomId);
    msg.ctxInt[1] = static_cast<int>(target);
    msg.optype = open ? 1 : 2;
    msg.attr = video ? 2 : 1;
    return CMsgClientThread::GetInstance().PostRequest(&msg) != 0;
}

namespace {
GifHooks& Hooks() {
    static GifHooks h;
    return h;
}
}  // namespace

void SetGifHooks(GifHooks hooks) {
    Hooks() = std::move(hooks);
}

CControlUI* CreateGifControl(const char* cls) {
    if (!cls || std::string(cls) != "CControlGifBk" || !Hooks().create) return nullptr;
    return Hooks().create();
}

void SetGifFile(CControlUI* control, const std::string& file) {
    if (control && Hooks().setFile) Hooks().setFile(control, file);
}

bool IdentityItem(const RoomUserInfo& user, std::string& file, std::string& name) {
    IDataHalvec* h = Halvec();
    if (!h) return false;
    CatalogItem role;
    if (user.role >= 1 && h->GetRole(static_cast<int>(user.role), role)) {
        file = role.fname;
        name = role.name;
        return true;
    }
    LevelItem level;
    if (h->GetLevel(static_cast<int>(user.level), level)) {
        file = level.fname;
        name = level.name;
        return true;
    }
    return false;
}

std::string TagFile(uint32_t tagId) {
    IDataHalvec* h = Halvec();
    GiftItem tag;
    if (!h || tagId == 0 || !h->GetTag(-1, static_cast<int>(tagId), tag)) return "";
    return tag.fname;
}

}  // namespace micwnd

CPublicMicPopWnd::~CPublicMicPopWnd() {
    DestroyView();
    if (m_hWnd) DestroyWindow(m_hWnd);
}

bool CPublicMicPopWnd::CreatePopup(HWND owner, int x, int y) {
    m_hOwner = owner;
    if (m_hWnd) return true;
    HWND room = m_pRoom ? m_pRoom->GetHWND() : nullptr;
    return Create(room, "", 0x86000000u & ~UI_WS_VISIBLE, 0, x, y, 324, 279) != nullptr;
}

RECT CPublicMicPopWnd::VideoRect() const {
    SIZE s = micwnd::PopVideoSize(m_nSizeMode);
    RECT rc;
    rc.left = 2;
    rc.top = 19;
    rc.right = s.cx + 2;
    rc.bottom = s.cy + 19;
    return rc;
}

void CPublicMicPopWnd::InitWindow() {
    m_nSizeMode = 1;
    RECT cap;
    cap.bottom = GetWindowRect().bottom - GetWindowRect().top;
    m_PaintManager.SetCaptionRect(cap);
    SetNickName(m_user.nickname);
}

void CPublicMicPopWnd::SetNickName(const std::string& nickname) {
    if (!m_hWnd) return;
    if (CControlUI* l = m_PaintManager.FindControl("labelNickName")) l->SetText(nickname.c_str());
}

void CPublicMicPopWnd::DestroyView() {
    micwnd::ReleasePresenter(*this, m_view, m_presenter);
    m_view.Destroy();
}

void CPublicMicPopWnd::ShowPopup(bool show) {
    if (!m_hWnd) return;
    if (!show) {
        ShowWindow(false, false);
        DestroyView();
        return;
    }
    if (!m_view.GetHWND()) {
        RECT rc = VideoRect();
        if (m_view.Create(m_hWnd, &rc, GetDefaultVideoBkPath()) == 1)
            m_presenter = micwnd::AttachPresenter(*this, m_view, rc);
    }
    ShowWindow(true, true);
}

void CPublicMicPopWnd::ResizeVideo() {
    SIZE s = micwnd::PopVideoSize(m_nSizeMode);
    RECT wr = GetWindowRect();
    MoveWindow(wr.left, wr.top, s.cx + 4, s.cy + 39);
    RECT rc = VideoRect();
    m_view.SetWindowRect(&rc);
    micwnd::MovePresenter(*this, m_presenter, rc, true);
    RECT cap;
    cap.bottom = s.cy + 39;
    m_PaintManager.SetCaptionRect(cap);
    m_PaintManager.NeedUpdate();
}

void CPublicMicPopWnd::Larger() {
    if (CControlUI* b = m_PaintManager.FindControl("btnSmaller")) b->SetEnabled(true);
    if (m_nSizeMode + 1 < kModes) {
        ++m_nSizeMode;
        ResizeVideo();
    }
    if (m_nSizeMode + 1 > kModes - 1)
        if (CControlUI* b = m_PaintManager.FindControl("btnLarger")) b->SetEnabled(false);
}

void CPublicMicPopWnd::Smaller() {
    if (CControlUI* b = m_PaintManager.FindControl("btnLarger")) b->SetEnabled(true);
    if (m_nSizeMode >= 1) {
        --m_nSizeMode;
        ResizeVideo();
    }
    if (m_nSizeMode < 1)
        if (CControlUI* b = m_PaintManager.FindControl("btnSmaller")) b->SetEnabled(false);
}

void CPublicMicPopWnd::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_CLICK && msg.pSender) {
        const CDuiString& name = msg.pSender->GetName();
        if (name == "btnLarger") {
            Larger();
        } else if (name == "btnSmaller") {
            Smaller();
        } else if (name == "btnCloseWnd") {
            if (m_hOwner) ::PostMessage(m_hOwner, WM_MIC_POPUP_CLOSED, 0, 0);
        }
        return;
    }
    WindowImplBase::Notify(msg);
}

LRESULT CPublicMicPopWnd::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_ESCAPE) {
        if (m_hOwner) ::PostMessage(m_hOwner, WM_MIC_POPUP_CLOSED, 0, 0);
        return TRUE;
    }
    return WindowImplBase::ResponseDefaultKeyEvent(wParam);
}

LRESULT CPublicMicPopWnd::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_LBUTTONDOWN && m_hWnd) {
        // A press outside the buttons (the whole window is caption) selects the performer.
        POINT pt;
        pt.x = static_cast<short>(lParam & 0xFFFF);
        pt.y = static_cast<short>((lParam >> 16) & 0xFFFF);
        if (!dynamic_cast<CButtonUI*>(m_PaintManager.FindControl(pt))) NodifySelectUser();
    }
    return WindowImplBase::HandleMessage(uMsg, wParam, lParam);
}

void CPublicMicPopWnd::OnFinalMessage(HWND hWnd) {
    DestroyView();
    WindowImplBase::OnFinalMessage(hWnd);
}

void CPublicMicPopWnd::NodifySelectUser() {
    if (m_user.uid == 0) return;
    PJ_Log(micwnd::kUiLog, LOG_INFO, "CPublicMicPopWnd::NodifySelectUser", "entry");
    if (!m_pActions) return;
    m_pActions->SelectGiftTarget(m_user.uid);
    m_pActions->LocateUser(m_user.uid);
    m_pActions->SetChatTarget(m_user.uid);
}

std::vector<ZqMenuItem> CPublicMicPopWnd::UserMenuItems(bool own) const {
    uint32_t roomId = m_pRoom ? m_pRoom->GetRoomID() : 0;
    bool stealth = CGlobalDataApp::GetInstance().GetAccount().stealth == 1;
    bool mayTakeOff = own ? micwnd::HasOwnRight(2, roomId) : micwnd::HasRightOver(2, roomId, m_user.uid);
    std::vector<ZqMenuItem> items;
    for (const auto& e : micwnd::PerformerMenu(own, m_user.tagid, stealth, mayTakeOff))
        items.emplace_back(e.text.c_str(), e.id, false, e.greyed);
    return items;
}

void CPublicMicPopWnd::ActOnUserMenu(int item, uint32_t uid, bool isPublic) {
    switch (item) {
    case 0:
        if (m_pActions) m_pActions->SelectGiftTarget(uid);
        break;
    case 1:
        if (m_pActions) m_pActions->SetChatTarget(uid);
        break;
    case 2:
        if (m_pActions) m_pActions->LocateUser(uid);
        break;
    case 3:
        if (m_pActions) m_pActions->OpenStampDialog(uid);
        break;
    case 4:
        micwnd::SendOpMic(m_pRoom ? m_pRoom->GetRoomID() : 0, uid, false, isPublic);
        break;
    default:
        break;
    }
}
