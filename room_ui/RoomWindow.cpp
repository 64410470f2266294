#include "RoomWindow.h"

#include "ChatHtml.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "MsgClientThread.h"
#include "PickerControls.h"
#include "RoomInfoMgr.h"
#include "UIChatFaceSelectPanel.h"
#include "UIGiftPopups.h"
#include "UIRoomManager.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMessageBox.h"
#include "ZqModConfig.h"
#include "ZqMusicCore.h"

using namespace DuiLib;

namespace roomui {

namespace {

constexpr const char* kManagerLog = "RoomManager.txt";
constexpr const char* kUiLog = "RoomUI.txt";
constexpr uint32_t kEffectMovieItem = 72000;
constexpr DWORD kRoomStyle = 0x10CF0000;
constexpr DWORD kRoomExStyle = 0x60000;
constexpr int kScrollBarWidth = 17;  // SM_CXVSCROLL

IDataHalvec* Halvec() {
    IDataManager* dm = AfxGetDataManager();
    return dm ? static_cast<IDataHalvec*>(dm->GetModule(HALVEC_MODULE_NAME)) : nullptr;
}

// A chat pane's place: the pane's web view follows this control's rectangle and visibility.
class CPaneHostUI : public CNativeHostUI {
public:
    const char* GetClass() const override { return "WebBrowserUIEx"; }
    void SetPos(RECT rc, bool bNeedInvalidate = true) override {
        RECT old = GetPos();
        CNativeHostUI::SetPos(rc, bNeedInvalidate);
        if (OnMoved && (old.left != rc.left || old.top != rc.top || old.right != rc.right || old.bottom != rc.bottom))
            OnMoved();
    }
    // The column's layout moved the pane (a tip bar shown above it, a resize): its hover buttons follow.
    std::function<void()> OnMoved;
};

// The input's place: the native input follows this control's rectangle.
class CInputPlaceUI : public CControlUI {
public:
    explicit CInputPlaceUI(CRichEditCtrlEx& input) : m_input(input) {}
    const char* GetClass() const override { return "InputPlaceUI"; }
    void SetPos(RECT rc, bool bNeedInvalidate = true) override {
        CControlUI::SetPos(rc, bNeedInvalidate);
        if (m_input.Edit().IsCreated()) m_input.Edit().Move(rc);
    }

private:
    CRichEditCtrlEx& m_input;
};

}  // namespace

CRoomUI::CRoomUI() = default;

CRoomUI::~CRoomUI() {
    if (m_flash) m_flash->Destroy();
}

template <class T>
void CRoomUI::Free(int code, T* payload) {
    if (!payload) return;
    if (OnPayloadFreed) OnPayloadFreed(code, payload);
    delete payload;
}

bool CRoomUI::GetDealUI(int kind, IRoomDealUI** out) {
    IRoomDealUI* deal = kind == 0   ? static_cast<IRoomDealUI*>(&m_left)
                        : kind == 1 ? static_cast<IRoomDealUI*>(&m_center)
                        : kind == 2 ? static_cast<IRoomDealUI*>(&m_right)
                                    : nullptr;
    if (out) *out = deal;
    return deal != nullptr;
}

bool CRoomUI::CreateRoomWindow(const std::string& title) {
    if (m_hwnd) return true;
    m_closing = false;
    if (!Create(nullptr, title.c_str(), kRoomStyle, kRoomExStyle, 0, 0, kWidth, kHeight)) return false;
    CenterWindow();
    ShowWindow(true);
    return true;
}

void CRoomUI::CloseRoomWindow() {
    HWND h = m_hwnd;
    if (h) {
        m_closing = true;  // the room manager closes: no exit request of our own
        // Every loop running inside the room ends dismissed first, the newest first.
        std::vector<HWND> modal = m_modal;
        m_modal.clear();
        for (auto it = modal.rbegin(); it != modal.rend(); ++it)
            if (::IsWindow(*it)) ::SendMessage(*it, WM_DISMISS_POPUP, 0, 0);
        if (::IsWindow(h)) ::SendMessage(h, WM_CLOSE, 0, 0);
    }
}

bool CRoomUI::IsWindowVisible() {
    return m_hwnd && CWindowWnd::IsWindowVisible();
}

void CRoomUI::RestoreMaximized() {
    if (!m_hwnd) return;
    m_iconic = false;
    ShowWindow(true);
    PostMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
}

void CRoomUI::BringToFront() {
    if (m_hwnd) ShowWindow(true);
}

void CRoomUI::PushModalWnd(HWND hwnd) {
    if (hwnd) m_modal.push_back(hwnd);
}

void CRoomUI::PopModalWnd(HWND hwnd) {
    for (auto it = m_modal.rbegin(); it != m_modal.rend(); ++it) {
        if (*it == hwnd) {
            m_modal.erase(std::next(it).base());
            return;
        }
    }
}

void CRoomUI::ContinueModalCancel() {
    if (m_closing) return;  // the room closes already: its loops were dismissed together
    if (HWND top = TopModalWnd()) {
        ::PostMessage(top, WM_DISMISS_POPUP, 0, 0);
        return;
    }
    if (IRoomLogic* logic = m_logic) logic->CloseRoom();
}

void CRoomUI::ShieldFlash(bool shield) {
    if (m_flash) m_flash->Shield(shield);
}

void CRoomUI::InitColumns() {
    CPaintManagerUI* pm = m_hwnd ? &m_PaintManager : nullptr;
    auto find = [&](const char* name) { return pm ? pm->FindControl(name) : nullptr; };
    auto list = [&](const char* name) { return dynamic_cast<CUserListUI*>(find(name)); };
    m_right.Init(this, list("UserManagerList"), list("UserMemberList"), list("UserMicOrderList"), &TrumpetPane());
    if (pm) m_right.InitControls(this, this, pm, m_right.Trumpet());
    m_tips.InitControls(this, pm, &TrumpetPane());
    m_center.InitControls(this, this, &OwnPane(), &PublicPane(), m_hwnd ? &m_input : nullptr,
                          dynamic_cast<CComboUI*>(find("comboChatDst")),
                          dynamic_cast<COptionUI*>(find("checkboxPrivateTalk")), pm);
    m_gifts.Init(this, pm);
    // The panel's refusals go to the column's tip bar.
    m_gifts.ShowGiftTip = [this](const std::string& text) { m_tips.ShowGiftTip(text); };
    m_gifts.ShowGiftFailTip = [this](const std::string& text) { m_tips.ShowGiftFailTip(text); };
    // The user menu's gift with words and stamp open the panel's popups.
    m_right.OnOpenWordsGift = [this](uint32_t uid, const std::string& nickname) {
        m_gifts.OpenWordsGift(uid, nickname);
    };
    m_right.OnOpenStamp = [this](uint32_t uid) { m_gifts.OpenStampDialog(uid); };
    if (!m_left.InitControls(this, this, &m_center, pm))
        PJ_Log(kUiLog, LOG_FAILURE, "CRoomUI::InitColumns", "microphone column without its join/leave tab");
}

void CRoomUI::CreateFacePicker() {
    if (!CUIChatFaceSelectPanel::GetInstance().EnsureCreated())
        PJ_Log(kUiLog, LOG_FAILURE, "CRoomUI::CreateFacePicker", "表情窗口创建失败");
}

void CRoomUI::ReloadFaces() {
    // A picker without its window yet loads the catalogue when it is made.
    CUIChatFaceSelectPanel& panel = CUIChatFaceSelectPanel::GetInstance();
    if (panel.GetHWND()) panel.ReloadFaces();
}

void CRoomUI::DestroyFacePicker() {
    CUIChatFaceSelectPanel& panel = CUIChatFaceSelectPanel::GetInstance();
    panel.StopLoadThread();
    if (HWND h = panel.GetHWND()) ::DestroyWindow(h);
}

void CRoomUI::ShowMessage(const char* text, const char* title) {
    if (!m_hwnd) {
        PJ_Log(kUiLog, LOG_INFO, "CRoomUI::ShowMessage", "%s", text);
        return;
    }
    // The box joins the modal stack: a room closing meanwhile dismisses it first.
    CZqMessageBox box;
    box.Create(m_hwnd, "MessageBox", 0x96C80000 /* popup, visible, caption, system menu */, 0, 0, 0, 0, 0);
    HWND h = box.GetHWND();
    if (!h) return;
    PushModalWnd(h);
    int r = ShowZqMessageBox(&box, m_hwnd, text, title);
    PopModalWnd(h);
    if (r == CZqMessageBox::kDismissed) ContinueModalCancel();
}

void CRoomUI::ScheduleLineFlush() {
    if (++m_queuedLines >= kMaxQueuedLines) {
        FlushChatLines();
        return;
    }
    if (m_flushPosted) return;
    if (!m_hwnd) {
        FlushChatLines();
        return;
    }
    const DWORD since = ::GetTickCount() - m_lastFlushTick;
    if (m_flushedOnce && since < kLineFlushGapMs) {
        if (::SetTimer(m_hwnd, kLineFlushTimer, UINT(kLineFlushGapMs - since))) {
            m_flushPosted = m_flushTimer = true;
            return;
        }
    } else if (::PostMessage(m_hwnd, WM_FLUSH_CHAT_LINES, 0, 0)) {
        // Behind the messages already waiting: they join this batch.
        m_flushPosted = true;
        return;
    }
    FlushChatLines();
}

void CRoomUI::FlushChatLines() {
    if (m_flushTimer && m_hwnd) ::KillTimer(m_hwnd, kLineFlushTimer);
    m_flushPosted = m_flushTimer = false;
    m_lastFlushTick = ::GetTickCount();
    m_flushedOnce = true;
    m_queuedLines = 0;
    m_center.FlushLines();
    m_trumpetFeed.Flush();
    LogPaneWidths();
}

void CRoomUI::LogPaneWidths() {
    if (!LogDebugOn() || !m_hwnd) return;
    // With debug logging on, how wide each shown pane lays out its lines against the width it shows (the
    // walk-through tests read it): wider content is cut at the pane's edge.
    struct Pane {
        const char* control;
        const char* name;
        CWebChatView* pane;
    };
    for (const Pane& p :
         {Pane{"webbrowserMsgView", "public", m_publicWeb.get()}, Pane{"webbroserMsgViewSelf", "own", m_ownWeb.get()},
          Pane{"WebBrowserTrumpet", "trumpet", m_trumpetWeb.get()}}) {
        CControlUI* host = m_PaintManager.FindControl(p.control);
        if (!p.pane || !host || !host->IsVisible()) continue;
        const RECT rc = host->GetPos();
        const int view = rc.right - rc.left;
        const char* name = p.name;
        p.pane->MeasureWidth([name, view](int content, int shown) {
            if (shown > 0)
                PJ_Log(kUiLog, LOG_DETAIL, "CRoomUI::PaneWidth", "pane=%s content=%d shown=%d view=%d", name, content,
                       shown, view);
        });
    }
}

void CRoomUI::ShowLuckyGift(RoomLuckyGift* notice) {
    CControlUI* area = m_hwnd ? m_PaintManager.FindControl("GlobalGiftInform") : nullptr;
    if (!area) {
        Free(ROOM_NOTIFY_LUCKY_GIFT, notice);
        return;
    }
    // A child of the room window: it moves with the window; made again when its window is gone.
    if (!m_luckyTip || !m_luckyTip->GetHWND()) {
        ::DeleteWhenIdle(std::move(m_luckyTip));  // the gone one may still be on a loop's stack
        m_luckyTip = std::make_unique<CUILuckyGiftTip>();
        if (!m_luckyTip->Create(m_hwnd, "", 0x46000000 /* child, clip siblings and children */, 0)) {
            m_luckyTip.reset();
            Free(ROOM_NOTIFY_LUCKY_GIFT, notice);
            return;
        }
    }
    PlaceLuckyTip();
    m_luckyTip->ShowTip(m_hwnd, m_roomId, notice);  // takes the notice
}

void CRoomUI::PlaceLuckyTip() {
    CControlUI* area = m_hwnd ? m_PaintManager.FindControl("GlobalGiftInform") : nullptr;
    if (!area || !m_luckyTip || !m_luckyTip->GetHWND()) return;
    const RECT& rc = area->GetPos();
    m_luckyTip->MoveWindow(rc.left, rc.top, rc.right - rc.left, kLuckyTipHeight);
}

void CRoomUI::CreateEffectWindow() {
    IDataHalvec* h = Halvec();
    CatalogItem movie;
    // Create fails (no effects) when the movie file or the player is unavailable.
    if (!h || !h->GetIcon(int(kEffectMovieItem), movie) || movie.fname.empty()) return;
    auto flash = std::make_unique<CFlashWnd>();
    flash->SetMoviePath(movie.fname);
    flash->SetOwner(m_hwnd);
    if (!flash->Create()) return;
    flash->CenterTopMost();
    m_flash = std::move(flash);
    int shield = 0;
    if (IConfigManager* cfg = AfxGetConfigManager()) cfg->GetInt("roomset", "ShieldFlash", shield, 0);
    ShieldFlash(shield == 1);
}

void CRoomUI::CreateWebPanes() {
    IWindowBackend* backend = m_PaintManager.GetBackend();
    if (!backend || !backend->HasNativeWidgets()) return;
    std::string url = WriteChatPage(Dir::ToNativePath(Dir::GetZqPath(107) + "chat/"));
    if (url.empty()) {
        PJ_Log(kUiLog, LOG_FAILURE, "CRoomUI::CreateWebPanes", "chat page not written");
        return;
    }
    struct Place {
        const char* name;
        std::unique_ptr<CWebChatView>& pane;
        int view;
    };
    // The trumpet pane is the user-list column's view 0; kTrumpetPane marks it here.
    constexpr int kTrumpetPane = -1;
    for (Place p :
         {Place{"webbroserMsgViewSelf", m_ownWeb, kOwnView}, Place{"webbrowserMsgView", m_publicWeb, kPublicView},
          Place{"WebBrowserTrumpet", m_trumpetWeb, kTrumpetPane}}) {
        auto* host = dynamic_cast<CNativeHostUI*>(m_PaintManager.FindControl(p.name));
        webview::IWebView* view = host ? webview::CreateWebView(webview::Engine::WebKit) : nullptr;
        if (!view || !view->GetWidget()) {
            if (view) view->Close();
            continue;
        }
        p.pane = std::make_unique<CWebChatView>(view);
        p.pane->SetCallBack(&m_center);
        p.pane->SetModalHost(this);
        int id = p.view;
        if (id == kTrumpetPane) {
            p.pane->OnReady = [this] {
                m_tips.OnDocumentComplete(0, m_hwnd);
                PlaceHoverButtons();
            };
            p.pane->OnPointerEnter = [this] {
                PlaceHoverButtons();  // the column's layout may have moved the view (the tip bar)
                m_tips.OnWebMouseEnter(0);
            };
            p.pane->OnPointerLeave = [this] { m_tips.OnWebMouseLeave(0, PointerOnScreen()); };
        } else {
            p.pane->OnReady = [this, id] {
                m_center.OnDocumentComplete(id);
                PlaceHoverButtons();
            };
            p.pane->OnPointerEnter = [this, id] {
                PlaceHoverButtons();
                m_center.OnWebMouseEnter(id);
            };
            p.pane->OnPointerLeave = [this, id] { m_center.OnWebMouseLeave(id, PointerOnScreen()); };
        }
        host->SetNativeWidget(view->GetWidget());
        p.pane->Navigate(url);
    }
}

void CRoomUI::DestroyWebPanes() {
    // The widgets leave the window before their views close; the column goes back to the headless panes.
    m_center.SetViews(&m_ownView, &m_publicView);
    m_trumpetFeed.SetView(&m_trumpetView);
    m_center.ReleaseHoverButtons();
    m_tips.ReleaseWindows();
    // The column keeps no pointer to the pane that goes (its lists go with the window too).
    m_right.Init(this, nullptr, nullptr, nullptr, &m_trumpetView);
    for (const char* name : {"webbroserMsgViewSelf", "webbrowserMsgView", "WebBrowserTrumpet"})
        if (auto* host = dynamic_cast<CNativeHostUI*>(m_PaintManager.FindControl(name))) host->SetNativeWidget(nullptr);
    // A pane's context menu may run inside its engine's event.
    ::DeleteWhenIdle(std::move(m_ownWeb));
    ::DeleteWhenIdle(std::move(m_publicWeb));
    ::DeleteWhenIdle(std::move(m_trumpetWeb));
}

void CRoomUI::PlaceHoverButtons() {
    if (!m_hwnd) return;
    RECT frame = GetWindowRect();
    // A view's rectangle on the screen; false when the skin has no such view.
    auto onScreen = [&](const char* name, RECT& rc) {
        CControlUI* view = m_PaintManager.FindControl(name);
        if (!view) return false;
        rc = view->GetPos();
        rc = RECT{rc.left + frame.left, rc.top + frame.top, rc.right + frame.left, rc.bottom + frame.top};
        return true;
    };
    RECT rc;
    if (onScreen("WebBrowserTrumpet", rc)) m_tips.PlaceHoverButtons(rc, kScrollBarWidth);
    if (onScreen("webbrowserMsgView", rc)) m_center.PlaceHoverButtons(kPublicView, rc, kScrollBarWidth);
    if (onScreen("webbroserMsgViewSelf", rc)) m_center.PlaceHoverButtons(kOwnView, rc, kScrollBarWidth);
}

void CRoomUI::InitWindow() {
    m_hwnd = CWindowWnd::GetHWND();
    if (CControlUI* rect = m_PaintManager.FindControl("controlRichEditRect")) {
        const RECT& rc = rect->GetPos();
        m_input.Create(m_hwnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, this, 1);
        m_input.Edit().OnKey = [this](const richedit::KeyEvent& k) {
            if (k.vk != VK_RETURN) return false;
            m_center.SendChat();
            return true;
        };
    }
    CreateWebPanes();
    InitColumns();
    if (auto* area = dynamic_cast<CContainerUI*>(m_PaintManager.FindControl("GlobalGiftInform"))) {
        m_bannerUI = new CGlobalGiftBannerUI(m_center.Banner());
        if (area->Add(m_bannerUI)) m_bannerUI->Attach();
        else {
            delete m_bannerUI;
            m_bannerUI = nullptr;
        }
    }
    if (CControlUI* feedback = m_PaintManager.FindControl("FeedBackBTN")) feedback->SetVisible(false);
    RefreshNameLabel();
    RefreshLevelGif();
    RefreshRoomName();
    UpdateRoomManagerButton();
    UpdateFavTab();
    // The headless panes take lines at once; the web panes once their page has loaded (the column keeps
    // the lines until then).
    m_publicView.SetReady(true);
    m_ownView.SetReady(true);
    m_trumpetView.SetReady(true);
    if (!m_publicWeb) m_center.OnDocumentComplete(kPublicView);
    if (!m_ownWeb) m_center.OnDocumentComplete(kOwnView);
    CreateEffectWindow();
    // The room opens maximised.
    PostMessage(WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    RequestUserList();
}

void CRoomUI::RequestUserList() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQGetRoomUserMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = m_roomId;
    msg.ctxInt[0] = int(m_roomId.load());
    PJ_Log(kManagerLog, LOG_INFO, "CRoomUI::InitWindow", "发获取用户列表请求");
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CRoomUI::RequestRoomInfo() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    CZQGetRoomInfoMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(m_roomId.load());
    msg.ctxInt[0] = int(m_roomId.load());
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

// The room management dialog, made on first use and reused.
void CRoomUI::OpenRoomManager() {
    if (!m_hwnd) return;
    if (!m_roomManager) {
        auto dlg = std::make_unique<CUIRoomManager>();
        if (!dlg->Create(m_hwnd, "房间管理", UI_WS_POPUP, 0, 0, 0, CUIRoomManager::kWidth, CUIRoomManager::kHeight))
            return;
        dlg->CenterWindow();
        m_roomManager = std::move(dlg);
    }
    m_roomManager->SetRoomInfo(m_roomId);
    m_roomManager->ShowWindow(true, true);
}

void CRoomUI::RequestExit() {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    IRoomLogic* logic = m_logic;
    CZQExitRoomMsg exit;
    exit.uid = app.GetUid();
    exit.sid = app.GetSid();
    // This window's room's chat id: while another room is being entered the room logic may serve that one.
    exit.chatid = CRoomInfoMgr::GetInstance().GetUserChatID(m_roomId, 0);
    exit.rid = int(m_roomId.load());
    exit.ctxInt[0] = exit.rid;
    CMsgClientThread::GetInstance().PostRequest(&exit);
    if (logic) logic->CloseRoom();
}

void CRoomUI::RefreshNameLabel() {
    auto* label = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("UserNameAndIDLabel"));
    if (!label) return;
    UserAccount acc = CGlobalDataApp::GetInstance().GetAccount();
    std::string text = StringUtility::Format("%s(%u)", acc.nickname.c_str(), acc.beautyid ? acc.beautyid : acc.uid);
    label->SetText(text.c_str());
    SIZE size = CRenderEngine::GetTextSize(&m_PaintManager, text.c_str(), -1, DT_SINGLELINE);
    label->SetFixedWidth(int(size.cx) + 4);
}

void CRoomUI::RefreshLevelGif() {
    auto* gif = dynamic_cast<CControlGifBk*>(m_PaintManager.FindControl("GifUserLevelSelfCtrl"));
    IDataHalvec* h = Halvec();
    LevelItem level;
    if (gif && h && h->GetLevel(int(CGlobalDataApp::GetInstance().GetLevel()), level))
        gif->SetGifFile(level.fname.c_str());
}

bool CRoomUI::MayManageRoom() {
    IDataHalvec* h = Halvec();
    if (!h) return false;
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    if (h->HasRight(17, int(app.GetLevel()), -1)) return true;
    return h->HasRight2(17, int(CRoomInfoMgr::GetInstance().GetUserRole(m_roomId, app.GetUid())), -1);
}

void CRoomUI::UpdateRoomManagerButton() {
    if (CControlUI* b = m_PaintManager.FindControl("RoomManagerBTN")) b->SetVisible(MayManageRoom());
}

void CRoomUI::UpdateFavTab() {
    if (auto* tab = dynamic_cast<CTabLayoutUI*>(m_PaintManager.FindControl("tablayout_fav")))
        tab->SelectItem(CRoomInfoMgr::GetInstance().GetFavFlag(m_roomId) ? 1 : 0);
}

void CRoomUI::OpFavourite(bool add) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    if (app.GetLevel() == 100) {
        m_center.AppendMsgHtml(BuildFavNeedLoginTip(), kOwnView);
        return;
    }
    CZQOpFavRoomMsg msg;
    msg.uid = app.GetUid();
    msg.sid = app.GetSid();
    msg.rid = int(m_roomId.load());
    msg.optype = add ? 1 : 2;
    msg.ctxInt[0] = msg.rid;
    msg.ctxInt[1] = msg.optype;  // the reply carries only the context: it tells an addition from a removal
    CMsgClientThread::GetInstance().PostRequest(&msg);
}

