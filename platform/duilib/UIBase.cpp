#include <strings.h>

#include <cstdarg>
#include <cstdio>

#include "UIControl.h"

namespace DuiLib {

int CDuiString::CompareNoCase(const char* other) const {
    return strcasecmp(c_str(), other ? other : "");
}

CDuiString CDuiString::Format(const char* fmt, ...) {
    // One pass into a buffer on the stack for the usual short texts; a second only for a longer one.
    char small[256];
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    const int n = vsnprintf(small, sizeof(small), fmt, ap);
    va_end(ap);
    CDuiString out;
    if (n > 0 && size_t(n) < sizeof(small)) {
        out.assign(small, size_t(n));
    } else if (n > 0) {
        out.resize((size_t)n + 1);
        vsnprintf(&out[0], (size_t)n + 1, fmt, ap2);
        out.resize((size_t)n);
    }
    va_end(ap2);
    return out;
}

bool EqualNoCase(const char* a, const char* b) {
    // ASCII letters without case, as strcasecmp in the C locale; most names differ at their first letter.
    if (!a) a = "";
    if (!b) b = "";
    for (;; ++a, ++b) {
        unsigned char x = (unsigned char)*a, y = (unsigned char)*b;
        if (x != y) {
            if (x >= 'A' && x <= 'Z') x = (unsigned char)(x + 32);
            if (y >= 'A' && y <= 'Z') y = (unsigned char)(y + 32);
            if (x != y) return false;
        }
        if (x == 0) return true;
    }
}

bool PtInRect(const RECT& rc, POINT pt) {
    return pt.x >= rc.left && pt.x < rc.right && pt.y >= rc.top && pt.y < rc.bottom;
}

bool IntersectRect(RECT* out, const RECT& a, const RECT& b) {
    RECT r;
    r.left = a.left > b.left ? a.left : b.left;
    r.top = a.top > b.top ? a.top : b.top;
    r.right = a.right < b.right ? a.right : b.right;
    r.bottom = a.bottom < b.bottom ? a.bottom : b.bottom;
    bool ok = r.right > r.left && r.bottom > r.top;
    if (!ok) r = RECT{};
    if (out) *out = r;
    return ok;
}

bool CDuiRect::Intersect(const RECT& a, const RECT& b) {
    return IntersectRect(this, a, b);
}

// Notify maps.

const DUI_MSGMAP* CNotifyPump::GetBaseMessageMap() {
    return nullptr;
}
static const DUI_MSGMAP_ENTRY kNoEntries[] = {{"", "", DuiSig_end, nullptr}};
const DUI_MSGMAP CNotifyPump::messageMap = {&CNotifyPump::GetBaseMessageMap, &kNoEntries[0]};
const DUI_MSGMAP* CNotifyPump::GetMessageMap() const {
    return &CNotifyPump::messageMap;
}

bool CNotifyPump::AddVirtualWnd(CDuiString strName, CNotifyPump* pObject) {
    for (auto& v : m_VirtualWndMap)
        if (v.first == strName) return false;
    m_VirtualWndMap.emplace_back(strName, pObject);
    return true;
}

bool CNotifyPump::RemoveVirtualWnd(CDuiString strName) {
    for (auto it = m_VirtualWndMap.begin(); it != m_VirtualWndMap.end(); ++it) {
        if (it->first == strName) {
            m_VirtualWndMap.erase(it);
            return true;
        }
    }
    return false;
}

// The handlers are members of derived classes called through a converted member pointer, which is valid for the
// object's dynamic type but trips the sanitizer's vptr check on classes with several bases.
__attribute__((no_sanitize("vptr"))) bool CNotifyPump::LoopDispatch(TNotifyUI& msg) {
    CDuiString senderName;
    if (msg.pSender) senderName = msg.pSender->GetName();
    for (const DUI_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const DUI_MSGMAP_ENTRY* e = map->lpEntries; e && e->nSig != DuiSig_end; ++e) {
            if (e->sMsgType != msg.sType) continue;
            if (!e->sCtrlName.empty() && e->sCtrlName != senderName) continue;
            if (e->nSig == DuiSig_vn && e->pfn) {
                (this->*(e->pfn))(msg);
                return true;
            }
        }
    }
    return false;
}

void CNotifyPump::NotifyPump(TNotifyUI& msg) {
    if (!msg.sVirtualWnd.empty()) {
        for (auto& v : m_VirtualWndMap) {
            if (v.first.CompareNoCase(msg.sVirtualWnd.c_str()) == 0) {
                if (v.second->LoopDispatch(msg)) return;
            }
        }
    }
    LoopDispatch(msg);
}

}  // namespace DuiLib
