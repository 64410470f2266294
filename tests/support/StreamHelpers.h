// Shared pieces of the end-to-end stream tests: recording receivers of the libraries' callbacks.
#pragma once

#include "CameraSource.h"
#include "MediaDefs.h"
#include "SyntheticCamera.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>
#include "TestUtil.h"

namespace streams_test {

using Clock = std::chrono::steady_clock;

inline bool WaitFor(const std::function<bool()>& cond, int ms) {
    return testsupport::WaitUntil(cond, std::chrono::milliseconds(ms), std::chrono::milliseconds(10));
}

struct ReplayRecorder : IBaseReplayNotify {
    struct Frame {
        int width, height;
        unsigned pts;
        int counter;
    };
    std::mutex m;
    std::vector<Frame> frames;
    std::vector<int> statuses;
    std::atomic<int> audioBuffers{0};
    std::atomic<long> audioBytes{0};
    WAVEFORMATEX format{};
    void OnReplayStatus(int code) override {
        std::lock_guard<std::mutex> lock(m);
        statuses.push_back(code);
    }
    void OnReplayVideo(BYTE* rgb, BITMAPINFOHEADER* h, unsigned pts) override {
        int counter = capture::synthetic::ReadCounter(rgb, h->biWidth, h->biHeight);
        std::lock_guard<std::mutex> lock(m);
        frames.push_back({h->biWidth, h->biHeight, pts, counter});
    }
    void OnReplayAudio(void*, int length, WAVEFORMATEX* f, unsigned) override {
        {
            std::lock_guard<std::mutex> lock(m);
            format = *f;
        }
        audioBytes += length;
        ++audioBuffers;
    }
    size_t FrameCount() {
        std::lock_guard<std::mutex> lock(m);
        return frames.size();
    }
    int StatusCount(int code) {
        std::lock_guard<std::mutex> lock(m);
        int n = 0;
        for (int s : statuses) n += (s == code);
        return n;
    }
};

struct PublishRecorder : IBasePublishNotify {
    std::mutex m;
    std::vector<int> statuses;
    std::atomic<int> videoPreviews{0};
    std::atomic<int> audioPreviews{0};
    BITMAPINFOHEADER header{};
    void OnPublishStatus(int code) override {
        std::lock_guard<std::mutex> lock(m);
        statuses.push_back(code);
    }
    void OnPublishVideo(BYTE*, BITMAPINFOHEADER* h) override {
        {
            std::lock_guard<std::mutex> lock(m);
            header = *h;
        }
        ++videoPreviews;
    }
    void OnPublishAudio(BYTE*, long, WAVEFORMATEX*) override { ++audioPreviews; }
    int StatusCount(int code) {
        std::lock_guard<std::mutex> lock(m);
        int n = 0;
        for (int s : statuses) n += (s == code);
        return n;
    }
};

}  // namespace streams_test
