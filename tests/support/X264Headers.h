// Test helper: the SPS and PPS that x264 writes for a given size and rate (units without start codes).
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <x264.h>
}

struct X264Headers {
    std::vector<uint8_t> sps, pps;
};

inline X264Headers MakeX264Headers(int width, int height, int fps, const char* profile, bool scalingLists = false,
                                   bool vui = true) {
    X264Headers out;
    x264_param_t p;
    x264_param_default_preset(&p, "veryfast", nullptr);
    p.i_threads = 1;
    p.i_width = width;
    p.i_height = height;
    p.i_fps_num = uint32_t(fps);
    p.i_fps_den = 1;
    p.b_vfr_input = 0;
    p.i_log_level = X264_LOG_NONE;
    p.b_annexb = 1;
    if (scalingLists) p.i_cqm_preset = X264_CQM_JVT;
    if (!vui) {
        p.i_timebase_num = 0;
        p.b_vfr_input = 1;
    }
    x264_param_apply_profile(&p, profile);
    x264_t* enc = x264_encoder_open(&p);
    if (!enc) return out;
    x264_nal_t* nals = nullptr;
    int count = 0;
    if (x264_encoder_headers(enc, &nals, &count) > 0) {
        for (int i = 0; i < count; ++i) {
            const uint8_t* d = nals[i].p_payload;
            int skip = (d[2] == 1) ? 3 : 4;
            std::vector<uint8_t> unit(d + skip, d + nals[i].i_payload);
            if (nals[i].i_type == NAL_SPS) out.sps = unit;
            else if (nals[i].i_type == NAL_PPS) out.pps = unit;
        }
    }
    x264_encoder_close(enc);
    return out;
}
