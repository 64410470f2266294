#include "UIManager.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "UIBackend.h"
#include "UIResource.h"

namespace DuiLib {

namespace {
const UINT kMsgAsyncNotify = 0x7FF1;    // internal: deliver queued notifications
const UINT kMsgCleanup = 0x7FF2;        // internal: delete removed controls
const UINT_PTR kHoverTimerId = 0x0FFF;  // window timer for tooltips
const UINT kHoverMs = 500;
const int kMaxWindowSide = 8192;  // a skin's window size is cut to this

struct Statics {
    CDuiString instancePath;
    CDuiString resourcePath;
    CDuiString resourceZip;
    std::map<std::string, std::shared_ptr<TImageInfo>> images;
};
Statics& S() {
    static Statics s;
    return s;
}

CDuiString ExeFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return "./";
    buf[n] = 0;
    std::string p = buf;
    size_t slash = p.rfind('/');
    return p.substr(0, slash + 1);
}

std::string WithSlash(std::string p) {
    for (char& c : p)
        if (c == '\\') c = '/';
    if (!p.empty() && p.back() != '/') p += '/';
    return p;
}
}  // namespace

CPaintManagerUI::CPaintManagerUI() : m_alive(std::make_shared<bool>(true)) {
    m_defaultFont.reset(new TFontInfo("WenQuanYi Micro Hei", 12, false, false, false));
}

CPaintManagerUI::~CPaintManagerUI() {
    *m_alive = false;
    RemoveAllTimers();
    if (m_hWndPaint) ::KillTimer(m_hWndPaint, kHoverTimerId);
    for (CControlUI* p : m_aDelayedCleanup) delete p;
    m_aDelayedCleanup.clear();
    CControlUI* root = m_pRoot;
    m_pRoot = nullptr;
    delete root;
}

void CPaintManagerUI::Init(HWND hWnd, IWindowBackend* backend) {
    m_hWndPaint = hWnd;
    if (backend) m_pBackend = backend;
}

void CPaintManagerUI::Invalidate() {
    if (m_pBackend) {
        SIZE s = GetClientSize();
        m_pBackend->Invalidate({0, 0, s.cx, s.cy});
    }
}

void CPaintManagerUI::Invalidate(const RECT& rc) {
    if (m_pBackend) m_pBackend->Invalidate(rc);
}

const CDuiString& CPaintManagerUI::GetInstancePath() {
    if (S().instancePath.empty()) S().instancePath = ExeFolder();
    return S().instancePath;
}
void CPaintManagerUI::SetInstancePath(const char* p) {
    S().instancePath = WithSlash(p ? p : "");
}
const CDuiString& CPaintManagerUI::GetResourcePath() {
    return S().resourcePath;
}
void CPaintManagerUI::SetResourcePath(const char* p) {
    S().resourcePath = WithSlash(p ? p : "");
}
const CDuiString& CPaintManagerUI::GetResourceZip() {
    return S().resourceZip;
}
void CPaintManagerUI::SetResourceZip(const char* z) {
    S().resourceZip = z ? z : "";
}

bool CPaintManagerUI::LoadResource(const char* nameIn, std::string& out) const {
    if (!nameIn || !*nameIn) return false;
    std::string name = nameIn;
    for (char& c : name)
        if (c == '\\') c = '/';
    if (name[0] == '/') return ReadWholeFile(ResolvePathNoCase(name), out);
    if (!m_sSkinZip.empty()) {
        std::string zip = ResolvePathNoCase(WithSlash(GetInstancePath() + m_sSkinFolder) + m_sSkinZip);
        if (ReadZipEntry(zip, name, out)) return true;
    }
    if (!S().resourceZip.empty()) {
        std::string zip = ResolvePathNoCase(S().resourcePath + S().resourceZip);
        if (ReadZipEntry(zip, name, out)) return true;
    }
    if (!m_sSkinFolder.empty() &&
        ReadWholeFile(ResolvePathNoCase(WithSlash(GetInstancePath() + m_sSkinFolder) + name), out))
        return true;
    if (!S().resourcePath.empty() && ReadWholeFile(ResolvePathNoCase(S().resourcePath + name), out)) return true;
    return ReadWholeFile(ResolvePathNoCase(GetInstancePath() + name), out);
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
    m_szInitWindowSize = {cx, cy};
    if (m_pBackend && m_pBackend->GetRect().right == m_pBackend->GetRect().left) {
        RECT rc = m_pBackend->GetRect();
        m_pBackend->Move({rc.left, rc.top, rc.left + cx, rc.top + cy});
    }
}

