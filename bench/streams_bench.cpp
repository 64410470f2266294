// Live streams through nginx-rtmp on loopback.
// Delay: from a camera frame entering the publisher to its delivery by the player, read from the frame
// counter the synthetic pattern carries. Tesmar to Rondel with the default buffering and with the
// smallest, beside ffmpeg publishing and ffmpeg reading the same kind of stream (320x240, 10 fps) with
// the encoder settings of Korvid and one decoding thread like Unpix; and the encoder's own look-ahead
// (the frames Korvid holds before the first picture comes out), which bounds the delay from below.
// CPU: whole-process CPU time per second of playback, and wake-ups (context switches) per second per
// player, for 1 and for 11 players of a 320x240 15 fps stream that an ffmpeg child publishes (its CPU
// time is not counted), beside as many ffmpeg readers decoding it and converting to BGR24: in alternate
// runs, and side by side (players and readers at once over the same window, which a busy machine loads
// alike).
#include <benchmark/benchmark.h>

#include "AudioOut.h"
#include "CameraSource.h"
#include "BenchFigures.h"
#include "BenchStreams.h"
#include "ChildProcess.h"
#include "Korvid.h"
#include "Microphone.h"
#include "NginxRtmp.h"
#include "Rondel.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "Tovel.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFps = 10;

// A tone for the microphone and a clocked silent output: measured here is the stream path, not a
// sound card (and the test sound drivers open one device at a time).
const bool g_standIns = [] {
    TesmarFactories t;
    t.microphone = [] { return publish::CreateToneMicrophone(); };
    TesmarSetFactories(t);
    RondelFactories r;
    r.audioOut = [] { return playback::CreateClockAudioOut(); };
    RondelSetFactories(r);
    return true;
}();

void SleepSeconds(double s) {
    std::this_thread::sleep_for(std::chrono::milliseconds(int(s * 1000)));
}

// Entry and delivery times by frame counter.
class DelayMeter {
public:
    void Enter(int counter) {
        if (counter < 0) return;
        std::lock_guard<std::mutex> lock(m_);
        entered_.emplace(counter, Clock::now());  // the first time a counter is seen
    }
    void Leave(int counter) {
        const auto now = Clock::now();
        std::lock_guard<std::mutex> lock(m_);
        auto it = entered_.find(counter);
        if (it == entered_.end()) return;
        if (now >= from_) {
            delays_.push_back(std::chrono::duration<double, std::milli>(now - it->second).count());
        }
        entered_.erase(entered_.begin(), std::next(it));
    }
    void MeasureFrom(Clock::time_point t) {
        std::lock_guard<std::mutex> lock(m_);
        from_ = t;
    }
    // Median and 90th percentile in ms into the counters; false when nothing was delivered.
    bool Report(benchmark::State& state) {
        std::lock_guard<std::mutex> lock(m_);
        if (delays_.empty()) return false;
        std::sort(delays_.begin(), delays_.end());
        const double median = delays_[delays_.size() / 2];
        state.counters["median_ms"] = median;
        state.counters["p90_ms"] = delays_[delays_.size() * 9 / 10];
        state.counters["frames"] = double(delays_.size());
        state.SetIterationTime(median / 1000.0);
        return true;
    }

private:
    std::mutex m_;
    std::map<int, Clock::time_point> entered_;
    std::vector<double> delays_;
    Clock::time_point from_ = Clock::time_point::max();
};

struct PublishSink : IBasePublishNotify {
    DelayMeter* meter;
    explicit PublishSink(DelayMeter* m) : meter(m) {}
    void OnPublishStatus(int) override {}
    void OnPublishVideo(BYTE* rgb, BITMAPINFOHEADER* h) override {
        meter->Enter(capture::synthetic::ReadCounter(rgb, h->biWidth, h->biHeight));
    }
    void OnPublishAudio(BYTE*, long, WAVEFORMATEX*) override {}
};

