// Base types of the UI library: strings, geometry, events, notifications and notify maps.
// Everything here runs on the UI thread. Texts are the system's GBK.
#pragma once

#include <Win32.h>

#include <cstdint>
#include <string>
#include <vector>

#include "UIMessages.h"

namespace DuiLib {

// Narrow text of the UI (GBK).
class CDuiString : public std::string {
public:
    using std::string::string;
    CDuiString() = default;
    CDuiString(const std::string& s) : std::string(s) {}
    CDuiString(std::string&& s) : std::string(std::move(s)) {}
    CDuiString(const char* s) : std::string(s ? s : "") {}
    const char* GetData() const { return c_str(); }
    int GetLength() const { return (int)size(); }
    bool IsEmpty() const { return empty(); }
    void Empty() { clear(); }
    int CompareNoCase(const char* other) const;
    static CDuiString Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
};

bool EqualNoCase(const char* a, const char* b);

struct POINT {
    int x = 0, y = 0;
};
struct SIZE {
    int cx = 0, cy = 0;
};
struct RECT {
    int left = 0, top = 0, right = 0, bottom = 0;
};

class CDuiRect : public RECT {
public:
    CDuiRect() = default;
    CDuiRect(const RECT& r) : RECT(r) {}
    CDuiRect(int l, int t, int r, int b) {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    int GetWidth() const { return right - left; }
    int GetHeight() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool Contains(POINT pt) const { return pt.x >= left && pt.x < right && pt.y >= top && pt.y < bottom; }
    void Offset(int dx, int dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
    }
    bool Intersect(const RECT& a, const RECT& b);  // false when empty
};
typedef POINT CDuiPoint;
typedef POINT CPoint;
typedef SIZE CDuiSize;

bool PtInRect(const RECT& rc, POINT pt);
bool IntersectRect(RECT* out, const RECT& a, const RECT& b);

class CControlUI;
class CPaintManagerUI;
class IRenderTarget;
typedef IRenderTarget* HDC;

// Events a control receives from the paint manager.
enum EVENTTYPE_UI {
    UIEVENT__FIRST = 1,
    UIEVENT__KEYBEGIN,
    UIEVENT_KEYDOWN,
    UIEVENT_KEYUP,
    UIEVENT_CHAR,
    UIEVENT_SYSKEY,
    UIEVENT__KEYEND,
    UIEVENT__MOUSEBEGIN,
    UIEVENT_MOUSEMOVE,
    UIEVENT_MOUSELEAVE,
    UIEVENT_MOUSEENTER,
    UIEVENT_MOUSEHOVER,
    UIEVENT_BUTTONDOWN,
    UIEVENT_BUTTONUP,
    UIEVENT_RBUTTONDOWN,
    UIEVENT_DBLCLICK,
    UIEVENT_CONTEXTMENU,
    UIEVENT_SCROLLWHEEL,
    UIEVENT__MOUSEEND,
    UIEVENT_KILLFOCUS,
    UIEVENT_SETFOCUS,
    UIEVENT_WINDOWSIZE,
    UIEVENT_SETCURSOR,
    UIEVENT_TIMER,
    UIEVENT_NOTIFY,
    UIEVENT_COMMAND,
    UIEVENT__LAST,
};

// Control flags.
enum {
    UIFLAG_TABSTOP = 0x00000001,
    UIFLAG_SETCURSOR = 0x00000002,
    UIFLAG_WANTRETURN = 0x00000004,
};

// Text style bits (the platform's DT_* values).
enum {
    DT_TOP = 0x0,
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOPREFIX = 0x800,
    DT_CALCRECT = 0x400,
    DT_END_ELLIPSIS = 0x8000,
};

// Modifier bits in TEventUI::wKeyState.
enum { MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8 };

struct TEventUI {
    int Type = 0;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse;
    char chKey = 0;
    unsigned short wKeyState = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

struct TNotifyUI {
    CDuiString sType;
    CDuiString sVirtualWnd;
    CControlUI* pSender = nullptr;
    DWORD dwTimestamp = 0;
    POINT ptMouse;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Receives every notification of a paint manager.
class INotifyUI {
public:
    virtual ~INotifyUI() = default;
    virtual void Notify(TNotifyUI& msg) = 0;
};

// Sees every window message before the paint manager; sets bHandled to stop it.
class IMessageFilterUI {
public:
    virtual ~IMessageFilterUI() = default;
    virtual LRESULT MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, bool& bHandled) = 0;
};

// Makes controls of class names the builder does not know.
class IDialogBuilderCallback {
public:
    virtual ~IDialogBuilderCallback() = default;
    virtual CControlUI* CreateControl(const char* pstrClass) = 0;
};

// Notify maps: a static table per class, chained to the base class's map.
class CNotifyPump;
typedef void (CNotifyPump::*DUI_PMSG)(TNotifyUI& msg);

enum DuiSig { DuiSig_end = 0, DuiSig_lwl = 1, DuiSig_vn = 2 };

struct DUI_MSGMAP_ENTRY {
    CDuiString sMsgType;
    CDuiString sCtrlName;
    unsigned nSig;
    DUI_PMSG pfn;
};

struct DUI_MSGMAP {
    const DUI_MSGMAP* (*pfnGetBaseMap)();
    const DUI_MSGMAP_ENTRY* lpEntries;
};

// Routes notifications through the class's notify map; virtual windows get their own pumps.
class CNotifyPump {
public:
    virtual ~CNotifyPump() = default;
    bool AddVirtualWnd(CDuiString strName, CNotifyPump* pObject);
    bool RemoveVirtualWnd(CDuiString strName);
    void NotifyPump(TNotifyUI& msg);
    bool LoopDispatch(TNotifyUI& msg);

protected:
    static const DUI_MSGMAP* GetBaseMessageMap();
    static const DUI_MSGMAP messageMap;
    virtual const DUI_MSGMAP* GetMessageMap() const;

private:
    std::vector<std::pair<CDuiString, CNotifyPump*>> m_VirtualWndMap;
};

// Declares the class's notify map. Write it under protected: (a derived class's map reaches the base's
// table); it declares no access of its own, so what follows keeps the access of its section.
#define DUI_DECLARE_MESSAGE_MAP()                            \
    static const DuiLib::DUI_MSGMAP_ENTRY _messageEntries[]; \
    static const DuiLib::DUI_MSGMAP messageMap;              \
    static const DuiLib::DUI_MSGMAP* GetBaseMessageMap();    \
    const DuiLib::DUI_MSGMAP* GetMessageMap() const override;

// True when a class's map is public, i.e. its DUI_DECLARE_MESSAGE_MAP stands outside protected:.
template <class T>
concept PublicMessageMap = requires {
    &T::messageMap;
};

#define DUI_BASE_BEGIN_MESSAGE_MAP(theClass)                                                                       \
    static_assert(!DuiLib::PublicMessageMap<theClass>, "DUI_DECLARE_MESSAGE_MAP belongs under protected:");        \
    const DuiLib::DUI_MSGMAP* theClass::GetBaseMessageMap() {                                                      \
        return nullptr;                                                                                            \
    }                                                                                                              \
    const DuiLib::DUI_MSGMAP* theClass::GetMessageMap() const {                                                    \
        return &theClass::messageMap;                                                                              \
    }                                                                                                              \
    const DuiLib::DUI_MSGMAP theClass::messageMap = {&theClass::GetBaseMessageMap, &theClass::_messageEntries[0]}; \
    const DuiLib::DUI_MSGMAP_ENTRY theClass::_messageEntries[] = {
#define DUI_BEGIN_MESSAGE_MAP(theClass, baseClass)                                                                 \
    static_assert(!DuiLib::PublicMessageMap<theClass>, "DUI_DECLARE_MESSAGE_MAP belongs under protected:");        \
    const DuiLib::DUI_MSGMAP* theClass::GetBaseMessageMap() {                                                      \
        return &baseClass::messageMap;                                                                             \
    }                                                                                                              \
    const DuiLib::DUI_MSGMAP* theClass::GetMessageMap() const {                                                    \
        return &theClass::messageMap;                                                                              \
    }                                                                                                              \
    const DuiLib::DUI_MSGMAP theClass::messageMap = {&theClass::GetBaseMessageMap, &theClass::_messageEntries[0]}; \
    const DuiLib::DUI_MSGMAP_ENTRY theClass::_messageEntries[] = {
#define DUI_END_MESSAGE_MAP()                           \
    { "", "", DuiLib::DuiSig_end, (DuiLib::DUI_PMSG)0 } \
    }                                                   \
    ;
#define DUI_ON_MSGTYPE(msgtype, memberFxn) \
    {msgtype, "", DuiLib::DuiSig_vn, (DuiLib::DUI_PMSG)(void(DuiLib::CNotifyPump::*)(DuiLib::TNotifyUI&)) & memberFxn},
#define DUI_ON_MSGTYPE_CTRNAME(msgtype, ctrname, memberFxn) \
    {msgtype, ctrname, DuiLib::DuiSig_vn,                   \
     (DuiLib::DUI_PMSG)(void(DuiLib::CNotifyPump::*)(DuiLib::TNotifyUI&)) & memberFxn},
#define DUI_ON_CLICK_CTRNAME(ctrname, memberFxn) DUI_ON_MSGTYPE_CTRNAME(DUI_MSGTYPE_CLICK, ctrname, memberFxn)

// Notification kinds.
#define DUI_MSGTYPE_MENU "menu"
#define DUI_MSGTYPE_LINK "link"
#define DUI_MSGTYPE_TIMER "timer"
#define DUI_MSGTYPE_CLICK "click"
#define DUI_MSGTYPE_MOUSEENTER "mouseenter"
#define DUI_MSGTYPE_MOUSELEAVE "mouseleave"
#define DUI_MSGTYPE_RETURN "return"
#define DUI_MSGTYPE_SCROLL "scroll"
#define DUI_MSGTYPE_DROPDOWN "dropdown"
#define DUI_MSGTYPE_SETFOCUS "setfocus"
#define DUI_MSGTYPE_KILLFOCUS "killfocus"
#define DUI_MSGTYPE_ITEMCLICK "itemclick"
#define DUI_MSGTYPE_TABSELECT "tabselect"
#define DUI_MSGTYPE_ITEMSELECT "itemselect"
#define DUI_MSGTYPE_ITEMACTIVATE "itemactivate"
#define DUI_MSGTYPE_WINDOWINIT "windowinit"
#define DUI_MSGTYPE_SELECTCHANGED "selectchanged"
#define DUI_MSGTYPE_TEXTCHANGED "textchanged"
#define DUI_MSGTYPE_VALUECHANGED "valuechanged"

}  // namespace DuiLib
