// Animated images: frames and delays.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TestGif.h"
#include "UiTestSupport.h"
#include "TestUtil.h"

using namespace DuiLib;

namespace {

using testsupport::MakeGif;

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

namespace {

// A small picture saved by gdk-pixbuf in `format`; empty when it has no writer for it.
std::string Saved(const char* format, int w, int h) {
    GdkPixbuf* pb = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, w, h);
    gdk_pixbuf_fill(pb, 0x336699FF);
    gchar* buf = nullptr;
    gsize len = 0;
    bool ok = gdk_pixbuf_save_to_buffer(pb, &buf, &len, format, nullptr, nullptr);
    g_object_unref(pb);
    std::string out = ok ? std::string(buf, len) : std::string();
    g_free(buf);
    return out;
}

void Put16(std::string& s, size_t at, unsigned v, bool bigEndian) {
    s[at + (bigEndian ? 1 : 0)] = (char)(v & 0xFF);
    s[at + (bigEndian ? 0 : 1)] = (char)((v >> 8) & 0xFF);
}

// The same file with the size in its header replaced.
std::string Claiming(std::string f, const std::string& format, unsigned w, unsigned h) {
    if (format == "png") {
        for (int i = 0; i < 4; ++i) {
            f[16 + i] = (char)(w >> (24 - 8 * i));
            f[20 + i] = (char)(h >> (24 - 8 * i));
        }
    } else if (format == "bmp") {
        for (int i = 0; i < 4; ++i) {
            f[18 + i] = (char)(w >> (8 * i));
            f[22 + i] = (char)(h >> (8 * i));
        }
    } else if (format == "jpeg") {
        for (size_t i = 2; i + 9 < f.size(); ++i)
            if ((unsigned char)f[i] == 0xFF && ((unsigned char)f[i + 1] == 0xC0 || (unsigned char)f[i + 1] == 0xC2)) {
                Put16(f, i + 5, h, true);
                Put16(f, i + 7, w, true);
                break;
            }
    }
    return f;
}

}  // namespace

// Every picture passes one path that reads the size from the header before any decoder runs.
TEST(Images, SizesAreReadFromTheHeaderBeforeDecoding) {
    for (const char* format : {"png", "jpeg", "bmp"}) {
        std::string file = Saved(format, 40, 30);
        ASSERT_FALSE(file.empty()) << format;
        TImageHeader h;
        ASSERT_TRUE(ReadImageHeader(file.data(), file.size(), h)) << format;
        EXPECT_STREQ(h.format, format);
        EXPECT_EQ(h.width, 40);
        EXPECT_EQ(h.height, 30);
        std::unique_ptr<TImageInfo> img(CRenderEngine::LoadImageData(file.data(), file.size()));
        ASSERT_NE(img, nullptr) << format;
        EXPECT_EQ(img->nX, 40);
        struct Row {
            unsigned w, h;
            bool ok;
        } rows[] = {{60000, 60000, false}, {16384, 16384, false}, {8193, 1, false},
                    {4097, 4096, false},   {0, 30, false},        {40, 30, true}};
        for (const Row& r : rows) {
            std::string claim = Claiming(file, format, r.w, r.h);
            ASSERT_TRUE(ReadImageHeader(claim.data(), claim.size(), h)) << format;
            EXPECT_EQ(h.width, r.w) << format;
            EXPECT_EQ(ImageHeaderAllowed(h), r.ok) << format << " " << r.w << "x" << r.h;
            if (!r.ok) {
                EXPECT_EQ(CRenderEngine::LoadImageData(claim.data(), claim.size()), nullptr) << format;
                // The header alone, as a hostile server sends it.
                EXPECT_EQ(CRenderEngine::LoadImageData(claim.data(), std::min<size_t>(claim.size(), 200)), nullptr);
            }
        }
    }
    // Formats whose size is not read here never reach a decoder.
    for (const char* format : {"tiff", "ico"}) {
        std::string file = Saved(format, 16, 16);
        if (file.empty()) continue;
        TImageHeader h;
        EXPECT_FALSE(ReadImageHeader(file.data(), file.size(), h)) << format;
        EXPECT_EQ(CRenderEngine::LoadImageData(file.data(), file.size()), nullptr) << format;
    }
    // A JPEG with no frame header before its data, and cut headers.
    std::string jpeg = Saved("jpeg", 8, 8);
    TImageHeader h;
    for (size_t cut : {size_t(3), size_t(20), size_t(100)})
        EXPECT_FALSE(ReadImageHeader(jpeg.data(), std::min(cut, jpeg.size()), h) && h.width == 8) << cut;
    EXPECT_FALSE(ReadImageHeader("\xFF\xD8\xFF\xDA\x00\x02", 6, h));
}

// An animation is refused before decoding when its frames, counted in the file, are too many or too large.
TEST(Images, AnimationsAreBoundedByTheirFramesBeforeDecoding) {
    struct Row {
        int frames, screenW, screenH, frameSide;
        bool ok;
    } rows[] = {
        {CGifHandler::kMaxFrames, 2, 2, 2, true},
        {CGifHandler::kMaxFrames + 1, 2, 2, 2, false},
        {100000, 2, 2, 2, false},
        {1000, 256, 256, 2, true},
        {1025, 256, 256, 2, false},  // 64M pixels once every frame is composed at the screen size
        {1, 2, 2, 8000, true},
        {2, 2, 2, 8000, false},  // frames larger than their screen count at their own size
        {1, 2, 2, 8193, false},
    };
    for (const Row& r : rows) {
        std::string gif = MakeGif(std::vector<int>((size_t)r.frames, 1), r.screenW, r.screenH, r.frameSide);
        TImageHeader h;
        ASSERT_TRUE(ReadImageHeader(gif.data(), gif.size(), h));
        EXPECT_EQ(h.frames, r.frames);
        EXPECT_EQ(ImageHeaderAllowed(h), r.ok) << r.frames;
        if (r.ok) continue;  // decoding the allowed ones is slow under the sanitizers, and tested above
        CGifHandler g;
        EXPECT_FALSE(g.LoadFromMemory(gif.data(), gif.size())) << r.frames;
        EXPECT_EQ(CRenderEngine::LoadImageData(gif.data(), gif.size()), nullptr);
    }
}