// With a meter it also keeps, for each picture and each played audio buffer, the time of delivery less
// the stream timestamp, to tell how far the pictures run ahead of the sound heard.
struct PlaySink : IBaseReplayNotify {
    DelayMeter* meter;
    std::atomic<int> frames{0};
    explicit PlaySink(DelayMeter* m = nullptr) : meter(m) {}
    void OnReplayStatus(int) override {}
    void OnReplayVideo(BYTE* rgb, BITMAPINFOHEADER* h, unsigned pts) override {
        ++frames;
        if (!meter) return;
        meter->Leave(capture::synthetic::ReadCounter(rgb, h->biWidth, h->biHeight));
        Lag(video_, pts);
    }
    void OnReplayAudio(void*, int, WAVEFORMATEX*, unsigned pts) override {
        if (meter) Lag(audio_, pts);
    }
    // Median lag of the audio heard less that of the pictures, over the later half of the run.
    void Report(benchmark::State& state) {
        std::lock_guard<std::mutex> lock(m_);
        if (video_.size() < 2 || audio_.size() < 2) return;
        state.counters["video_ahead_of_audio_ms"] = LaterMedian(audio_) - LaterMedian(video_);
    }

private:
    void Lag(std::vector<double>& lags, unsigned pts) {
        const double now = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
        std::lock_guard<std::mutex> lock(m_);
        lags.push_back(now - pts);
    }
    static double LaterMedian(std::vector<double> v) {
        v.erase(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2));
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    std::mutex m_;
    std::vector<double> video_, audio_;
};

// Starts a player, retrying while the publisher is not on the server yet.
bool StartPlayer(Rondel& player, ZQReplayParam& rp, IBaseReplayNotify* sink) {
    const auto end = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < end) {
        if (player.Init(&rp, sink) == REPLAY_SUCCESS) return true;
        player.Uint();
        SleepSeconds(0.2);
    }
    return false;
}

ZQReplayParam ReplayParam(const std::string& url) {
    ZQReplayParam rp;
    snprintf(rp.url, sizeof(rp.url), "%s", url.c_str());
    rp.timeout = rp.recvTimeout = rp.sendTimeout = 5;
    return rp;
}

