// Shared pieces of the microphone tests: a private configuration folder, recording windows, a fake
// player and publisher whose Init answers from a script.
#pragma once

#include "MicDefs.h"
#include "MicPublishReplayAdapter.h"
#include "Tesmar.h"
#include "Win32Window.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace mic_test {

// Points the configuration manager at a fresh folder for this process.
void UseFreshConfig();

struct RecordingWnd : CWin32Window {
    std::mutex m;
    std::vector<WPARAM> linkResults;
    std::atomic<int> timers{0};
    std::vector<std::string> notices;
    std::function<void()> onTimer;
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    size_t ResultCount() {
        std::lock_guard<std::mutex> lock(m);
        return linkResults.size();
    }
};

// Init answers with the next scripted code (the last one repeats), after `blockMs` (cut short by Uint).
struct FakeScript {
    std::mutex m;
    std::vector<int> codes{0};
    size_t next = 0;
    std::vector<DWORD> attemptTicks;
    std::atomic<int> blockMs{0};
    DWORD (*clock)() = nullptr;  // null: GetTickCount
    std::atomic<int> uints{0};
    std::atomic<int> switches{0};
    std::atomic<bool> cut{false};
    bool lostOnStop = false;  // Uint reports the connection lost, as a library might
    int Next(DWORD tick);
    std::vector<DWORD> Attempts() {
        std::lock_guard<std::mutex> lock(m);
        return attemptTicks;
    }
};

MicMediaFactory FakeFactory(FakeScript* player, FakeScript* publisher);

// A real publisher of the selected camera and the Tesmar factories' microphone at `fps` frames a second,
// a key frame every 10 frames, with 3-second network time-outs.
class SynthPublisher {
public:
    explicit SynthPublisher(int fps) : m_fps(fps) {}
    ~SynthPublisher() { m_tesmar.Uint(); }
    // Tesmar::Init's code for `url` (PUBLISH_SUCCESS when it publishes).
    int Start(const std::string& url);

private:
    struct : IBasePublishNotify {
        void OnPublishStatus(int) override {}
        void OnPublishVideo(BYTE*, BITMAPINFOHEADER*) override {}
        void OnPublishAudio(BYTE*, long, WAVEFORMATEX*) override {}
    } m_notify;
    const int m_fps;
    Tesmar m_tesmar;
};

}  // namespace mic_test
