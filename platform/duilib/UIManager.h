// The paint manager of one window: control tree, focus, hot and pushed states, input dispatch, control
// timers, notifications, fonts, default attributes and the image cache. UI thread only.
#pragma once

#include <map>
#include <memory>

#include "UIControl.h"
#include "UIRender.h"

namespace DuiLib {

class IWindowBackend;
class CEditUI;

enum UILIB_RESOURCETYPE { UILIB_FILE = 1, UILIB_ZIP = 2, UILIB_RESOURCE = 3, UILIB_ZIPRESOURCE = 4 };

class CPaintManagerUI {
public:
    CPaintManagerUI();
    ~CPaintManagerUI();

    void Init(HWND hWnd, IWindowBackend* backend = nullptr);
    HWND GetPaintWindow() const { return m_hWndPaint; }
    // Expires (or reads false) once the manager, and with it its controls, is gone: re-checked after a
    // nested loop before touching a control of it.
    std::weak_ptr<bool> AliveToken() const { return m_alive; }
    IWindowBackend* GetBackend() const { return m_pBackend; }
    void SetBackend(IWindowBackend* backend) { m_pBackend = backend; }
    void NeedUpdate() { m_bUpdateNeeded = true; }
    void Invalidate();
    void Invalidate(const RECT& rcItem);

    // Resources: the program folder, the resource folder and the archive skins and images come from.
    static const CDuiString& GetInstancePath();
    static void SetInstancePath(const char* path);
    static const CDuiString& GetResourcePath();
    static void SetResourcePath(const char* pStrPath);
    static const CDuiString& GetResourceZip();
    static void SetResourceZip(const char* pstrZip);
    static void* GetInstance() { return nullptr; }
    static void SetInstance(void*) {}
    // This window's skin folder and archive (set by the window base before the skin is loaded).
    void SetSkinFolder(const char* folder) { m_sSkinFolder = folder ? folder : ""; }
    const CDuiString& GetSkinFolder() const { return m_sSkinFolder; }
    void SetSkinZip(const char* zip) { m_sSkinZip = zip ? zip : ""; }
    // Reads a resource: from this window's archive, the resource archive, the resource folder, or a full path.
    bool LoadResource(const char* name, std::string& out) const;

    // Window attributes from the skin.
    SIZE GetInitSize() const { return m_szInitWindowSize; }
    void SetInitSize(int cx, int cy);
    SIZE GetClientSize() const;
    RECT& GetCaptionRect() { return m_rcCaption; }
    void SetCaptionRect(RECT& rcCaption) { m_rcCaption = rcCaption; }
    SIZE GetRoundCorner() const { return m_szRoundCorner; }
    void SetRoundCorner(int cx, int cy) { m_szRoundCorner = {cx, cy}; }
    SIZE GetMinInfo() const { return m_szMinWindow; }
    void SetMinInfo(int cx, int cy) { m_szMinWindow = {cx, cy}; }
    SIZE GetMaxInfo() const { return m_szMaxWindow; }
    void SetMaxInfo(int cx, int cy) { m_szMaxWindow = {cx, cy}; }
    RECT& GetSizeBox() { return m_rcSizeBox; }
    void SetSizeBox(RECT& rc) { m_rcSizeBox = rc; }
    void SetWindowAttribute(const char* pstrName, const char* pstrValue);

    // Fonts by index; -1 or an unknown index is the default font.
    void SetDefaultFont(const char* name, int size, bool bold, bool underline, bool italic);
    void AddFont(int id, const char* name, int size, bool bold, bool underline, bool italic);
    TFontInfo* GetFont(int id) const;
    TFontInfo* GetDefaultFontInfo() const { return m_defaultFont.get(); }
    DWORD GetDefaultFontColor() const { return m_dwDefaultFontColor; }
    void SetDefaultFontColor(DWORD c) { m_dwDefaultFontColor = c; }
    DWORD GetDefaultDisabledColor() const { return m_dwDefaultDisabledColor; }
    void SetDefaultDisabledColor(DWORD c) { m_dwDefaultDisabledColor = c; }
    DWORD GetDefaultLinkFontColor() const { return m_dwDefaultLinkFontColor; }
    void SetDefaultLinkFontColor(DWORD c) { m_dwDefaultLinkFontColor = c; }

    // Images, cached process-wide by archive and name.
    const TImageInfo* GetImage(const char* bitmap);
    const TImageInfo* GetImageEx(const char* bitmap) { return GetImage(bitmap); }
    void RemoveImage(const char* bitmap);
    static void RemoveAllImages();

    void AddDefaultAttributeList(const char* pStrControlName, const char* pStrControlAttrList);
    const char* GetDefaultAttributeList(const char* pStrControlName) const;

    bool AttachDialog(CControlUI* pControl);
    bool InitControls(CControlUI* pControl, CControlUI* pParent = nullptr);
    void ReapObjects(CControlUI* pControl);
    void ReapOne(CControlUI* pControl);
    void AddDelayedCleanup(CControlUI* pControl);

    bool AddOptionGroup(const char* pStrGroupName, CControlUI* pControl);
    std::vector<CControlUI*>* GetOptionGroup(const char* pStrGroupName);
    void RemoveOptionGroup(const char* pStrGroupName, CControlUI* pControl);

    CControlUI* GetFocus() const { return m_pFocus; }
    void SetFocus(CControlUI* pControl);
    void SetFocusNeeded(CControlUI* pControl);
    bool SetNextTabControl(bool bForward = true);
    CControlUI* GetHot() const { return m_pEventHover; }
    void SetCapture();
    void ReleaseCapture();
    bool IsCaptured() const { return m_bMouseCapture; }