// Args: bufferTime, maxBufferTime (seconds).
void BM_DelayTesmarToRondel(benchmark::State& state) {
    capture::SelectSyntheticCamera(1);
    testenv::NginxRtmp nginx;
    std::string err;
    if (!nginx.Start(&err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    for (auto _ : state) {
        DelayMeter meter;
        PublishSink pubSink(&meter);
        Tesmar pub;
        ZQPublishParam pp;
        snprintf(pp.url, sizeof(pp.url), "%s", nginx.Url("delay").c_str());
        pp.timeout = pp.recvTimeout = pp.sendTimeout = 5;
        pp.video.width = kWidth;
        pp.video.height = kHeight;
        pp.video.frameRate = kFps;
        if (pub.Init(&pp, &pubSink) != PUBLISH_SUCCESS) {
            state.SkipWithError("publisher did not start");
            break;
        }
        PlaySink playSink(&meter);
        Rondel player;
        ZQReplayParam rp = ReplayParam(nginx.Url("delay"));
        rp.bufferTime = int(state.range(0));
        rp.maxBufferTime = int(state.range(1));
        if (!StartPlayer(player, rp, &playSink)) {
            state.SkipWithError("player did not start");
            break;
        }
        meter.MeasureFrom(Clock::now() + std::chrono::seconds(6));
        SleepSeconds(16);
        player.Uint();
        pub.Uint();
        playSink.Report(state);
        if (!meter.Report(state)) {
            state.SkipWithError("no frame was delivered");
        }
    }
    capture::SelectSyntheticCamera(-1);
}
BENCHMARK(BM_DelayTesmarToRondel)
    ->ArgNames({"bufferTime", "maxBufferTime"})
    ->Args({2, 5})  // the defaults
    ->Args({0, 1})  // the smallest
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Frames Korvid (as Tesmar opens it: the default video parameters) takes before the first picture
// comes out, as time at the frame rate.
void BM_EncoderLookahead(benchmark::State& state) {
    const VideoParam video;
    for (auto _ : state) {
        Korvid korvid;
        if (korvid.Initialize(kWidth, kHeight, video.bitRate, kFps, video.keyInterval) < 0) {
            state.SkipWithError("the encoder did not open");
            break;
        }
        TNAL* nals = nullptr;
        int count = 0;
        korvid.EncodeHeader(nals, count);
        Korvid::CleanNAL(nals, count);
        std::vector<BYTE> i420(size_t(kWidth) * kHeight * 3 / 2);
        int fed = 0;
        bool picture = false;
        while (!picture && fed < 100) {
            for (size_t i = 0; i < i420.size(); ++i) i420[i] = BYTE(i * 7 + size_t(fed) * 13);  // moving
            ++fed;
            if (korvid.EncodeFrame(i420.data(), nals, count) < 0) break;
            for (int i = 0; i < count; ++i) picture = picture || nals[i].type == 1 || nals[i].type == 5;
            Korvid::CleanNAL(nals, count);
        }
        korvid.Destroy();
        if (!picture) {
            state.SkipWithError("no picture came out");
            break;
        }
        // The first frame comes out with the fed-th: it waited fed - 1 frame intervals.
        state.counters["held_frames"] = fed - 1;
        state.SetIterationTime(double(fed - 1) / kFps);
    }
}
BENCHMARK(BM_EncoderLookahead)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

using benchstreams::HaveFfmpeg;

// Korvid's x264 settings (beyond preset veryfast and profile baseline) for the default video parameters.
std::string KorvidSettings() {
    const VideoParam video;
    return "threads=1:sync-lookahead=0:keyint=" + std::to_string(video.keyInterval) +
           ":scenecut=0:crf=26:crf-max=45:vbv-maxrate=" + std::to_string(video.bitRate) +
           ":vbv-bufsize=" + std::to_string(int(0.7 * video.bitRate)) + ":vbv-init=0.5";
}

// ffmpeg encodes raw frames it reads from a pipe and publishes them; a second ffmpeg plays the stream
// and writes raw frames into a FIFO that this process reads.
void BM_DelayFfmpegToFfmpeg(benchmark::State& state) {
    if (!HaveFfmpeg()) {
        state.SkipWithError("ffmpeg is not installed");
        return;
    }
    signal(SIGPIPE, SIG_IGN);
    testenv::NginxRtmp nginx;
    std::string err;
    if (!nginx.Start(&err)) {
        state.SkipWithError(err.c_str());
        return;
    }
    char dir[] = "/tmp/varnet-bench-XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string fifo = std::string(dir) + "/frames";
    mkfifo(fifo.c_str(), 0600);
    const std::string url = nginx.Url("ffdelay");
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    for (auto _ : state) {
        DelayMeter meter;
        testenv::ChildProcess publisher;
        if (!publisher.Start({"ffmpeg",
                              "-loglevel",
                              "error",
                              "-f",
                              "rawvideo",
                              "-pix_fmt",
                              "bgr24",
                              "-s",
                              size,
                              "-r",
                              std::to_string(kFps),
                              "-i",
                              "-",
                              "-c:v",
                              "libx264",
                              "-preset",
                              "veryfast",
                              "-profile:v",
                              "baseline",
                              "-x264-params",
                              KorvidSettings(),
                              "-pix_fmt",
                              "yuv420p",
                              "-f",
                              "flv",
                              url},
                             "", std::string(dir) + "/publisher.log", true)) {
            state.SkipWithError("ffmpeg did not start");
            break;
        }
        std::atomic<bool> run{true};
        std::thread writer([&] {
            std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 3);
            auto next = Clock::now();
            for (uint32_t counter = 0; run; ++counter) {
                capture::synthetic::Draw(frame.data(), kWidth, kHeight, counter);
                meter.Enter(int(counter & 0xFFFF));
                if (!publisher.WriteStdin(frame.data(), frame.size())) break;
                next += std::chrono::milliseconds(1000 / kFps);
                std::this_thread::sleep_until(next);
            }
        });
        SleepSeconds(3);  // the publisher reaches the server
        // A reader end first, so that the player's open of the FIFO does not block its start; it stays
        // non-blocking (no writer yet reads as end of file).
        int in = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        testenv::ChildProcess reader;
        const bool started = in >= 0 && reader.Start({"ffmpeg", "-loglevel", "error", "-threads", "1", "-i", url, "-f",
                                                      "rawvideo", "-pix_fmt", "bgr24", "-y", fifo},
                                                     "", std::string(dir) + "/player.log");
        std::thread consumer;
        std::atomic<bool> consume{true};
        if (started) {
            // ffmpeg probes some seconds of stream before its first picture, then catches up: measured
            // from 10 s on.
            meter.MeasureFrom(Clock::now() + std::chrono::seconds(10));
            consumer = std::thread([&] {
                std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 3);
                size_t have = 0;
                while (consume) {
                    pollfd p{in, POLLIN, 0};
                    poll(&p, 1, 100);
                    ssize_t n = read(in, frame.data() + have, frame.size() - have);
                    if (n <= 0) {
                        // No writer yet (0) or nothing to read now.
                        if (n == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
                        continue;
                    }
                    have += size_t(n);
                    if (have == frame.size()) {
                        meter.Leave(capture::synthetic::ReadCounter(frame.data(), kWidth, kHeight));
                        have = 0;
                    }
                }
            });
            SleepSeconds(20);
        }
        reader.Stop();
        consume = false;
        if (consumer.joinable()) consumer.join();
        if (in >= 0) close(in);
        run = false;
        publisher.CloseStdin();
        writer.join();
        publisher.Stop();
        if (!started) {
            state.SkipWithError("ffmpeg player did not start");
        } else if (!meter.Report(state)) {
            state.SkipWithError("no frame was delivered");
        }
    }
    for (const char* log : {"/publisher.log", "/player.log"}) {
        const std::string path = std::string(dir) + log;
        if (FILE* f = fopen(path.c_str(), "r")) {
            char line[512];
            while (fgets(line, sizeof(line), f)) fprintf(stderr, "ffmpeg: %s", line);
            fclose(f);
        }
        unlink(path.c_str());
    }
    unlink(fifo.c_str());
    rmdir(dir);
}
BENCHMARK(BM_DelayFfmpegToFfmpeg)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// CPU time and context switches (voluntary and involuntary) of a process's threads, read from /proc
// (pid 0: this process). Threads are told apart by id, so one that ends between two readings only
// loses what it did after the first.
struct ThreadUsage {
    double cpuSeconds = 0;
    long long switches = 0;
};
std::map<long, ThreadUsage> ReadThreads(pid_t pid) {
    std::map<long, ThreadUsage> out;
    const std::string dir = (pid ? "/proc/" + std::to_string(pid) : std::string("/proc/self")) + "/task";
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        const std::string task = dir + "/" + e->d_name;
        ThreadUsage u;
        if (FILE* f = fopen((task + "/schedstat").c_str(), "r")) {
            unsigned long long ns = 0;
            if (fscanf(f, "%llu", &ns) == 1) u.cpuSeconds = double(ns) / 1e9;
            fclose(f);
        }
        if (FILE* f = fopen((task + "/status").c_str(), "r")) {
            char line[256];
            long long v = 0;
            while (fgets(line, sizeof(line), f)) {
                if (sscanf(line, "voluntary_ctxt_switches: %lld", &v) == 1 ||
                    sscanf(line, "nonvoluntary_ctxt_switches: %lld", &v) == 1) {
                    u.switches += v;
                }
            }
            fclose(f);
        }
        out[atol(e->d_name)] = u;
    }
    closedir(d);
    return out;
}