void CRoomUI::RefreshRoomName() {
    if (auto* label = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("RoomNameLabel")))
        label->SetText(CRoomInfoMgr::GetInstance().GetRoomName(m_roomId).c_str());
    if (auto* label = dynamic_cast<CLabelUI*>(m_PaintManager.FindControl("RoomIDLabel")))
        label->SetText(StringUtility::Format("%u", m_roomId.load()).c_str());
}

CControlUI* CRoomUI::CreateControl(const char* pstrClass) {
    std::string cls = pstrClass ? pstrClass : "";
    if (cls == "CControlGifBk") return new CControlGifBk;
    if (cls == "CUserListUI") return new CUserListUI;
    if (cls == "WebBrowserUIEx") {
        auto* host = new CPaneHostUI;
        host->OnMoved = [this] { PlaceHoverButtons(); };
        return host;
    }
    if (cls == "CControlGlobalGiftShow") return new CControlGlobalGiftShow;
    if (cls == "CControlGiftSelect") return new CControlGiftSelect;
    if (cls == "RichEditPlace") return new CInputPlaceUI(m_input);
    return nullptr;
}

void CRoomUI::Notify(TNotifyUI& msg) {
    if (m_tips.Notify(msg)) return;
    if (msg.pSender && msg.sType == "click") {
        std::string name = msg.pSender->GetName().c_str();
        if (name == "btnClose") {
            RequestExit();
            return;
        }
        if (name == "RoomCollectBTN" || name == "RoomCollectCancelBTN") {
            OpFavourite(name == "RoomCollectBTN");
            return;
        }
        if (name == "RoomManagerBTN") {
            RequestRoomInfo();
            return;
        }
        if (name == "btnMin") {
            SendMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return;
        }
        if (name == "btnMax" || name == "btnRestore") {
            SendMessage(WM_SYSCOMMAND, name == "btnMax" ? SC_MAXIMIZE : SC_RESTORE, 0);
            return;
        }
    }
    if (m_right.Notify(msg) || m_left.OnNotify(msg)) return;
    if (m_gifts.Notify(msg)) return;
    m_center.Notify(msg);
    WindowImplBase::Notify(msg);
}

