// Video views: the scaler against a reference, the frame buffer rules, routing into a destroyed view,
// the meter, the overlay placement, the strip's hit test and the settings preview's level.
#include "MicLink.h"
#include "UIControls.h"
#include "VideoDataCB.h"
#include "VideoShowVoiceWnd.h"
#include "Win32Window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

namespace {

struct MemoryPresenter : IVideoPresenter {
    std::mutex m;
    mic::Image32 last;
    void Present(const mic::Image32& p) override {
        std::lock_guard<std::mutex> lock(m);
        last = p;
    }
    uint32_t At(int x, int y) {
        std::lock_guard<std::mutex> lock(m);
        return last.Empty() ? 0 : last.pixels[y * last.width + x];
    }
};

// The scaler's rule computed independently, in double.
int Reference(const std::vector<uint8_t>& src, int sw, int sh, int i, int j, int H, int W, int c) {
    double y = double(sh - 1) * i / H, x = double(sw - 1) * j / W;
    int y0 = int(y), x0 = int(x), y1 = std::min(y0 + 1, sh - 1), x1 = std::min(x0 + 1, sw - 1);
    double fy = y - y0, fx = x - x0;
    auto p = [&](int yy, int xx) { return double(src[(yy * sw + xx) * 3 + c]); };
    return int((p(y0, x0) * (1 - fx) + p(y0, x1) * fx) * (1 - fy) + (p(y1, x0) * (1 - fx) + p(y1, x1) * fx) * fy);
}

TEST(MicVideo, BilinearScalingMatchesTheReferenceForOddSizes) {
    // The last ones run the vector passes too (rows of 16 values and more, 8 target pixels and more).
    const int sizes[][4] = {{1, 1, 4, 4}, {1, 5, 3, 7}, {5, 1, 7, 3},     {3, 3, 5, 3},
                            {7, 5, 2, 9}, {2, 2, 1, 1}, {37, 29, 45, 23}, {320, 240, 246, 185}};
    for (const auto& s : sizes) {
        int sw = s[0], sh = s[1];
        std::vector<uint8_t> src(sw * sh * 3);
        for (size_t k = 0; k < src.size(); ++k) src[k] = static_cast<uint8_t>(k * 37 + 11);
        mic::Image32 dst;
        dst.Create(s[2], s[3]);
        mic::ScaleBilinear(src.data(), sw, sh, sw * 3, dst);
        for (int i = 0; i < dst.height; ++i) {
            for (int j = 0; j < dst.width; ++j) {
                uint32_t px = dst.pixels[i * dst.width + j];
                EXPECT_EQ(0xFFu, px >> 24);
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(Reference(src, sw, sh, i, j, dst.height, dst.width, c), int((px >> (8 * c)) & 0xFF), 1)
                        << sw << "x" << sh << " -> " << dst.width << "x" << dst.height << " at " << i << "," << j;
                }
            }
        }
    }
}

class MicVideoWnd : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Win32Init()); }
};

TEST_F(MicVideoWnd, FramesNeedTheFormatPassAndClearingShowsTheBackground) {
    CVideoShowWnd view;
    auto presenter = std::make_shared<MemoryPresenter>();
    view.SetPresenter(presenter);
    DuiLib::RECT rc;
    rc.left = 0, rc.top = 0, rc.right = 9, rc.bottom = 5;
    ASSERT_EQ(1, view.Create(nullptr, &rc, ""));
    EXPECT_EQ(1, view.Create(nullptr, &rc, ""));

    std::vector<BYTE> frame(3 * 3 * 3, 0);
    for (size_t k = 0; k < frame.size(); k += 3) frame[k + 2] = 200;  // red
    view.InputFrame(static_cast<long>(frame.size()), frame.data());   // before any format, so no buffer: dropped
    EXPECT_TRUE(view.IsShowingBackground());
    ASSERT_TRUE(view.SetFrameFormat(3, 3, 24));
    EXPECT_FALSE(view.SetFrameFormat(3, 3, 24));
    ASSERT_TRUE(PumpUntil([&] { return (view.GetRedraw() & CVideoShowWnd::kRedrawFormat) == 0; }, 5000));
    std::vector<BYTE> big(4 * 4 * 3, 0);
    view.InputFrame(static_cast<long>(big.size()), big.data());  // larger than the buffer: dropped
    EXPECT_TRUE(view.IsShowingBackground());
    view.InputFrame(static_cast<long>(frame.size()), frame.data());
    EXPECT_FALSE(view.IsShowingBackground());
    EXPECT_TRUE(PumpUntil([&] { return presenter->At(4, 2) == 0xFFC80000u; }, 5000)) << std::hex << presenter->At(4, 2);

    view.ClearFrame();
    EXPECT_TRUE(view.IsShowingBackground());
    EXPECT_TRUE(PumpUntil([&] { return presenter->At(4, 2) == 0xFFFFFFFFu; }, 5000));  // no picture: white
    view.Destroy();
    view.InputFrame(static_cast<long>(frame.size()), frame.data());  // after Destroy: dropped, no crash
}

