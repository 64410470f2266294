// A thread's message queue: messages with a wParam record and an lParam, first in first out, bounded.
#pragma once

#include "MediaDefs.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace publish {

constexpr unsigned WM_QUIT = 0x0012;

struct ThreadMessage {
    unsigned message = 0;
    TNAL* wParam = nullptr;  // owned by the receiver once posted
    unsigned lParam = 0;
};

class ThreadQueue {
public:
    explicit ThreadQueue(size_t capacity) : m_capacity(capacity) {}
    ~ThreadQueue() { Clear(); }

    // False when the queue is closed, or holds `capacity` messages (`urgent` ones may use twice that):
    // the caller keeps the record. WM_QUIT always goes in.
    bool Post(unsigned message, TNAL* wParam, unsigned lParam, bool urgent = false);
    // Blocks for the next message.
    ThreadMessage Get();
    // Frees every queued record.
    void Clear();
    size_t Size();

    static void FreeRecord(TNAL* rec);

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<ThreadMessage> m_queue;
    size_t m_capacity;
};

}  // namespace publish
