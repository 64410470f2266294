#include "Lock.h"

#include <cassert>

bool CReadWriteLock::Lock(int type) {
    if (type != LOCK_READ && type != LOCK_WRITE) return false;
    varnet::MutexLock gate(gate_);
    varnet::MutexLock lock(cs_);
    if (type == LOCK_READ) {
        if (state_ == LOCK_WRITE)
            while (!idle_) idleCv_.wait(lock.Native());
        ++readers_;
        state_ = LOCK_READ;
    } else {
        if (state_ != 0)
            while (!idle_) idleCv_.wait(lock.Native());
        state_ = LOCK_WRITE;
    }
    idle_ = false;
    return true;
}

void CReadWriteLock::Unlock() {
    varnet::MutexLock lock(cs_);
    if (state_ == LOCK_READ) {
        if (readers_ > 0) --readers_;
        if (readers_ == 0) {
            state_ = 0;
            idle_ = true;
            idleCv_.notify_all();
        }
    } else if (state_ == LOCK_WRITE) {
        state_ = 0;
        idle_ = true;
        idleCv_.notify_all();
    }
}

void CReadWriteLock::AssertHeld() const {
    assert(State() != LOCK_NONE);
}

int CReadWriteLock::State() const {
    varnet::MutexLock lock(cs_);
    return state_;
}

int CReadWriteLock::Readers() const {
    varnet::MutexLock lock(cs_);
    return readers_;
}

CLockObject::CLockObject(CReadWriteLock* lock, int type) {
    if (lock && lock->Lock(type)) lock_ = lock;
}

CLockObject::~CLockObject() {
    if (lock_) lock_->Unlock();
}