SIZE CPaintManagerUI::GetClientSize() const {
    if (!m_pBackend) return m_szInitWindowSize;
    RECT rc = m_pBackend->GetRect();
    return {rc.right - rc.left, rc.bottom - rc.top};
}

void CPaintManagerUI::SetWindowAttribute(const char* n, const char* v) {
    RECT r = CControlUI::ParseRect(v);
    if (EqualNoCase(n, "size"))
        SetInitSize(std::clamp(r.left, 0, kMaxWindowSide), std::clamp(r.top, 0, kMaxWindowSide));
    else if (EqualNoCase(n, "caption")) m_rcCaption = r;
    else if (EqualNoCase(n, "sizebox")) m_rcSizeBox = r;
    else if (EqualNoCase(n, "roundcorner")) SetRoundCorner(r.left, r.top);
    else if (EqualNoCase(n, "mininfo")) SetMinInfo(r.left, r.top);
    else if (EqualNoCase(n, "maxinfo")) SetMaxInfo(r.left, r.top);
    else if (EqualNoCase(n, "defaultfontcolor")) SetDefaultFontColor(CControlUI::ParseColor(v));
    else if (EqualNoCase(n, "disabledfontcolor")) SetDefaultDisabledColor(CControlUI::ParseColor(v));
    else if (EqualNoCase(n, "linkfontcolor")) SetDefaultLinkFontColor(CControlUI::ParseColor(v));
}

void CPaintManagerUI::SetDefaultFont(const char* name, int size, bool bold, bool underline, bool italic) {
    m_defaultFont.reset(new TFontInfo(name, size, bold, underline, italic));
}

void CPaintManagerUI::AddFont(int id, const char* name, int size, bool bold, bool underline, bool italic) {
    m_fonts[id].reset(new TFontInfo(name, size, bold, underline, italic));
}

TFontInfo* CPaintManagerUI::GetFont(int id) const {
    auto it = m_fonts.find(id);
    return it == m_fonts.end() ? m_defaultFont.get() : it->second.get();
}

const TImageInfo* CPaintManagerUI::GetImage(const char* bitmap) {
    if (!bitmap || !*bitmap) return nullptr;
    std::string key = std::string(m_sSkinFolder) + "|" + m_sSkinZip + "|" + bitmap;
    auto it = S().images.find(key);
    if (it != S().images.end()) return it->second.get();
    std::string data;
    std::shared_ptr<TImageInfo> img;
    if (LoadResource(bitmap, data)) img.reset(CRenderEngine::LoadImageData(data.data(), data.size()));
    if (!img) return nullptr;  // not cached: a later call may find the file
    S().images[key] = img;
    return img.get();
}

void CPaintManagerUI::RemoveImage(const char* bitmap) {
    std::string suffix = std::string("|") + (bitmap ? bitmap : "");
    for (auto it = S().images.begin(); it != S().images.end();) {
        if (it->first.size() >= suffix.size() &&
            it->first.compare(it->first.size() - suffix.size(), suffix.size(), suffix) == 0)
            it = S().images.erase(it);
        else ++it;
    }
}

void CPaintManagerUI::RemoveAllImages() {
    S().images.clear();
}

static std::string Lower(const char* s) {
    std::string r = s ? s : "";
    for (char& c : r) c = (char)tolower((unsigned char)c);
    return r;
}

void CPaintManagerUI::AddDefaultAttributeList(const char* name, const char* list) {
    m_defaultAttrs[Lower(name)] = list ? list : "";
}

const char* CPaintManagerUI::GetDefaultAttributeList(const char* name) const {
    auto it = m_defaultAttrs.find(Lower(name));
    return it == m_defaultAttrs.end() ? nullptr : it->second.c_str();
}

bool CPaintManagerUI::AttachDialog(CControlUI* pControl) {
    SetFocus(nullptr);
    HideToolTip();
    m_pEventKey = m_pEventHover = m_pEventClick = nullptr;
    if (m_pRoot) {
        AddDelayedCleanup(m_pRoot);
    }
    m_pRoot = pControl;
    m_bUpdateNeeded = true;
    m_bFirstLayout = true;
    m_bFocusNeeded = true;
    return pControl ? InitControls(pControl) : true;
}