    // Control timers: UIEVENT_TIMER (and a "timer" notification) to the control every uElapse ms.
    bool SetTimer(CControlUI* pControl, UINT nTimerID, UINT uElapse);
    bool KillTimer(CControlUI* pControl, UINT nTimerID);
    void KillTimer(CControlUI* pControl);
    void RemoveAllTimers();
    bool HasTimer(CControlUI* pControl, UINT nTimerID) const;

    bool AddNotifier(INotifyUI* pControl);
    bool RemoveNotifier(INotifyUI* pControl);
    void SendNotify(TNotifyUI& Msg, bool bAsync = false);
    void SendNotify(CControlUI* pControl, const char* pstrMessage, WPARAM wParam = 0, LPARAM lParam = 0,
                    bool bAsync = false);

    bool AddPreMessageFilter(IMessageFilterUI* pFilter);
    bool RemovePreMessageFilter(IMessageFilterUI* pFilter);
    bool AddMessageFilter(IMessageFilterUI* pFilter);
    bool RemoveMessageFilter(IMessageFilterUI* pFilter);

    CControlUI* GetRoot() const { return m_pRoot; }
    CControlUI* FindControl(POINT pt) const;
    CControlUI* FindControl(const char* pstrName) const;
    CControlUI* FindSubControlByPoint(CControlUI* pParent, POINT pt) const;
    CControlUI* FindSubControlByName(CControlUI* pParent, const char* pstrName) const;
    CControlUI* FindSubControlByClass(CControlUI* pParent, const char* pstrClass, int iIndex = 0);

    // Paints the dirty tree into hDC (client coordinates).
    void Paint(HDC hDC, const RECT& rcPaint);
    // Lays the tree out for the current client size when needed.
    void UpdateLayout();

    bool PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);
    bool MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes);

    // Nested loops pump through the window runtime; kept for callers of the original shape.
    static bool TranslateMessage(const void*) { return false; }
    static void MessageLoop();
    static void Term();

private:
    struct TimerInfo {
        CControlUI* pSender;
        UINT nLocalID;
        UINT_PTR uWinTimer;
    };
    static CControlUI* FindControlFromNameHashProc(CControlUI* pThis, void* pData);
    static CControlUI* FindControlFromPointProc(CControlUI* pThis, void* pData);
    static CControlUI* FindControlFromTabProc(CControlUI* pThis, void* pData);
    static CControlUI* FindControlFromShortcutProc(CControlUI* pThis, void* pData);
    static CControlUI* FindControlFromUpdateProc(CControlUI* pThis, void* pData);
    static CControlUI* FindControlsFromClassProc(CControlUI* pThis, void* pData);
    void DispatchMouse(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // The resize border under the client point (HTLEFT .. HTBOTTOMRIGHT), 0 elsewhere or while maximised.
    int SizeBoxHit(POINT pt) const;
    void FlushAsyncNotify();
    // The tooltip goes, and no tooltip comes for the control under the pointer until it leaves it (clicked).
    void HideToolTip(bool clicked = false);
    // The tooltip goes once its control was hidden or moved.
    void CheckToolTip();

    HWND m_hWndPaint = nullptr;
    IWindowBackend* m_pBackend = nullptr;
    CControlUI* m_pRoot = nullptr;
    CControlUI* m_pFocus = nullptr;
    CControlUI* m_pEventHover = nullptr;
    CControlUI* m_pEventClick = nullptr;
    CControlUI* m_pEventKey = nullptr;
    POINT m_ptLastMousePos;
    bool m_bMouseCapture = false;
    bool m_bUpdateNeeded = true;
    bool m_bFirstLayout = true;
    bool m_bFocusNeeded = false;
    SIZE m_szInitWindowSize;
    SIZE m_szRoundCorner;
    SIZE m_szMinWindow;
    SIZE m_szMaxWindow;
    RECT m_rcCaption;
    RECT m_rcSizeBox;
    CDuiString m_sSkinFolder;
    CDuiString m_sSkinZip;
    std::unique_ptr<TFontInfo> m_defaultFont;
    std::map<int, std::unique_ptr<TFontInfo>> m_fonts;
    DWORD m_dwDefaultFontColor = 0xFF333333;
    DWORD m_dwDefaultDisabledColor = 0xFFA7A6AA;
    DWORD m_dwDefaultLinkFontColor = 0xFF1F6FD1;
    std::map<std::string, std::string> m_defaultAttrs;  // lower-case class name -> list
    std::map<std::string, CControlUI*> m_mNameHash;
    std::map<std::string, std::vector<CControlUI*>> m_mOptionGroup;
    std::vector<TimerInfo> m_aTimers;
    UINT_PTR m_uTimerID = 0x1000;
    std::vector<INotifyUI*> m_aNotifiers;
    std::vector<IMessageFilterUI*> m_aPreMessageFilters;
    std::vector<IMessageFilterUI*> m_aMessageFilters;
    std::vector<CControlUI*> m_aDelayedCleanup;
    std::vector<TNotifyUI> m_aAsyncNotify;
    bool m_bAsyncPosted = false;
    std::vector<CControlUI*> m_aFoundControls;
    bool m_bHoverTimer = false;
    CControlUI* m_pToolTip = nullptr;  // the control whose tooltip shows
    RECT m_rcToolTip{};                // where it was then
    bool m_bHoverClicked = false;      // the control under the pointer was clicked since it came under it
    std::shared_ptr<bool> m_alive;

    friend class CControlUI;
};

}  // namespace DuiLib
