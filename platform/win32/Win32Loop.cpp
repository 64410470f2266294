// The UI thread's queue as one GLib source on the default main context, and the loops that pump it.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <climits>
#include <string_view>
#include <tuple>

#include "Win32Runtime.h"

namespace win32_detail {

void Log(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    fprintf(stderr, "[win32] %s\n", buf);
}

void SendRecord::Complete(bool wasDelivered, LRESULT value) {
    varnet::MutexLock l(m);
    if (done) {
        return;
    }
    done = true;
    delivered = wasDelivered;
    result = value;
    cv.notify_all();
}

bool SendRecord::Wait(DWORD timeoutMs) {
    varnet::MutexLock l(m);
    if (timeoutMs == INFINITE) {
        while (!done) cv.wait(l.Native());
        return true;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done && cv.wait_until(l.Native(), until) != std::cv_status::timeout) {}
    return done;
}

QueueEntry::QueueEntry(QueueEntry&& o) noexcept {
    *this = std::move(o);
}

QueueEntry& QueueEntry::operator=(QueueEntry&& o) noexcept {
    if (this != &o) {
        Release();
        kind = o.kind;
        hwnd = o.hwnd;
        msg = o.msg;
        wParam = o.wParam;
        lParam = o.lParam;
        deleter = o.deleter;
        send = std::move(o.send);
        call = std::move(o.call);
        o.deleter = nullptr;
        o.send.reset();
    }
    return *this;
}

QueueEntry::~QueueEntry() {
    Release();
}

void QueueEntry::Release() {
    if (deleter) {
        deleter(lParam);
        deleter = nullptr;
    }
    if (send) {
        send->Complete(false, 0);
        send.reset();
    }
}

Runtime& R() {
    // Never destroyed: window objects with static storage may outlive any other static. What is left in the
    // queue at exit stays reachable.
    static Runtime* runtime = new Runtime;
    return *runtime;
}

namespace {

// Due timers are collected under the lock and rescheduled before delivery, so a nested loop inside a
// WM_TIMER handler sees the next due time, not the one being handled.
gint64 NextDue(Runtime& r) REQUIRES(r.mu) {
    gint64 next = G_MAXINT64;
    for (auto& [key, t] : r.timers) {
        next = std::min(next, t.due);
    }
    return next;
}

bool ModalFrameRuns(Runtime& r) {
    for (LoopFrame* f : r.frames)
        if (f->modal) return true;
    return false;
}

// Inside a dispatch of the outermost loop (depth 1), or outside any loop (depth 0), with no modal frame.
bool Idle(Runtime& r, guint depth) {
    return g_main_depth() <= int(depth) && !ModalFrameRuns(r);
}

void DrainIdleDeletes(Runtime& r) {
    while (!r.idleDeletes.empty()) {
        std::vector<std::function<void()>> v;
        v.swap(r.idleDeletes);
        for (auto& d : v) d();  // a destructor may queue more
    }
}

gboolean Ready(gint* timeout) {
    Runtime& r = R();
    if (!r.idleDeletes.empty() && IsUIThread() && Idle(r, 0)) {
        *timeout = 0;
        return TRUE;
    }
    varnet::MutexLock l(r.mu);
    if (!r.queue.empty()) {
        *timeout = 0;
        return TRUE;
    }
    gint64 next = NextDue(r);
    if (next == G_MAXINT64) {
        *timeout = -1;
        return FALSE;
    }
    gint64 now = g_get_monotonic_time();
    if (next <= now) {
        *timeout = 0;
        return TRUE;
    }
    *timeout = static_cast<gint>(std::min<gint64>((next - now + 999) / 1000, INT_MAX));
    return FALSE;
}

gboolean SourcePrepare(GSource*, gint* timeout) {
    return Ready(timeout);
}

gboolean SourceCheck(GSource*) {
    gint unused;
    return Ready(&unused);
}

void DispatchTimers() {
    Runtime& r = R();
    std::vector<std::tuple<gint64, uintptr_t, UINT_PTR, uint64_t>> due;
    {
        varnet::MutexLock l(r.mu);
        gint64 now = g_get_monotonic_time();
        for (auto& [key, t] : r.timers) {
            if (t.due <= now) {
                due.emplace_back(t.due, key.first, key.second, t.gen);
                t.due = now + t.intervalUs;
            }
        }
    }
    std::sort(due.begin(), due.end());
    for (auto& [when, hwnd, id, gen] : due) {
        CWin32Window* obj = nullptr;
        {
            varnet::MutexLock l(r.mu);
            auto t = r.timers.find({hwnd, id});
            auto w = r.windows.find(hwnd);
            if (t == r.timers.end() || t->second.gen != gen || w == r.windows.end() || w->second.destroying) {
                continue;  // killed or destroyed meanwhile
            }
            obj = w->second.obj;
        }
        obj->HandleMessage(WM_TIMER, static_cast<WPARAM>(id), 0);
    }
}

void HandleQuit(int code) {
    Runtime& r = R();
    if (r.frames.empty()) {
        r.pendingQuit = true;  // the next loop to run takes it
        r.pendingQuitCode = code;
        return;
    }
    LoopFrame* f = r.frames.back();
    f->ended = true;
    f->code = code;
    if (f->modal) {
        f->quit = true;
        PostQuitMessage(code);  // for the loop outside
    }
}

void Deliver(QueueEntry& e) {
    Runtime& r = R();
    if (e.kind == QueueEntry::kQuit) {
        HandleQuit(static_cast<int>(e.wParam));
        return;
    }
    if (e.kind == QueueEntry::kCall) {
        LRESULT v = e.call();
        if (e.send) {  // a posted call has no waiting sender
            e.send->Complete(true, v);
            e.send.reset();
        }
        return;
    }
    CWin32Window* obj = nullptr;
    {
        varnet::MutexLock l(r.mu);
        auto w = r.windows.find(e.hwnd);
        if (w != r.windows.end()) {
            obj = w->second.obj;
        }
    }
    if (!obj) {
        return;  // dead window: the entry frees its payload and releases its sender
    }
    e.deleter = nullptr;  // the receiver owns the payload now
    LRESULT v = obj->HandleMessage(e.msg, e.wParam, e.lParam);
    if (e.send) {
        e.send->Complete(true, v);
        e.send.reset();
    }
}

void DispatchQueue() {
    Runtime& r = R();
    LoopFrame* top = r.frames.empty() ? nullptr : r.frames.back();
    size_t budget;
    {
        varnet::MutexLock l(r.mu);
        budget = r.queue.size();  // later arrivals wait for the next round, so other sources get a turn
    }
    while (budget-- > 0) {
        if (top && top->ended) {
            break;  // let the ended loop return before anything else is handled inside it
        }
        QueueEntry e;
        {
            varnet::MutexLock l(r.mu);
            if (r.queue.empty()) {
                break;
            }
            e = std::move(r.queue.front());
            r.queue.pop_front();
        }
        Deliver(e);
        if (e.kind == QueueEntry::kQuit) {
            break;
        }
    }
}

gboolean SourceDispatch(GSource*, GSourceFunc, gpointer) {
    Runtime& r = R();
    if (Idle(r, 1)) DrainIdleDeletes(r);
    DispatchTimers();
    DispatchQueue();
    return G_SOURCE_CONTINUE;
}

GSourceFuncs gSourceFuncs = {SourcePrepare, SourceCheck, SourceDispatch, nullptr, nullptr, nullptr};

void Wake() {
    g_main_context_wakeup(g_main_context_default());
}

int RunFrame(LoopFrame& f) {
    Runtime& r = R();
    r.frames.push_back(&f);
    while (!f.ended) {
        g_main_context_iteration(nullptr, TRUE);
    }
    r.frames.pop_back();
    return f.code;
}

}  // namespace

void Enqueue(QueueEntry&& e) {
    Runtime& r = R();
    {
        varnet::MutexLock l(r.mu);
        r.queue.push_back(std::move(e));
    }
    Wake();
}

LRESULT CallOnUIThread(std::function<LRESULT()> fn) {
    if (IsUIThread()) {
        return fn();
    }
    QueueEntry e;
    e.kind = QueueEntry::kCall;
    e.call = std::move(fn);
    e.send = std::make_shared<SendRecord>();
    auto rec = e.send;
    Enqueue(std::move(e));
    rec->Wait(INFINITE);
    varnet::MutexLock l(rec->m);
    return rec->result;
}

}  // namespace win32_detail

