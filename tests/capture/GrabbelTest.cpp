// The camera library over the synthetic camera.
#include "CameraSource.h"
#include "Grabbel.h"
#include "SyntheticCamera.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

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
    std::vector<int> rawCounters;  // read from the bottom-up samples
    int w = 0, h = 0;
    std::thread::id thread;
    void VideoBufferCB(double, BYTE* sample, long len) override {
        ++raw;
        if (len != long(w) * h * 3) return;
        std::vector<BYTE> topDown(static_cast<size_t>(len));
        capture::FlipRows(sample, topDown.data(), w, h);
        std::lock_guard<std::mutex> lock(m);
        rawCounters.push_back(capture::synthetic::ReadCounter(topDown.data(), w, h));
    }
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
    // Every sample reached VideoBufferCB as bottom-up RGB24 of the chosen size.
    EXPECT_EQ(rec.counters, rec.rawCounters);
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
    // A frame thread that ended at once (no callback yet) starts again with the callback.
    ASSERT_TRUE(g.OpenCamera(0, 320, 240, 50));
    g.StartCapture();
    g.SetBuffCB(nullptr);
    g.SetBuffCB(&rec);
    size_t before = rec.Count();
    for (int i = 0; i < 2000 && rec.Count() < before + 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_GE(rec.Count(), before + 3);
    g.CloseCamera();
    // Reopen after close works and a small buffer gets nothing.
    ASSERT_TRUE(g.OpenCamera(0, 160, 120, 10));
    ASSERT_TRUE(g.StartCapture());
    std::vector<BYTE> frame(160 * 120 * 3);
    EXPECT_EQ(0u, g.QueryFrame(frame.data(), unsigned(frame.size() - 1)));
    EXPECT_EQ(unsigned(frame.size()), g.QueryFrame(frame.data(), unsigned(frame.size())));
}

TEST_F(GrabbelTest, SettingsAreFittedAndChangeThePicture) {
    Grabbel g;
    g.ShowSetUp(nullptr);  // no camera open: nothing happens
    ASSERT_TRUE(g.OpenCamera(0, 320, 240, 10));
    g.ShowSetUp(nullptr);  // no display: nothing happens
    g.CloseCamera();
    auto cam = capture::CreateCamera(0);
    ASSERT_TRUE(cam && cam->Open(320, 240, 10) && cam->Start());
    auto value = [&](uint32_t id) {
        for (auto& c : cam->Controls())
            if (c.id == id) return c.value;
        return -1000;
    };
    auto controls = cam->Controls();
    ASSERT_GE(controls.size(), 2u);
    const uint32_t brightness = controls[0].id, contrast = controls[1].id;
    struct Row {
        uint32_t id;
        int set;
        bool ok;
        int stored;
    };
    const Row rows[] = {{contrast, 104, true, 100}, {contrast, 106, true, 110}, {contrast, 999, true, 200},
                        {contrast, -5, true, 0},    {brightness, 40, true, 40}, {0xdead, 1, false, -1000}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.set);
        EXPECT_EQ(r.ok, cam->SetControl(r.id, r.set));
        EXPECT_EQ(r.stored, value(r.id));
    }
    // Brighter bars below the counter, which stays readable.
    ASSERT_TRUE(cam->SetControl(contrast, 100));
    std::vector<BYTE> lit(320 * 240 * 3), plain(lit.size());
    ASSERT_EQ(lit.size(), cam->LatestFrame(lit.data(), unsigned(lit.size())));
    ASSERT_TRUE(cam->SetControl(brightness, 0));
    ASSERT_EQ(plain.size(), cam->LatestFrame(plain.data(), unsigned(plain.size())));
    long sumLit = 0, sumPlain = 0;
    for (size_t i = 320 * 3 * 16; i < lit.size(); ++i) sumLit += lit[i], sumPlain += plain[i];
    EXPECT_GT(sumLit, sumPlain);
    EXPECT_EQ(0, capture::synthetic::ReadCounter(lit.data(), 320, 240));
}

TEST(CameraControl, ValuesAreFittedToTheirKind) {
    capture::CameraControl i;
    i.minimum = -10, i.maximum = 10, i.step = 4;
    capture::CameraControl b;
    b.type = capture::CameraControl::Boolean;
    capture::CameraControl m;
    m.type = capture::CameraControl::Menu;
    m.items = {{0, "Auto"}, {3, "Manual"}};
    struct Row {
        const capture::CameraControl* c;
        int in;
        bool ok;
        int out;
    };
    const Row rows[] = {{&i, 11, true, 10}, {&i, -11, true, -10}, {&i, -5, true, -6}, {&i, 7, true, 6},
                        {&b, 7, true, 1},   {&b, 0, true, 0},     {&m, 3, true, 3},   {&m, 1, false, 1}};
    for (const Row& r : rows) {
        int v = r.in;
        EXPECT_EQ(r.ok, capture::FitControlValue(*r.c, v)) << r.in;
        EXPECT_EQ(r.out, v) << r.in;
    }
}

TEST(CameraSample, DeviceLayoutsBecomeTopDownBgr) {
    // 2x2 pictures; rows padded to 8 bytes.
    const BYTE yuyv[16] = {16, 128, 235, 128, 0, 0, 0, 0, 255, 128, 16, 128, 0, 0, 0, 0};
    const BYTE rgb[16] = {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0};
    BYTE out[12];
    ASSERT_TRUE(capture::ConvertSample(V4L2_PIX_FMT_YUYV, yuyv, sizeof(yuyv), 8, 2, 2, out));
    const BYTE expectYuyv[12] = {0, 0, 0, 254, 254, 254, 255, 255, 255, 0, 0, 0};
    EXPECT_EQ(0, memcmp(out, expectYuyv, 12));
    ASSERT_TRUE(capture::ConvertSample(V4L2_PIX_FMT_RGB24, rgb, sizeof(rgb), 8, 2, 2, out));
    const BYTE expectRgb[12] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10};
    EXPECT_EQ(0, memcmp(out, expectRgb, 12));
    ASSERT_TRUE(capture::ConvertSample(V4L2_PIX_FMT_BGR24, rgb, 14, 8, 2, 2, out));  // last row unpadded
    const BYTE expectBgr[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(0, memcmp(out, expectBgr, 12));
    BYTE flipped[12];
    capture::FlipRows(expectBgr, flipped, 2, 2);
    EXPECT_EQ(0, memcmp(flipped, expectBgr + 6, 6));
    // Refused: short sample, short stride, odd width for YUYV, another format.
    EXPECT_FALSE(capture::ConvertSample(V4L2_PIX_FMT_YUYV, yuyv, 11, 8, 2, 2, out));
    EXPECT_FALSE(capture::ConvertSample(V4L2_PIX_FMT_RGB24, rgb, sizeof(rgb), 5, 2, 2, out));
    EXPECT_FALSE(capture::ConvertSample(V4L2_PIX_FMT_YUYV, yuyv, sizeof(yuyv), 8, 1, 2, out));
    EXPECT_FALSE(capture::ConvertSample(V4L2_PIX_FMT_MJPEG, yuyv, sizeof(yuyv), 8, 2, 2, out));
}

TEST(CameraName, DeviceNamesBecomeGbk) {
    const char8_t card[32] = u8"前置摄像头 HD";
    EXPECT_EQ("前置摄像头 HD", capture::CardNameToGbk(reinterpret_cast<const char*>(card), sizeof(card)));
    const char full[4] = {'a', 'b', 'c', 'd'};  // a name that fills the field has no terminator
    EXPECT_EQ("abcd", capture::CardNameToGbk(full, sizeof(full)));
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
