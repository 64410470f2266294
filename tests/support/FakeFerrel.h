// An RTMP client that replays given bytes in chunks of chosen sizes, then ends (or blocks until Stop).
#pragma once

#include "Ferrel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

class FakeFerrel : public Ferrel {
public:
    FakeFerrel(std::vector<uint8_t> bytes, std::vector<int> chunks, bool holdOpen = false, bool connects = true)
        : m_bytes(std::move(bytes)), m_chunks(std::move(chunks)), m_hold(holdOpen), m_connects(connects) {}

    bool Connect(const char*, int, int, int, bool) override { return m_connects; }
    int ReadPacket(uint8_t* buf, int size) override {
        if (m_pos >= m_bytes.size()) {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_hold) m_wake.wait(lock, [this] { return m_stopped.load(); });
            m_ended = true;
            return 0;
        }
        int want = m_chunks.empty() ? size : m_chunks[m_chunk++ % m_chunks.size()];
        want = std::max(1, std::min({want, size, int(m_bytes.size() - m_pos)}));
        memcpy(buf, m_bytes.data() + m_pos, size_t(want));
        m_pos += size_t(want);
        return want;
    }
    bool IsReadStopped() override { return m_ended || m_stopped; }
    void Stop() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_wake.notify_all();
    }
    void Close() override {}
    bool IsConnected() override { return !m_ended && !m_stopped; }

private:
    std::vector<uint8_t> m_bytes;
    std::vector<int> m_chunks;
    size_t m_pos = 0;
    size_t m_chunk = 0;
    bool m_hold;
    bool m_connects;
    std::atomic<bool> m_ended{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopped{false};
};
