// Windows: CWindowWnd (a handle of the window runtime plus a backend) and WindowImplBase (a window whose
// controls come from a skin file, with a notify map and default keys).
#pragma once

#include <memory>

#include "UIBackend.h"
#include "UIManager.h"

class CModalLoop;

namespace DuiLib {

class CWindowWnd {
public:
    CWindowWnd();
    virtual ~CWindowWnd();

    HWND GetHWND() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    static CWindowWnd* FromHandle(HWND hWnd);

    HWND Create(HWND hwndParent, const char* pstrName, DWORD dwStyle, DWORD dwExStyle, const RECT& rc);
    HWND Create(HWND hwndParent, const char* pstrName, DWORD dwStyle, DWORD dwExStyle, int x = 0, int y = 0, int cx = 0,
                int cy = 0, void* hMenu = nullptr);
    HWND CreateDuiWindow(HWND hwndParent, const char* pstrWindowName, DWORD dwStyle = 0, DWORD dwExStyle = 0);
    void ShowWindow(bool bShow = true, bool bTakeFocus = true);
    // ShowModal's result when the window was destroyed with its owner (the loop was dismissed): the caller
    // does nothing more for it.
    static constexpr UINT kModalDismissed = (UINT)-2;
    // Runs a nested loop until the window is destroyed; returns the code given to Close (WM_CLOSE's wParam),
    // or kModalDismissed.
    UINT ShowModal();
    bool IsModal() const { return m_pModalLoop != nullptr; }
    void Close(UINT nRet = IDOK);
    void CenterWindow();
    void ResizeClient(int cx = -1, int cy = -1);
    void MoveWindow(int x, int y, int cx, int cy);
    RECT GetWindowRect() const;
    RECT GetClientRect() const;
    bool IsWindowVisible() const;
    void SetWindowText(const char* gbk);
    HWND GetOwner() const { return m_hWndOwner; }
    DWORD GetStyle() const { return m_dwStyle; }
    IWindowBackend* GetBackend() const { return m_pBackend.get(); }

    LRESULT SendMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);

    virtual const char* GetWindowClassName() const = 0;
    virtual UINT GetClassStyle() const { return 0; }
    virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND hWnd);

    // Entry of every message of this window's handle.
    LRESULT WndProc(UINT uMsg, WPARAM wParam, LPARAM lParam);

protected:
    // The manager a backend paints and feeds input to; nullptr for a window without controls.
    virtual CPaintManagerUI* GetPaintManager() { return nullptr; }
    friend class CGtkBackend;

    HWND m_hWnd = nullptr;
    HWND m_hWndOwner = nullptr;
    DWORD m_dwStyle = 0;
    std::unique_ptr<IWindowBackend> m_pBackend;
    ::CModalLoop* m_pModalLoop = nullptr;
    UINT m_nModalResult = 0;
    bool m_bOwnerDestroyed = false;  // destroyed with its owner: its loop returns kModalDismissed
    struct Proxy;
    std::unique_ptr<Proxy> m_pProxy;

public:
    CPaintManagerUI* PaintManagerForBackend() { return GetPaintManager(); }
};

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
public:
    WindowImplBase() = default;
    ~WindowImplBase() override = default;
    virtual void InitWindow() {}
    void OnFinalMessage(HWND hWnd) override;
    void Notify(TNotifyUI& msg) override;

    virtual void OnClick(TNotifyUI& msg);

    CPaintManagerUI m_PaintManager;

protected:
    DUI_DECLARE_MESSAGE_MAP()
    virtual CDuiString GetSkinFolder() = 0;
    virtual CDuiString GetSkinFile() = 0;
    virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_FILE; }
    virtual CDuiString GetZIPFileName() const { return ""; }
    CPaintManagerUI* GetPaintManager() override { return &m_PaintManager; }

public:
    UINT GetClassStyle() const override { return 0x8; /* CS_DBLCLKS */ }
    CControlUI* CreateControl(const char* pstrClass) override;
    LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
    virtual LRESULT OnClose(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnDestroy(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnSize(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnSysCommand(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnCreate(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnKeyDown(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnKillFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT OnSetFocus(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    virtual LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    virtual LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled);
    // Enter and Escape before the controls see them; true when consumed. Escape is consumed, Enter is not.
    virtual LRESULT ResponseDefaultKeyEvent(WPARAM wParam);
};

// Destroys the window of `wnd` (ending every loop it and the windows it owns run) and hands the object to
// DeleteWhenIdle: for the popups and dialogs a window owns, released from its WM_DESTROY.
template <class T>
void ReleaseWindow(std::unique_ptr<T>& wnd) {
    if (!wnd) return;
    if (HWND h = wnd->GetHWND()) ::DestroyWindow(h);
    ::DeleteWhenIdle(std::move(wnd));
}

}  // namespace DuiLib
