// Time, events, recursive critical sections and cooperative threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "Win32Types.h"
#include "ThreadAnnotations.h"

// Milliseconds of a monotonic clock, 32 bits: it wraps after ~49.7 days, so take differences unsigned
// (DWORD elapsed = GetTickCount() - start).
DWORD GetTickCount();
// Shifts GetTickCount by `offset` (tests reach the wrap with it).
void SetTickCountOffsetForTest(DWORD offset);
void Sleep(DWORD ms);

// A manual-reset or auto-reset event. Thread-safe.
class CEvent {
public:
    explicit CEvent(bool manualReset = false, bool initialState = false);
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    // WAIT_OBJECT_0 once signalled (an auto-reset event is reset by the one waiter it releases), WAIT_TIMEOUT
    // after `ms` (INFINITE waits without limit).
    DWORD Wait(DWORD ms);
    bool IsSet() const;

private:
    mutable varnet::Mutex m_;
    std::condition_variable cv_;
    const bool manual_;
    bool set_ GUARDED_BY(m_);
};

// Recursive mutual exclusion: the owner may enter again; each Enter needs its Leave. For the analysis it is a
// plain mutex (a second Enter in the same function is reported).
class CAPABILITY("mutex") CCriticalSection {
public:
    CCriticalSection() = default;
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() ACQUIRE() { m_.lock(); }
    void Leave() RELEASE() { m_.unlock(); }
    bool TryEnter() TRY_ACQUIRE(true) { return m_.try_lock(); }

private:
    varnet::RecursiveMutex m_;
};

// Holds a critical section for its scope.
class SCOPED_CAPABILITY CAutoLock {
public:
    explicit CAutoLock(CCriticalSection& cs) ACQUIRE(cs) : cs_(cs) { cs_.Enter(); }
    explicit CAutoLock(CCriticalSection* cs) ACQUIRE(cs) : cs_(*cs) { cs_.Enter(); }
    ~CAutoLock() RELEASE() { cs_.Leave(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

private:
    CCriticalSection& cs_;
};

// A worker thread stopped cooperatively: RequestStop sets the flag and the stop event; the body checks
// StopRequested() or waits on WaitForStop(ms). Never killed. The destructor requests a stop and joins.
class CThread {
public:
    CThread() = default;
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Starts `body`; false when a thread of this object is still running or could not start.
    bool Start(std::function<void()> body);
    void RequestStop();
    bool StopRequested() const { return stop_.load(); }
    // Sleeps up to `ms` or until a stop is requested; true when a stop was requested.
    bool WaitForStop(DWORD ms);
    // Waits up to `ms` (INFINITE: no limit) for the body to return; true when it has (the thread is joined).
    bool Join(DWORD ms);
    bool Running() const;

private:
    std::thread thread_;
    std::atomic<bool> stop_{false};
    CEvent stopEvent_{true, false};
    CEvent doneEvent_{true, false};
};
