#include "ThreadQueue.h"

namespace publish {

bool ThreadQueue::Post(unsigned message, TNAL* wParam, unsigned lParam, bool urgent) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const size_t limit = urgent ? m_capacity * 2 : m_capacity;
        if (message != WM_QUIT && m_queue.size() >= limit) {
            return false;
        }
        m_queue.push_back({message, wParam, lParam});
    }
    m_ready.notify_one();
    return true;
}

ThreadMessage ThreadQueue::Get() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ready.wait(lock, [this] { return !m_queue.empty(); });
    ThreadMessage m = m_queue.front();
    m_queue.pop_front();
    return m;
}

void ThreadQueue::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (ThreadMessage& m : m_queue) {
        FreeRecord(m.wParam);
    }
    m_queue.clear();
}

size_t ThreadQueue::Size() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

void ThreadQueue::FreeRecord(TNAL* rec) {
    if (rec) {
        delete[] rec->data;
        delete rec;
    }
}

}  // namespace publish
