#include "UIWindow.h"

#include <map>
#include <vector>

#include "UIDlgBuilder.h"

namespace DuiLib {

// ---- Backends

static IWindowBackendFactory* g_factory = nullptr;

void SetWindowBackendFactory(IWindowBackendFactory* f) {
    g_factory = f;
}

std::unique_ptr<IWindowBackend> CreateWindowBackend() {
    if (g_factory) {
        auto b = g_factory->CreateBackend();
        if (b) return b;
    }
    return std::make_unique<CHeadlessBackend>();
}

void CHeadlessBackend::Create(CWindowWnd*, HWND, const char* title, DWORD style, DWORD, const RECT& rc) {
    m_rc = rc;
    m_sTitle = title ? title : "";
    m_bVisible = (style & UI_WS_VISIBLE) != 0;
}

// ---- CWindowWnd

struct CWindowWnd::Proxy : public CWin32Window {
    CWindowWnd* owner;
    explicit Proxy(CWindowWnd* o) : owner(o) {}
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        return owner ? owner->WndProc(uMsg, wParam, lParam) : 0;
    }
};

static std::map<HWND, CWindowWnd*>& Windows() {
    static std::map<HWND, CWindowWnd*> m;
    return m;
}

CWindowWnd::CWindowWnd() = default;

CWindowWnd::~CWindowWnd() {
    // A window object deleted while its handle lives: the handle dies first, without a final message.
    if (m_hWnd) {
        HWND h = m_hWnd;
        Windows().erase(h);
        m_hWnd = nullptr;
        if (m_pProxy) m_pProxy->owner = nullptr;
        ::DestroyWindow(h);
    }
    if (m_pModalLoop) m_pModalLoop->End(0);
}

CWindowWnd* CWindowWnd::FromHandle(HWND hWnd) {
    auto it = Windows().find(hWnd);
    return it == Windows().end() ? nullptr : it->second;
}

