// The camera library over the synthetic camera.
#include "CameraSource.h"
#include "Grabbel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct Recorder : IBaseVideoCB {
    std::mutex m;
    std::vector<int> counters;
    std::vector<long> lengths;
    std::atomic<int> raw{0};
    int w = 0, h = 0;
    std::thread::id thread;
    void VideoBufferCB(double, BYTE*, long) override { ++raw; }
    void VideoFrameCB(BYTE* rgb, long len) override {
        std::lock_guard<std::mutex> lock(m);
        thread = std::this_thread::get_id();
        lengths.push_back(len);
        counters.push_back(capture::synthetic::ReadCounter(rgb, w, h));
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(m);
        return counters.size();
    }
};

class GrabbelTest : public ::testing::Test {
protected:
    void SetUp() override { capture::SelectSyntheticCamera(1, {{640, 480}, {320, 240}, {160, 120}}); }
    void TearDown() override { capture::SelectSyntheticCamera(-1); }
};

TEST_F(GrabbelTest, ListsTheSyntheticCameraWithBoundedNames) {
    EXPECT_EQ(1, Grabbel::CameraCount());
    char name[256];
    EXPECT_EQ(0, Grabbel::CameraName(0, name, sizeof(name)));
    EXPECT_STREQ("Synthetic camera", name);
    char small[6];
    memset(small, 'x', sizeof(small));
    EXPECT_EQ(0, Grabbel::CameraName(0, small, sizeof(small)));
    EXPECT_STREQ("Synth", small);
    EXPECT_EQ(-1, Grabbel::CameraName(1, name, sizeof(name)));
    EXPECT_EQ(-1, Grabbel::CameraName(0, nullptr, 10));
    Grabbel g;
    std::string list;
    g.GetRatioList(list);
    EXPECT_EQ("640x480|320x240|160x120", list);
}

TEST_F(GrabbelTest, DeliversTopDownFramesAtTheChosenSizeOnOneThread) {
    Grabbel g;
    ASSERT_TRUE(g.OpenCamera(0, 352, 288, 50));
    unsigned w = 0, h = 0;
    g.GetRatio(w, h);
    EXPECT_EQ(320u, w);
    EXPECT_EQ(240u, h);
    Recorder rec;
    rec.w = int(w);
    rec.h = int(h);
    ASSERT_TRUE(g.StartCapture());
    g.SetBuffCB(&rec);
    g.SetBuffCB(&rec);  // one frame thread only: counters stay consecutive
    for (int i = 0; i < 400 && rec.Count() < 8; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(0, g.StopCapture());
    g.CloseCamera();
    std::lock_guard<std::mutex> lock(rec.m);
    ASSERT_GE(rec.counters.size(), 8u);
    for (size_t i = 0; i < rec.counters.size(); ++i) {
        EXPECT_EQ(long(w * h * 3), rec.lengths[i]);
        EXPECT_EQ(int(i), rec.counters[i]);
    }
    EXPECT_NE(std::this_thread::get_id(), rec.thread);
}

TEST_F(GrabbelTest, StopAndCloseAreSafeWhenIdleAndCloseCutsTheWaitShort) {
    Grabbel g;
    EXPECT_EQ(-1, g.StopCapture());
    g.CloseCamera();
    g.CloseCamera();
    BYTE buf[16];
    EXPECT_EQ(0u, g.QueryFrame(buf, sizeof(buf)));
    EXPECT_FALSE(g.OpenCamera(3, 320, 240, 10));

    ASSERT_TRUE(g.OpenCamera(0, 320, 240, 1));  // one frame a second
    Recorder rec;
    rec.w = 320;
    rec.h = 240;
    g.StartCapture();
    g.SetBuffCB(&rec);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto t0 = std::chrono::steady_clock::now();
    g.CloseCamera();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
    // Reopen after close works and a small buffer gets nothing.
    ASSERT_TRUE(g.OpenCamera(0, 160, 120, 10));
    ASSERT_TRUE(g.StartCapture());
    std::vector<BYTE> frame(160 * 120 * 3);
    EXPECT_EQ(0u, g.QueryFrame(frame.data(), unsigned(frame.size() - 1)));
    EXPECT_EQ(unsigned(frame.size()), g.QueryFrame(frame.data(), unsigned(frame.size())));
}

TEST_F(GrabbelTest, ConversionsRoundTripTheCounter) {
    const int w = 320, h = 240;
    std::vector<BYTE> rgb(w * h * 3), yuv(w * h * 3 / 2), back(w * h * 3);
    capture::synthetic::Draw(rgb.data(), w, h, 1234);
    ASSERT_EQ(1, Grabbel::ConvertRGB2YUV(w, h, rgb.data(), yuv.data()));
    Grabbel::ConvertYUV2RGB(yuv.data(), back.data(), w, h);
    EXPECT_EQ(1234, capture::synthetic::ReadCounter(back.data(), w, h));
}

}  // namespace
