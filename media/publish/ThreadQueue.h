// A thread's message queue: messages with an owned byte record and an lParam, first in first out, bounded.
//
// Threads: any thread posts; one receiver thread gets. m_lock guards the queue.
#pragma once

#include "MediaTypes.h"
#include "ThreadAnnotations.h"

#include <condition_variable>
#include <deque>
#include <vector>

namespace publish {

constexpr unsigned WM_QUIT = 0x0012;

struct ThreadMessage {
    unsigned message = 0;
    std::vector<BYTE> wParam;  // the record; empty for messages without one
    unsigned lParam = 0;
};

class ThreadQueue {
public:
    explicit ThreadQueue(size_t capacity) : m_capacity(capacity) {}

    // False when the queue holds `capacity` messages (`urgent` ones may use twice that): the record
    // is dropped. WM_QUIT always goes in.
    bool Post(unsigned message, std::vector<BYTE> wParam, unsigned lParam, bool urgent = false);
    // Blocks for the next message.
    ThreadMessage Get();
    // Drops every queued message.
    void Clear();
    size_t Size();

private:
    varnet::Mutex m_lock;
    std::condition_variable m_ready;
    std::deque<ThreadMessage> m_queue GUARDED_BY(m_lock);
    const size_t m_capacity;
};

}  // namespace publish
