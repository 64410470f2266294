#include "VarnetFrameWnd.h"

#include <cinttypes>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "BrowserHtmlView.h"
#include "GlobalData.h"
#include "IDataHalvec.h"
#include "LobbyMessages.h"
#include "LobbyWindowProps.h"
#include "PickerControls.h"
#include "RoomInfoMgr.h"
#include "SettingsPreview.h"
#include "Tick.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqMessageBox.h"
#include "ZqModConfig.h"
#include "ZqMusicCore.h"
#include "WebView.h"

using namespace DuiLib;

namespace {
const char kLog[] = "VarnetFrame.txt";
const char kSearchPrompt[] = "输入房间ID";
const int kMinRefreshMs = 60000;

roomui::CControlGifBk* GifControl(CControlUI* c) {
    return c ? static_cast<roomui::CControlGifBk*>(c->GetInterface("CControlGifBk")) : nullptr;
}

// A copy of a "getallnav" reply for the UI thread.
struct NavReplyCopy {
    uint32_t onlinecnt = 0;
    std::vector<CCategoryInfo> categories;
};

// A copy of a "getcatelist" reply for the UI thread.
struct CateListCopy {
    uint32_t onlinecnt = 0;
    uint32_t officialCnt = 0;
    std::vector<CategoryItem> items;
};

template <class T>
T* Find(CPaintManagerUI& pm, const char* name, const char* iface) {
    CControlUI* c = pm.FindControl(name);
    return c ? static_cast<T*>(c->GetInterface(iface)) : nullptr;
}

IDataHalvec* Halvec() {
    return static_cast<IDataHalvec*>(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME));
}

int RefreshPeriod(const char* key) {
    int ms = 300000;
    AfxGetConfigManager()->GetInt("UpdateSetting", key, ms, 300000);
    return ms <= kMinRefreshMs ? kMinRefreshMs : ms;
}
}  // namespace

DUI_BEGIN_MESSAGE_MAP(CVarnetFrameWnd, WindowImplBase)
DUI_ON_MSGTYPE(DUI_MSGTYPE_TIMER, CVarnetFrameWnd::OnTimer)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, CVarnetFrameWnd::OnClick)
DUI_ON_MSGTYPE(DUI_MSGTYPE_RETURN, CVarnetFrameWnd::OnReturn)
DUI_ON_MSGTYPE(DUI_MSGTYPE_ITEMCLICK, CVarnetFrameWnd::OnItemClickMsg)
DUI_ON_MSGTYPE(DUI_MSGTYPE_KILLFOCUS, CVarnetFrameWnd::OnSearchEditKillFocus)
DUI_ON_MSGTYPE(DUI_MSGTYPE_SETFOCUS, CVarnetFrameWnd::OnSearchEditSetFocus)
DUI_END_MESSAGE_MAP()

CVarnetFrameWnd::CVarnetFrameWnd(std::unique_ptr<CRoomManager> roomManager) : m_pRoomManager(std::move(roomManager)) {
    PJ_Log(kLog, 0, "CVarnetFrameWnd::CVarnetFrameWnd", "主窗口构造");
}

CVarnetFrameWnd::~CVarnetFrameWnd() {
    *m_alive = false;
    PJ_Log(kLog, 0, "CVarnetFrameWnd::~CVarnetFrameWnd", "主窗口析构");
    CMsgClientThread::GetInstance().EventSource().RemoveListener(this);
    if (m_pWaitDlg && ::IsWindow(m_pWaitDlg->GetHWND())) ::DestroyWindow(m_pWaitDlg->GetHWND());
    m_pWaitDlg.reset();
    m_pLoginDlg.reset();
    if (::IsWindow(m_forceUpdate.GetHWND())) ::DestroyWindow(m_forceUpdate.GetHWND());
    DestroySettingsDlg();
    m_pSettingsDlg.reset();
}

CControlUI* CVarnetFrameWnd::CreateControl(const char* pstrClass) {
    if (EqualNoCase(pstrClass, "Roomlist")) return new CRoomNavListUI(&m_PaintManager);
    if (EqualNoCase(pstrClass, "CControlGifBk")) return new roomui::CControlGifBk;
    if (EqualNoCase(pstrClass, "ZqWebBrowserUI")) {
        auto* view = new CBrowserHtmlView(m_hWnd);
        if (!m_pBrowserView) m_pBrowserView = view;
        return view;
    }
    return nullptr;
}

int CVarnetFrameWnd::ShowMessage(const char* text, const char* title) {
    return ShowZqMessageBox(m_hWnd, text, title);
}

UINT CVarnetFrameWnd::RunModal(WindowImplBase& dlg) {
    return dlg.ShowModal();
}

void CVarnetFrameWnd::OpenUrl(const std::string& url) {
    webview::OpenInDefaultBrowser(url);
}

void CVarnetFrameWnd::InitMainBrowserHtmlView() {
    if (!m_pBrowserView) return;
    m_pBrowserView->SetFrame(m_hWnd);
    m_pBrowserView->SetDelayCreate(false);
    for (const char* c :
         {"openroom", "openProfile", "openConsume", "openVip", "openPay", "delfavroom", "openNotice", "openTopList"})
        m_pBrowserView->AddPageCommand(c);
    if (!m_pHomePage) SetHomePageView(m_pBrowserView);
    // The loading picture (from the skins) animates until the home page has loaded.
    if (auto* wait = GifControl(m_PaintManager.FindControl("LoadWebWaitControl"))) {
        wait->SetGifFile("loading.gif");
        if (!wait->GetGif()) wait->SetText("正在加载页面");
    }
}

