// Shared-reader / exclusive-writer lock and its scoped guard.
//
// A waiting writer holds the gate, so readers that arrive after it wait until it has had its turn: writers
// are never starved. Readers that arrive while only readers hold the lock pass at once. The lock is not
// re-entrant for writers, and a nested read lock of one thread deadlocks while a writer waits.
//
// For the thread-safety analysis a CLockObject holds the lock whatever its mode (fields are GUARDED_BY the
// lock; a nested guard of one thread is reported, as it may deadlock). Lock/Unlock called by hand are not
// seen by it: code that holds a lock taken by another function says so with AssertHeld.
#pragma once

#include <condition_variable>
#include <mutex>

#include "ThreadAnnotations.h"

class CAPABILITY("mutex") CReadWriteLock {
public:
    enum { LOCK_NONE = 0, LOCK_READ = 1, LOCK_WRITE = 2 };

    CReadWriteLock() = default;
    virtual ~CReadWriteLock() = default;
    CReadWriteLock(const CReadWriteLock&) = delete;
    CReadWriteLock& operator=(const CReadWriteLock&) = delete;

    // Takes the lock for reading (1) or writing (2); any other type takes nothing and returns false.
    bool Lock(int type);
    // Releases what the caller took with Lock: readers - 1 (the last one frees the lock), or the writer.
    void Unlock();

    // Tells the analysis that the caller holds the lock, taken by hand in another function; debug builds
    // check that it is held at all.
    void AssertHeld() const ASSERT_CAPABILITY(this);

    // For tests: 0 free, 1 held by readers, 2 held by a writer; and the reader count.
    int State() const;
    int Readers() const;

private:
    varnet::Mutex gate_ ACQUIRED_BEFORE(cs_);  // held by whoever waits for the lock to become idle
    mutable varnet::Mutex cs_;
    std::condition_variable idleCv_;
    int state_ GUARDED_BY(cs_) = 0;
    int readers_ GUARDED_BY(cs_) = 0;
    bool idle_ GUARDED_BY(cs_) = false;  // the manual-reset "idle" event
};

// Scoped guard: takes the lock in its constructor, releases in its destructor only what it took.
class SCOPED_CAPABILITY CLockObject {
public:
    CLockObject(CReadWriteLock* lock, int type) ACQUIRE(lock);
    virtual ~CLockObject() RELEASE();
    CLockObject(const CLockObject&) = delete;
    CLockObject& operator=(const CLockObject&) = delete;

    bool Locked() const { return lock_ != nullptr; }

private:
    CReadWriteLock* lock_ = nullptr;  // null when nothing was taken
};