HWND CWindowWnd::Create(HWND hwndParent, const char* pstrName, DWORD dwStyle, DWORD dwExStyle, const RECT& rc) {
    return Create(hwndParent, pstrName, dwStyle, dwExStyle, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}

HWND CWindowWnd::CreateDuiWindow(HWND hwndParent, const char* name, DWORD dwStyle, DWORD dwExStyle) {
    return Create(hwndParent, name, dwStyle, dwExStyle, 0, 0, 0, 0);
}

HWND CWindowWnd::Create(HWND hwndParent, const char* pstrName, DWORD dwStyle, DWORD dwExStyle, int x, int y, int cx,
                        int cy, void*) {
    ::AssertUIThread("CWindowWnd::Create");
    if (m_hWnd) return m_hWnd;
    m_pProxy.reset(new Proxy(this));
    HWND h = ::CreateWindowHandle(m_pProxy.get());
    if (!h) return nullptr;
    m_hWnd = h;
    m_hWndOwner = hwndParent;
    m_dwStyle = dwStyle;
    Windows()[h] = this;
    m_pBackend = CreateWindowBackend();
    // A window created visible shows once its controls are laid out, not at its first, empty size.
    m_pBackend->Create(this, hwndParent, pstrName, dwStyle & ~UI_WS_VISIBLE, dwExStyle, {x, y, x + cx, y + cy});
    if (CPaintManagerUI* pm = GetPaintManager()) pm->Init(h, m_pBackend.get());
    HandleMessage(WM_CREATE, 0, 0);
    if (!::IsWindow(h)) return nullptr;
    RECT rc = m_pBackend->GetRect();
    HandleMessage(WM_SIZE, 0, (LPARAM)(((rc.bottom - rc.top) << 16) | ((rc.right - rc.left) & 0xFFFF)));
    if (!::IsWindow(h)) return nullptr;
    if ((dwStyle & UI_WS_VISIBLE) && m_pBackend && !m_pBackend->IsVisible()) ShowWindow(true, true);
    return ::IsWindow(h) ? h : nullptr;
}

void CWindowWnd::ShowWindow(bool bShow, bool bTakeFocus) {
    ::AssertUIThread("CWindowWnd::ShowWindow");
    if (!m_hWnd || !m_pBackend) return;
    if (CPaintManagerUI* pm = GetPaintManager()) pm->UpdateLayout();
    m_pBackend->Show(bShow, bTakeFocus);
    HandleMessage(WM_SHOWWINDOW, bShow ? 1 : 0, 0);
}

UINT CWindowWnd::ShowModal() {
    ::AssertUIThread("CWindowWnd::ShowModal");
    if (!m_hWnd) return (UINT)-1;
    HWND h = m_hWnd;
    CWindowWnd* owner = FromHandle(m_hWndOwner);
    bool ownerWasEnabled = owner && owner->m_pBackend && owner->m_pBackend->IsEnabled();
    if (owner && owner->m_pBackend) owner->m_pBackend->SetEnabled(false);
    HWND ownerHandle = m_hWndOwner;
    ShowWindow(true, true);
    ::CModalLoop loop;
    m_pModalLoop = &loop;
    m_nModalResult = 0;
    m_bOwnerDestroyed = false;
    int code = 0;
    if (::IsWindow(h)) code = loop.Run();
    else code = (int)m_nModalResult;
    // A loop ended by a quit leaves its window open: the window's later destruction must not end this
    // loop, which is gone with this frame.
    if (::IsWindow(h) && FromHandle(h) == this && m_pModalLoop == &loop) m_pModalLoop = nullptr;
    // The object may be gone now (OnFinalMessage may delete it): touch only locals.
    CWindowWnd* o = FromHandle(ownerHandle);
    if (o && o == owner && o->m_pBackend && ownerWasEnabled) o->m_pBackend->SetEnabled(true);
    return (UINT)code;
}

void CWindowWnd::Close(UINT nRet) {
    if (!m_hWnd) return;
    ::PostMessage(m_hWnd, WM_CLOSE, (WPARAM)nRet, 0);
}

void CWindowWnd::CenterWindow() {
    if (!m_pBackend) return;
    RECT rc = m_pBackend->GetRect();
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    // The screen's size once: asking the display for it takes several round trips.
    const SIZE s = m_pBackend->GetScreenSize();
    RECT area{0, 0, s.cx, s.cy};
    CWindowWnd* owner = FromHandle(m_hWndOwner);
    if (owner && owner->m_pBackend && owner->m_pBackend->IsVisible() && !owner->m_pBackend->IsMinimized())
        area = owner->m_pBackend->GetRect();
    int x = area.left + (area.right - area.left - w) / 2;
    int y = area.top + (area.bottom - area.top - h) / 2;
    if (x + w > s.cx) x = s.cx - w;
    if (y + h > s.cy) y = s.cy - h;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
    m_pBackend->Move({x, y, x + w, y + h});
}

void CWindowWnd::ResizeClient(int cx, int cy) {
    if (!m_pBackend) return;
    RECT rc = m_pBackend->GetRect();
    if (cx < 0) cx = rc.right - rc.left;
    if (cy < 0) cy = rc.bottom - rc.top;
    MoveWindow(rc.left, rc.top, cx, cy);
}

void CWindowWnd::MoveWindow(int x, int y, int cx, int cy) {
    if (!m_pBackend) return;
    RECT old = m_pBackend->GetRect();
    m_pBackend->Move({x, y, x + cx, y + cy});
    HWND h = m_hWnd;
    if (old.right - old.left != cx || old.bottom - old.top != cy)
        HandleMessage(WM_SIZE, 0, (LPARAM)((cy << 16) | (cx & 0xFFFF)));
    // The window may be gone after WM_SIZE.
    if ((old.left != x || old.top != y) && h && ::IsWindow(h) && m_hWnd == h)
        HandleMessage(WM_MOVE, 0, (LPARAM)(((y & 0xFFFF) << 16) | (x & 0xFFFF)));
}

RECT CWindowWnd::GetWindowRect() const {
    return m_pBackend ? m_pBackend->GetRect() : RECT{};
}

RECT CWindowWnd::GetClientRect() const {
    RECT rc = GetWindowRect();
    return {0, 0, rc.right - rc.left, rc.bottom - rc.top};
}

bool CWindowWnd::IsWindowVisible() const {
    return m_pBackend && m_pBackend->IsVisible();
}

void CWindowWnd::SetWindowText(const char* gbk) {
    if (m_pBackend) m_pBackend->SetTitle(gbk);
}

LRESULT CWindowWnd::SendMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return m_hWnd ? ::SendMessage(m_hWnd, uMsg, wParam, lParam) : 0;
}

