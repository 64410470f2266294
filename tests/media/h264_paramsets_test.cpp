#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "H264ParamSets.h"
#include "X264Headers.h"

using Bytes = std::vector<BYTE>;

TEST(H264ParamSets, KnownBaselineSps) {
    // x264, preset veryfast, baseline, 320x240 at 10 fps.
    const Bytes sps = {0x67, 0x42, 0xc0, 0x0b, 0xda, 0x05, 0x07, 0xe8, 0x40, 0x00, 0x00,
                       0x03, 0x00, 0x40, 0x00, 0x00, 0x05, 0x03, 0xc5, 0x0a, 0xa8};
    SPS s;
    ASSERT_EQ(0, ReadSps(sps.data(), int(sps.size()), s));
    EXPECT_EQ(s.profile_idc, 66u);
    EXPECT_EQ(s.level_idc, 11u);
    EXPECT_EQ(SpsWidth(s), 320);
    EXPECT_EQ(SpsHeight(s), 240);
    EXPECT_EQ(s.time_scale, 20u);
    EXPECT_EQ(s.num_units_in_tick, 1u);
    EXPECT_EQ(SpsFrameRate(s), 10u);
    // Every truncation fails cleanly.
    for (int len = 0; len < 18; ++len) EXPECT_EQ(-1, ReadSps(sps.data(), len, s)) << len;
    EXPECT_EQ(-1, ReadSps(nullptr, 10, s));
}

TEST(H264ParamSets, X264StreamsOfSeveralSizes) {
    struct Row {
        int w, h, fps;
        const char* profile;
        bool cqm;
        int expW, expH;
        bool cropped;
    };
    const Row rows[] = {
        {160, 120, 10, "baseline", false, 160, 128, true},  {320, 240, 10, "baseline", false, 320, 240, false},
        {176, 144, 15, "baseline", false, 176, 144, false}, {640, 480, 30, "main", false, 640, 480, false},
        {1280, 720, 25, "high", false, 1280, 720, false},   {1920, 1080, 30, "high", true, 1920, 1088, true},
        {352, 288, 12, "high", true, 352, 288, false},      {330, 250, 10, "baseline", false, 336, 256, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.w << "x" << r.h << " " << r.profile);
        const X264Headers hdr = MakeX264Headers(r.w, r.h, r.fps, r.profile, r.cqm);
        ASSERT_FALSE(hdr.sps.empty());
        SPS s;
        ASSERT_EQ(0, ReadSps(hdr.sps.data(), int(hdr.sps.size()), s));
        EXPECT_EQ(SpsWidth(s), r.expW);
        EXPECT_EQ(SpsHeight(s), r.expH);
        EXPECT_EQ(s.frame_cropping_flag, r.cropped ? 1u : 0u);
        EXPECT_EQ(s.vui_parameters_present_flag, 1u);
        EXPECT_EQ(s.timing_info_present_flag, 1u);
        EXPECT_EQ(SpsFrameRate(s), unsigned(r.fps));
        if (std::string(r.profile) == "high") {
            EXPECT_EQ(s.chroma_format_idc, 1u);
        }
        if (r.cropped) {
            const unsigned cropH = (s.frame_crop_top_offset + s.frame_crop_bottom_offset) * 2;
            const unsigned cropW = (s.frame_crop_left_offset + s.frame_crop_right_offset) * 2;
            EXPECT_EQ(unsigned(r.expH - r.h), cropH);
            EXPECT_EQ(unsigned(r.expW - r.w), cropW);
        }
        PPS p;
        ASSERT_EQ(0, ReadPps(hdr.pps.data(), int(hdr.pps.size()), p));
        EXPECT_EQ(p.seq_parameter_set_id, s.seq_parameter_set_id);
        EXPECT_EQ(p.entropy_coding_mode_flag, std::string(r.profile) == "baseline" ? 0u : 1u);
    }
}

TEST(H264ParamSets, NoTimingGivesRateZero) {
    // Hand-made baseline SPS without VUI: 320x240.
    SPS s;
    const Bytes noVui = {0x67, 0x42, 0x00, 0x1e, 0xf4, 0x0a, 0x0f, 0xc8};
    ASSERT_EQ(0, ReadSps(noVui.data(), int(noVui.size()), s));
    EXPECT_EQ(SpsWidth(s), 320);
    EXPECT_EQ(SpsHeight(s), 240);
    EXPECT_EQ(s.vui_parameters_present_flag, 0u);
    EXPECT_EQ(SpsFrameRate(s), 0u);
}

