#include "AudioOut.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace playback {

namespace {

using Clock = std::chrono::steady_clock;

class ClockAudioOut : public Tovel {
public:
    explicit ClockAudioOut(bool quiet) : m_quiet(quiet) {}
    ~ClockAudioOut() override { Uint(); }

    int Init(unsigned, WAVEFORMATEX* format, TovelCallback done, void* user) override {
        Uint();
        if (!format || format->nAvgBytesPerSec == 0) {
            return -1;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bytesPerSec = format->nAvgBytesPerSec;
        m_done = done;
        m_user = user;
        m_open = true;
        m_abort = false;
        m_nextEnd = Clock::now();
        m_thread = std::thread(&ClockAudioOut::Complete, this);
        return 0;
    }

    int PlaySamples(const BYTE* pcm, unsigned length, unsigned pts) override {
        if (!pcm || length == 0) {
            return -1;
        }
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_open || m_abort) {
            return -1;
        }
        // Like the wave-out player: above 8 outstanding buffers wait until 4 or fewer remain.
        if (m_queue.size() > 8) {
            m_room.wait(lock, [this] { return m_queue.size() <= 4 || m_abort || !m_open; });
            if (m_abort || !m_open) {
                return -1;
            }
        }
        auto now = Clock::now();
        if (m_nextEnd < now) {
            m_nextEnd = now;
        }
        m_nextEnd += std::chrono::microseconds(int64_t(length) * 1000000 / m_bytesPerSec);
        m_queue.push_back({std::vector<BYTE>(pcm, pcm + length), pts, m_nextEnd});
        if (!m_quiet) {
            m_wake.notify_all();
        } else if (m_queue.size() == 1) {
            m_wake.notify_one();
        }
        return int(length);
    }

    void MuteSwitch(bool) override {}

    void Abort() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_abort = true;
        }
        m_room.notify_all();
        if (!m_quiet) {
            m_wake.notify_all();
        }
    }

    void Uint() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_open = false;
        }
        m_wake.notify_all();
        m_room.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
    }

private:
    struct Buffer {
        std::vector<BYTE> data;
        unsigned pts;
        Clock::time_point end;
    };

    void Complete() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_open) {
            if (m_queue.empty()) {
                m_wake.wait(lock);
                continue;
            }
            auto end = m_queue.front().end;
            if (m_wake.wait_until(lock, end, [this] { return !m_open; })) {
                break;
            }
            Buffer b = std::move(m_queue.front());
            m_queue.pop_front();
            if (!m_quiet || m_queue.size() == 4) {
                m_room.notify_all();
            }
            TovelCallback done = m_done;
            void* user = m_user;
            lock.unlock();
            if (done) {
                done(user, b.data.data(), int(b.data.size()), b.pts);
            }
            lock.lock();
        }
    }

    const bool m_quiet;
    std::mutex m_mutex;  // guards everything below
    std::condition_variable m_wake;
    std::condition_variable m_room;
    std::deque<Buffer> m_queue;
    Clock::time_point m_nextEnd;
    unsigned m_bytesPerSec = 0;
    TovelCallback m_done = nullptr;
    void* m_user = nullptr;
    bool m_open = false;
    bool m_abort = false;
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<Tovel> CreateClockAudioOut() {
    return std::make_unique<ClockAudioOut>(false);
}

std::unique_ptr<Tovel> CreateQuietClockAudioOut() {
    return std::make_unique<ClockAudioOut>(true);
}

}  // namespace playback