BOOL CWindowWnd::PostMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return m_hWnd ? ::PostMessage(m_hWnd, uMsg, wParam, lParam) : FALSE;
}

LRESULT CWindowWnd::HandleMessage(UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == WM_CLOSE && m_hWnd) ::DestroyWindow(m_hWnd);
    return 0;
}

void CWindowWnd::OnFinalMessage(HWND) {}

LRESULT CWindowWnd::WndProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_CLOSE) m_nModalResult = (UINT)wParam;
    if (uMsg == WM_SETICON && m_pBackend) m_pBackend->SetIcon(reinterpret_cast<HICON>(lParam), wParam == ICON_BIG);
    if (uMsg != WM_DESTROY) return HandleMessage(uMsg, wParam, lParam);
    // WM_DESTROY: the window cleans up (it may close what it owns in its own order), then the windows it
    // owns that are left go, each ending the loop it runs as dismissed; then it ends its own modal loop and
    // gets the final message (after which the object may be gone).
    HWND h = m_hWnd;
    HandleMessage(uMsg, wParam, lParam);
    std::vector<HWND> owned;
    for (auto& [hh, w] : Windows())
        if (w != this && w->m_hWndOwner == h && hh) owned.push_back(hh);
    for (HWND o : owned) {
        if (CWindowWnd* w = FromHandle(o)) {
            w->m_bOwnerDestroyed = true;
            ::DestroyWindow(o);
        }
    }
    Windows().erase(h);
    m_hWnd = nullptr;
    if (m_pBackend) m_pBackend->Destroy();
    if (m_pModalLoop) {
        ::CModalLoop* loop = m_pModalLoop;
        m_pModalLoop = nullptr;
        loop->End(m_bOwnerDestroyed ? (int)kModalDismissed : (int)m_nModalResult);
    }
    OnFinalMessage(h);
    return 0;
}

// ---- WindowImplBase

DUI_BEGIN_MESSAGE_MAP(WindowImplBase, CNotifyPump)
DUI_ON_MSGTYPE(DUI_MSGTYPE_CLICK, WindowImplBase::OnClick)
DUI_END_MESSAGE_MAP()

void WindowImplBase::OnClick(TNotifyUI&) {}

void WindowImplBase::OnFinalMessage(HWND) {
    m_PaintManager.RemovePreMessageFilter(this);
    m_PaintManager.RemoveNotifier(this);
    m_PaintManager.RemoveAllTimers();
}

void WindowImplBase::Notify(TNotifyUI& msg) {
    NotifyPump(msg);
}

CControlUI* WindowImplBase::CreateControl(const char*) {
    return nullptr;
}

LRESULT WindowImplBase::ResponseDefaultKeyEvent(WPARAM wParam) {
    if (wParam == VK_RETURN) return FALSE;
    if (wParam == VK_ESCAPE) return TRUE;
    return FALSE;
}

LRESULT WindowImplBase::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM, bool& bHandled) {
    if (uMsg == WM_KEYDOWN && (wParam == VK_RETURN || wParam == VK_ESCAPE)) {
        LRESULT r = ResponseDefaultKeyEvent(wParam);
        bHandled = r != FALSE;
        return r;
    }
    return FALSE;
}