LRESULT CRoomUI::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    if (uMsg == WM_ROOM_NOTIFY) {
        bHandled = TRUE;
        // Nothing thrown below (an allocation failing) leaves the window procedure.
        try {
            OnRoomNotify(int(wParam), lParam);
        } catch (const std::exception& e) {
            PJ_Log(kUiLog, LOG_FAILURE, "CRoomUI::OnRoomNotify", "code %d: %s", int(wParam), e.what());
        }
        return 0;
    }
    if (uMsg == WM_FLUSH_CHAT_LINES || (uMsg == WM_TIMER && wParam == kLineFlushTimer)) {
        bHandled = TRUE;
        FlushChatLines();
        return 0;
    }
    if (uMsg == WM_UPDATE_MY_INFO) {
        bHandled = TRUE;
        OnOwnInfoUpdated(int(wParam));
        return 0;
    }
    if (uMsg == WM_ACTIVATE) m_foreground = LOWORD(wParam) != 0;
    if (uMsg == WM_MOVE) PlaceHoverButtons();
    bHandled = FALSE;
    return 0;
}

void CRoomUI::OnOwnInfoUpdated(int flags) {
    // The settings dialog changed the account: the room's record of the user follows it now, not only
    // when the chat server tells the others.
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    RoomUserInfo u;
    if (!a.uid || !CRoomInfoMgr::GetInstance().GetRoomUser(m_roomId, a.uid, u)) return;
    if (flags & USER_CHANGE_NICKNAME) u.nickname = a.nickname;
    if (flags & USER_CHANGE_PHOTO) u.photoid = a.photoid;
    CRoomInfoMgr::GetInstance().UpdateRoomUser(m_roomId, u);
    auto* change = new RoomUserChange;
    change->uid = a.uid;
    change->value = flags & (USER_CHANGE_NICKNAME | USER_CHANGE_PHOTO);
    OnRoomNotify(ROOM_NOTIFY_USER_CHANGED, reinterpret_cast<LPARAM>(change));  // frees the record
}

