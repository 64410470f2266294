// Window handles, posting and sending, timers and in-process properties.
#include "Win32Runtime.h"

using namespace win32_detail;

struct Win32WindowAccess {
    static HWND& Handle(CWin32Window* w) { return w->handle_; }
};

namespace win32_detail {

void ForgetWindow(uintptr_t id) {
    Runtime& r = R();
    void (*died)(HWND) = nullptr;
    std::vector<QueueEntry> dropped;  // released after the lock: payloads freed, senders woken
    {
        varnet::MutexLock l(r.mu);
        auto w = r.windows.find(id);
        if (w == r.windows.end()) {
            return;
        }
        if (w->second.obj && Win32WindowAccess::Handle(w->second.obj) == Handle(id)) {
            Win32WindowAccess::Handle(w->second.obj) = nullptr;
        }
        r.windows.erase(w);
        for (auto t = r.timers.lower_bound({id, 0}); t != r.timers.end() && t->first.first == id;) {
            t = r.timers.erase(t);
        }
        for (auto q = r.queue.begin(); q != r.queue.end();) {
            if ((q->kind == QueueEntry::kPost || q->kind == QueueEntry::kSend) && q->hwnd == id) {
                dropped.push_back(std::move(*q));
                q = r.queue.erase(q);
            } else {
                ++q;
            }
        }
        died = r.windowDied;
    }
    dropped.clear();
    if (died) {
        died(Handle(id));
    }
}

// Queues a message for a live window and wakes the UI thread; false, with nothing queued (the payload stays
// the caller's), when the window is gone or being destroyed.
bool QueueForWindow(Runtime& r, QueueEntry::Kind kind, uintptr_t id, UINT msg, WPARAM wParam, LPARAM lParam,
                    void (*deleter)(LPARAM), std::shared_ptr<SendRecord> send) {
    {
        varnet::MutexLock l(r.mu);
        auto w = r.windows.find(id);
        if (w == r.windows.end() || w->second.destroying) {
            return false;
        }
        QueueEntry e;
        e.kind = kind;
        e.hwnd = id;
        e.msg = msg;
        e.wParam = wParam;
        e.lParam = lParam;
        e.deleter = deleter;
        e.send = std::move(send);
        r.queue.push_back(std::move(e));
    }
    g_main_context_wakeup(g_main_context_default());
    return true;
}

BOOL PostWithDeleter(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, void (*deleter)(LPARAM)) {
    Runtime& r = R();
    uintptr_t id = Id(hwnd);
    return QueueForWindow(r, QueueEntry::kPost, id, msg, wParam, lParam, deleter, nullptr) ? TRUE : FALSE;
}

}  // namespace win32_detail

CWin32Window::~CWin32Window() {
    Runtime& r = R();
    uintptr_t id = 0;
    {
        varnet::MutexLock l(r.mu);
        id = Id(handle_);
    }
    if (id) {
        ForgetWindow(id);
    }
}

HWND CWin32Window::Win32Handle() const {
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    return handle_;
}

HWND CreateWindowHandle(CWin32Window* window) {
    Win32Init();
    if (!window || !IsUIThread()) {
        return nullptr;
    }
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    HWND& h = Win32WindowAccess::Handle(window);
    if (h && r.windows.count(Id(h))) {
        return h;
    }
    uintptr_t id = r.nextHandle++;
    r.windows[id].obj = window;
    h = Handle(id);
    return h;
}