LRESULT WindowImplBase::OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    m_PaintManager.RemoveAllTimers();
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::OnSysCommand(UINT, WPARAM wParam, LPARAM, BOOL& bHandled) {
    bHandled = TRUE;
    switch (wParam & 0xFFF0) {
    case SC_CLOSE:
        Close(IDCANCEL);
        return 0;
    case SC_MINIMIZE:
        if (m_pBackend) m_pBackend->Minimize();
        return 0;
    case SC_MAXIMIZE:
        if (m_pBackend) m_pBackend->Maximize();
        return 0;
    case SC_RESTORE:
        if (m_pBackend) m_pBackend->Restore();
        return 0;
    default:
        bHandled = FALSE;
        return 0;
    }
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    m_PaintManager.Init(m_hWnd, m_pBackend.get());
    m_PaintManager.AddPreMessageFilter(this);
    if (GetResourceType() == UILIB_ZIP || GetResourceType() == UILIB_ZIPRESOURCE) {
        m_PaintManager.SetSkinFolder(GetSkinFolder().c_str());
        m_PaintManager.SetSkinZip(GetZIPFileName().c_str());
    } else {
        m_PaintManager.SetSkinFolder(GetSkinFolder().c_str());
    }
    CDialogBuilder builder;
    CControlUI* root = builder.Create(GetSkinFile().c_str(), nullptr, this, &m_PaintManager);
    // A missing skin leaves the window without controls.
    m_PaintManager.AttachDialog(root);
    m_PaintManager.AddNotifier(this);
    SIZE init = m_PaintManager.GetInitSize();
    m_pBackend->SetMinSize(m_PaintManager.GetMinInfo());
    RECT rc = m_pBackend->GetRect();
    if ((rc.right - rc.left == 0 || rc.bottom - rc.top == 0) && init.cx > 0 && init.cy > 0)
        m_pBackend->Move({rc.left, rc.top, rc.left + init.cx, rc.top + init.cy});
    InitWindow();
    bHandled = TRUE;
    return 0;
}

LRESULT WindowImplBase::OnKeyDown(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    return 0;
}
LRESULT WindowImplBase::OnKillFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    return 0;
}
LRESULT WindowImplBase::OnSetFocus(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, BOOL& bHandled) {
    bHandled = FALSE;
    return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT lRes = 0;
    if (uMsg == WM_KEYDOWN || uMsg == WM_CHAR || uMsg == WM_KEYUP) {
        if (m_PaintManager.PreMessageHandler(uMsg, wParam, lParam, lRes)) return lRes;
    }
    BOOL bHandled = TRUE;
    switch (uMsg) {
    case WM_CREATE:
        lRes = OnCreate(uMsg, wParam, lParam, bHandled);
        break;
    case WM_CLOSE:
        lRes = OnClose(uMsg, wParam, lParam, bHandled);
        break;
    case WM_DESTROY:
        lRes = OnDestroy(uMsg, wParam, lParam, bHandled);
        break;
    case WM_SIZE:
        lRes = OnSize(uMsg, wParam, lParam, bHandled);
        break;
    case WM_SYSCOMMAND:
        lRes = OnSysCommand(uMsg, wParam, lParam, bHandled);
        break;
    case WM_KEYDOWN:
        lRes = OnKeyDown(uMsg, wParam, lParam, bHandled);
        break;
    case WM_KILLFOCUS:
        lRes = OnKillFocus(uMsg, wParam, lParam, bHandled);
        break;
    case WM_SETFOCUS:
        lRes = OnSetFocus(uMsg, wParam, lParam, bHandled);
        break;
    default:
        bHandled = FALSE;
        break;
    }
    if (bHandled) return lRes;
    lRes = HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    if (bHandled) return lRes;
    if (uMsg != WM_CLOSE && uMsg != WM_DESTROY && m_hWnd && m_PaintManager.MessageHandler(uMsg, wParam, lParam, lRes))
        return lRes;
    return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
}

}  // namespace DuiLib
