#include "ThreadQueue.h"

#include <utility>

namespace publish {

bool ThreadQueue::Post(unsigned message, std::vector<BYTE> wParam, unsigned lParam, bool urgent) {
    {
        varnet::MutexLock lock(m_lock);
        const size_t limit = urgent ? m_capacity * 2 : m_capacity;
        if (message != WM_QUIT && m_queue.size() >= limit) {
            return false;
        }
        m_queue.push_back({message, std::move(wParam), lParam});
    }
    m_ready.notify_one();
    return true;
}

ThreadMessage ThreadQueue::Get() {
    varnet::MutexLock lock(m_lock);
    while (m_queue.empty()) {
        m_ready.wait(lock.Native());
    }
    ThreadMessage m = std::move(m_queue.front());
    m_queue.pop_front();
    return m;
}

void ThreadQueue::Clear() {
    varnet::MutexLock lock(m_lock);
    m_queue.clear();
}

size_t ThreadQueue::Size() {
    varnet::MutexLock lock(m_lock);
    return m_queue.size();
}

}  // namespace publish