BOOL DestroyWindow(HWND hwnd) {
    if (!IsUIThread()) {
        return static_cast<BOOL>(CallOnUIThread([hwnd] { return static_cast<LRESULT>(DestroyWindow(hwnd)); }));
    }
    Runtime& r = R();
    uintptr_t id = Id(hwnd);
    CWin32Window* obj = nullptr;
    {
        varnet::MutexLock l(r.mu);
        auto w = r.windows.find(id);
        if (w == r.windows.end() || w->second.destroying) {
            return FALSE;
        }
        w->second.destroying = true;
        obj = w->second.obj;
        for (auto t = r.timers.lower_bound({id, 0}); t != r.timers.end() && t->first.first == id;) {
            t = r.timers.erase(t);
        }
    }
    obj->HandleMessage(WM_DESTROY, 0, 0);
    bool objectGone;
    {
        varnet::MutexLock l(r.mu);
        objectGone = r.windows.count(id) == 0;  // the object deleted itself during WM_DESTROY
    }
    ForgetWindow(id);
    if (!objectGone) {
        obj->HandleMessage(WM_NCDESTROY, 0, 0);
    }
    return TRUE;
}

BOOL IsWindow(HWND hwnd) {
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    return r.windows.count(Id(hwnd)) ? TRUE : FALSE;
}

CWin32Window* GetWindowObject(HWND hwnd) {
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    auto w = r.windows.find(Id(hwnd));
    return w == r.windows.end() ? nullptr : w->second.obj;
}

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return PostWithDeleter(hwnd, msg, wParam, lParam, nullptr);
}

BOOL SendMessageTimeout(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, DWORD timeoutMs, LRESULT* result) {
    Runtime& r = R();
    uintptr_t id = Id(hwnd);
    if (IsUIThread()) {
        CWin32Window* obj = GetWindowObject(hwnd);
        if (!obj) {
            return FALSE;
        }
        LRESULT v = obj->HandleMessage(msg, wParam, lParam);
        if (result) {
            *result = v;
        }
        return TRUE;
    }
    auto rec = std::make_shared<SendRecord>();
    if (!QueueForWindow(r, QueueEntry::kSend, id, msg, wParam, lParam, nullptr, rec)) {
        return FALSE;
    }
    if (!rec->Wait(timeoutMs)) {
        return FALSE;
    }
    varnet::MutexLock l(rec->m);
    if (!rec->delivered) {
        return FALSE;
    }
    if (result) {
        *result = rec->result;
    }
    return TRUE;
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT v = 0;
    if (!SendMessageTimeout(hwnd, msg, wParam, lParam, INFINITE, &v)) {
        return 0;
    }
    return v;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT ms) {
    if (id == 0) {
        return 0;
    }
    Runtime& r = R();
    uintptr_t h = Id(hwnd);
    {
        varnet::MutexLock l(r.mu);
        auto w = r.windows.find(h);
        if (w == r.windows.end() || w->second.destroying) {
            return 0;
        }
        TimerRec& t = r.timers[{h, id}];
        t.intervalUs = static_cast<gint64>(std::max<UINT>(ms, 10)) * 1000;
        t.due = g_get_monotonic_time() + t.intervalUs;
        t.gen = ++r.timerGen;
    }
    g_main_context_wakeup(g_main_context_default());
    return id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    return r.timers.erase({Id(hwnd), id}) ? TRUE : FALSE;
}

BOOL SetProp(HWND hwnd, const char* name, void* value) {
    if (!name) {
        return FALSE;
    }
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    auto w = r.windows.find(Id(hwnd));
    if (w == r.windows.end()) {
        return FALSE;
    }
    w->second.props[name] = value;
    return TRUE;
}

void* GetProp(HWND hwnd, const char* name) {
    if (!name) {
        return nullptr;
    }
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    auto w = r.windows.find(Id(hwnd));
    if (w == r.windows.end()) {
        return nullptr;
    }
    auto p = w->second.props.find(name);
    return p == w->second.props.end() ? nullptr : p->second;
}

void* RemoveProp(HWND hwnd, const char* name) {
    if (!name) {
        return nullptr;
    }
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    auto w = r.windows.find(Id(hwnd));
    if (w == r.windows.end()) {
        return nullptr;
    }
    auto p = w->second.props.find(name);
    if (p == w->second.props.end()) {
        return nullptr;
    }
    void* v = p->second;
    w->second.props.erase(p);
    return v;
}