bool CPaintManagerUI::InitControls(CControlUI* pControl, CControlUI* pParent) {
    if (!pControl) return false;
    pControl->SetManager(this, pParent ? pParent : pControl->GetParent(), true);
    return true;
}

struct ReapCtx {
    CPaintManagerUI* pm;
    std::vector<CControlUI*> found;
};

static CControlUI* ReapProc(CControlUI* p, void* data) {
    static_cast<ReapCtx*>(data)->found.push_back(p);
    return nullptr;
}

void CPaintManagerUI::ReapObjects(CControlUI* pControl) {
    if (!pControl) return;
    ReapCtx ctx{this, {}};
    pControl->FindControl(ReapProc, &ctx, UIFIND_ALL);
    for (CControlUI* p : ctx.found)
        if (p != pControl) ReapOne(p);
    ReapOne(pControl);
}

void CPaintManagerUI::ReapOne(CControlUI* pControl) {
    if (pControl == m_pToolTip) HideToolTip();
    if (pControl == m_pEventKey) m_pEventKey = nullptr;
    if (pControl == m_pEventHover) m_pEventHover = nullptr;
    if (pControl == m_pEventClick) m_pEventClick = nullptr;
    if (pControl == m_pFocus) m_pFocus = nullptr;
    KillTimer(pControl);
    for (auto& g : m_mOptionGroup)
        g.second.erase(std::remove(g.second.begin(), g.second.end(), pControl), g.second.end());
    for (auto& n : m_aAsyncNotify)
        if (n.pSender == pControl) n.pSender = nullptr;
}

void CPaintManagerUI::AddDelayedCleanup(CControlUI* pControl) {
    if (!pControl) return;
    pControl->SetManager(this, nullptr, false);
    m_aDelayedCleanup.push_back(pControl);
    if (!m_hWndPaint || !::PostMessage(m_hWndPaint, kMsgCleanup, 0, 0)) {
        // Nowhere to post: delete when the manager goes.
    }
}

bool CPaintManagerUI::AddOptionGroup(const char* g, CControlUI* p) {
    auto& v = m_mOptionGroup[g ? g : ""];
    if (std::find(v.begin(), v.end(), p) != v.end()) return false;
    v.push_back(p);
    return true;
}

std::vector<CControlUI*>* CPaintManagerUI::GetOptionGroup(const char* g) {
    auto it = m_mOptionGroup.find(g ? g : "");
    return it == m_mOptionGroup.end() ? nullptr : &it->second;
}

void CPaintManagerUI::RemoveOptionGroup(const char* g, CControlUI* p) {
    auto it = m_mOptionGroup.find(g ? g : "");
    if (it == m_mOptionGroup.end()) return;
    it->second.erase(std::remove(it->second.begin(), it->second.end(), p), it->second.end());
    if (it->second.empty()) m_mOptionGroup.erase(it);
}

void CPaintManagerUI::SetFocus(CControlUI* pControl) {
    if (pControl == m_pFocus) return;
    if (pControl && (pControl->GetManager() != this || !pControl->IsVisible() || !pControl->IsEnabled())) return;
    std::weak_ptr<bool> alive = m_alive;
    if (m_pFocus) {
        CControlUI* old = m_pFocus;
        m_pFocus = nullptr;
        TEventUI ev;
        ev.Type = UIEVENT_KILLFOCUS;
        ev.pSender = pControl;
        ev.dwTimestamp = ::GetTickCount();
        old->Event(ev);
        if (alive.expired() || !*alive.lock()) return;
        SendNotify(old, DUI_MSGTYPE_KILLFOCUS);
        if (alive.expired() || !*alive.lock()) return;
    }
    if (pControl && pControl->GetManager() == this && pControl->IsVisible() && pControl->IsEnabled()) {
        m_pFocus = pControl;
        TEventUI ev;
        ev.Type = UIEVENT_SETFOCUS;
        ev.pSender = pControl;
        ev.dwTimestamp = ::GetTickCount();
        pControl->Event(ev);
        if (alive.expired() || !*alive.lock()) return;
        SendNotify(pControl, DUI_MSGTYPE_SETFOCUS);
    }
}

void CPaintManagerUI::SetFocusNeeded(CControlUI* pControl) {
    if (pControl) SetFocus(pControl);
    m_bFocusNeeded = false;
}

