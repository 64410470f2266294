// The H.264 decoder layer on streams made by ffmpeg's x264.
#include "ChildProcess.h"
#include "Unpix.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Encodes `frames` test-pattern frames of w x h with x264 into an Annex-B byte string.
std::vector<uint8_t> MakeH264(int w, int h, int frames, const std::string& extra = "") {
    char name[] = "/tmp/varnet-unpix-XXXXXX";
    int fd = mkstemp(name);
    close(fd);
    std::string out = std::string(name) + ".h264";
    testenv::ChildProcess p;
    std::vector<std::string> args = {
        "ffmpeg",     "-loglevel",
        "error",      "-y",
        "-f",         "lavfi",
        "-i",         "testsrc=size=" + std::to_string(w) + "x" + std::to_string(h) + ":rate=10",
        "-frames:v",  std::to_string(frames),
        "-c:v",       "libx264",
        "-profile:v", "baseline",
        "-pix_fmt",   "yuv420p"};
    if (!extra.empty()) {
        args.push_back("-x264-params");
        args.push_back(extra);
    }
    args.push_back(out);
    std::vector<uint8_t> data;
    if (p.Start(args) && p.Wait(30000) == 0) {
        std::ifstream in(out, std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), {});
    }
    unlink(name);
    unlink(out.c_str());
    return data;
}

// Splits Annex-B data at start codes; each unit keeps its start code.
std::vector<std::vector<uint8_t>> SplitUnits(const std::vector<uint8_t>& d) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= d.size(); ++i) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            starts.push_back(i > 0 && d[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    }
    std::vector<std::vector<uint8_t>> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        size_t end = k + 1 < starts.size() ? starts[k + 1] : d.size();
        units.emplace_back(d.begin() + long(starts[k]), d.begin() + long(end));
    }
    return units;
}

struct Case {
    int w, h, codedH;
};

class UnpixSizes : public ::testing::TestWithParam<Case> {};

TEST_P(UnpixSizes, EveryFrameDecodesAtTheCodedSize) {
    const Case c = GetParam();
    auto data = MakeH264(c.w, c.h, 12);
    if (data.empty()) GTEST_SKIP() << "ffmpeg with x264 is not available";
    Unpix dec;
    ASSERT_EQ(0, dec.Initialize());
    std::vector<uint8_t> pic(Unpix::kDefaultCapacity);
    int pictures = 0;
    for (auto& u : SplitUnits(data)) {
        int size = int(pic.size());
        bool got = false;
        EXPECT_EQ(int(u.size()), dec.Decode(u.data(), int(u.size()), pic.data(), size, got));
        if (got) {
            ++pictures;
            EXPECT_EQ(c.w * c.codedH * 3 / 2, size);
        }
    }
    EXPECT_EQ(12, pictures);
    EXPECT_EQ(c.w, dec.Width());
    EXPECT_EQ(c.codedH, dec.Height());
}

// Decoding in place gives the pictures Decode copies out, plane by plane through the strides, under the
// same size rules.
TEST_P(UnpixSizes, InPlacePicturesAreTheCopiedOnes) {
    const Case c = GetParam();
    auto data = MakeH264(c.w, c.h, 12);
    if (data.empty()) GTEST_SKIP() << "ffmpeg with x264 is not available";
    Unpix copying, inPlace;
    ASSERT_EQ(0, copying.Initialize());
    ASSERT_EQ(0, inPlace.Initialize());
    std::vector<uint8_t> pic(Unpix::kDefaultCapacity);
    int pictures = 0;
    for (auto& u : SplitUnits(data)) {
        int size = int(pic.size()), viewSize = int(pic.size());
        bool got = false, viewGot = false;
        UnpixPicture view;
        copying.Decode(u.data(), int(u.size()), pic.data(), size, got);
        EXPECT_EQ(int(u.size()), inPlace.DecodeInPlace(u.data(), int(u.size()), view, viewSize, viewGot));
        ASSERT_EQ(got, viewGot);
        ASSERT_EQ(size, viewSize);
        if (!got) continue;
        ++pictures;
        EXPECT_EQ(nullptr, view.packed);
        const uint8_t* at = pic.data();
        for (int plane = 0; plane < 3; ++plane) {
            const int pw = plane ? c.w / 2 : c.w, ph = plane ? c.codedH / 2 : c.codedH;
            for (int y = 0; y < ph; ++y, at += pw)
                ASSERT_EQ(0, memcmp(at, view.plane[plane] + long(y) * view.stride[plane], size_t(pw)))
                    << plane << " " << y;
        }
    }
    EXPECT_EQ(12, pictures);
    EXPECT_EQ(c.codedH, inPlace.Height());
    int needed = 0;  // too small a capacity: refused with what it needed
    for (auto& u : SplitUnits(MakeH264(c.w, c.h, 1))) {
        int size = 1000;
        bool got = false;
        UnpixPicture view;
        inPlace.DecodeInPlace(u.data(), int(u.size()), view, size, got);
        EXPECT_FALSE(got);
        needed = std::max(needed, size);
    }
    EXPECT_EQ(c.w * c.codedH * 3 / 2, needed);
}

INSTANTIATE_TEST_SUITE_P(Sizes, UnpixSizes, ::testing::Values(Case{320, 240, 240}, Case{160, 120, 128}));

TEST(Unpix, RefusesPicturesLargerThanTheBufferAndSurvivesGarbage) {
    auto data = MakeH264(320, 240, 2);
    if (data.empty()) GTEST_SKIP() << "ffmpeg with x264 is not available";
    Unpix dec;
    int size = 0;
    bool got = true;
    EXPECT_EQ(-1, dec.Decode(data.data(), int(data.size()), nullptr, size, got));  // not initialised
    ASSERT_EQ(0, dec.Initialize());
    std::vector<uint8_t> small(1000);
    int pictures = 0;
    int refusedSize = 0;
    for (auto& u : SplitUnits(data)) {
        size = int(small.size());
        dec.Decode(u.data(), int(u.size()), small.data(), size, got);
        pictures += got;
        refusedSize = std::max(refusedSize, size);
    }
    EXPECT_EQ(0, pictures);
    EXPECT_EQ(320 * 240 * 3 / 2, refusedSize);  // what the refused pictures needed
    srand(7);
    std::vector<uint8_t> junk(5000);
    std::vector<uint8_t> pic(Unpix::kDefaultCapacity);
    for (int round = 0; round < 50; ++round) {
        for (auto& b : junk) b = uint8_t(rand());
        junk[0] = 0;
        junk[1] = 0;
        junk[2] = 0;
        junk[3] = 1;
        size = 0;
        EXPECT_EQ(int(junk.size()), dec.Decode(junk.data(), int(junk.size()), pic.data(), size, got));
    }
    EXPECT_EQ(-1, dec.Decode(junk.data(), 0, pic.data(), size, got));
    dec.Destroy();
    dec.Destroy();
}

}  // namespace