LRESULT CRoomUI::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    UINT cmd = UINT(wParam & 0xFFF0);
    if (cmd == SC_CLOSE) {
        bHandled = TRUE;
        RequestExit();
        return 0;
    }
    if (cmd == SC_MINIMIZE) m_iconic = true;
    else if (cmd == SC_MAXIMIZE || cmd == SC_RESTORE) m_iconic = false;
    bool max = cmd == SC_MAXIMIZE;
    if (CControlUI* b = m_PaintManager.FindControl("btnMax"); b && (cmd == SC_MAXIMIZE || cmd == SC_RESTORE))
        b->SetVisible(!max);
    if (CControlUI* b = m_PaintManager.FindControl("btnRestore"); b && (cmd == SC_MAXIMIZE || cmd == SC_RESTORE))
        b->SetVisible(max);
    return WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
}

LRESULT CRoomUI::OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    LRESULT r = WindowImplBase::OnSize(uMsg, wParam, lParam, bHandled);
    // The controls take the new size first: the children are placed over them.
    m_PaintManager.NeedUpdate();
    m_PaintManager.UpdateLayout();
    PlaceChildren();
    PlaceHoverButtons();
    PlaceLuckyTip();
    LogPaneWidths();
    return r;
}

void CRoomUI::PlaceChildren() {
    if (CControlUI* banner = m_PaintManager.FindControl("GlobalGiftInform")) {
        const RECT& rc = banner->GetPos();
        m_center.Banner().SetClientSize(rc.right - rc.left, rc.bottom - rc.top);
    }
}

