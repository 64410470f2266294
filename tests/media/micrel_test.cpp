#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "Microphone.h"
#include "FourierTransformer.h"
#include "MediaTypes.h"
#include "Micrel.h"

namespace {

struct Receiver : IBaseAudioCB {
    std::mutex lock;
    std::vector<long> lengths;
    std::vector<double> times;
    std::vector<BYTE> last;
    void AudioBufferCB(double time, BYTE* pcm, long length) override {
        std::lock_guard<std::mutex> l(lock);
        lengths.push_back(length);
        times.push_back(time);
        last.assign(pcm, pcm + length);
    }
    size_t Count() {
        std::lock_guard<std::mutex> l(lock);
        return lengths.size();
    }
};

bool WaitFor(Receiver& r, size_t n, int ms = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (r.Count() < n && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return r.Count() >= n;
}

struct ToneGuard {
    ~ToneGuard() {
        publish::SetMicrophoneTone(0);
        Micrel::SetVolume(100);
    }
};

}  // namespace

TEST(Micrel, DevicesAndNames) {
    ASSERT_GE(Micrel::MicrophoneCount(), 1);
    char name[250];
    EXPECT_EQ(0, Micrel::MicrophoneName(0, name, sizeof(name)));
    EXPECT_GT(std::strlen(name), 0u);
    char small[6];
    std::memset(small, 0x7F, sizeof(small));
    EXPECT_EQ(0, Micrel::MicrophoneName(0, small, 4));
    EXPECT_EQ(std::strlen(small), 3u);
    EXPECT_EQ(small[4], 0x7F);
    EXPECT_EQ(-1, Micrel::MicrophoneName(Micrel::MicrophoneCount(), name, sizeof(name)));
    EXPECT_EQ(-1, Micrel::MicrophoneName(-1, name, sizeof(name)));
}

TEST(Micrel, RefusesBadSettingsAndIdleCallsAreSafe) {
    Micrel m;
    EXPECT_EQ(0, m.StopCapture());
    m.CloseMicrophone();
    EXPECT_FALSE(m.StartCapture());
    EXPECT_FALSE(m.OpenMicrophone(0, 44100, 3, 8192));
    EXPECT_FALSE(m.OpenMicrophone(0, 44100, 2, 0));
    EXPECT_FALSE(m.OpenMicrophone(-1, 44100, 2, 8192));
    EXPECT_FALSE(m.OpenMicrophone(99, 44100, 2, 8192));
    EXPECT_FALSE(m.OpenMicrophone(0, 10, 2, 8192));
    m.StopCapture();
    m.StopCapture();
    m.CloseMicrophone();
    m.CloseMicrophone();
}

// Exact buffer sizes at the real rate, times that follow the samples, a tone that peaks in its band.
TEST(Micrel, DeliversToneBuffersAtTheRealRate) {
    ToneGuard guard;
    publish::SetMicrophoneTone(1000);
    Micrel m;
    Receiver r;
    m.SetBuffCB(&r);
    ASSERT_TRUE(m.OpenMicrophone(0, 44100, 2, 8192));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(m.StartCapture());
    ASSERT_TRUE(WaitFor(r, 12));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m.StopCapture();
    const size_t n = r.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(r.Count(), n);  // nothing after StopCapture
    m.CloseMicrophone();

    for (long len : r.lengths) EXPECT_EQ(len, 8192);
    for (size_t i = 0; i < r.times.size(); ++i) EXPECT_NEAR(r.times[i], double(i) * 8192 / (44100 * 4), 1e-9);
    // 12 buffers of 46 ms: about 0.56 s (the upper bound only has to survive a loaded machine).
    EXPECT_GT(seconds, 0.35);
    EXPECT_LT(seconds, 10.0);

    std::vector<double> left(1024);
    const int16_t* s = reinterpret_cast<const int16_t*>(r.last.data());
    for (size_t i = 0; i < left.size(); ++i) left[i] = s[2 * i];
    std::vector<double> bins(512);
    ASSERT_EQ(512, FourierTransformer::FFTDb(left.data(), 1024, bins.data(), 512));
    const auto peak = std::max_element(bins.begin(), bins.end()) - bins.begin();
    EXPECT_NEAR(double(peak), 1000.0 * 1024 / 44100, 1.0);
}

TEST(Micrel, VolumeZeroGivesSilence) {
    ToneGuard guard;
    publish::SetMicrophoneTone(440);
    Micrel::SetVolume(0);
    Micrel m;
    Receiver r;
    m.SetBuffCB(&r);
    ASSERT_TRUE(m.OpenMicrophone(0, 11025, 1, 4096));
    ASSERT_TRUE(m.StartCapture());
    ASSERT_TRUE(WaitFor(r, 2));
    m.StopCapture();
    m.CloseMicrophone();
    std::lock_guard<std::mutex> l(r.lock);
    EXPECT_EQ(r.last.size(), 4096u);
    for (BYTE b : r.last) ASSERT_EQ(b, 0);
}

TEST(Micrel, ReceiverSwapsAndReopens) {
    ToneGuard guard;
    publish::SetMicrophoneTone(300);
    Micrel m;
    Receiver a, b;
    ASSERT_TRUE(m.OpenMicrophone(0, 11025, 1, 2048));
    ASSERT_TRUE(m.StartCapture());
    m.SetBuffCB(&a);
    ASSERT_TRUE(WaitFor(a, 2));
    m.SetBuffCB(&b);
    const size_t aCount = a.Count();
    ASSERT_TRUE(WaitFor(b, 2));
    EXPECT_EQ(a.Count(), aCount);
    m.SetBuffCB(nullptr);
    const size_t bCount = b.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(b.Count(), bCount);
    m.StopCapture();
    m.CloseMicrophone();

    // Open -> Start -> Stop -> Close -> Open again.
    m.SetBuffCB(&a);
    ASSERT_TRUE(m.OpenMicrophone(0, 44100, 2, 8192));
    ASSERT_TRUE(m.StartCapture());
    const size_t before = a.Count();
    ASSERT_TRUE(WaitFor(a, before + 1));
    m.StopCapture();
    m.CloseMicrophone();
}

// A receiver that throws does not take the capture thread (or the process) down.
TEST(Micrel, ThrowingReceiverIsContained) {
    struct Thrower : IBaseAudioCB {
        std::atomic<int> calls{0};
        void AudioBufferCB(double, BYTE*, long) override {
            ++calls;
            throw 1;
        }
    } thrower;
    Micrel m;
    m.SetBuffCB(&thrower);
    ASSERT_TRUE(m.OpenMicrophone(0, 11025, 1, 1024));
    ASSERT_TRUE(m.StartCapture());
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (thrower.calls < 3 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(thrower.calls.load(), 3);
    m.StopCapture();
    m.CloseMicrophone();
}