// What the threads of some processes used between two readings.
class UsageMeter {
public:
    explicit UsageMeter(std::vector<pid_t> pids) : pids_(std::move(pids)) {}
    void Start() {
        before_.clear();
        for (pid_t p : pids_) before_.push_back(ReadThreads(p));
    }
    ThreadUsage Stop() const {
        ThreadUsage sum;
        for (size_t i = 0; i < pids_.size(); ++i) {
            for (const auto& [tid, after] : ReadThreads(pids_[i])) {
                auto b = before_[i].find(tid);
                const ThreadUsage was = b == before_[i].end() ? ThreadUsage{} : b->second;
                sum.cpuSeconds += after.cpuSeconds - was.cpuSeconds;
                sum.switches += after.switches - was.switches;
            }
        }
        return sum;
    }

private:
    std::vector<pid_t> pids_;
    std::vector<std::map<long, ThreadUsage>> before_;
};

// Plays through the quiet clocked output while it lives (the tests' clocked output wakes both sides for
// every buffer, which would be counted here as the players' work).
struct QuietOutput {
    QuietOutput() {
        RondelFactories r;
        r.audioOut = [] { return playback::CreateQuietClockAudioOut(); };
        RondelSetFactories(r);
    }
    ~QuietOutput() {
        RondelFactories r;
        r.audioOut = [] { return playback::CreateClockAudioOut(); };
        RondelSetFactories(r);
    }
};