void CVarnetFrameWnd::BindControls() {
    m_pCoinLabel = Find<CLabelUI>(m_PaintManager, "ShowCoinLabel", "Label");
    m_pBeansLabel = Find<CLabelUI>(m_PaintManager, "CoolBeansLabel", "Label");
    m_pOnlineLabel = Find<CLabelUI>(m_PaintManager, "OnlineNumLabel", "Label");
    m_pHeadPicture = Find<CButtonUI>(m_PaintManager, "HeadPictureUI", "Button");
    m_pNickName = Find<CLabelUI>(m_PaintManager, "NickNameLabel", "Label");
    m_pUserLevel = GifControl(m_PaintManager.FindControl("UserLevelControl"));
    m_pExchangeLayout = m_PaintManager.FindControl("ExchangeLayoutControl");
    m_pExchangeBtn = m_PaintManager.FindControl("ExchangeBTN");
    CControlUI* list = m_PaintManager.FindControl("Roomlist");
    m_pRoomList = list && EqualNoCase(list->GetClass(), "RoomNavListUI") ? static_cast<CRoomNavListUI*>(list) : nullptr;
    m_pSearchEdit = Find<CEditUI>(m_PaintManager, "SearchEdit", "Edit");
    m_pHallBtn = Find<CButtonUI>(m_PaintManager, "HallBTN", "Button");
}