static CControlUI* CollectTabStops(CControlUI* p, void* data) {
    if ((p->GetControlFlags() & UIFLAG_TABSTOP) && p->IsVisible() && p->IsEnabled())
        static_cast<std::vector<CControlUI*>*>(data)->push_back(p);
    return nullptr;
}

bool CPaintManagerUI::SetNextTabControl(bool bForward) {
    if (!m_pRoot) return false;
    std::vector<CControlUI*> stops;
    m_pRoot->FindControl(CollectTabStops, &stops, UIFIND_VISIBLE | UIFIND_ENABLED | UIFIND_ME_FIRST);
    if (stops.empty()) return false;
    auto it = std::find(stops.begin(), stops.end(), m_pFocus);
    CControlUI* next;
    if (it == stops.end()) next = bForward ? stops.front() : stops.back();
    else if (bForward) next = (it + 1 == stops.end()) ? stops.front() : *(it + 1);
    else next = (it == stops.begin()) ? stops.back() : *(it - 1);
    SetFocus(next);
    return true;
}

void CPaintManagerUI::SetCapture() {
    m_bMouseCapture = true;
}
void CPaintManagerUI::ReleaseCapture() {
    m_bMouseCapture = false;
}

bool CPaintManagerUI::SetTimer(CControlUI* pControl, UINT nTimerID, UINT uElapse) {
    if (!pControl || !m_hWndPaint) return false;
    for (auto& t : m_aTimers) {
        if (t.pSender == pControl && t.nLocalID == nTimerID) {
            return ::SetTimer(m_hWndPaint, t.uWinTimer, uElapse) != 0;
        }
    }
    UINT_PTR id = ++m_uTimerID;
    if (!::SetTimer(m_hWndPaint, id, uElapse)) return false;
    m_aTimers.push_back({pControl, nTimerID, id});
    return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* pControl, UINT nTimerID) {
    for (auto it = m_aTimers.begin(); it != m_aTimers.end(); ++it) {
        if (it->pSender == pControl && it->nLocalID == nTimerID) {
            if (m_hWndPaint) ::KillTimer(m_hWndPaint, it->uWinTimer);
            m_aTimers.erase(it);
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::KillTimer(CControlUI* pControl) {
    for (auto it = m_aTimers.begin(); it != m_aTimers.end();) {
        if (it->pSender == pControl) {
            if (m_hWndPaint) ::KillTimer(m_hWndPaint, it->uWinTimer);
            it = m_aTimers.erase(it);
        } else {
            ++it;
        }
    }
}

void CPaintManagerUI::RemoveAllTimers() {
    for (auto& t : m_aTimers)
        if (m_hWndPaint) ::KillTimer(m_hWndPaint, t.uWinTimer);
    m_aTimers.clear();
}

bool CPaintManagerUI::HasTimer(CControlUI* pControl, UINT nTimerID) const {
    for (auto& t : m_aTimers)
        if (t.pSender == pControl && t.nLocalID == nTimerID) return true;
    return false;
}

namespace {
// Appends `p` unless the list has it already; false when it had.
template <class T>
bool AddOnce(std::vector<T*>& list, T* p) {
    if (std::find(list.begin(), list.end(), p) != list.end()) return false;
    list.push_back(p);
    return true;
}

// Takes `p` out of the list; false when it was not in it.
template <class T>
bool RemoveOne(std::vector<T*>& list, T* p) {
    auto it = std::find(list.begin(), list.end(), p);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}
}  // namespace

bool CPaintManagerUI::AddNotifier(INotifyUI* p) {
    return AddOnce(m_aNotifiers, p);
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* p) {
    return RemoveOne(m_aNotifiers, p);
}

void CPaintManagerUI::SendNotify(CControlUI* pControl, const char* pstrMessage, WPARAM wParam, LPARAM lParam,
                                 bool bAsync) {
    TNotifyUI msg;
    msg.pSender = pControl;
    msg.sType = pstrMessage ? pstrMessage : "";
    msg.wParam = wParam;
    msg.lParam = lParam;
    SendNotify(msg, bAsync);
}

void CPaintManagerUI::SendNotify(TNotifyUI& Msg, bool bAsync) {
    Msg.ptMouse = m_ptLastMousePos;
    Msg.dwTimestamp = ::GetTickCount();
    if (Msg.pSender) Msg.sVirtualWnd = Msg.pSender->GetVirtualWnd();
    if (bAsync && m_hWndPaint) {
        m_aAsyncNotify.push_back(Msg);
        if (!m_bAsyncPosted) m_bAsyncPosted = ::PostMessage(m_hWndPaint, kMsgAsyncNotify, 0, 0) != 0;
        return;
    }
    std::weak_ptr<bool> alive = m_alive;
    if (Msg.pSender) {
        for (auto& f : Msg.pSender->OnNotify)
            if (!f(&Msg)) return;
    }
    std::vector<INotifyUI*> notifiers = m_aNotifiers;
    for (INotifyUI* n : notifiers) {
        if (alive.expired() || !*alive.lock()) return;
        if (std::find(m_aNotifiers.begin(), m_aNotifiers.end(), n) == m_aNotifiers.end()) continue;
        n->Notify(Msg);
    }
}

void CPaintManagerUI::FlushAsyncNotify() {
    m_bAsyncPosted = false;
    std::vector<TNotifyUI> q;
    q.swap(m_aAsyncNotify);
    std::weak_ptr<bool> alive = m_alive;
    for (auto& m : q) {
        if (alive.expired() || !*alive.lock()) return;
        if (!m.pSender && !m.sType.empty()) {
            // The sender went away before delivery.
            continue;
        }
        SendNotify(m, false);
    }
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* p) {
    return AddOnce(m_aPreMessageFilters, p);
}
bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* p) {
    return RemoveOne(m_aPreMessageFilters, p);
}
bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* p) {
    return AddOnce(m_aMessageFilters, p);
}
bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* p) {
    return RemoveOne(m_aMessageFilters, p);
}