using namespace win32_detail;

bool Win32Init() {
    Runtime& r = R();
    GSource* source;
    {
        varnet::MutexLock l(r.mu);
        if (r.inited) {
            return r.ui == std::this_thread::get_id();
        }
        r.inited = true;
        r.ui = std::this_thread::get_id();
        source = r.source = g_source_new(&gSourceFuncs, sizeof(GSource));
    }
    g_source_set_name(source, "win32 message queue");
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_can_recurse(source, TRUE);             // modal loops run inside handlers
    g_source_attach(source, g_main_context_default());  // outside our lock: prepare takes it under GLib's
    return true;
}

bool IsUIThread() {
    Runtime& r = R();
    varnet::MutexLock l(r.mu);
    return r.inited && r.ui == std::this_thread::get_id();
}

BOOL PostToUIThread(std::function<void()> fn) {
    if (!fn) return FALSE;
    {
        Runtime& r = R();
        varnet::MutexLock l(r.mu);
        if (!r.inited) return FALSE;
    }
    QueueEntry e;
    e.kind = QueueEntry::kCall;
    e.call = [fn = std::move(fn)]() -> LRESULT {
        fn();
        return 0;
    };
    Enqueue(std::move(e));
    return TRUE;
}

namespace {
bool ThreadChecksOn() {
#if !defined(NDEBUG) || defined(VARNET_THREAD_CHECKS)
    return true;
#else
    static const bool on = [] {
        const char* v = std::getenv("VARNET_THREAD_CHECKS");
        return v && *v && std::string_view(v) != "0";
    }();
    return on;
#endif
}
}  // namespace

