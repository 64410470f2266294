#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <iterator>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "TestUtil.h"
#include "Tovel.h"

using Clock = std::chrono::steady_clock;

namespace {

WAVEFORMATEX Format(int rate, int channels) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = WORD(channels);
    f.nSamplesPerSec = DWORD(rate);
    f.wBitsPerSample = 16;
    f.nBlockAlign = WORD(channels * 2);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    f.cbSize = 18;
    return f;
}

struct Sink {
    std::mutex lock;
    std::condition_variable cv;
    std::vector<unsigned> pts;
    std::vector<std::vector<BYTE>> data;
    bool keepData = false;
    bool stall = false;  // the callback waits while set
    Clock::time_point last;

    static void Callback(void* user, void* pcm, int length, unsigned pts) {
        Sink* s = static_cast<Sink*>(user);
        std::unique_lock<std::mutex> l(s->lock);
        s->cv.wait(l, [s] { return !s->stall; });
        s->pts.push_back(pts);
        if (s->keepData) s->data.emplace_back(static_cast<BYTE*>(pcm), static_cast<BYTE*>(pcm) + length);
        s->last = Clock::now();
    }
    size_t Count() {
        std::lock_guard<std::mutex> l(lock);
        return pts.size();
    }
    void Release() {
        std::lock_guard<std::mutex> l(lock);
        stall = false;
        cv.notify_all();
    }
};

class VolumeGuard {
public:
    ~VolumeGuard() { Tovel::m_dVolume = 1.5; }
};

}  // namespace

TEST(TovelGain, VolumeAndClamping) {
    VolumeGuard guard;
    struct Row {
        BYTE volume;
        double gain;
    };
    const Row rows[] = {{80, 1.2}, {100, 1.5}, {0, 0.0}, {50, 0.75}};
    for (const Row& r : rows) {
        Tovel::SetVolume(r.volume);
        EXPECT_NEAR(Tovel::m_dVolume.load(), r.gain, 1e-9);
    }
    struct Sample {
        int16_t in;
        double gain;
        int16_t out;
    };
    const Sample samples[] = {{32767, 1.5, 32767}, {-32768, 1.5, -32768}, {1000, 1.2, 1200}, {-3, 1.5, -4},
                              {3, 1.5, 4},         {7, 0.5, 3},           {-7, 0.5, -3},     {1234, 0.0, 0},
                              {1234, 1.515, 1234}, {-5, 2.0, -5}};
    for (const Sample& s : samples) {
        int16_t v[2] = {s.in, 0x5A5A};
        Tovel::ApplyGain(reinterpret_cast<BYTE*>(v), 2, s.gain);
        EXPECT_EQ(v[0], s.out) << s.in << " x " << s.gain;
        EXPECT_EQ(v[1], 0x5A5A);
    }
}

TEST(FourierTransformer, SampleLevels) {
    unsigned short in[5] = {32767, 0, 328, static_cast<unsigned short>(-32768), static_cast<unsigned short>(-328)};
    float out[6] = {-1, -1, -1, -1, -1, -7};
    EXPECT_EQ(5, FourierTransformer::FFTDb(in, 5, out, 6));
    EXPECT_NEAR(out[0], 100.0, 0.01);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_NEAR(out[2], 60.0, 0.1);
    EXPECT_NEAR(out[3], 100.0, 0.01);
    EXPECT_NEAR(out[4], 60.0, 0.1);
    EXPECT_EQ(out[5], -7.0f);
    float small[2] = {-1, -1};
    EXPECT_EQ(1, FourierTransformer::FFTDb(in, 5, small, 1));
    EXPECT_EQ(small[1], -1.0f);
}