LRESULT CRoomUI::OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    // The user closes the window: leave the room; the room manager then closes the window itself.
    if (!m_closing) {
        bHandled = TRUE;
        RequestExit();
        return 0;
    }
    m_left.ReleaseWindows();
    return WindowImplBase::OnClose(uMsg, wParam, lParam, bHandled);
}

LRESULT CRoomUI::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    m_left.ReleaseWindows();
    // The effect window really goes with the room (hidden, stopped, destroyed, freed).
    // Objects the window owns go once no loop runs: a menu, box or dialog of theirs may run under this.
    if (m_flash) {
        m_flash->HideAndStop();
        m_flash->Destroy();
        ::DeleteWhenIdle(std::move(m_flash));
    }
    // The management dialog and any upload it runs end with the room.
    ReleaseWindow(m_roomManager);
    // The input's native widget goes before the window's widgets do.
    m_input.Edit().Destroy();
    m_gifts.Release();
    ReleaseWindow(m_luckyTip);
    m_center.DestroyPopups();
    DestroyWebPanes();
    m_right.ReleaseWindows();
    m_center.ResetViews();
    m_trumpetFeed.Reset();
    m_flushPosted = m_flushTimer = false;
    m_flushedOnce = false;
    m_queuedLines = 0;
    m_bannerUI = nullptr;
    m_modal.clear();
    m_hwnd = nullptr;
    m_roomId = 0;
    return WindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

