// What a window needs of the place it is shown on. The headless backend (the default) keeps geometry
// and state only; the GTK backend shows a real window (see UIBackendGtk.h).
#pragma once

#include <memory>

#include "UIDefine.h"

namespace DuiLib {

class CWindowWnd;
class CEditUI;

// WM_KILLFOCUS's wParam when a shown menu saw a click outside it (0: the focus simply went elsewhere).
constexpr WPARAM kClickOutside = 1;

enum UICursor {
    UICURSOR_ARROW = 0,
    UICURSOR_HAND = 1,
    UICURSOR_IBEAM = 2,
    UICURSOR_WAIT = 3,
    UICURSOR_SIZEWE = 4,    // left and right edges
    UICURSOR_SIZENS = 5,    // top and bottom edges
    UICURSOR_SIZENWSE = 6,  // top-left and bottom-right corners
    UICURSOR_SIZENESW = 7,  // top-right and bottom-left corners
};

class IWindowBackend {
public:
    virtual ~IWindowBackend() = default;
    // rc is in screen coordinates; the client area is the whole window (the skins draw their own frame).
    virtual void Create(CWindowWnd* wnd, HWND hWndOwner, const char* title, DWORD style, DWORD exStyle,
                        const RECT& rc) = 0;
    virtual void Destroy() = 0;
    virtual void Show(bool bShow, bool bActivate) = 0;
    virtual bool IsVisible() const = 0;
    virtual void Move(const RECT& rc) = 0;
    virtual RECT GetRect() const = 0;
    virtual void SetTitle(const char* gbk) = 0;
    virtual void SetEnabled(bool bEnable) = 0;
    virtual bool IsEnabled() const = 0;
    virtual void Invalidate(const RECT& rc) = 0;
    virtual void Minimize() = 0;
    virtual void Maximize() = 0;
    virtual void Restore() = 0;
    virtual bool IsMaximized() const = 0;
    virtual bool IsMinimized() const = 0;
    virtual void BeginMoveDrag(POINT ptClient) = 0;
    // The window manager resizes the window from the border the last press was on (HTLEFT .. HTBOTTOMRIGHT).
    virtual void BeginResizeDrag(int hitTest) { (void)hitTest; }
    virtual void SetCursor(int cursor) = 0;
    virtual void ShowToolTip(const char* gbk, POINT ptClient) = 0;
    virtual void HideToolTip() = 0;
    // Native text entry over an edit control while it has the focus.
    virtual void BeginEdit(CEditUI* pEdit) = 0;
    virtual void EndEdit(CEditUI* pEdit) = 0;
    virtual void UpdateEdit(CEditUI* pEdit) = 0;
    // Places a native child widget (e.g. a GtkWidget*) over rc, or hides it.
    virtual void PlaceNativeWidget(void* widget, const RECT& rc, bool bVisible) = 0;
    virtual void RemoveNativeWidget(void* widget) = 0;
    // True when PlaceNativeWidget shows GTK widgets (a window on the desktop).
    virtual bool HasNativeWidgets() const { return false; }
    virtual SIZE GetScreenSize() const = 0;
    // The work area (the screen less panels) of the monitor at or nearest a screen point.
    virtual RECT GetWorkArea(POINT near) const {
        (void)near;
        SIZE s = GetScreenSize();
        return {0, 0, s.cx, s.cy};
    }
    // The smallest size the user may give the window (the skin's minimum).
    virtual void SetMinSize(SIZE min) { (void)min; }
    // Screen position of the mouse pointer.
    virtual POINT GetCursorPos() const = 0;
    // Asks the desktop for the user's attention until the window is in the foreground (false withdraws
    // it); false when the window is not shown on a desktop.
    virtual bool RequestAttention(bool on) {
        (void)on;
        return false;
    }
    // The window's icon (WM_SETICON); the backend copies what it needs.
    virtual void SetIcon(HICON icon, bool big) {
        (void)icon;
        (void)big;
    }
};

class IWindowBackendFactory {
public:
    virtual ~IWindowBackendFactory() = default;
    virtual std::unique_ptr<IWindowBackend> CreateBackend() = 0;
};

// The factory windows created from now on use; nullptr restores the headless backend.
void SetWindowBackendFactory(IWindowBackendFactory* factory);
std::unique_ptr<IWindowBackend> CreateWindowBackend();

// The headless backend, exposed for tests.
class CHeadlessBackend : public IWindowBackend {
public:
    void Create(CWindowWnd* wnd, HWND, const char*, DWORD style, DWORD, const RECT& rc) override;
    void Destroy() override { m_bVisible = false; }
    void Show(bool bShow, bool) override { m_bVisible = bShow; }
    bool IsVisible() const override { return m_bVisible; }
    void Move(const RECT& rc) override { m_rc = rc; }
    RECT GetRect() const override { return m_rc; }
    void SetTitle(const char* gbk) override { m_sTitle = gbk ? gbk : ""; }
    void SetEnabled(bool b) override { m_bEnabled = b; }
    bool IsEnabled() const override { return m_bEnabled; }
    void Invalidate(const RECT&) override { ++m_nInvalidations; }
    void Minimize() override { m_bMin = true; }
    void Maximize() override {
        m_bMax = true;
        m_bMin = false;
    }
    void Restore() override { m_bMax = m_bMin = false; }
    bool IsMaximized() const override { return m_bMax; }
    bool IsMinimized() const override { return m_bMin; }
    void BeginMoveDrag(POINT) override {}
    void BeginResizeDrag(int hitTest) override { m_nResizeDrag = hitTest; }
    void SetCursor(int c) override { m_nCursor = c; }
    void ShowToolTip(const char* gbk, POINT) override { m_sToolTip = gbk ? gbk : ""; }
    void HideToolTip() override { m_sToolTip.clear(); }
    void BeginEdit(CEditUI*) override {}
    void EndEdit(CEditUI*) override {}
    void UpdateEdit(CEditUI*) override {}
    void PlaceNativeWidget(void*, const RECT&, bool) override {}
    void RemoveNativeWidget(void*) override {}
    SIZE GetScreenSize() const override { return {1280, 1024}; }
    POINT GetCursorPos() const override { return {0, 0}; }

    CDuiString m_sTitle;
    CDuiString m_sToolTip;
    RECT m_rc;
    bool m_bVisible = false;
    bool m_bEnabled = true;
    bool m_bMax = false;
    bool m_bMin = false;
    int m_nCursor = 0;
    int m_nResizeDrag = 0;  // the border of the last resize asked for
    int m_nInvalidations = 0;
};

}  // namespace DuiLib