TEST(FourierTransformer, SpectrumMatchesDft) {
    EXPECT_EQ(FourierTransformer::BitReverse(1, 3), 4);
    EXPECT_EQ(FourierTransformer::BitReverse(6, 3), 3);
    EXPECT_EQ(FourierTransformer::BitReverse(0xF1, 4), 8);
    for (int count : {2, 8, 64, 256}) {
        std::vector<double> x(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) x[size_t(i)] = std::sin(i * 0.37) + 0.5 * std::cos(i * 1.3) + (i % 5) * 0.1;
        std::vector<double> out(static_cast<size_t>(count / 2) + 1, -999);
        ASSERT_EQ(count / 2, FourierTransformer::FFTDb(x.data(), count, out.data(), count / 2));
        EXPECT_EQ(out[size_t(count / 2)], -999);
        for (int k = 0; k < count / 2; ++k) {
            double re = 0, im = 0;
            for (int n = 0; n < count; ++n) {
                re += x[size_t(n)] * std::cos(2 * M_PI * k * n / count);
                im -= x[size_t(n)] * std::sin(2 * M_PI * k * n / count);
            }
            EXPECT_NEAR(out[size_t(k)], 10 * std::log10(std::hypot(re, im)), 1e-6) << count << " bin " << k;
        }
    }
    std::vector<double> x(12, 1.0), out(12);
    EXPECT_EQ(-1, FourierTransformer::FFTDb(x.data(), 12, out.data(), 12));
    EXPECT_EQ(-1, FourierTransformer::FFTDb(x.data(), 0, out.data(), 12));
}

TEST(FourierTransformer, PureTonePeaksInItsBand) {
    const int count = 1024, rate = 44100;
    for (double hz : {440.0, 1000.0, 5000.0, 12000.0}) {
        std::vector<double> x(count);
        for (int i = 0; i < count; ++i) x[size_t(i)] = 20000 * std::sin(2 * M_PI * hz * i / rate);
        std::vector<double> out(count / 2);
        ASSERT_EQ(count / 2, FourierTransformer::FFTDb(x.data(), count, out.data(), count / 2));
        const auto peak = std::max_element(out.begin(), out.end()) - out.begin();
        EXPECT_NEAR(double(peak), hz * count / rate, 1.0) << hz;
    }
}

TEST(Tovel, DevicesAndNames) {
    const unsigned n = Tovel::GetWaveOutDevNums();
    ASSERT_GE(n, 1u);
    char name[8];
    std::memset(name, 0x7F, sizeof(name));
    ASSERT_EQ(0, Tovel::GetWaveOutNameByIdx(name, 5, 0));
    EXPECT_EQ(std::strlen(name), 4u);
    EXPECT_EQ(name[5], 0x7F);
    EXPECT_EQ(-1, Tovel::GetWaveOutNameByIdx(name, 8, n));
    EXPECT_EQ(-1, Tovel::GetWaveOutNameByIdx(name, 0, 0));

    WAVEFORMATEX f = Format(44100, 2);
    Tovel t;
    EXPECT_EQ(-1, t.Init(n, &f, &Sink::Callback, nullptr));
    EXPECT_EQ(Tovel::deviceID.load(), n);
    EXPECT_EQ(0, t.Init(WAVE_MAPPER, &f, &Sink::Callback, nullptr));
    t.Uint();
    EXPECT_EQ(0, t.Init(0, &f, &Sink::Callback, nullptr));
    t.Uint();
    t.Uint();
    EXPECT_EQ(-1, t.PlaySamples(reinterpret_cast<const BYTE*>("abcd"), 4, 0));

    WORD l = 0, r = 0;
    EXPECT_EQ(0, Tovel::SetWaveOutVolume(0, 0x1234, 0xFFFF));
    EXPECT_EQ(0, Tovel::GetWaveOutVolume(0, l, r));
    EXPECT_EQ(l, 0x1234);
    EXPECT_EQ(r, 0xFFFF);
    EXPECT_EQ(0, Tovel::SetWaveOutVolume(0, 0xFFFF, 0xFFFF));
    EXPECT_EQ(-1, Tovel::SetWaveOutVolume(500, 1, 1));
}