CControlUI* CPaintManagerUI::FindControlFromPointProc(CControlUI* pThis, void* pData) {
    return PtInRect(pThis->GetPos(), *static_cast<POINT*>(pData)) ? pThis : nullptr;
}

CControlUI* CPaintManagerUI::FindControlFromNameHashProc(CControlUI* pThis, void* pData) {
    return pThis->GetName() == *static_cast<const CDuiString*>(pData) ? pThis : nullptr;
}

CControlUI* CPaintManagerUI::FindControlsFromClassProc(CControlUI* pThis, void* pData) {
    auto* d = static_cast<std::pair<const char*, std::vector<CControlUI*>*>*>(pData);
    if (EqualNoCase(pThis->GetClass(), d->first)) d->second->push_back(pThis);
    return nullptr;
}

CControlUI* CPaintManagerUI::FindControlFromTabProc(CControlUI*, void*) {
    return nullptr;
}
CControlUI* CPaintManagerUI::FindControlFromShortcutProc(CControlUI*, void*) {
    return nullptr;
}
CControlUI* CPaintManagerUI::FindControlFromUpdateProc(CControlUI*, void*) {
    return nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
    if (!m_pRoot) return nullptr;
    const_cast<CPaintManagerUI*>(this)->UpdateLayout();
    return m_pRoot->FindControl(FindControlFromPointProc, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindControl(const char* pstrName) const {
    return FindSubControlByName(m_pRoot, pstrName);
}

CControlUI* CPaintManagerUI::FindSubControlByPoint(CControlUI* pParent, POINT pt) const {
    if (!pParent) pParent = m_pRoot;
    if (!pParent) return nullptr;
    return pParent->FindControl(FindControlFromPointProc, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* pParent, const char* pstrName) const {
    if (!pParent || !pstrName || !*pstrName) return nullptr;
    CDuiString name = pstrName;
    return pParent->FindControl(FindControlFromNameHashProc, &name, UIFIND_ALL | UIFIND_ME_FIRST);
}

CControlUI* CPaintManagerUI::FindSubControlByClass(CControlUI* pParent, const char* pstrClass, int iIndex) {
    if (!pParent) pParent = m_pRoot;
    if (!pParent) return nullptr;
    std::vector<CControlUI*> found;
    std::pair<const char*, std::vector<CControlUI*>*> d{pstrClass, &found};
    pParent->FindControl(FindControlsFromClassProc, &d, UIFIND_ALL | UIFIND_ME_FIRST);
    return iIndex >= 0 && iIndex < (int)found.size() ? found[(size_t)iIndex] : nullptr;
}

void CPaintManagerUI::UpdateLayout() {
    if (!m_pRoot) return;
    if (!m_bUpdateNeeded && !m_pRoot->IsUpdateNeeded()) return;
    SIZE s = GetClientSize();
    m_bUpdateNeeded = false;
    m_pRoot->SetPos({0, 0, s.cx, s.cy}, false);
    CheckToolTip();
    if (m_bFirstLayout) {
        m_bFirstLayout = false;
        std::weak_ptr<bool> alive = m_alive;
        SendNotify(m_pRoot, DUI_MSGTYPE_WINDOWINIT);
        if (alive.expired() || !*alive.lock()) return;
        if (m_bFocusNeeded && !m_pFocus) SetNextTabControl();
        m_bFocusNeeded = false;
    }
}

void CPaintManagerUI::Paint(HDC hDC, const RECT& rcPaint) {
    UpdateLayout();
    CheckToolTip();
    if (m_pRoot) m_pRoot->DoPaint(hDC, rcPaint);
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
    std::vector<IMessageFilterUI*> filters = m_aPreMessageFilters;
    for (IMessageFilterUI* f : filters) {
        bool handled = false;
        LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
        if (handled) {
            lRes = r;
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::HideToolTip(bool clicked) {
    if (clicked) {
        m_bHoverClicked = true;
        if (m_hWndPaint) ::KillTimer(m_hWndPaint, kHoverTimerId);
    }
    m_pToolTip = nullptr;
    if (m_pBackend) m_pBackend->HideToolTip();
}

void CPaintManagerUI::CheckToolTip() {
    if (!m_pToolTip) return;
    const RECT& rc = m_pToolTip->GetPos();
    if (!m_pToolTip->IsVisible() || rc.left != m_rcToolTip.left || rc.top != m_rcToolTip.top ||
        rc.right != m_rcToolTip.right || rc.bottom != m_rcToolTip.bottom)
        HideToolTip();
}

static POINT PointOf(LPARAM lParam) {
    return {(int)(short)(lParam & 0xFFFF), (int)(short)((lParam >> 16) & 0xFFFF)};
}

static bool IsPassive(CControlUI* p) {
    if (!p) return true;
    const char* c = p->GetClass();
    return EqualNoCase(c, "ControlUI") || EqualNoCase(c, "LabelUI") || EqualNoCase(c, "ContainerUI") ||
           EqualNoCase(c, "VerticalLayoutUI") || EqualNoCase(c, "HorizontalLayoutUI") ||
           EqualNoCase(c, "TabLayoutUI") || EqualNoCase(c, "TileLayoutUI") || EqualNoCase(c, "TextUI");
}

int CPaintManagerUI::SizeBoxHit(POINT pt) const {
    const RECT& b = m_rcSizeBox;
    if (!m_pBackend || m_pBackend->IsMaximized() || (b.left <= 0 && b.top <= 0 && b.right <= 0 && b.bottom <= 0))
        return 0;
    SIZE cs = GetClientSize();
    const bool left = pt.x < b.left, right = pt.x >= cs.cx - b.right;
    if (pt.y < b.top) return left ? HTTOPLEFT : right ? HTTOPRIGHT : HTTOP;
    if (pt.y >= cs.cy - b.bottom) return left ? HTBOTTOMLEFT : right ? HTBOTTOMRIGHT : HTBOTTOM;
    return left ? HTLEFT : right ? HTRIGHT : 0;
}

namespace {
int SizeCursor(int hit) {
    switch (hit) {
    case HTLEFT:
    case HTRIGHT:
        return UICURSOR_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return UICURSOR_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return UICURSOR_SIZENWSE;
    default:
        return UICURSOR_SIZENESW;
    }
}
}  // namespace

void CPaintManagerUI::DispatchMouse(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    UpdateLayout();
    POINT pt = PointOf(lParam);
    m_ptLastMousePos = pt;
    std::weak_ptr<bool> alive = m_alive;
    auto dead = [&] { return alive.expired() || !*alive.lock(); };
    TEventUI ev;
    ev.ptMouse = pt;
    ev.dwTimestamp = ::GetTickCount();
    ev.wKeyState = (unsigned short)wParam;
    // The resize border belongs to the window, not to the controls under it (none is pressed meanwhile).
    const int sizeHit = m_pEventClick ? 0 : SizeBoxHit(pt);
    switch (uMsg) {
    case WM_MOUSEMOVE: {
        CControlUI* newHover = sizeHit ? nullptr : FindControl(pt);
        if (newHover != m_pEventHover) {
            HideToolTip();
            m_bHoverClicked = false;
            if (m_pEventHover) {
                ev.Type = UIEVENT_MOUSELEAVE;
                ev.pSender = m_pEventHover;
                m_pEventHover->Event(ev);
                if (dead()) return;
            }
            m_pEventHover = newHover;
            if (newHover) {
                ev.Type = UIEVENT_MOUSEENTER;
                ev.pSender = newHover;
                newHover->Event(ev);
                if (dead()) return;
                // The pointer resting on a control: its hover event, and its tooltip when it has one.
                if (m_hWndPaint && m_pEventHover) ::SetTimer(m_hWndPaint, kHoverTimerId, kHoverMs);
            }
        }
        CControlUI* target = m_pEventClick ? m_pEventClick : m_pEventHover;
        if (target) {
            ev.Type = UIEVENT_MOUSEMOVE;
            ev.pSender = target;
            target->Event(ev);
            if (dead()) return;
        }
        if (m_pEventHover) {
            ev.Type = UIEVENT_SETCURSOR;
            ev.pSender = m_pEventHover;
            m_pEventHover->Event(ev);
        } else if (m_pBackend) {
            m_pBackend->SetCursor(sizeHit ? SizeCursor(sizeHit) : UICURSOR_ARROW);
        }
        return;
    }
    case WM_MOUSELEAVE:
        HideToolTip();
        if (m_pEventHover && !m_pEventClick) {
            ev.Type = UIEVENT_MOUSELEAVE;
            ev.pSender = m_pEventHover;
            CControlUI* h = m_pEventHover;
            m_pEventHover = nullptr;
            h->Event(ev);
        }
        return;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        HideToolTip(true);
        if (sizeHit) {
            if (uMsg == WM_LBUTTONDOWN && m_pBackend) m_pBackend->BeginResizeDrag(sizeHit);
            return;
        }
        CControlUI* p = FindControl(pt);
        RECT cap = m_rcCaption;
        SIZE cs = GetClientSize();
        if (cap.right <= 0) cap.right += cs.cx;
        if (uMsg == WM_LBUTTONDOWN && m_rcCaption.bottom > 0 &&
            PtInRect({cap.left, cap.top, cap.right, m_rcCaption.bottom}, pt) && IsPassive(p)) {
            if (m_pBackend) m_pBackend->BeginMoveDrag(pt);
            return;
        }
        if (!p || p->GetManager() != this) return;
        m_pEventClick = p;
        p->SetFocus();
        if (dead() || m_pEventClick != p) return;
        SetCapture();
        ev.Type = uMsg == WM_LBUTTONDOWN ? UIEVENT_BUTTONDOWN : UIEVENT_DBLCLICK;
        ev.pSender = p;
        p->Event(ev);
        return;
    }
    case WM_LBUTTONUP: {
        ReleaseCapture();
        CControlUI* p = m_pEventClick;
        m_pEventClick = nullptr;
        if (!p) return;
        ev.Type = UIEVENT_BUTTONUP;
        ev.pSender = p;
        p->Event(ev);
        return;
    }
    case WM_RBUTTONDOWN: {
        HideToolTip(true);
        CControlUI* p = FindControl(pt);
        if (!p || p->GetManager() != this) return;
        p->SetFocus();
        if (dead()) return;
        ev.Type = UIEVENT_RBUTTONDOWN;
        ev.pSender = p;
        p->Event(ev);
        return;
    }
    case WM_RBUTTONUP: {
        CControlUI* p = FindControl(pt);
        if (!p || p->GetManager() != this) return;
        ev.Type = UIEVENT_CONTEXTMENU;
        ev.pSender = p;
        ev.lParam = (LPARAM)p;
        p->Event(ev);
        return;
    }
    case WM_MOUSEWHEEL: {
        CControlUI* p = FindControl(pt);
        if (!p || p->GetManager() != this) return;
        short delta = (short)((wParam >> 16) & 0xFFFF);
        ev.Type = UIEVENT_SCROLLWHEEL;
        ev.pSender = p;
        ev.wParam = delta > 0 ? 0 : 1;
        ev.lParam = lParam;
        p->Event(ev);
        return;
    }
    default:
        return;
    }
}

bool CPaintManagerUI::MessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes) {
    std::vector<IMessageFilterUI*> filters = m_aMessageFilters;
    for (IMessageFilterUI* f : filters) {
        bool handled = false;
        LRESULT r = f->MessageHandler(uMsg, wParam, lParam, handled);
        if (handled) {
            lRes = r;
            return true;
        }
    }
    std::weak_ptr<bool> alive = m_alive;
    switch (uMsg) {
    case kMsgAsyncNotify:
        FlushAsyncNotify();
        return true;
    case kMsgCleanup: {
        // Controls removed under a nested loop (a combo whose list runs) stay until the outermost loop.
        auto cleanup = [this, alive] {
            if (alive.expired() || !*alive.lock()) return;  // the manager deleted them itself
            std::vector<CControlUI*> v;
            v.swap(m_aDelayedCleanup);
            for (CControlUI* p : v) delete p;
        };
        if (::InNestedLoop()) ::DeleteWhenIdle(std::function<void()>(cleanup));
        else cleanup();
        return true;
    }
    case WM_PAINT: {
        // wParam: the render target, lParam: the RECT to paint (client coordinates).
        HDC hdc = reinterpret_cast<HDC>(wParam);
        const RECT* rc = reinterpret_cast<const RECT*>(lParam);
        if (hdc && rc) Paint(hdc, *rc);
        return true;
    }
    case WM_MOVE:
        HideToolTip();
        return false;
    case WM_SIZE:
        HideToolTip();
        m_bUpdateNeeded = true;
        UpdateLayout();
        Invalidate();
        return false;
    case WM_TIMER: {
        if (wParam == kHoverTimerId) {
            ::KillTimer(m_hWndPaint, kHoverTimerId);
            if (m_pEventHover) {
                TEventUI ev;
                ev.Type = UIEVENT_MOUSEHOVER;
                ev.pSender = m_pEventHover;
                ev.ptMouse = m_ptLastMousePos;
                ev.dwTimestamp = ::GetTickCount();
                std::weak_ptr<bool> alive = m_alive;
                m_pEventHover->Event(ev);
                if (alive.expired() || !*alive.lock()) return true;
            }
            // Only for a control still shown under the pointer and not clicked meanwhile.
            CControlUI* h = m_pEventHover;
            if (h && m_pBackend && !m_bHoverClicked && !h->GetToolTip().empty() && h->IsVisible() &&
                PtInRect(h->GetPos(), m_ptLastMousePos)) {
                m_pBackend->ShowToolTip(h->GetToolTip().c_str(), m_ptLastMousePos);
                m_pToolTip = h;
                m_rcToolTip = h->GetPos();
            }
            return true;
        }
        for (auto& t : m_aTimers) {
            if (t.uWinTimer == wParam) {
                TEventUI ev;
                ev.Type = UIEVENT_TIMER;
                ev.pSender = t.pSender;
                ev.wParam = t.nLocalID;
                ev.dwTimestamp = ::GetTickCount();
                ev.ptMouse = m_ptLastMousePos;
                CControlUI* p = t.pSender;
                p->Event(ev);
                return true;
            }
        }
        return false;
    }
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MOUSEWHEEL:
        DispatchMouse(uMsg, wParam, lParam);
        return uMsg != WM_MOUSELEAVE;
    case WM_KEYDOWN: {
        if (wParam == VK_TAB) {
            SetNextTabControl((lParam & MK_SHIFT) == 0);
            return true;
        }
        if (!m_pFocus) return false;
        TEventUI ev;
        ev.Type = UIEVENT_KEYDOWN;
        ev.pSender = m_pFocus;
        ev.chKey = (char)wParam;
        ev.wParam = wParam;
        ev.lParam = lParam;
        ev.dwTimestamp = ::GetTickCount();
        m_pFocus->Event(ev);
        return true;
    }
    case WM_CHAR: {
        if (!m_pFocus) return false;
        TEventUI ev;
        ev.Type = UIEVENT_CHAR;
        ev.pSender = m_pFocus;
        ev.chKey = (char)wParam;
        ev.wParam = wParam;
        ev.dwTimestamp = ::GetTickCount();
        m_pFocus->Event(ev);
        return true;
    }
    case WM_KILLFOCUS:
        HideToolTip();
        return false;
    default:
        return false;
    }
    (void)alive;
}

void CPaintManagerUI::MessageLoop() {
    ::RunMessageLoop();
}
void CPaintManagerUI::Term() {
    RemoveAllImages();
    ResetZipCache();
}

}  // namespace DuiLib