// The stream the CPU benchmarks play: 320x240 at 15 frames a second with stereo AAC.
constexpr int kCpuFps = benchstreams::kFps;
constexpr double kCpuWarmUp = 6;   // seconds: past the players' start-up buffering and ffmpeg's probing
constexpr double kCpuWindow = 10;  // seconds measured

bool StartCpuStream(testenv::NginxRtmp& nginx, testenv::ChildProcess& publisher, benchmark::State& state) {
    return benchstreams::StartTestStream(nginx, publisher, "cpu", state);
}

void ReportCpu(benchmark::State& state, const ThreadUsage& used, double wall, int n) {
    state.counters["cpu_ms_per_s"] = 1000.0 * used.cpuSeconds / wall;
    state.counters["cpu_ms_per_stream_s"] = 1000.0 * used.cpuSeconds / wall / n;
    state.counters["wakeups_per_stream_s"] = double(used.switches) / wall / n;
    state.SetIterationTime(used.cpuSeconds / wall);
}

// Counts the pictures delivered and those missing by their pts (gaps of more than one frame interval).
struct CpuSink : IBaseReplayNotify {
    std::atomic<bool> counting{false};
    std::atomic<int> frames{0};
    std::atomic<int> dropped{0};
    unsigned lastPts = 0;  // delivery thread only
    void OnReplayStatus(int) override {}
    void OnReplayVideo(BYTE*, BITMAPINFOHEADER*, unsigned pts) override {
        const double interval = 1000.0 / kCpuFps;
        if (counting) {
            ++frames;
            if (lastPts && pts > lastPts + 1.5 * interval) dropped += int((pts - lastPts) / interval + 0.5) - 1;
        }
        lastPts = pts;
    }
    void OnReplayAudio(void*, int, WAVEFORMATEX*, unsigned) override {}
};

// Players of one stream, each with its CpuSink.
struct CpuPlayers {
    std::vector<std::unique_ptr<Rondel>> players;
    std::vector<std::unique_ptr<CpuSink>> sinks;

    bool Add(const std::string& url) {
        players.push_back(std::make_unique<Rondel>());
        sinks.push_back(std::make_unique<CpuSink>());
        ZQReplayParam rp = ReplayParam(url);
        return StartPlayer(*players.back(), rp, sinks.back().get());
    }
    void Counting(bool on) {
        for (auto& s : sinks) s->counting = on;
    }
    void Uint() {
        for (auto& p : players) p->Uint();
    }
    // The pictures per second per player and those missing over `wall` seconds of counting.
    void Report(benchmark::State& state, double wall) const {
        int frames = 0, dropped = 0;
        for (auto& s : sinks) {
            frames += s->frames;
            dropped += s->dropped;
        }
        state.counters["fps_per_stream"] = frames / wall / int(players.size());
        state.counters["dropped_frames"] = dropped;
    }
};

// ffmpeg readers of one stream doing the players' work: one decoding thread, pictures converted to BGR24,
// both streams decoded, nothing written.
struct FfmpegReaders {
    std::vector<std::unique_ptr<testenv::ChildProcess>> readers;
    std::vector<pid_t> pids;

    bool Add(const std::string& url) {
        readers.push_back(std::make_unique<testenv::ChildProcess>());
        bool ok = readers.back()->Start({"ffmpeg", "-loglevel", "error", "-nostdin", "-threads", "1", "-i", url,
                                         "-pix_fmt", "bgr24", "-f", "null", "-"});
        pids.push_back(readers.back()->Pid());
        return ok;
    }
    int Running() const {
        int running = 0;
        for (auto& r : readers) running += r->Running() ? 1 : 0;
        return running;
    }
    void Stop() {
        for (auto& r : readers) r->Stop();
    }
};

