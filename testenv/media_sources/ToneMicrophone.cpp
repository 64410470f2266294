#include "Microphone.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace publish {

namespace {

class ToneMicrophone : public Micrel {
public:
    explicit ToneMicrophone(double frequency) : m_frequency(frequency) {}
    ~ToneMicrophone() override {
        StopCapture();
        CloseMicrophone();
    }

    bool OpenMicrophone(int, int sampleRate, int channels, int bufferBytes) override {
        if (sampleRate <= 0 || channels < 1 || channels > 2 || bufferBytes <= 0 || bufferBytes % (2 * channels)) {
            return false;
        }
        m_rate = sampleRate;
        m_channels = channels;
        m_bytes = bufferBytes;
        m_open = true;
        return true;
    }

    bool StartCapture() override {
        if (!m_open || m_thread.joinable()) {
            return m_open;
        }
        m_run = true;
        m_thread = std::thread(&ToneMicrophone::Loop, this);
        return true;
    }

    void SetBuffCB(IBaseAudioCB* cb) override { m_cb = cb; }

    int StopCapture() override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_run = false;
        }
        m_wake.notify_all();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return 0;
    }

    void CloseMicrophone() override { m_open = false; }

private:
    void Loop() {
        std::vector<int16_t> chunk(size_t(m_bytes) / 2);
        const size_t frames = chunk.size() / size_t(m_channels);
        const auto period = std::chrono::microseconds(int64_t(frames) * 1000000 / m_rate);
        const auto start = std::chrono::steady_clock::now();
        uint64_t sample = 0;
        for (uint64_t n = 1;; ++n) {
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                if (m_wake.wait_until(lock, start + period * n, [this] { return !m_run; })) {
                    return;
                }
            }
            for (size_t i = 0; i < frames; ++i, ++sample) {
                const double v = 8000.0 * std::sin(2.0 * M_PI * m_frequency * double(sample) / m_rate);
                for (int c = 0; c < m_channels; ++c) {
                    chunk[i * size_t(m_channels) + size_t(c)] = int16_t(v);
                }
            }
            if (IBaseAudioCB* cb = m_cb.load()) {
                cb->AudioBufferCB(double(sample) / m_rate, reinterpret_cast<uint8_t*>(chunk.data()), long(m_bytes));
            }
        }
    }

    double m_frequency;
    int m_rate = 0;
    int m_channels = 0;
    int m_bytes = 0;
    bool m_open = false;
    std::atomic<IBaseAudioCB*> m_cb{nullptr};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_run = false;  // guarded by m_mutex
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<Micrel> CreateToneMicrophone(double frequency) {
    return std::make_unique<ToneMicrophone>(frequency);
}

namespace {

std::atomic<double> g_toneHz{0.0};

void WriteTone(int16_t* samples, size_t frames, int channels, int rate, double time) {
    const double hz = g_toneHz.load();
    for (size_t f = 0; f < frames; ++f) {
        const double t = time + double(f) / rate;
        const int16_t v = int16_t(16384 * std::sin(2 * M_PI * std::fmod(hz * t, 1.0)));
        for (int c = 0; c < channels; ++c) samples[f * size_t(channels) + size_t(c)] = v;
    }
}

}  // namespace

void SetMicrophoneTone(double hz) {
    g_toneHz = hz;
    Micrel::SetSampleSource(hz > 0 ? &WriteTone : nullptr);
}

}  // namespace publish