void CVarnetFrameWnd::InitWindow() {
    PJ_Log(kLog, 0, "CVarnetFrameWnd::InitWindow", "主窗口初始化");
    SetMainWndProperty(m_hWnd);
    CMsgClientThread::GetInstance().EventSource().AddListener(this);
    HICON icon = CGlobalDataApp::GetInstance().AppIcon();
    ::PostMessage(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::PostMessage(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    m_trayIcon.Add(m_hWnd, icon);
    CenterWindow();
    BindControls();
    InitMainBrowserHtmlView();
    if (CControlUI* feedback = m_PaintManager.FindControl("FeedBackBTN")) feedback->SetVisible(false);
    std::string version;
    if (AfxGetConfigManager()->GetString("config", "version", version) && !version.empty())
        if (CControlUI* label = m_PaintManager.FindControl("SoftVersionLabel")) label->SetText(version.c_str());
    // Every user starts on the home page; those of level 200 or less on its automatic room choice.
    OnBtnClickHall(CGlobalDataApp::GetInstance().GetLevel() <= 200);
    AfxGetDataDllManager()->LoadDataDlls(0);
    CZQGetAllNavMsg nav;
    CMsgClientThread::GetInstance().PostRequest(&nav);
    OnUpdateMyInfo(0);
    if (m_pRoomManager) {
        m_pRoomManager->Init(m_hWnd);
        m_pRoomManager->CreateFacePicker();
    }
    if (m_pHallBtn) {
        m_PaintManager.SetTimer(m_pHallBtn, kTimerOnlineCount, (UINT)RefreshPeriod("RefreshOnlineCNT"));
        m_PaintManager.SetTimer(m_pHallBtn, kTimerWeb, (UINT)RefreshPeriod("RefreshWeb"));
    }
    CGlobalDataApp::GetInstance().mainWnd = m_hWnd;
    if (m_pHallBtn) m_pHallBtn->SetFocus();
}

// ---- replies (request worker)

void CVarnetFrameWnd::OnZQMessageNotify(CZQMessage* msg, CZQEventSource*) {
    if (!msg) return;
    if (msg->status == kStatusSessionInvalid && msg->requestSid != 0)
        ::PostMessage(m_hWnd, WM_SESSION_INVALID, WPARAM(msg->requestSid), 0);
    if (auto* nav = dynamic_cast<CZQGetAllNavMsg*>(msg)) {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnZQMessageNotify", "HTTP应答CZQGetAllNavMsg status=%d", nav->status);
        if (nav->status != 1) {
            ::PostMessageOwned(m_hWnd, WM_NAV_FAILED, 0, std::make_unique<std::string>(nav->statusdesc));
            return;
        }
        PJ_Log(kLog, 0, "CVarnetFrameWnd::ResetNavColumnData", "主窗口重新设置导航栏信息");
        auto copy = std::make_unique<NavReplyCopy>();
        copy->onlinecnt = nav->onlinecnt;
        copy->categories = nav->categories;
        ::PostMessageOwned(m_hWnd, WM_UPDATE_ROOM_LIST, 0, std::move(copy));
    } else if (auto* cate = dynamic_cast<CZQGetCateListMsg*>(msg)) {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnZQMessageNotify", "HTTP应答CZQGetCateListMsg status=%d", cate->status);
        if (cate->status != 1) return;
        auto copy = std::make_unique<CateListCopy>();
        copy->onlinecnt = cate->onlinecnt;
        copy->officialCnt = cate->officialCnt;
        copy->items = cate->category.items;
        ::PostMessageOwned(m_hWnd, WM_UPDATE_ONLINE_COUNT, 0, std::move(copy));
        CGlobalDataApp::GetInstance().SyncServerTime(cate->systm);
    }
}

// ---- directory

void CVarnetFrameWnd::UpdateRoomList() {
    PJ_Log(kLog, 0, "CVarnetFrameWnd::UpdateRoomList", "主窗口更新左侧导航栏");
    if (!m_pRoomList) return;
    if (m_pRoomList->GetCount() > 0) m_pRoomList->RemoveAll();
    m_navData.UpdateFavouriteCategory(CGlobalDataApp::GetInstance().GetLoginType());
    FillRoomDirectory(*m_pRoomList, m_navData.categories);
    OnUpdateOnlineCNTInfo();
    m_pRoomList->ExpandTopLevel();
}

void CVarnetFrameWnd::OnUpdateOnlineCNTInfo() {
    int total = m_navData.GetTotalOnlineCount();
    if (m_pOnlineLabel) m_pOnlineLabel->SetText(CDuiString::Format("同时在线人数：%d人", total).c_str());
    if (!m_pRoomList) return;
    ShowDirectoryCounts(*m_pRoomList, m_navData.categories);
    PJ_Log(kLog, 0, "CVarnetFrameWnd::OnUpdateOnlineCNTInfo", "主窗口更新栏目条目信息_完成！");
}

// ---- user details

void CVarnetFrameWnd::OnUpdateMyInfo(int flags) {
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    if (m_pNickName) {
        if (a.beautyid != 0 || a.uid != 0) {
            std::string id = StringUtility::Format("(%u)", a.beautyid != 0 ? a.beautyid : a.uid);
            std::string full = a.nickname + id;
            std::string shown = full;
            if (full.size() >= 27) {
                size_t keep = id.size() < 24 ? 24 - id.size() : 0;
                shown =
                    a.nickname.substr(0, Charset::GbkSafeCut(a.nickname.data(), a.nickname.size(), keep)) + "..." + id;
            }
            m_pNickName->SetText(shown.c_str());
            m_pNickName->SetToolTip(full.c_str());
        } else {
            m_pNickName->SetText("");
            m_pNickName->SetToolTip("");
        }
    }
    if ((flags & 7) && m_pHomePage && m_pHomePage->IsHomePage()) m_pHomePage->Refresh();
    auto balance = [](CLabelUI* label, uint64_t value) {
        if (!label) return;
        label->SetText(CDuiString::Format("%" PRIu64, value).c_str());
        label->SetFixedWidth(label->GetTextSize().cx + 4);
    };
    balance(m_pBeansLabel, a.zebin);
    balance(m_pCoinLabel, a.xiubi);
    IDataHalvec* halvec = Halvec();
    if (m_pHeadPicture) {
        UserPhotoItem photo;
        if (halvec && halvec->GetUserPhoto(-1, (int)a.photoid, photo))
            m_pHeadPicture->SetBkImage(CDuiString::Format("file='%s' dest='5,5,60,60'", photo.fname.c_str()).c_str());
        else m_pHeadPicture->SetBkImage("");
    }
    if (m_pUserLevel) {
        LevelItem level;
        if (halvec && halvec->GetLevel((int)a.level, level)) {
            m_pUserLevel->SetGifFile(level.fname.c_str());
            m_pUserLevel->SetToolTip(level.name.c_str());
        } else {
            m_pUserLevel->SetGifFile("");
            m_pUserLevel->SetToolTip("");
        }
    }
    CatalogGroupInfo group;
    bool exchange = halvec && halvec->GetLevelGroup(a.level, group) && group.idx == 2;
    if (m_pExchangeLayout) m_pExchangeLayout->SetVisible(exchange);
    if (m_pExchangeBtn) m_pExchangeBtn->SetVisible(exchange);
}

// ---- messages

LRESULT CVarnetFrameWnd::HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    bHandled = TRUE;
    switch (uMsg) {
    case WM_SHOWWINDOW:
        OnShowWindow(wParam == 1);
        bHandled = FALSE;
        return 0;
    case WM_TRAY_NOTIFY:
        OnTaskBarIconNotify((UINT)wParam, lParam);
        return 0;
    case WM_UPDATE_ROOM_LIST: {
        std::unique_ptr<NavReplyCopy> copy(reinterpret_cast<NavReplyCopy*>(lParam));
        if (copy) {
            m_navData.categories = std::move(copy->categories);
            m_navData.total = (int)copy->onlinecnt;
        }
        UpdateRoomList();
        return 0;
    }
    case WM_UPDATE_ONLINE_COUNT: {
        std::unique_ptr<CateListCopy> copy(reinterpret_cast<CateListCopy*>(lParam));
        if (copy) {
            m_navData.total = (int)copy->onlinecnt;
            for (CCategoryInfo& c : m_navData.categories) {
                if (c.type == 5) c.count = (int)copy->officialCnt;
                else if (c.type == 1) c.UpdateItemCounts(copy->items);
            }
        }
        OnUpdateOnlineCNTInfo();
        return 0;
    }
    case WM_SESSION_INVALID:
        DealSessionInvalid(uint32_t(wParam));
        return 0;
    case WM_NAV_FAILED: {
        std::unique_ptr<std::string> why(reinterpret_cast<std::string*>(lParam));
        std::string text = StringUtility::Format("获取导航栏信息失败! 失败原因:%s", why ? why->c_str() : "");
        ShowMessage(text.c_str(), "提示");
        return 0;
    }
    case WM_UPDATE_MY_INFO:
        OnUpdateMyInfo((int)wParam);
        return 0;
    case WM_ROOM_NOTIFY:
        OnNotifyRoomMsg((int)wParam, lParam);
        return 0;
    case WM_RES_CHANGED:
        OnResChanged((int)wParam);
        return 0;
    case WM_CLOSE_ALL_ROOMS:
        if (m_pRoomManager) m_pRoomManager->RemoveAll();
        return 0;
    case WM_FORCE_UPDATE:
        if (wParam == 1) ShowForceUpdateDlg();
        else if (::IsWindow(m_forceUpdate.GetHWND())) m_forceUpdate.Close(1);
        return 0;
    case WM_FORCE_UPDATE_PROGRESS:
        m_forceUpdate.SetProgress((unsigned)lParam, (int)wParam);
        return 0;
    case WM_HOME_PAGE_LOADED:
        if (wParam == 0) {
            PJ_Log(kLog, 0, "CVarnetFrameWnd::OnBrowserMessage", "第一次载入IE成功，设置为显示");
            auto* loading = Find<CContainerUI>(m_PaintManager, "horLoadingWebUI", "IContainer");
            CControlUI* main = m_PaintManager.FindControl("horMainFrameHtml");
            if (loading && main) {
                loading->RemoveAll();
                loading->SetVisible(false);
                main->SetVisible(true);
            }
        }
        return 0;
    case WM_WEB_COMMAND: {
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
        if (!text || text->empty()) return 0;
        OnMsgFromIECallBack(*text);
        return 0;
    }
    case WM_ROOM_OPEN_TIMEOUT:
        CreateRoomWaitDlg(false);
        return 0;
    default:
        bHandled = FALSE;
        return 0;
    }
}

void CVarnetFrameWnd::ShowAndActivate() {
    ShowWindow(true, true);
}

void CVarnetFrameWnd::OnNotifyRoomMsg(int code, LPARAM payload) {
    std::unique_ptr<RoomUserChange> change;  // code 19's record, freed after the room manager saw it
    switch (code) {
    case ROOM_NOTIFY_ENTER_RESULT: {
        CreateRoomWaitDlg(false);
        auto* result = reinterpret_cast<EnterRoomResult*>(payload);
        const bool refused = result && result->status != 1;
        const bool signedOut = refused && result->status == kStatusSessionInvalid;
        const uint32_t roomId = result ? result->roomId : 0;
        const std::string text = refused ? result->statusText : std::string();
        if (m_pRoomManager) m_pRoomManager->OnNotifyRoom(code, payload);
        else delete result;
        if (signedOut) DealSessionInvalid(CGlobalDataApp::GetInstance().GetSid());
        else if (refused && !OnEnterRefused(roomId, text)) ShowMessage(text.c_str(), "提示");
        return;
    }
    case ROOM_NOTIFY_CLOSE_ROOM:
    case ROOM_NOTIFY_SHOW_LOBBY:
        ShowAndActivate();
        break;
    case ROOM_NOTIFY_USER_CHANGED:
        change.reset(reinterpret_cast<RoomUserChange*>(payload));
        if (change && (change->value & (USER_CHANGE_COIN | USER_CHANGE_BEAN))) OnUpdateMyInfo(0);
        break;
    case ROOM_NOTIFY_LOGIN_ELSEWHERE:
        if (!TakeRoomEndNotice(code)) return;
        DealNotifyUserReEnter();
        break;
    case ROOM_NOTIFY_SERVER_RESTART:
    case ROOM_NOTIFY_ROOM_FULL:
        if (!TakeRoomEndNotice(code)) return;
        if (m_pRoomManager) m_pRoomManager->RemoveAll();
        if (!ShowRoomEndBox(code, code == ROOM_NOTIFY_SERVER_RESTART
                                      ? "服务器正在重启，请稍等10秒钟再进房间!"
                                      : "非常抱歉，该房间人数达到上限\n成为会员继续观看"))
            return;
        break;
    case ROOM_NOTIFY_REQUEST_LOGIN: {
        uint32_t rid = m_pRoomManager ? m_pRoomManager->Logic().GetRoomID() : 0;
        std::string pwd = rid ? CRoomInfoMgr::GetInstance().GetRoomPassword(rid) : "";
        std::string name = rid ? CRoomInfoMgr::GetInstance().GetRoomName(rid) : "";
        // The dialog belongs to the frame: its logout closes the rooms here (with the old session) before
        // the new login, and no room window is destroyed under the dialog's loop.
        if (ShowLoginDlg(m_hWnd, 0) && rid != 0)
            EnterRoom(rid, CGlobalDataApp::GetInstance().GetAccount().stealth, pwd, name);
        break;
    }
    case ROOM_NOTIFY_REQUEST_REGISTER: {
        ShowLoginDlg(m_hWnd, 1);
        break;
    }
    default:
        break;
    }
    if (m_pRoomManager) m_pRoomManager->OnNotifyRoom(code, payload);
}

bool CVarnetFrameWnd::TakeRoomEndNotice(int code) {
    if (m_roomEndBox == 0) return true;
    // A box is up: the same notices are dropped; "logged in elsewhere" during another one follows it.
    if (code == ROOM_NOTIFY_LOGIN_ELSEWHERE && m_roomEndBox != code) {
        m_bReEnterAfterBox = true;
    } else if (!m_bRoomEndDropLogged) {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnNotifyRoomMsg", "房间通知被忽略(提示框未关闭) code=%d", code);
        m_bRoomEndDropLogged = true;
    }
    return false;
}

bool CVarnetFrameWnd::ShowRoomEndBox(int code, const char* text) {
    std::shared_ptr<bool> alive = m_alive;
    m_roomEndBox = code;
    m_bRoomEndDropLogged = false;
    ShowMessage(text, "提示");
    if (!*alive) return false;
    m_roomEndBox = 0;
    if (m_bReEnterAfterBox && code != ROOM_NOTIFY_LOGIN_ELSEWHERE) {
        m_bReEnterAfterBox = false;
        DealNotifyUserReEnter();
        return false;
    }
    return true;
}

void CVarnetFrameWnd::OnShowWindow(bool shown) {
    if (m_pSettingsDlg && ::IsWindow(m_pSettingsDlg->GetHWND())) {
        if (!shown && m_pSettingsDlg->IsWindowVisible()) {
            m_pSettingsDlg->ShowWindow(false, false);
            m_bSettingsHiddenWithFrame = true;
        } else if (shown && m_bSettingsHiddenWithFrame) {
            m_pSettingsDlg->ShowWindow(true, false);
            m_bSettingsHiddenWithFrame = false;
        }
    }
    if (m_pLoginDlg && ::IsWindow(m_pLoginDlg->GetHWND())) m_pLoginDlg->ShowWindow(shown, shown);
}

int CVarnetFrameWnd::PopupMenu(const std::vector<ZqMenuItem>& items, const RECT& field) {
    CZqMenuUI menu;
    menu.SetMenuItem(items);
    if (!menu.CreateMenuFor(field, m_hWnd)) return CZqMenuUI::kNone;
    return menu.PopupMenuNoCreate();
}

void CVarnetFrameWnd::OnTaskBarIconNotify(UINT iconId, LPARAM mouseMsg) {
    if (iconId != kTrayIconId) return;
    UINT m = LOWORD((uintptr_t)mouseMsg);
    if (m == WM_LBUTTONDBLCLK) {
        if (IsWindowVisible()) ShowWindow(false, false);
        else ShowAndActivate();
    } else if (m == WM_RBUTTONDOWN) {
        POINT cursor = m_pBackend ? m_pBackend->GetCursorPos() : POINT{};
        int id =
            PopupMenu({ZqMenuItem("显示主窗口", 0), ZqMenuItem("退出", 1)}, TrayMenuField(m_hWnd, kTrayIconId, cursor));
        if (!::IsWindow(m_hWnd)) return;
        if (id == 0) ShowAndActivate();
        else if (id == 1) OnBtnClickClose();
    } else if (m == kTrayMenuShow) {
        ShowAndActivate();
    } else if (m == kTrayMenuQuit) {
        OnBtnClickClose();
    }
}

void CVarnetFrameWnd::OnBtnClickMainMenu(CControlUI* from) {
    RECT field = from ? from->GetPos() : RECT{};
    RECT wnd = GetWindowRect();
    field = {wnd.left + field.left, wnd.top + field.top, wnd.left + field.right, wnd.top + field.bottom};
    int id = PopupMenu({ZqMenuItem("换名登录", 0), ZqMenuItem("修改昵称", 1), ZqMenuItem("更换头像", 2)}, field);
    if (id == 0) OnReLoginServer();
    else if (id == 1) OpenSettingsPage(1);
    else if (id == 2) OpenSettingsPage(0);
}

void CVarnetFrameWnd::OpenSettingsPage(int page) {
    if (CGlobalDataApp::GetInstance().GetUid() == 0) {
        ShowMessage("请先登录再操作!", "提示");
        return;
    }
    if (!m_hWnd) return;  // the frame went while the menu was up
    if (!m_pSettingsDlg) m_pSettingsDlg = std::make_unique<CRoomConfigSetDlg>();
    if (!::IsWindow(m_pSettingsDlg->GetHWND())) {
        roomui::UseVideoShowPreview();      // the video page's camera picture, as in a room window
        m_pSettingsDlg->m_hOwner = m_hWnd;  // told with WM_UPDATE_MY_INFO after a change
        if (!m_pSettingsDlg->Create(m_hWnd, "房间设置对话框", UI_WS_POPUP, 0, 0, 0, 500, 373)) return;
        m_pSettingsDlg->CenterWindow();
    }
    m_pSettingsDlg->OpenPage(page);
    m_pSettingsDlg->ShowWindow(true);
}

void CVarnetFrameWnd::DestroySettingsDlg() {
    m_bSettingsHiddenWithFrame = false;
    if (m_pSettingsDlg && ::IsWindow(m_pSettingsDlg->GetHWND())) ::DestroyWindow(m_pSettingsDlg->GetHWND());
}

void CVarnetFrameWnd::OnReLoginServer() {
    if (ShowLoginDlg(m_hWnd, 0)) OnBtnClickHall(CGlobalDataApp::GetInstance().GetLevel() <= 200);
}

bool CVarnetFrameWnd::ShowLoginDlg(HWND parent, int mode) {
    if (m_pLoginDlg && ::IsWindow(m_pLoginDlg->GetHWND())) {
        if (CWindowWnd* w = CWindowWnd::FromHandle(m_pLoginDlg->GetOwner())) w->ShowWindow(true, true);
        return false;
    }
    // The dialog of an earlier run may still have a loop returning: it goes once no loop runs.
    ::DeleteWhenIdle(std::move(m_pLoginDlg));
    m_pLoginDlg = std::make_unique<CLoginDlg>(parent, CLoginDlg::kModeNormal);
    m_pLoginDlg->SetRegisterFirst(mode == 1);
    if (!m_pLoginDlg->Create(parent, "登录对话框", UI_WS_POPUP, 0, 0, 0, 410, 335)) return false;
    if (RunModal(*m_pLoginDlg) != 1) return false;
    if (m_pRoomManager) m_pRoomManager->RemoveAll();
    // Another account: the last one's search goes.
    if (m_pSearchEdit) {
        m_pSearchEdit->SetTextColor(10526884);
        m_pSearchEdit->SetText(kSearchPrompt);
    }
    CZQGetAllNavMsg nav;
    CMsgClientThread::GetInstance().PostRequest(&nav);
    ::PostMessage(m_hWnd, WM_UPDATE_MY_INFO, 0, 0);
    if (m_pSettingsDlg && ::IsWindow(m_pSettingsDlg->GetHWND()) && m_pSettingsDlg->IsWindowVisible())
        m_pSettingsDlg->ShowWindow(false, false);
    return true;
}

void CVarnetFrameWnd::StopRefreshTimers() {
    if (!m_pHallBtn) return;
    m_PaintManager.KillTimer(m_pHallBtn, kTimerOnlineCount);
    m_PaintManager.KillTimer(m_pHallBtn, kTimerWeb);
}

void CVarnetFrameWnd::OnBtnClickClose() {
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    if (a.uid != 0) {
        bool owned = IsWindowVisible() && !(m_pBackend && m_pBackend->IsMinimized());
        // The skin's text speaks of the open room; without one only quitting is asked.
        bool inRoom = m_pRoomManager && m_pRoomManager->Logic().GetRoomID() != 0;
        CSoftCloseTipDlg tip(inRoom ? nullptr : "确定要退出程序吗？", nullptr, nullptr);
        if (!tip.Create(owned ? m_hWnd : nullptr, "泽嘉提示", UI_WS_POPUP, 0, 0, 0, 300, 150)) return;
        tip.CenterWindow();
        if (RunModal(tip) != 1) return;
    }
    CloseInOrder();
    ::PostQuitMessage(0);
}

void CVarnetFrameWnd::CloseInOrder() {
    if (m_bClosed) return;
    m_bClosed = true;
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    StopRefreshTimers();
    if (m_pRoomManager) m_pRoomManager->RemoveAll();
    ShowWindow(false, false);
    DestroySettingsDlg();
    if (a.uid != 0) {
        CZQLogOutMsg out;
        out.uid = a.uid;
        out.sid = a.sid;
        out.ctxInt[0] = (int)a.uid;
        out.ctxText[0] = a.nickname;
        CMsgClientThread::GetInstance().PostRequest(&out);
    }
    CMsgClientThread::GetInstance().EventSource().RemoveListener(this);
    ClearMainWndProperty(m_hWnd);
    m_trayIcon.Delete();
    if (m_pWaitDlg) CreateRoomWaitDlg(false);
    if (m_pRoomManager) m_pRoomManager->DestroyFacePicker();
    PJ_Log(kLog, 0, "CVarnetFrameWnd::CloseInOrder", "主窗口关闭");
}

void CVarnetFrameWnd::DealSessionInvalid(uint32_t sid) {
    // Late replies of a session already dealt with, or of an earlier one, change nothing.
    if (m_bClosed || sid == 0 || sid != CGlobalDataApp::GetInstance().GetSid() || sid == m_invalidSid) return;
    m_invalidSid = sid;
    PJ_Log(kLog, 0, "CVarnetFrameWnd::DealSessionInvalid", "会话无效，重新登录");
    // Rooms close here first, so that no room window goes under the prompt's or the dialog's loop.
    if (m_pRoomManager) m_pRoomManager->RemoveAll();
    ShowMessage("您的登录已失效(帐号可能已在其它地方登录)，请重新登录!", "提示");
    if (!m_bClosed) OnReLoginServer();
}

void CVarnetFrameWnd::DealNotifyUserReEnter() {
    PJ_Log(kLog, 0, "CVarnetFrameWnd::DealNotifyUserReEnter", "房间窗口关闭，程序等待退出!");
    m_bClosed = true;  // the session is gone: no logout
    StopRefreshTimers();
    if (m_pRoomManager) m_pRoomManager->RemoveAll();
    DestroySettingsDlg();
    CMsgClientThread::GetInstance().EventSource().RemoveListener(this);
    if (!IsWindowVisible() || (m_pBackend && m_pBackend->IsMinimized())) {
        ShowWindow(true, true);
        if (m_pBackend) m_pBackend->Restore();
    }
    if (!ShowRoomEndBox(ROOM_NOTIFY_LOGIN_ELSEWHERE, "您的帐号已经在其它地方登录了，现在需要退出!")) return;
    ShowWindow(false, false);
    ClearMainWndProperty(m_hWnd);
    m_trayIcon.Delete();
    if (m_pWaitDlg) CreateRoomWaitDlg(false);
    if (m_pRoomManager) m_pRoomManager->DestroyFacePicker();
    ::PostQuitMessage(0);
}

void CVarnetFrameWnd::OnResChanged(int mask) {
    PJ_Log(kLog, 0, "CVarnetFrameWnd::OnResChanged", "资源更新 mask=0x%x", (unsigned)mask);
    CRoomManager* rm = m_pRoomManager.get();
    bool giftColumn = rm && (mask & RES_GIFT);
    if (giftColumn) rm->OnGiftResourceUpdate(false);
    IDataHalvec* halvec = Halvec();
    if (halvec) halvec->Reload(mask);
    if (giftColumn) rm->OnGiftResourceUpdate(true);
    if (rm && (mask & RES_FACE)) rm->ReloadFaces();
    // The lobby's own catalogue pictures: the user's photo and level badge.
    if (halvec && (mask & (RES_USERPHOTO | RES_LEVEL))) OnUpdateMyInfo(0);
}

void CVarnetFrameWnd::ShowForceUpdateDlg() {
    ShowWindow(false, false);
    if (::IsWindow(m_forceUpdate.GetHWND())) return;
    if (!m_forceUpdate.Create(m_hWnd, "强制升级对话框", UI_WS_POPUP, 0, 0, 0, 512, 312)) return;
    m_forceUpdate.CenterWindow();
    RunModal(m_forceUpdate);
}

LRESULT CVarnetFrameWnd::OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        OnBtnClickClose();
        bHandled = TRUE;
        return 0;
    }
    bool wasZoomed = m_pBackend && m_pBackend->IsMaximized();
    LRESULT r = WindowImplBase::OnSysCommand(uMsg, wParam, lParam, bHandled);
    bool zoomed = m_pBackend && m_pBackend->IsMaximized();
    if (zoomed != wasZoomed) {
        if (CControlUI* max = m_PaintManager.FindControl("MaxBTN")) max->SetVisible(!zoomed);
        if (CControlUI* restore = m_PaintManager.FindControl("RestoreBTN")) restore->SetVisible(zoomed);
    }
    return r;
}