// A view draws when something comes and not otherwise; a resize scales the newest frame again.
TEST_F(MicVideoWnd, DrawsOnlyWhatComesAndAResizeShowsTheNewestFrame) {
    CVideoShowWnd view;
    auto presenter = std::make_shared<MemoryPresenter>();
    view.SetPresenter(presenter);
    DuiLib::RECT rc;
    rc.left = 0, rc.top = 0, rc.right = 9, rc.bottom = 5;
    ASSERT_EQ(1, view.Create(nullptr, &rc, ""));
    ASSERT_TRUE(view.SetFrameFormat(3, 3, 24));
    ASSERT_TRUE(PumpUntil([&] { return (view.GetRedraw() & CVideoShowWnd::kRedrawFormat) == 0; }, 5000));
    std::vector<BYTE> red(3 * 3 * 3, 0), blue(3 * 3 * 3, 0);
    for (size_t k = 0; k < red.size(); k += 3) red[k + 2] = 200, blue[k] = 200;
    view.InputFrame(long(red.size()), red.data());
    ASSERT_TRUE(PumpUntil([&] { return presenter->At(4, 2) == 0xFFC80000u; }, 5000));
    view.InputFrame(long(blue.size()), blue.data());
    ASSERT_TRUE(PumpUntil([&] { return presenter->At(4, 2) == 0xFF0000C8u; }, 5000));
    // Quiet once what came is drawn: no picture for a second.
    unsigned long count = view.PresentCount();
    auto quiet = [&](unsigned ms) {
        for (auto start = std::chrono::steady_clock::now();
             std::chrono::steady_clock::now() - start < std::chrono::milliseconds(ms);) {
            PumpMessagesFor(20);
            if (view.PresentCount() != count) return count = view.PresentCount(), false;
        }
        return true;
    };
    ASSERT_TRUE(PumpUntil([&] { return quiet(500); }, 10000));
    EXPECT_TRUE(quiet(1000)) << "pictures drawn with nothing new";
    rc.right = 12, rc.bottom = 6;
    view.SetWindowRect(&rc);
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::lock_guard<std::mutex> lock(presenter->m);
            return presenter->last.width == 12 && presenter->last.pixels[3 * 12 + 6] == 0xFF0000C8u;
        },
        5000));
    view.Destroy();
}

TEST_F(MicVideoWnd, FramesRoutedWhileTheViewIsDestroyedAndRecreatedAreSafe) {
    CVideoShowVoiceWnd view;
    DuiLib::RECT rc;
    rc.right = 32, rc.bottom = 24;
    ASSERT_EQ(1, view.Create(nullptr, &rc, ""));
    std::atomic<bool> run{true};
    std::thread media([&] {
        std::vector<BYTE> frame(16 * 12 * 3, 90);
        BITMAPINFOHEADER h;
        h.biWidth = 16, h.biHeight = 12, h.biBitCount = 24;
        short samples[9] = {100, 2000, 30000, 0, 1, 2, 3, 4, 5};
        while (run) {
            CMicLink::RouteVideo(frame.data(), &h, &view);
            view.SetVoiceSamples(samples);
        }
    });
    for (int i = 0; i < 20; ++i) {
        PumpMessagesFor(5);
        view.Destroy();
        ASSERT_EQ(1, view.Create(nullptr, &rc, ""));
    }
    run = false;
    media.join();
    view.Destroy();
}

TEST(MicVideo, MeterBarsFollowTheLevels) {
    struct Row {
        short sample;
        int height;
    } rows[] = {{32767, 17}, {-32768, 18}, {0, 0}, {16384, 16}, {1, 1}};
    for (const Row& r : rows) {
        short s[9];
        for (short& v : s) v = r.sample;
        mic::Image32 meter;
        CVideoShowVoiceWnd::PaintMeter(s, meter);
        for (int bar = 0; bar < 9; ++bar) {
            int h = 0;
            for (int y = 0; y < 18; ++y) h += (meter.pixels[y * 26 + 3 * bar] >> 24) != 0;
            EXPECT_EQ(r.height, h) << r.sample;
            if (bar < 8) EXPECT_EQ(0u, meter.pixels[17 * 26 + 3 * bar + 2]);  // the gap stays transparent
        }
    }
}