TEST(H264ParamSets, HighProfileScalingLists) {
    // profile 100, 4:2:0, list 0 signalled as "use default", list 6 flat 16, no VUI, 320x240.
    const Bytes sps = {0x67, 100,  0,    30,   0xad, 0x84, 0x41, 0x08, 0x7f, 0xff,
                       0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x74, 0x0a, 0x0f, 0xc8};
    SPS s;
    ASSERT_EQ(0, ReadSps(sps.data(), int(sps.size()), s));
    EXPECT_EQ(s.chroma_format_idc, 1u);
    EXPECT_EQ(s.seq_scaling_matrix_present_flag, 1u);
    EXPECT_EQ(s.UseDefaultScalingMatrix4x4Flag[0], 1u);
    EXPECT_EQ(s.seq_scaling_list_present_flag[6], 1u);
    EXPECT_EQ(s.ScalingList8x8[0][0], 16);
    EXPECT_EQ(s.ScalingList8x8[0][63], 16);
    EXPECT_EQ(SpsWidth(s), 320);
    EXPECT_EQ(SpsHeight(s), 240);
    EXPECT_EQ(SpsFrameRate(s), 0u);
    for (size_t len = 4; len < 16; ++len) EXPECT_EQ(-1, ReadSps(sps.data(), int(len), s)) << len;
}

TEST(H264ParamSets, EmulationPrevention) {
    struct Row {
        Bytes in;
        Bytes out;
    };
    const Row rows[] = {
        {{0x67, 0x00, 0x00, 0x03, 0x01}, {0x00, 0x00, 0x01}},
        {{0x67, 0x11, 0x03, 0x22}, {0x11, 0x03, 0x22}},
        {{0x67, 0x00, 0x03, 0x00}, {0x00, 0x03, 0x00}},
        {{0x67, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03}, {0x00, 0x00, 0x00, 0x00}},
        {{0x67}, {}},
    };
    for (const Row& r : rows) {
        BYTE out[16];
        const int n = UnescapeRbsp(r.in.data(), int(r.in.size()), out, 16);
        EXPECT_EQ(Bytes(out, out + n), r.out);
    }
    // The work limit is honoured.
    const Bytes big(2000, 0x55);
    std::vector<BYTE> out(600, 0xEE);
    EXPECT_EQ(509, UnescapeRbsp(big.data(), int(big.size()), out.data(), 509));
    EXPECT_EQ(out[509], 0xEE);
}

TEST(H264ParamSets, BitReaderLimits) {
    const BYTE zeros[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    CBitReader a(zeros, 8);
    a.ReadUe();  // 64 leading zeros: refused, not overflowed
    EXPECT_TRUE(a.Error());
    const BYTE ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    CBitReader b(ones, 4);
    EXPECT_EQ(b.ReadBits(32), 0xFFFFFFFFu);
    EXPECT_FALSE(b.Error());
    EXPECT_EQ(b.ReadBits(1), 0u);
    EXPECT_TRUE(b.Error());
    // se: 1 -> 0, 010 -> 1, 011 -> -1, 00100 -> 2, 00101 -> -2
    const BYTE se[3] = {0b10100110, 0b01000010, 0b10000000};
    CBitReader c(se, 3);
    EXPECT_EQ(c.ReadSe(), 0);
    EXPECT_EQ(c.ReadSe(), 1);
    EXPECT_EQ(c.ReadSe(), -1);
    EXPECT_EQ(c.ReadSe(), 2);
    EXPECT_EQ(c.ReadSe(), -2);
    EXPECT_FALSE(c.Error());
}

TEST(H264ParamSets, HostileSets) {
    SPS s;
    PPS p;
    // High profile with 8 scaling lists, each delta a huge se value; a pic_order_cnt_type 1 cycle of
    // 10000 entries; sizes beyond the standard.
    const Bytes rows[] = {
        {0x67, 100, 0, 30, 0x88, 0xFF, 0xFF},
        {0x67, 66, 0, 30, 0xB0, 0x00, 0x00, 0x00, 0x4E, 0x20},
        {0x67, 66, 0, 30, 0xF8, 0x00, 0x00, 0x00, 0x01},
        {0x67, 66, 0, 30, 0x00, 0x00, 0x00, 0x00, 0x00},
    };
    for (const Bytes& r : rows) EXPECT_EQ(-1, ReadSps(r.data(), int(r.size()), s));
    // Random bytes: never a crash, and a success always gives sane sizes.
    std::mt19937 rng(7);
    for (int i = 0; i < 20000; ++i) {
        Bytes b(size_t(rng() % 64 + 1));
        for (BYTE& x : b) x = BYTE(rng());
        if (ReadSps(b.data(), int(b.size()), s) == 0) {
            EXPECT_LE(SpsWidth(s), 16384);
            EXPECT_LE(SpsHeight(s), 16384);
        }
        ReadPps(b.data(), int(b.size()), p);
    }
    EXPECT_EQ(-1, ReadPps(nullptr, 3, p));
    const BYTE pps0[1] = {0x68};
    EXPECT_EQ(-1, ReadPps(pps0, 1, p));
}