LRESULT CVarnetFrameWnd::ResponseDefaultKeyEvent(WPARAM wParam) {
    return wParam == VK_ESCAPE;
}

LRESULT CVarnetFrameWnd::OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) {
    // The worker reads the window handle: it stops hearing replies before the handle goes.
    CMsgClientThread::GetInstance().EventSource().RemoveListener(this);
    ClearMainWndProperty(m_hWnd);
    m_trayIcon.Delete();
    DestroySettingsDlg();
    // The home page view goes with the controls.
    if (m_pHomePage == m_pBrowserView) m_pHomePage = nullptr;
    m_pBrowserView = nullptr;
    return WindowImplBase::OnDestroy(uMsg, wParam, lParam, bHandled);
}

// ---- notifications

std::string CVarnetFrameWnd::HomePageUrl() const {
    return HomePageUrlSetting();
}

std::string CVarnetFrameWnd::WebRoot() const {
    return WebSiteRoot();
}

void CVarnetFrameWnd::OnTimer(TNotifyUI& msg) {
    if (!m_pHallBtn || msg.pSender != m_pHallBtn) return;
    if (msg.wParam == kTimerOnlineCount) {
        if (CGlobalDataApp::GetInstance().GetUid() == 0) return;
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnTimer", "CVarnetFrameWnd::OnTimer::Refresh_OnlineCNT");
        CZQGetCateListMsg cate;
        CMsgClientThread::GetInstance().PostRequest(&cate);
    } else if (msg.wParam == kTimerWeb) {
        if (!m_pHomePage || !m_pHomePage->HasBrowser() || !m_pHomePage->IsHomePage()) return;
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnTimer", "CVarnetFrameWnd::OnTimer::Refresh_Web");
        srand((unsigned)time(nullptr));
        m_pHomePage->Navigate(StringUtility::Format("%s?r=%d%d", HomePageUrl().c_str(), 0, rand() % 100000));
    }
}