// Device 0 is the desktop's default output, even when the sound system lists no device; another number
// is that device of the list. The sound system is ALSA with a configuration of our own whose outputs are
// files, so the file written tells which output played.
TEST(Tovel, DeviceZeroIsTheDefaultOutputAndOthersAreListed) {
    testsupport::TempDir dir("varnet-tovel");
    ASSERT_FALSE(dir.path().empty());
    auto output = [&](const std::string& pcm, const std::string& file) {
        return "pcm." + pcm + " { type file; slave.pcm \"sink\"; file \"" + (dir / file) + ".raw\"; format \"raw\" }\n";
    };
    const std::string common = "pcm.sink { type null }\n" + output("!default", "default");
    // "hw:NAME" writes NAME.raw; the list names hw:first and hw:second.
    const std::string listed =
        "pcm.hw { @args [ CARD ] @args.CARD { type string } type file; slave.pcm \"sink\"; "
        "file { @func concat strings [ \"" +
        dir.path() +
        "/\" $CARD \".raw\" ] } "
        "format \"raw\" }\n"
        "namehint.pcm { a \"hw:first|DESCfirst|IOIDOutput\" "
        "b \"hw:second|DESCsecond|IOIDOutput\" }\n";
    std::ofstream(dir / "none.conf") << common;
    std::ofstream(dir / "two.conf") << common << listed;
    testsupport::ScopedEnv driver("SDL_AUDIODRIVER", std::string("alsa"));
    struct Row {
        const char* config;
        unsigned listed;
        unsigned device;
        const char* file;  // null: Init refuses
    } rows[] = {
        {"none.conf", 0, 0, "default"},
        {"two.conf", 2, 0, "default"},
        {"two.conf", 2, 1, "second"},
        {"two.conf", 2, 2, nullptr},
    };
    VolumeGuard guard;
    Tovel::SetVolume(100);
    const int16_t played = int16_t(1000 * 1.5);
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.config) + " device " + std::to_string(r.device));
        for (const char* f : {"default", "first", "second"}) std::filesystem::remove(dir / (std::string(f) + ".raw"));
        testsupport::ScopedEnv config("ALSA_CONFIG_PATH", dir / r.config);
        ASSERT_EQ(r.listed, Tovel::GetWaveOutDevNums());
        WAVEFORMATEX f = Format(44100, 2);
        Sink sink;
        Tovel t;
        if (!r.file) {
            EXPECT_EQ(-1, t.Init(r.device, &f, &Sink::Callback, &sink));
            continue;
        }
        ASSERT_EQ(0, t.Init(r.device, &f, &Sink::Callback, &sink));
        std::vector<int16_t> pcm(2048, 1000);
        ASSERT_EQ(4096, t.PlaySamples(reinterpret_cast<BYTE*>(pcm.data()), 4096, 1));
        ASSERT_TRUE(testsupport::WaitUntil([&] { return sink.Count() == 1; }, std::chrono::seconds(30)));
        t.Uint();
        for (const char* other : {"default", "first", "second"}) {
            const std::string path = dir / (std::string(other) + ".raw");
            if (std::string(other) != r.file) {
                EXPECT_FALSE(std::filesystem::exists(path)) << other;
                continue;
            }
            std::ifstream in(path, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            std::string block(4096, '\0');
            for (size_t i = 0; i < 2048; ++i) std::memcpy(&block[2 * i], &played, 2);
            EXPECT_NE(bytes.find(block), std::string::npos) << "the samples did not reach " << other;
        }
    }
}

// One second of audio takes about a second on the dummy driver, with at most 9 buffers outstanding,
// every buffer reported once, in order.
TEST(Tovel, PlaysInRealTimeWithinItsBufferLimit) {
    WAVEFORMATEX f = Format(44100, 2);
    Sink sink;
    Tovel t;
    ASSERT_EQ(0, t.Init(WAVE_MAPPER, &f, &Sink::Callback, &sink));
    const unsigned bytes = 4096;  // 1024 frames, ~23 ms
    const int buffers = 44100 * 4 / int(bytes) + 1;
    std::vector<BYTE> pcm(bytes, 0);
    size_t worst = 0;
    const auto start = Clock::now();
    for (int i = 0; i < buffers; ++i) {
        ASSERT_EQ(int(bytes), t.PlaySamples(pcm.data(), bytes, unsigned(i * 23)));
        worst = std::max(worst, size_t(i + 1) - sink.Count());
    }
    while (sink.Count() < size_t(buffers) && Clock::now() - start < std::chrono::seconds(30))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const double seconds = std::chrono::duration<double>(sink.last - start).count();
    t.Uint();
    EXPECT_LE(worst, 9u);
    EXPECT_GE(worst, 5u);
    ASSERT_EQ(sink.pts.size(), size_t(buffers));
    for (int i = 0; i < buffers; ++i) EXPECT_EQ(sink.pts[size_t(i)], unsigned(i * 23));
    // The driver keeps real time; the upper bound only has to survive a loaded machine.
    EXPECT_GT(seconds, 0.6);
    EXPECT_LT(seconds, 10.0);
}