void CRoomUI::OnFinalMessage(HWND) {
    // The object belongs to the program, not to its window.
    m_hwnd = nullptr;
}

void CRoomUI::OnRoomNotify(int code, LPARAM lParam) {
    CGlobalDataApp& app = CGlobalDataApp::GetInstance();
    uint32_t me = app.GetUid();
    switch (code) {
    case ROOM_NOTIFY_USER_LIST:  // room id, not a payload
        UpdateRoomManagerButton();
        m_right.RebuildUserLists();
        m_center.UpdateUserList();
        break;
    case ROOM_NOTIFY_MIC_STREAM: {
        auto* rec = reinterpret_cast<RoomMicStream*>(lParam);
        if (rec) m_left.DealGetLiveSig(*rec);
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_ROOM_SETTINGS:  // 1 / 0
        if (lParam != 1) ShowMessage("获取房间信息失败, 无法启动房间管理对话框!", "提示");
        else OpenRoomManager();
        break;
    case ROOM_NOTIFY_USER_DETAIL: {
        auto* rec = reinterpret_cast<RoomUserDetail*>(lParam);
        if (rec) m_right.ShowUserDetail(*rec);
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_FAV_CHANGED:  // room id
        if (uint32_t(lParam) == m_roomId) UpdateFavTab();
        break;
    case ROOM_NOTIFY_GIFT_FAILED: {
        auto* rec = reinterpret_cast<RoomGiftFailure*>(lParam);
        if (rec && !rec->statusText.empty()) m_tips.ShowGiftFailTip(rec->statusText);
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_MY_INFO_UPDATED:
        RefreshNameLabel();
        break;
    case ROOM_NOTIFY_TMP_NOTICE_RESULT:  // number
        if (lParam == 1) m_center.OnTmpNoticeReply();
        break;
    case ROOM_NOTIFY_MIC_OP_DONE: {
        auto* rec = reinterpret_cast<RoomMicOpResult*>(lParam);
        if (rec) m_left.DealOpMicResult(*rec);
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_USER_ENTER:
    case ROOM_NOTIFY_MIC_STATE: {
        // Both records begin with the user id.
        if (code == ROOM_NOTIFY_USER_ENTER) {
            auto* rec = reinterpret_cast<RoomUserChange*>(lParam);
            if (rec) {
                m_right.AddOrPlaceUser(rec->uid);
                m_right.UpdateListCounts();
            }
            Free(code, rec);
        } else {
            auto* rec = reinterpret_cast<RoomMicState*>(lParam);
            if (rec) {
                m_right.AddOrPlaceUser(rec->uid);
                m_right.UpdateListCounts();
            }
            Free(code, rec);
        }
        break;
    }
    case ROOM_NOTIFY_USER_LEAVE: {
        auto* rec = reinterpret_cast<RoomUserChange*>(lParam);
        if (rec) {
            m_right.RemoveUser(rec->uid);
        }
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_ROLE_CHANGED:  // user id
        m_right.AddOrPlaceUser(uint32_t(lParam));
        m_right.UpdateListCounts();
        if (uint32_t(lParam) == me) UpdateRoomManagerButton();
        break;
    case ROOM_NOTIFY_USER_CHANGED: {
        auto* rec = reinterpret_cast<RoomUserChange*>(lParam);
        if (rec) {
            int flags = rec->value;
            bool own = rec->uid == me;
            if (flags & 0x67) m_right.RefreshUser(rec->uid);
            if (flags & 0x45) m_left.UpdateUserNickName(rec->uid);
            if ((flags & USER_CHANGE_LEVEL) && own) {
                RefreshLevelGif();
                UpdateRoomManagerButton();
            }
            if ((flags & USER_CHANGE_BEAUTYID) && own) RefreshNameLabel();
            if (flags & 0x18) m_tips.UpdateBalances();
            if (flags & USER_CHANGE_NICKNAME) {
                RoomUserInfo u;
                if (CRoomInfoMgr::GetInstance().GetRoomUser(m_roomId, rec->uid, u))
                    m_center.RenameChatTarget(rec->uid, u.nickname);
                if (own) RefreshNameLabel();
            }
        }
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_ROOM_INFO:  // 0
        RefreshRoomName();
        break;
    case ROOM_NOTIFY_MIC_OFF: {
        auto* rec = reinterpret_cast<RoomMicOff*>(lParam);
        if (rec) m_left.LeaveMic(*rec);
        else PJ_Log(kUiLog, LOG_INFO, "CRoomUI::DealNotifyMicOff", "无效的参数（LPARAM==NULL）");
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_MIC_ATTR: {
        auto* rec = reinterpret_cast<RoomMicAttr*>(lParam);
        if (rec) m_left.DealMicAttrChange(*rec);
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_PRIOR_LIVE_PLAN:  // 0
        m_left.OnPlatformSwitch();
        break;
    case ROOM_NOTIFY_LUCKY_GIFT:
        // The tip keeps the record; without a window it is freed, never left behind.
        if (lParam) ShowLuckyGift(reinterpret_cast<RoomLuckyGift*>(lParam));
        break;
    case ROOM_NOTIFY_GIFT_FLASH: {
        auto* rec = reinterpret_cast<RoomGiftFlash*>(lParam);
        if (rec && m_flash) {
            auto* effect = new GiftEffect;
            effect->giftId = rec->giftId;
            effect->text = rec->mcid;
            effect->count = rec->count;
            m_flash->Play(effect);  // takes the effect
        }
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_CHAT_LINE: {
        auto* rec = reinterpret_cast<RoomChatLine*>(lParam);
        if (rec) {
            if (LogDebugOn())
                PJ_Log(kUiLog, LOG_DETAIL, "CRoomUI::DealChatLine", "views %d: %s", rec->flags, rec->html.c_str());
            // Queued: each pane takes this turn's lines as one batch.
            if (rec->flags & CHAT_VIEW_PUBLIC) m_center.QueueMsgHtml(rec->html, kPublicView);
            if (rec->flags & CHAT_VIEW_OWN) m_center.QueueMsgHtml(rec->html, kOwnView);
            if ((rec->flags & CHAT_VIEW_TRUMPET) && m_right.Trumpet()) {
                m_trumpetFeed.SetView(m_right.Trumpet());
                m_trumpetFeed.Queue(rec->html);
            }
            ScheduleLineFlush();
            // With debug logging on, each line with the panes' line counts (the walk-through tests read it).
            if (LogDebugOn())
                PJ_Log(kUiLog, LOG_DETAIL, "CRoomUI::ChatLine", "flags=%d public=%d own=%d html=%s", rec->flags,
                       PublicPane().NodeCount(), OwnPane().NodeCount(), rec->html.c_str());
        }
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_GLOBAL_GIFT: {
        auto* rec = reinterpret_cast<GlobalGiftItem*>(lParam);
        if (rec) {
            m_center.SetGift(*rec);
            if (m_bannerUI) m_bannerUI->Start(rec->picture);
        }
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_SYS_TEXT: {
        auto* rec = reinterpret_cast<std::string*>(lParam);
        if (rec) m_center.AppendMsgHtml(BuildSysMsgHtml(*rec), kOwnView);
        Free(code, rec);
        break;
    }
    case ROOM_NOTIFY_MIC_LIST: {
        auto* rec = reinterpret_cast<MicUserMap*>(lParam);
        if (rec) m_left.RefreshMicList(*rec);
        Free(code, rec);
        break;
    }
    default:  // 4-7, 12, 21-26, 29-31, 33, 35-37 and codes out of range: lParam untouched
        break;
    }
}

}  // namespace roomui