void CVarnetFrameWnd::OnClick(TNotifyUI& msg) {
    CDuiString name = msg.pSender ? msg.pSender->GetName() : CDuiString();
    if (name == "MinBTN") ::PostMessage(m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    else if (name == "MaxBTN") ::PostMessage(m_hWnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    else if (name == "RestoreBTN") ::PostMessage(m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    else if (name == "CloseBTN") OnBtnClickClose();
    else if (name == "HallBTN") OnBtnClickHall(false);
    else if (name == "HeadPictureUI" || name == "MainMenuBTN") OnBtnClickMainMenu(msg.pSender);
    else if (name == "SearchBTN") OnBtnClickSearch();
    else if (name == "RechargeBTN") OnBtnClickRecharge();
    else if (name == "FeedBackBTN") OpenWebLogin(nullptr, "主窗口反馈");
    else if (name == "WebsiteBTN") OpenWebLogin("/", "主窗口官网");
    else if (name == "ProxyBTN") OpenWebLogin("/ZeqaShow/lb/goAgent", "主窗口代理");
    else if (name == "ExchangeBTN") OpenWebLogin("/ZeqaShow/Profile?tab=7", "主窗口兑换");
    else if (name == "RankingListBTN") {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnClick", "主窗口排行榜");
        OpenUrl(WebRoot() + "/ZeqaShow/GetTopList");
    } else if (name == "HelpBTN") {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnClick", "主窗口帮助");
        OpenUrl(WebRoot() + "/ZeqaShow/showInfoList?type=help");
    }
}

void CVarnetFrameWnd::OnReturn(TNotifyUI& msg) {
    if (m_pSearchEdit && msg.pSender == m_pSearchEdit) OnBtnClickSearch();
}

// ---- web links

std::string CVarnetFrameWnd::MakeWebLoginUrl(const std::string& target) const {
    return WebLoginUrl(target);
}

void CVarnetFrameWnd::OpenWebLogin(const char* path, const char* logText) {
    PJ_Log(kLog, 0, "CVarnetFrameWnd::OpenWebLogin", "%s", logText);
    std::string target;
    if (path) {
        target = WebRoot() + path;
    } else {
        AfxGetConfigManager()->GetString("ZqServerList", "ForumUrl", target, "http://127.0.0.1");
        target += "/forum/forum.php?mod=forumdisplay&fid=41&filter=typeid&typeid=40&qq-pf-to=pcqq.c2c";
    }
    OpenUrl(MakeWebLoginUrl(target));
}

void CVarnetFrameWnd::OnBtnClickRecharge() {
    UserAccount a = CGlobalDataApp::GetInstance().GetAccount();
    if (a.loginType == 1) ShowMessage("游客无法充值，请先登录再充值!", "提示");
    else if (a.uid != 0 && a.sid != 0) OpenWebLogin("/ZeqaShow/lb/pay", "主窗口充值");
    else ShowMessage("登录出现问题，请查看登录状态或者重新登录!", "提示");
}

void CVarnetFrameWnd::OnBtnClickSearch() {
    if (!m_pSearchEdit || !m_pHomePage) return;
    std::string text = m_pSearchEdit->GetText();
    if (text.empty() || text == kSearchPrompt) return;
    // The text goes into the query encoded, so that "&", "#" or blanks cannot reshape the address.
    std::string url = WebRoot() + "/ZeqaShow/getWeekGiftList?funType=searchRoom&id=" + UrlEncode::Encode(text);
    if (url.size() > 249) return;  // the address is limited to 250 bytes; a cut one would search for another text
    m_pHomePage->Navigate(url);
}

void CVarnetFrameWnd::OnMsgFromIECallBack(const std::string& text) {
    if (text.empty()) return;
    // A page's command that runs a prompt must not let the page's next commands, run by the prompt's loop,
    // open prompts of their own (they would nest without bound): they are dropped until it is closed.
    if (m_bPagePrompt) {
        if (!m_bPageDropLogged) PJ_Log(kLog, 0, "CVarnetFrameWnd::OnMsgFromIECallBack", "页面命令被忽略(提示框未关闭)");
        m_bPageDropLogged = true;
        return;
    }
    const std::string name = text.substr(0, text.find('&'));
    if (name == "openroom") {
        std::shared_ptr<bool> alive = m_alive;
        m_bPagePrompt = true;
        m_bPageDropLogged = false;
        OpenRoomForRoomID(text);
        if (*alive) m_bPagePrompt = false;
        return;
    }
    if (name == "delfavroom") {
        DelFavRoom(text);
        return;
    }
    // The rest open the desktop's browser: one window an interval, whatever the page asks for.
    const int64_t now = varnet::MonotonicMs();
    if (m_lastPageOpenMs != 0 && now - m_lastPageOpenMs < m_pageOpenIntervalMs) {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnMsgFromIECallBack", "页面命令被忽略(过于频繁)");
        return;
    }
    if (name == "openProfile" || name == "openConsume" || name == "openVip" || name == "openPay" ||
        name == "openNotice" || name == "openTopList")
        m_lastPageOpenMs = now;
    if (name == "openProfile") OpenWebLogin("/ZeqaShow/Profile", "主窗口个人资料");
    else if (name == "openConsume") OpenWebLogin("/ZeqaShow/Profile?tab=3", "主窗口消费记录");
    else if (name == "openVip") OpenWebLogin("/ZeqaShow/lb/payVip", "主窗口购买VIP");
    else if (name == "openPay") OpenWebLogin("/ZeqaShow/lb/pay", "主窗口充值");
    else if (name == "openNotice") OpenNotice(text);
    else if (name == "openTopList") {
        PJ_Log(kLog, 0, "CVarnetFrameWnd::OnMsgFromIECallBack", "主窗口排行榜");
        OpenUrl(WebRoot() + "/ZeqaShow/GetTopList");
    }
}

namespace {
// The first field after the command name: key and value; false when there is none.
bool FirstField(const std::string& text, std::string& key, std::string& value) {
    size_t amp = text.find('&');
    if (amp == std::string::npos) return false;
    size_t end = text.find('&', amp + 1);
    std::string field = text.substr(amp + 1, end == std::string::npos ? std::string::npos : end - amp - 1);
    if (field.empty()) return false;
    size_t eq = field.find('=');
    key = field.substr(0, eq);
    value = eq == std::string::npos ? std::string() : field.substr(eq + 1);
    return true;
}

// A page's decimal number as atoi reads it, bounded to the range of int.
int PageInt(const std::string& text) {
    long long v = strtoll(text.c_str(), nullptr, 10);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v;
}
}  // namespace

void CVarnetFrameWnd::DelFavRoom(const std::string& text) {
    std::string key, value;
    if (!FirstField(text, key, value)) return;
    if (m_pRoomManager) m_pRoomManager->DelFavRoom((uint32_t)(key == "id" ? PageInt(value) : 0));
}

void CVarnetFrameWnd::OpenNotice(const std::string& text) {
    std::string key, value;
    if (!FirstField(text, key, value)) return;
    int id = key == "id" ? PageInt(value) : 0;
    OpenUrl(WebRoot() + (id != 0 ? StringUtility::Format("/ZeqaShow/noticeDetail?id=%d", id)
                                 : std::string("/ZeqaShow/showInfoList?type=notice")));
}

void CVarnetFrameWnd::OnSearchEditSetFocus(TNotifyUI& msg) {
    if (!m_pSearchEdit || msg.pSender != m_pSearchEdit) return;
    if (m_pSearchEdit->GetText() == kSearchPrompt) {
        m_pSearchEdit->SetTextColor(0);
        m_pSearchEdit->SetText("");
    }
}

void CVarnetFrameWnd::OnSearchEditKillFocus(TNotifyUI& msg) {
    if (!m_pSearchEdit || msg.pSender != m_pSearchEdit) return;
    if (m_pSearchEdit->GetText().empty()) {
        m_pSearchEdit->SetTextColor(10526884);
        m_pSearchEdit->SetText(kSearchPrompt);
    }
}

void CVarnetFrameWnd::OnBtnClickHall(bool autoRoom) {
    if (!m_pHomePage) return;
    std::string url = HomePageUrl();
    if (autoRoom) url += "?funType=AutoRoom";
    m_pHomePage->Navigate(url);
    if (m_pRoomList) m_pRoomList->SetSelectedNode(nullptr);
}

void CVarnetFrameWnd::OnItemClickMsg(TNotifyUI& msg) {
    if (!m_pRoomList || !msg.pSender || !EqualNoCase(msg.pSender->GetClass(), "ListContainerElementUI")) return;
    if (m_pRoomList->GetItemIndex(msg.pSender) < 0) return;
    auto* node = reinterpret_cast<CItemNode*>(msg.pSender->GetTag());
    if (!node) return;
    if (node->folder && node != m_pRoomList->GetRoot()) {
        m_pRoomList->ExpandNode(node, !node->expanded);
        return;
    }
    m_pRoomList->SetSelectedNode(node);
    DBClickRoomListItem(atoi(node->key.c_str()));
}

void CVarnetFrameWnd::DBClickRoomListItem(int uniqueId) {
    if (!m_pHomePage) return;
    const std::string base = WebRoot();
    CCategoryInfo* cat = m_navData.FindCategory(uniqueId);
    if (cat && cat->type == 5) {
        m_pHomePage->Navigate(base + "/ZeqaShow/getWeekGiftList?funType=officialRoom");
        return;
    }
    CategoryItem* item = m_navData.FindItem(uniqueId);
    cat = m_navData.FindItemCategory(uniqueId);
    if (!item || !cat) return;
    switch (cat->type) {
    case 1: {
        char name[250];
        UrlEncode::EncodeEx(item->name.c_str(), name, sizeof name, 0);
        m_pHomePage->Navigate(StringUtility::Format("%s/ZeqaShow/getWeekGiftList?funType=caterRoom&id=%d&name=%s",
                                                    base.c_str(), item->id, name));
        break;
    }
    case 2:
    case 3:
        if (!item->url.empty()) m_pHomePage->Navigate(item->url);
        break;
    case 4:
        m_pHomePage->Navigate(base + "/ZeqaShow/getWeekGiftList?funType=favRoom");
        break;
    default:
        break;
    }
}