// What the processes of each group (0: this one) used over the measured window after the warm-up, and the
// window's length in seconds; `players` (may be null) count their pictures during the window.
struct Window {
    std::vector<ThreadUsage> used;
    double wall = 0;
};
Window MeasureWindow(const std::vector<std::vector<pid_t>>& groups, CpuPlayers* players) {
    SleepSeconds(kCpuWarmUp);
    std::vector<UsageMeter> meters(groups.begin(), groups.end());
    if (players) players->Counting(true);
    for (UsageMeter& m : meters) m.Start();
    const auto t0 = Clock::now();
    SleepSeconds(kCpuWindow);
    Window w;
    for (const UsageMeter& m : meters) w.used.push_back(m.Stop());
    w.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    if (players) players->Counting(false);
    return w;
}

// Whole-process CPU time per second of playback, and wake-ups (context switches) per second per
// player; the publisher's CPU time is not counted. Arg: number of players.
void BM_PlaybackCpu(benchmark::State& state) {
    QuietOutput output;
    testenv::NginxRtmp nginx;
    testenv::ChildProcess publisher;
    if (!StartCpuStream(nginx, publisher, state)) return;
    const int n = int(state.range(0));
    for (auto _ : state) {
        CpuPlayers players;
        bool ok = true;
        for (int i = 0; i < n && ok; ++i) ok = players.Add(nginx.Url("cpu"));
        if (!ok) {
            state.SkipWithError("a player did not start");
            break;
        }
        const Window w = MeasureWindow({{0}}, &players);
        players.Uint();
        ReportCpu(state, w.used[0], w.wall, n);
        players.Report(state, w.wall);
    }
    publisher.Stop();
}
BENCHMARK(BM_PlaybackCpu)
    ->ArgName("players")
    ->Arg(1)
    ->Arg(11)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The same work by ffmpeg readers (FfmpegReaders). Arg: number of readers.
void BM_PlaybackCpuFfmpeg(benchmark::State& state) {
    testenv::NginxRtmp nginx;
    testenv::ChildProcess publisher;
    if (!StartCpuStream(nginx, publisher, state)) return;
    const int n = int(state.range(0));
    for (auto _ : state) {
        FfmpegReaders readers;
        bool ok = true;
        for (int i = 0; i < n && ok; ++i) ok = readers.Add(nginx.Url("cpu"));
        if (!ok) {
            state.SkipWithError("an ffmpeg reader did not start");
            break;
        }
        const Window w = MeasureWindow({readers.pids}, nullptr);
        const int running = readers.Running();
        readers.Stop();
        if (running != n) {
            state.SkipWithError("an ffmpeg reader ended early");
            break;
        }
        ReportCpu(state, w.used[0], w.wall, n);
    }
    publisher.Stop();
}
BENCHMARK(BM_PlaybackCpuFfmpeg)
    ->ArgName("readers")
    ->Arg(1)
    ->Arg(11)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Players and as many ffmpeg readers of the same stream at once, measured over the same window, so that
