// Animated images: frames and delays.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestSupport.h"

using namespace DuiLib;

namespace {

// A GIF of 2x2 pixels with one frame per delay (hundredths of a second); every pixel is written as a literal
// code after a clear code, so the data needs no real compression.
// The logical screen may be larger than the frames.
std::string MakeGif(const std::vector<int>& delays, int screenW = 2, int screenH = 2) {
    std::string g = "GIF89a";
    auto u16 = [&](int v) { g += (char)(v & 0xFF); g += (char)((v >> 8) & 0xFF); };
    u16(screenW);
    u16(screenH);
    g += (char)0x80;  // global colour table of 2 entries
    g += (char)0;
    g += (char)0;
    g += std::string("\x00\x00\x00\xFF\xFF\xFF", 6);
    g += std::string("\x21\xFF\x0B" "NETSCAPE2.0" "\x03\x01\x00\x00\x00", 19);  // loop forever
    for (size_t f = 0; f < delays.size(); ++f) {
        g += std::string("\x21\xF9\x04\x00", 4);
        u16(delays[f]);
        g += std::string("\x00\x00", 2);
        g += (char)0x2C;
        u16(0);
        u16(0);
        u16(2);
        u16(2);
        g += (char)0;
        g += (char)2;  // minimum code size
        // Codes of 3 bits: clear(4) p clear p clear p clear p end(5).
        int px = (int)(f % 2);
        std::vector<int> codes = {4, px, 4, 1 - px, 4, px, 4, 1 - px, 5};
        std::string bytes;
        unsigned acc = 0;
        int bits = 0;
        for (int c : codes) {
            acc |= (unsigned)c << bits;
            bits += 3;
            while (bits >= 8) {
                bytes += (char)(acc & 0xFF);
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits) bytes += (char)(acc & 0xFF);
        g += (char)bytes.size();
        g += bytes;
        g += (char)0;
    }
    g += (char)0x3B;
    return g;
}

}  // namespace

TEST(Gif, FramesAndDelays) {
    struct Row {
        std::vector<int> delays;
        std::vector<int> expectMs;
    } rows[] = {
        {{10, 25}, {100, 250}},
        {{50, 50, 7}, {500, 500, 70}},
    };
    for (auto& r : rows) {
        std::string gif = MakeGif(r.delays);
        CGifHandler h;
        ASSERT_TRUE(h.LoadFromMemory(gif.data(), gif.size()));
        ASSERT_EQ(h.GetFrameCount(), (int)r.expectMs.size());
        for (int i = 0; i < h.GetFrameCount(); ++i) {
            EXPECT_EQ(h.GetFrameDelay(i), r.expectMs[(size_t)i]) << i;
            ASSERT_NE(h.GetFrameAt(i), nullptr);
            EXPECT_EQ(h.GetFrameAt(i)->nX, 2);
        }
        EXPECT_EQ(h.GetCurrentFrameIndex(), 0);
        for (int i = 1; i <= h.GetFrameCount(); ++i) EXPECT_EQ(h.NextFrame(), i % h.GetFrameCount());
    }
}

TEST(Gif, BadDataAndStillImages) {
    CGifHandler h;
    EXPECT_FALSE(h.LoadFromMemory("GIF89a", 6));
    EXPECT_FALSE(h.LoadFromMemory(nullptr, 0));
    std::string gif = MakeGif({10, 10});
    EXPECT_FALSE(h.LoadFromMemory(gif.data(), 20));  // cut short
    EXPECT_EQ(h.GetFrameCount(), 0);
    EXPECT_EQ(h.GetCurrentFrame(), nullptr);
    EXPECT_EQ(h.NextFrame(), 0);
    std::string one = MakeGif({0});
    ASSERT_TRUE(h.LoadFromMemory(one.data(), one.size()));
    EXPECT_EQ(h.GetFrameCount(), 1);
    EXPECT_EQ(GetGif("/no/such/file.gif", nullptr), nullptr);
}

TEST(Gif, OversizedScreensAreRefusedBeforeDecoding) {
    // 60000 x 60000 pixels would need 14 GB; so would one side beyond what a surface can hold.
    for (auto [w, h] : {std::pair{60000, 60000}, std::pair{40000, 1}}) {
        std::string gif = MakeGif({10, 10}, w, h);
        CGifHandler g;
        EXPECT_FALSE(g.LoadFromMemory(gif.data(), gif.size())) << w << "x" << h;
        EXPECT_EQ(CRenderEngine::LoadImageData(gif.data(), gif.size()), nullptr);
    }
    // A frame of no width is refused too.
    std::string empty = MakeGif({10});
    empty[13 + 6 + 19 + 8 + 5] = 0;  // the frame's width, low byte
    empty[13 + 6 + 19 + 8 + 6] = 0;
    EXPECT_FALSE(CGifHandler().LoadFromMemory(empty.data(), empty.size()));
    std::string ok = MakeGif({10, 10}, 300, 200);
    CGifHandler g;
    ASSERT_TRUE(g.LoadFromMemory(ok.data(), ok.size()));
    EXPECT_EQ(g.GetFrameCount(), 2);
    EXPECT_EQ(g.GetFrameAt(1)->nX, 300);
    std::unique_ptr<TImageInfo> still(CRenderEngine::LoadImageData(ok.data(), ok.size()));
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(still->nY, 200);
}
