// Debug check of a session's thread contract: Init and Uint come from one owner thread. Checked in
// debug builds and with VARNET_THREAD_CHECKS (defined for every user of the media libraries alike);
// elsewhere the calls do nothing. The record has the same layout either way.
#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#if !defined(NDEBUG) || defined(VARNET_THREAD_CHECKS)
#define VARNET_OWNER_CHECKS 1
#else
#define VARNET_OWNER_CHECKS 0
#endif

class OwnerThread {
public:
    // Init: binds the session to the calling thread, or checks it when the session is bound.
    void Enter(const char* who) {
        if (VARNET_OWNER_CHECKS) {
            std::thread::id none;
            const std::thread::id self = std::this_thread::get_id();
            if (!m_owner.compare_exchange_strong(none, self) && none != self) {
                Fail(who, "Init");
            }
        }
    }
    // Uint: checks the calling thread; `release` unbinds the session (it has ended).
    void Leave(const char* who, bool release) {
        if (VARNET_OWNER_CHECKS) {
            const std::thread::id owner = m_owner.load();
            if (owner != std::thread::id() && owner != std::this_thread::get_id()) {
                Fail(who, "Uint");
            }
            if (release) {
                m_owner = std::thread::id();
            }
        }
    }

private:
    [[noreturn]] static void Fail(const char* who, const char* call) {
        std::fprintf(stderr, "%s::%s called from a thread other than the session's owner\n", who, call);
        std::abort();
    }
    std::atomic<std::thread::id> m_owner{};
};
