// Eleven 320x240 streams at once in the room window on a display (three public slots, eight private
// popups), all playing one stream that an ffmpeg child publishes to nginx-rtmp (its CPU time is not
// counted): whole-process CPU time per second of each stream, the pictures the views presented and the
// desktop drew against the frames they received, and the render threads' CPU time per presented picture.
// Anchor: eleven bare players of the same stream, without windows. Without $DISPLAY an Xvfb child is
// started.
#include <benchmark/benchmark.h>

#include <gtk/gtk.h>

#include "AudioOut.h"
#include "BenchRoomDisplay.h"
#include "BenchFigures.h"
#include "BenchStreams.h"
#include "NginxRtmp.h"
#include "Rondel.h"
#include "RoomWindow.h"
#include "VideoGtkPresenter.h"
#include "ZqLog.h"

#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <thread>

namespace {

using benchdisplay::Clock;
using benchdisplay::ProcessCpuSeconds;
constexpr int kPublic = 3, kPrivate = 8, kStreams = kPublic + kPrivate;
constexpr double kWarmUp = 6;   // seconds: past the links' start and the players' buffering
constexpr double kWindow = 10;  // seconds measured

// A clocked silent output: measured is the stream and window path, not a sound card.
const bool g_standIns = [] {
    RondelFactories r;
    r.audioOut = [] { return playback::CreateClockAudioOut(); };
    RondelSetFactories(r);
    return true;
}();

void ReportCpu(benchmark::State& state, double cpu, double wall) {
    state.counters["cpu_ms_per_stream_s"] = 1000.0 * cpu / wall / kStreams;
    state.SetIterationTime(cpu / wall / kStreams);
}

struct ViewCounts {
    double received = 0, presented = 0, drawn = 0, renderNs = 0;
};

ViewCounts Count(roomui::CRoomUI& ui) {
    ViewCounts c;
    auto add = [&](CVideoShowWnd& v, CVideoGtkPresenter* p) {
        c.received += double(v.ReceivedCount());
        c.presented += double(v.PresentCount());
        c.renderNs += double(v.RenderCpuNanos());
        c.drawn += p ? double(p->DrawCount()) : 0;
    };
    for (int i = 0; i < kPublic; ++i) {
        CPublicMicWnd* w = ui.Left().Public().Slot(i);
        add(w->ControlView(), w->DesktopPresenter());
    }
    for (int i = 0; i < kPrivate; ++i) {
        CPrivateMicWnd* w = ui.Left().Private().Slot(i);
        add(w->View(), w->DesktopPresenter());
    }
    return c;
}

void BM_RoomWindowElevenStreams(benchmark::State& state) {
    testenv::NginxRtmp nginx;
    testenv::ChildProcess publisher;
    if (!benchstreams::StartTestStream(nginx, publisher, "room", state)) return;
    for (auto _ : state) {
        roomui::CRoomUI ui;
        ui.SetRoomID(3003);
        if (!ui.CreateRoomWindow("bench(3003)")) {
            state.SkipWithError("no room window");
            break;
        }
        MicUserMap mics;
        for (int i = 0; i < kStreams; ++i) {
            MicUserInfo& m = mics[2001 + uint32_t(i)];
            m.user.uid = 2001 + uint32_t(i);
            m.user.nickname = "performer";
            m.stream.live = i < kPublic ? 1 : 0;
            m.stream.idx = uint32_t(i < kPublic ? i : i - kPublic);
            m.stream.micattr = 3;
            m.stream.url = nginx.Url("room");
        }
        ui.Left().UpdateMicList(mics);
        PumpMessagesFor(unsigned(kWarmUp * 1000));
        const ViewCounts before = Count(ui);
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        PumpMessagesFor(unsigned(kWindow * 1000));
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const ViewCounts after = Count(ui);
        ui.CloseRoomWindow();
        PumpMessagesFor(200);
        const double received = after.received - before.received, presented = after.presented - before.presented;
        ReportCpu(state, cpu, wall);
        state.counters["received_fps_per_stream"] = received / wall / kStreams;
        state.counters["presented_per_received"] = received > 0 ? presented / received : 0;
        state.counters["drawn_per_received"] = received > 0 ? (after.drawn - before.drawn) / received : 0;
        state.counters["render_us_per_picture"] =
            presented > 0 ? (after.renderNs - before.renderNs) / presented / 1e3 : 0;
    }
    publisher.Stop();
}
BENCHMARK(BM_RoomWindowElevenStreams)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

struct CountingSink : IBaseReplayNotify {
    void OnReplayStatus(int) override {}
    void OnReplayVideo(BYTE*, BITMAPINFOHEADER*, unsigned) override {}
    void OnReplayAudio(void*, int, WAVEFORMATEX*, unsigned) override {}
};

void BM_ElevenBarePlayers(benchmark::State& state) {
    testenv::NginxRtmp nginx;
    testenv::ChildProcess publisher;
    if (!benchstreams::StartTestStream(nginx, publisher, "room", state)) return;
    for (auto _ : state) {
        std::vector<std::unique_ptr<Rondel>> players;
        CountingSink sink;
        bool ok = true;
        for (int i = 0; i < kStreams && ok; ++i) {
            players.push_back(std::make_unique<Rondel>());
            ZQReplayParam rp;
            snprintf(rp.url, sizeof(rp.url), "%s", nginx.Url("room").c_str());
            rp.timeout = rp.recvTimeout = rp.sendTimeout = 5;
            ok = players.back()->Init(&rp, &sink) == REPLAY_SUCCESS;
        }
        if (!ok) {
            state.SkipWithError("a player did not start");
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(int(kWarmUp * 1000)));
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(int(kWindow * 1000)));
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        for (auto& p : players) p->Uint();
        ReportCpu(state, cpu, wall);
    }
    publisher.Stop();
}
BENCHMARK(BM_ElevenBarePlayers)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!benchdisplay::UseRoomDisplay("mic")) return 1;
    const std::string room = "BM_RoomWindowElevenStreams/iterations:1/manual_time";
    const std::string bare = "BM_ElevenBarePlayers/iterations:1/manual_time";
    int rc = benchfig::Main(
        argc, argv,
        {{"CPU per stream-second, 11 streams 320x240 15 fps in the room window (anchor: 11 bare players)", room, bare,
          false, 1e3, "ms"}});
    benchdisplay::StopDisplay();
    return rc;
}
