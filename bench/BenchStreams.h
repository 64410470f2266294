// The stream that the playback benchmarks play: a 320x240 test picture at 15 frames a second with a stereo
// AAC tone, published for two minutes by an ffmpeg child to a local nginx-rtmp (its CPU time is not the
// players').
#pragma once

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <string>
#include <thread>

#include "ChildProcess.h"
#include "NginxRtmp.h"

namespace benchstreams {

constexpr int kWidth = 320, kHeight = 240, kFps = 15;

inline bool HaveFfmpeg() {
    return access("/usr/bin/ffmpeg", X_OK) == 0;
}

// Starts nginx and the publisher of stream `name`; false, with the benchmark skipped, when either fails.
inline bool StartTestStream(testenv::NginxRtmp& nginx, testenv::ChildProcess& publisher, const std::string& name,
                            benchmark::State& state) {
    if (!HaveFfmpeg()) {
        state.SkipWithError("ffmpeg is not installed");
        return false;
    }
    std::string err;
    if (!nginx.Start(&err)) {
        state.SkipWithError(err.c_str());
        return false;
    }
    if (!publisher.Start(
            {"ffmpeg",
             "-loglevel",
             "error",
             "-re",
             "-f",
             "lavfi",
             "-i",
             "testsrc=size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) + ":rate=" + std::to_string(kFps),
             "-f",
             "lavfi",
             "-i",
             "sine=frequency=440:sample_rate=44100",
             "-t",
             "120",
             "-c:v",
             "libx264",
             "-preset",
             "veryfast",
             "-g",
             "30",
             "-pix_fmt",
             "yuv420p",
             "-c:a",
             "aac",
             "-ac",
             "2",
             "-f",
             "flv",
             nginx.Url(name)})) {
        state.SkipWithError("ffmpeg did not start");
        return false;
    }
    std::this_thread::sleep_for(
        std::chrono::seconds(3));  // the publisher reaches the server (an ffmpeg reader does not retry)
    return true;
}

}  // namespace benchstreams
