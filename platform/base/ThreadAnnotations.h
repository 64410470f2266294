// Thread-safety annotations checked by clang's -Wthread-safety (nothing under other compilers), and a
// mutex that carries them: a std::mutex is not known to the analysis.
//
//   Mutex m_lock;
//   int m_count GUARDED_BY(m_lock) = 0;
//   void FreeLocked() REQUIRES(m_lock);
//   { MutexLock lock(m_lock); ++m_count; }
//
// RecursiveMutex / RecursiveMutexLock are the same for a lock its owner may take again.
//
// A condition variable waits on MutexLock::Native(); write the wait as a loop in the function that
// holds the lock (a predicate lambda is checked on its own and does not know the lock is held).
#pragma once

#include <mutex>

#if defined(__clang__)
#define VARNET_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VARNET_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) VARNET_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY VARNET_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) VARNET_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) VARNET_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) VARNET_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) VARNET_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) VARNET_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define EXCLUDES(...) VARNET_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ACQUIRE(...) VARNET_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) VARNET_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) VARNET_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) VARNET_THREAD_ANNOTATION(assert_capability(x))
#define RETURN_CAPABILITY(x) VARNET_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS VARNET_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace varnet {

// A std::mutex the analysis knows.
class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return m_mutex.try_lock(); }
    std::mutex& Native() { return m_mutex; }

private:
    std::mutex m_mutex;
};

// Holds a Mutex for its scope; Native() is the lock a std::condition_variable waits on (the wait gives
// the mutex up and takes it back, which the analysis need not see).
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : m_lock(mutex.Native()) {}
    ~MutexLock() RELEASE() {}
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    // Gives the mutex up for a while inside the scope, and takes it back.
    void Unlock() RELEASE() { m_lock.unlock(); }
    void Lock() ACQUIRE() { m_lock.lock(); }
    std::unique_lock<std::mutex>& Native() { return m_lock; }

private:
    std::unique_lock<std::mutex> m_lock;
};

// A std::recursive_mutex the analysis knows. The analysis takes it for a plain mutex: a second lock taken
// in the same function is reported, re-entry through calls (a callback locking again) is not seen.
class CAPABILITY("mutex") RecursiveMutex {
public:
    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};

// Holds a RecursiveMutex for its scope.
class SCOPED_CAPABILITY RecursiveMutexLock {
public:
    explicit RecursiveMutexLock(RecursiveMutex& mutex) ACQUIRE(mutex) : m_mutex(mutex) { m_mutex.lock(); }
    ~RecursiveMutexLock() RELEASE() { m_mutex.unlock(); }
    RecursiveMutexLock(const RecursiveMutexLock&) = delete;
    RecursiveMutexLock& operator=(const RecursiveMutexLock&) = delete;

private:
    RecursiveMutex& m_mutex;
};

}  // namespace varnet