void AssertUIThread(const char* who) {
    if (ThreadChecksOn()) {
        Runtime& r = R();
        varnet::MutexLock l(r.mu);
        if (r.inited && r.ui != std::this_thread::get_id()) {
            std::fprintf(stderr, "%s called off the UI thread\n", who);
            std::abort();
        }
    }
}

void PostQuitMessage(int code) {
    QueueEntry e;
    e.kind = QueueEntry::kQuit;
    e.wParam = static_cast<WPARAM>(code);
    Enqueue(std::move(e));
}

int RunMessageLoop() {
    Win32Init();
    if (!IsUIThread()) {
        Log("RunMessageLoop called off the UI thread");
        return -1;
    }
    Runtime& r = R();
    if (r.pendingQuit) {
        r.pendingQuit = false;
        return r.pendingQuitCode;
    }
    LoopFrame f;
    return RunFrame(f);
}

int CModalLoop::Run() {
    Win32Init();
    if (!IsUIThread() || frame_) {
        Log("CModalLoop::Run called off the UI thread or twice");
        return kQuit;
    }
    if (pendingEnd_) {
        pendingEnd_ = false;
        return pendingCode_;
    }
    Runtime& r = R();
    if (r.pendingQuit) {
        return kQuit;  // the quit stays for the loop outside
    }
    LoopFrame f;
    f.modal = true;
    frame_ = &f;
    int code = RunFrame(f);
    if (f.ownerGone) {
        return kQuit;  // `this` is gone
    }
    frame_ = nullptr;
    return f.quit ? kQuit : code;
}

CModalLoop::~CModalLoop() {
    if (frame_) {
        frame_->ownerGone = true;
        frame_->ended = true;
        frame_->code = kQuit;
    }
}

void CModalLoop::End(int code) {
    if (frame_) {
        if (!frame_->ended) {
            frame_->ended = true;
            frame_->code = code;
        }
        Wake();
    } else {
        pendingEnd_ = true;
        pendingCode_ = code;
    }
}

bool CModalLoop::Running() const {
    return frame_ != nullptr;
}

void DeleteWhenIdle(std::function<void()> deleter) {
    if (!deleter) return;
    Runtime& r = R();
    bool inited;
    {
        varnet::MutexLock l(r.mu);
        inited = r.inited;
    }
    if (!inited) {
        // No runtime, no loop of ours; inside a dispatch (a signal of the object's own) it goes once GLib's loop
        // is back.
        if (g_main_depth() == 0) {
            deleter();
        } else {
            g_idle_add_full(
                G_PRIORITY_DEFAULT_IDLE,
                [](gpointer p) -> gboolean {
                    (*static_cast<std::function<void()>*>(p))();
                    return G_SOURCE_REMOVE;
                },
                new std::function<void()>(std::move(deleter)),
                [](gpointer p) { delete static_cast<std::function<void()>*>(p); });
        }
        return;
    }
    if (!IsUIThread()) {
        Log("DeleteWhenIdle called off the UI thread");
        PostToUIThread([d = std::move(deleter)]() mutable { DeleteWhenIdle(std::move(d)); });
        return;
    }
    if (!r.deleteWhenIdle || (g_main_depth() == 0 && r.frames.empty())) {
        deleter();
        return;
    }
    r.idleDeletes.push_back(std::move(deleter));
    Wake();
}

bool InNestedLoop() {
    Runtime& r = R();
    return IsUIThread() && !Idle(r, 1);
}

void SetDeleteWhenIdleEnabled(bool enabled) {
    R().deleteWhenIdle = enabled;
}

void PumpMessagesFor(unsigned ms) {
    Win32Init();
    bool done = false;
    GSource* t = g_timeout_source_new(ms);
    g_source_set_callback(
        t,
        [](gpointer p) -> gboolean {
            *static_cast<bool*>(p) = true;
            return G_SOURCE_REMOVE;
        },
        &done, nullptr);
    g_source_attach(t, g_main_context_default());
    while (!done) {
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_destroy(t);
    g_source_unref(t);
}

bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs) {
    Win32Init();
    gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
    GSource* tick = g_timeout_source_new(5);
    g_source_set_callback(
        tick, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
    g_source_attach(tick, g_main_context_default());
    bool ok;
    for (;;) {
        if (done()) {
            ok = true;
            break;
        }
        if (g_get_monotonic_time() >= deadline) {
            ok = false;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_destroy(tick);
    g_source_unref(tick);
    return ok;
}
