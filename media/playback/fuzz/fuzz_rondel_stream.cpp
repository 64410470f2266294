// A playback session fed the input as the FLV byte stream of a fake RTMP client: the tag reader, the
// sequence headers, the ADTS rebuild and the decoders must survive any bytes. The first input byte
// chooses the size of the first pieces the client hands over; the rest comes in whole reads. The
// session's sleeps only yield, so that an input takes as long as its work.
#include "AudioOut.h"
#include "Ferrel.h"
#include "Rondel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

class ReplayClient : public Ferrel {
public:
    ReplayClient(const uint8_t* data, size_t size, int piece) : m_data(data, data + size), m_piece(piece) {}
    bool Connect(const char*, int, int, int, bool) override { return true; }
    int ReadPacket(uint8_t* buf, int size) override {
        if (m_pos >= m_data.size()) {
            m_ended = true;
            return 0;
        }
        const int piece = m_reads++ < 4 ? m_piece : size;
        const int n = std::min({piece, size, int(m_data.size() - m_pos)});
        memcpy(buf, m_data.data() + m_pos, size_t(n));
        m_pos += size_t(n);
        return n;
    }
    bool IsReadStopped() override { return m_ended; }
    void Stop() override { m_ended = true; }
    void Close() override {}
    bool IsConnected() override { return !m_ended; }

private:
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
    int m_piece;
    int m_reads = 0;
    std::atomic<bool> m_ended{false};
};

struct EndWaiter : IBaseReplayNotify {
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    void OnReplayStatus(int) override {
        std::lock_guard<std::mutex> lock(m);
        ended = true;
        cv.notify_all();
    }
    void OnReplayVideo(BYTE*, BITMAPINFOHEADER*, unsigned) override {}
    void OnReplayAudio(void*, int, WAVEFORMATEX*, unsigned) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const int piece = 1 + data[0] * 5;
    RondelFactories f;
    f.client = [=] { return std::make_unique<ReplayClient>(data + 1, size - 1, piece); };
    f.audioOut = [] { return playback::CreateClockAudioOut(); };
    RondelSetFactories(f);
    RondelSetSleep([](int) { std::this_thread::yield(); });
    EndWaiter waiter;
    Rondel player;
    ZQReplayParam rp;
    rp.bufferTime = 0;
    if (player.Init(&rp, &waiter) == REPLAY_SUCCESS) {
        std::unique_lock<std::mutex> lock(waiter.m);
        waiter.cv.wait(lock, [&] { return waiter.ended; });
    }
    player.Uint();
    return 0;
}