TEST(MicVideo, OverlaysAreClippedToTheView) {
    mic::Image32 icon, target;
    icon.Create(10, 10, 0xFF112233u);
    target.Create(6, 6, 0xFF000000u);
    mic::BlendOnto(icon, target, -3, -4);  // overlapping the top-left corner
    mic::BlendOnto(icon, target, 4, 4);
    EXPECT_EQ(0xFF112233u, target.pixels[0]);
    EXPECT_EQ(0xFF112233u, target.pixels[35]);
    mic::Image32 half;
    half.Create(1, 1, 0x80FFFFFFu);
    mic::Image32 one;
    one.Create(1, 1, 0xFF000000u);
    mic::BlendOnto(half, one, 0, 0);
    EXPECT_EQ(0xFF7F7F7Fu, one.pixels[0]);  // ((127 * 1) >> 8) + 255 * 128 / 256
}

TEST(MicVideo, StripButtonsAreCountedFromTheRight) {
    const int rows[][3] = {{230, 230, 0},  {233, 230, -1}, {207, 230, 1}, {150, 230, -1},
                           {230, 100, -1}, {240, 230, -1}, {184, 230, 2}};
    for (const auto& r : rows)
        EXPECT_EQ(r[2], CVideoShowControlWnd::HitTest(r[0], r[1], 236, 240, 3)) << r[0] << "," << r[1];
}

// The level rule alone; the settings dialog's meter takes it through the real capture path
// (SettingsTest.DeviceListsAndStoredNames).
TEST(MicVideo, PreviewLevelIsTheMeanOfTheFirstHundredSamples) {
    std::vector<short> pcm(2048, 0);
    for (int i = 0; i < 100; ++i) pcm[i] = i < 50 ? 32767 : 0;  // 50 samples of ~100, 50 of 0
    for (int i = 100; i < 2048; ++i) pcm[i] = 32767;
    EXPECT_EQ(49, CVideoDataCB::ChunkLevel(reinterpret_cast<BYTE*>(pcm.data()), 4096));
    EXPECT_EQ(-1, CVideoDataCB::ChunkLevel(reinterpret_cast<BYTE*>(pcm.data()), 1));
}

struct StripOwner : IVideoShowControlCallBack {
    std::vector<int> clicks;
    bool IsControlActive(int index) override { return index == 0 || index == 1; }
    void OnClickControl(int index) override { clicks.push_back(index); }
    void OnDblClickControl(int) override {}
    void OnPaintControl(DuiLib::HDC, int, int, int, bool) override {}
};

TEST_F(MicVideoWnd, StripFollowsTheMouseAndClicksActiveButtons) {
    CVideoShowControlWnd view;
    StripOwner owner;
    view.SetCallBack(&owner);
    DuiLib::RECT rc;
    rc.right = 236, rc.bottom = 180;
    ASSERT_EQ(1, view.Create(nullptr, &rc, "", 3));
    HWND h = view.GetHWND();
    EXPECT_EQ(HTCLIENT, SendMessage(h, WM_NCHITTEST, 0, 0));
    SendMessage(h, WM_MOUSEMOVE, 0, MAKELPARAM(230, 170));
    EXPECT_FALSE(view.IsMouseInside());  // the strip is off
    view.SetStripEnabled(true);
    SendMessage(h, WM_MOUSEMOVE, 0, MAKELPARAM(230, 170));
    EXPECT_TRUE(view.IsMouseInside());
    EXPECT_EQ(0, view.GetHoverIndex());
    SendMessage(h, WM_SETCURSOR, 0, MAKELPARAM(230, 170));
    EXPECT_EQ(1, view.GetCursor());
    SendMessage(h, WM_LBUTTONDOWN, 0, MAKELPARAM(230, 170));
    SendMessage(h, WM_LBUTTONUP, 0, MAKELPARAM(230, 170));
    SendMessage(h, WM_MOUSEMOVE, 0, MAKELPARAM(184, 170));  // button 2: not active
    SendMessage(h, WM_SETCURSOR, 0, MAKELPARAM(184, 170));
    EXPECT_EQ(0, view.GetCursor());
    SendMessage(h, WM_LBUTTONDOWN, 0, MAKELPARAM(184, 170));
    SendMessage(h, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(view.IsMouseInside());
    EXPECT_EQ(std::vector<int>{0}, owner.clicks);
    view.Destroy();
}

}  // namespace