TEST(Tovel, MuteAndGainReachTheCallback) {
    VolumeGuard guard;
    WAVEFORMATEX f = Format(22050, 1);
    Sink sink;
    sink.keepData = true;
    Tovel t;
    ASSERT_EQ(0, t.Init(WAVE_MAPPER, &f, &Sink::Callback, &sink));
    std::vector<int16_t> pcm(256, 1000);
    Tovel::SetVolume(80);
    ASSERT_EQ(512, t.PlaySamples(reinterpret_cast<BYTE*>(pcm.data()), 512, 1));
    t.MuteSwitch(true);
    ASSERT_EQ(512, t.PlaySamples(reinterpret_cast<BYTE*>(pcm.data()), 512, 2));
    t.MuteSwitch(false);
    t.Uint();
    ASSERT_EQ(sink.data.size(), 2u);
    const int16_t* a = reinterpret_cast<const int16_t*>(sink.data[0].data());
    const int16_t* b = reinterpret_cast<const int16_t*>(sink.data[1].data());
    EXPECT_EQ(a[0], 1200);
    EXPECT_EQ(a[255], 1200);
    EXPECT_EQ(b[0], 0);
    EXPECT_EQ(pcm[0], 1000);  // the caller's samples are not touched
}

// When buffers stop coming back, PlaySamples gives up after its room time-out, or at once on Abort;
// Uint still returns every buffer.
TEST(Tovel, StalledOutputDoesNotHangThePlayer) {
    WAVEFORMATEX f = Format(44100, 2);
    Sink sink;
    sink.stall = true;
    Tovel t;
    ASSERT_EQ(0, t.Init(WAVE_MAPPER, &f, &Sink::Callback, &sink));
    t.SetRoomTimeout(200);
    std::vector<BYTE> pcm(1024, 0);
    int accepted = 0;
    const auto start = Clock::now();
    while (t.PlaySamples(pcm.data(), 1024, 0) > 0 && accepted < 100) ++accepted;
    const double waited = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(accepted, 9);
    EXPECT_GE(waited, 0.15);

    t.SetRoomTimeout(60000);
    auto blocked = std::async(std::launch::async, [&] { return t.PlaySamples(pcm.data(), 1024, 0); });
    EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    t.Abort();
    ASSERT_EQ(blocked.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(blocked.get(), -1);
    EXPECT_EQ(-1, t.PlaySamples(pcm.data(), 1024, 0));
    sink.Release();
    t.Uint();
    EXPECT_EQ(sink.Count(), 9u);
}

// The owner's callback may end playback from inside: that refuses further buffers without waiting for
// itself, and the owner's Uint still returns every buffer.
TEST(Tovel, UintFromTheCallbackDoesNotHang) {
    struct Ctx {
        Tovel player;
        std::atomic<int> calls{0};
        static void Callback(void* user, void*, int, unsigned) {
            Ctx* c = static_cast<Ctx*>(user);
            ++c->calls;
            c->player.Uint();
        }
    } ctx;
    WAVEFORMATEX f = Format(22050, 1);
    ASSERT_EQ(0, ctx.player.Init(WAVE_MAPPER, &f, &Ctx::Callback, &ctx));
    std::vector<BYTE> pcm(2048, 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(2048, ctx.player.PlaySamples(pcm.data(), 2048, unsigned(i)));
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (ctx.calls == 0 && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(ctx.calls.load(), 1);
    EXPECT_EQ(-1, ctx.player.PlaySamples(pcm.data(), 2048, 9));
    ctx.player.Uint();
    EXPECT_EQ(ctx.calls.load(), 3);
}
