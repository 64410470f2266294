#include "Win32Sync.h"

#include "Tick.h"

#include <time.h>

namespace {
std::atomic<DWORD> gTickOffset{0};
}

DWORD GetTickCount() {
    return varnet::TickCount() + gTickOffset.load();
}

void SetTickCountOffsetForTest(DWORD offset) {
    gTickOffset.store(offset);
}

void Sleep(DWORD ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

CEvent::CEvent(bool manualReset, bool initialState) : manual_(manualReset), set_(initialState) {}

void CEvent::Set() {
    varnet::MutexLock l(m_);
    set_ = true;
    if (manual_) {
        cv_.notify_all();
    } else {
        cv_.notify_one();
    }
}

void CEvent::Reset() {
    varnet::MutexLock l(m_);
    set_ = false;
}

DWORD CEvent::Wait(DWORD ms) {
    varnet::MutexLock l(m_);
    if (ms == INFINITE) {
        while (!set_) cv_.wait(l.Native());
    } else {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!set_ && cv_.wait_until(l.Native(), until) != std::cv_status::timeout) {}
        if (!set_) return WAIT_TIMEOUT;
    }
    if (!manual_) {
        set_ = false;
    }
    return WAIT_OBJECT_0;
}

bool CEvent::IsSet() const {
    varnet::MutexLock l(m_);
    return set_;
}

CThread::~CThread() {
    RequestStop();
    if (!Join(INFINITE) && thread_.joinable()) {
        thread_.detach();  // destroyed by its own body: it returns on its own
    }
}

bool CThread::Start(std::function<void()> body) {
    if (thread_.joinable()) {
        if (!doneEvent_.IsSet()) {
            return false;
        }
        thread_.join();
    }
    stop_ = false;
    stopEvent_.Reset();
    doneEvent_.Reset();
    try {
        thread_ = std::thread([this, body = std::move(body)] {
            try {
                body();
            } catch (...) {
                // A thread body must not throw; nothing is left to report it to.
            }
            doneEvent_.Set();
        });
    } catch (...) {
        return false;
    }
    return true;
}

void CThread::RequestStop() {
    stop_ = true;
    stopEvent_.Set();
}

bool CThread::WaitForStop(DWORD ms) {
    return stopEvent_.Wait(ms) == WAIT_OBJECT_0;
}

bool CThread::Join(DWORD ms) {
    if (!thread_.joinable()) {
        return true;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        return false;  // a thread cannot wait for itself
    }
    if (doneEvent_.Wait(ms) != WAIT_OBJECT_0) {
        return false;
    }
    thread_.join();
    return true;
}

bool CThread::Running() const {
    return thread_.joinable() && !doneEvent_.IsSet();
}