// both see the same load on the machine: project and anchor are CPU ms per second of stream (the
// players' whole process, the readers' processes), ratio their quotient; the wake-ups per second per
// player and per reader beside them. Arg: number of players (and of readers).
void BM_PlaybackCpuSideBySide(benchmark::State& state) {
    QuietOutput output;
    testenv::NginxRtmp nginx;
    testenv::ChildProcess publisher;
    if (!StartCpuStream(nginx, publisher, state)) return;
    const int n = int(state.range(0));
    for (auto _ : state) {
        CpuPlayers players;
        FfmpegReaders readers;
        bool ok = true;
        for (int i = 0; i < n && ok; ++i) {
            ok = players.Add(nginx.Url("cpu"));
            ok = readers.Add(nginx.Url("cpu")) && ok;
        }
        if (!ok) {
            state.SkipWithError("a player or an ffmpeg reader did not start");
            break;
        }
        const Window w = MeasureWindow({{0}, readers.pids}, &players);
        const ThreadUsage& usedOurs = w.used[0];
        const ThreadUsage& usedTheirs = w.used[1];
        const double wall = w.wall;
        const int running = readers.Running();
        players.Uint();
        readers.Stop();
        if (running != n) {
            state.SkipWithError("an ffmpeg reader ended early");
            break;
        }
        state.SetIterationTime(usedOurs.cpuSeconds / wall);
        state.counters["project"] = 1000.0 * usedOurs.cpuSeconds / wall / n;
        state.counters["anchor"] = 1000.0 * usedTheirs.cpuSeconds / wall / n;
        state.counters["ratio"] = usedTheirs.cpuSeconds > 0 ? usedOurs.cpuSeconds / usedTheirs.cpuSeconds : 0;
        state.counters["wakeups_per_stream_s"] = double(usedOurs.switches) / wall / n;
        state.counters["ffmpeg_wakeups_per_stream_s"] = double(usedTheirs.switches) / wall / n;
        players.Report(state, wall);
    }
    publisher.Stop();
}
BENCHMARK(BM_PlaybackCpuSideBySide)
    ->ArgName("players")
    ->Arg(1)
    ->Arg(11)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    const std::string ffmpeg = "BM_DelayFfmpegToFfmpeg/iterations:1/manual_time";
    const std::string byDefault = "BM_DelayTesmarToRondel/bufferTime:2/maxBufferTime:5/iterations:1/manual_time";
    const std::string smallest = "BM_DelayTesmarToRondel/bufferTime:0/maxBufferTime:1/iterations:1/manual_time";
    auto cpu = [](int n, bool ffmpeg) {
        return std::string(ffmpeg ? "BM_PlaybackCpuFfmpeg/readers:" : "BM_PlaybackCpu/players:") + std::to_string(n) +
               "/iterations:1/manual_time";
    };
    auto side = [](int n) {
        return "BM_PlaybackCpuSideBySide/players:" + std::to_string(n) + "/iterations:1/manual_time";
    };
    return benchfig::Main(
        argc, argv,
        {{"publish-to-play delay, default buffering 2/5 s (anchor: ffmpeg to ffmpeg, same x264 settings)", byDefault,
          ffmpeg, false, 1e3, "ms"},
         {"publish-to-play delay, smallest buffering 0/1 s (anchor: ffmpeg to ffmpeg, same x264 settings)", smallest,
          ffmpeg, false, 1e3, "ms"},
         {"publish-to-play delay, smallest buffering 0/1 s (anchor: the encoder's look-ahead)", smallest,
          "BM_EncoderLookahead/iterations:1/manual_time", false, 1e3, "ms"},
         {"playback CPU per second of stream, 1 player 320x240 15 fps (anchor: 1 ffmpeg reader, -threads 1, bgr24)",
          cpu(1, false), cpu(1, true), false, 1e3, "ms"},
         {"playback CPU per second of stream, 11 players (anchor: 11 ffmpeg readers)", cpu(11, false), cpu(11, true),
          false, 1e3, "ms"}},
        {{"wake-ups (context switches) per second per player, 1 player (anchor: per ffmpeg reader)", cpu(1, false),
          cpu(1, true), "wakeups_per_stream_s", "/s"},
         {"wake-ups (context switches) per second per player, 11 players (anchor: per ffmpeg reader)", cpu(11, false),
          cpu(11, true), "wakeups_per_stream_s", "/s"}},
        {{"playback CPU per second of stream, 1 player beside 1 ffmpeg reader at the same time", side(1), "ms"},
         {"playback CPU per second of stream, 11 players beside 11 ffmpeg readers at the same time", side(11), "ms"},
         {"wake-ups per second per player, 1 player beside 1 ffmpeg reader (anchor: per reader)", side(1), "/s",
          "wakeups_per_stream_s", "ffmpeg_wakeups_per_stream_s", nullptr},
         {"wake-ups per second per player, 11 players beside 11 ffmpeg readers (anchor: per reader)", side(11), "/s",
          "wakeups_per_stream_s", "ffmpeg_wakeups_per_stream_s", nullptr}});
}
