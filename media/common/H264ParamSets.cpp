#include "H264ParamSets.h"

#include <cstring>

#include "DebugLog.h"

namespace {

constexpr int kWorkBytes = 512;
constexpr int kWorkLimit = 509;

// Standard limits; beyond them a set is refused rather than read on.
constexpr uint32_t kMaxSpsId = 31;
constexpr uint32_t kMaxPpsId = 255;
constexpr uint32_t kMaxMbs = 1023;  // up to 16368 pixels a side
constexpr uint32_t kMaxLog2Minus4 = 12;
constexpr uint32_t kMaxPocCycle = 255;
constexpr uint32_t kMaxBitDepthMinus8 = 6;

bool IsHighProfile(uint32_t p) {
    switch (p) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
        return true;
    default:
        return false;
    }
}

void ReadScalingList(CBitReader& br, int32_t* list, int size, uint32_t& useDefault) {
    int32_t last = 8;
    int32_t next = 8;
    for (int j = 0; j < size; ++j) {
        if (next != 0) {
            const int32_t delta = br.ReadSe();
            next = int32_t((int64_t(last) + delta + 256) % 256);
            if (next < 0) next += 256;
            useDefault = (j == 0 && next == 0) ? 1 : 0;
        }
        list[j] = next == 0 ? last : next;
        last = list[j];
        if (br.Error()) return;
    }
}

void ReadVui(CBitReader& br, SPS& s) {
    s.aspect_ratio_info_present_flag = br.ReadBit();
    if (s.aspect_ratio_info_present_flag) {
        s.aspect_ratio_idc = br.ReadBits(8);
        if (s.aspect_ratio_idc == 255) {
            s.sar_width = br.ReadBits(16);
            s.sar_height = br.ReadBits(16);
        }
    }
    s.overscan_info_present_flag = br.ReadBit();
    if (s.overscan_info_present_flag) s.overscan_appropriate_flag = br.ReadBit();
    s.video_signal_type_present_flag = br.ReadBit();
    if (s.video_signal_type_present_flag) {
        s.video_format = br.ReadBits(3);
        s.video_full_range_flag = br.ReadBit();
        s.colour_description_present_flag = br.ReadBit();
        if (s.colour_description_present_flag) {
            s.colour_primaries = br.ReadBits(8);
            s.transfer_characteristics = br.ReadBits(8);
            s.matrix_coefficients = br.ReadBits(8);
        }
    }
    s.chroma_loc_info_present_flag = br.ReadBit();
    if (s.chroma_loc_info_present_flag) {
        s.chroma_sample_loc_type_top_field = br.ReadUe();
        s.chroma_sample_loc_type_bottom_field = br.ReadUe();
    }
    s.timing_info_present_flag = br.ReadBit();
    if (!s.timing_info_present_flag) return;
    s.num_units_in_tick = br.ReadBits(32);
    s.time_scale = br.ReadBits(32);
    s.fixed_frame_rate_flag = br.ReadBit();
}

// Returns false as soon as a value leaves its range.
bool ReadSpsFields(CBitReader& br, SPS& s) {
    s.seq_parameter_set_id = br.ReadUe();
    if (s.seq_parameter_set_id > kMaxSpsId) return false;
    if (IsHighProfile(s.profile_idc)) {
        s.chroma_format_idc = br.ReadUe();
        if (s.chroma_format_idc > 3) return false;
        if (s.chroma_format_idc == 3) s.separate_colour_plane_flag = br.ReadBit();
        s.bit_depth_luma_minus8 = br.ReadUe();
        s.bit_depth_chroma_minus8 = br.ReadUe();
        if (s.bit_depth_luma_minus8 > kMaxBitDepthMinus8 || s.bit_depth_chroma_minus8 > kMaxBitDepthMinus8)
            return false;
        s.qpprime_y_zero_transform_bypass_flag = br.ReadBit();
        s.seq_scaling_matrix_present_flag = br.ReadBit();
        if (s.seq_scaling_matrix_present_flag) {
            const int lists = s.chroma_format_idc == 3 ? 12 : 8;
            for (int i = 0; i < lists && !br.Error(); ++i) {
                s.seq_scaling_list_present_flag[i] = br.ReadBit();
                if (!s.seq_scaling_list_present_flag[i]) continue;
                if (i < 6) ReadScalingList(br, s.ScalingList4x4[i], 16, s.UseDefaultScalingMatrix4x4Flag[i]);
                else ReadScalingList(br, s.ScalingList8x8[i - 6], 64, s.UseDefaultScalingMatrix8x8Flag[i - 6]);
            }
        }
    }
    s.log2_max_frame_num_minus4 = br.ReadUe();
    if (s.log2_max_frame_num_minus4 > kMaxLog2Minus4) return false;
    s.pic_order_cnt_type = br.ReadUe();
    if (s.pic_order_cnt_type > 2) return false;
    if (s.pic_order_cnt_type == 0) {
        s.log2_max_pic_order_cnt_lsb_minus4 = br.ReadUe();
        if (s.log2_max_pic_order_cnt_lsb_minus4 > kMaxLog2Minus4) return false;
    } else if (s.pic_order_cnt_type == 1) {
        s.delta_pic_order_always_zero_flag = br.ReadBit();
        s.offset_for_non_ref_pic = br.ReadSe();
        s.offset_for_top_to_bottom_field = br.ReadSe();
        s.num_ref_frames_in_pic_order_cnt_cycle = br.ReadUe();
        if (s.num_ref_frames_in_pic_order_cnt_cycle > kMaxPocCycle) return false;
        for (uint32_t i = 0; i < s.num_ref_frames_in_pic_order_cnt_cycle && !br.Error(); ++i)
            s.offset_for_ref_frame[i] = br.ReadSe();
    }
    s.max_num_ref_frames = br.ReadUe();
    s.gaps_in_frame_num_value_allowed_flag = br.ReadBit();
    s.pic_width_in_mbs_minus1 = br.ReadUe();
    s.pic_height_in_map_units_minus1 = br.ReadUe();
    if (s.pic_width_in_mbs_minus1 > kMaxMbs || s.pic_height_in_map_units_minus1 > kMaxMbs) return false;
    s.frame_mbs_only_flag = br.ReadBit();
    if (!s.frame_mbs_only_flag) s.mb_adaptive_frame_field_flag = br.ReadBit();
    s.direct_8x8_inference_flag = br.ReadBit();
    s.frame_cropping_flag = br.ReadBit();
    if (s.frame_cropping_flag) {
        s.frame_crop_left_offset = br.ReadUe();
        s.frame_crop_right_offset = br.ReadUe();
        s.frame_crop_top_offset = br.ReadUe();
        s.frame_crop_bottom_offset = br.ReadUe();
    }
    s.vui_parameters_present_flag = br.ReadBit();
    if (s.vui_parameters_present_flag && !br.Error()) ReadVui(br, s);
    return true;
}

}  // namespace

uint32_t CBitReader::ReadBits(int n) {
    if (n <= 0) return 0;
    if (n > 32) n = 32;
    if (m_bitPos + uint64_t(n) > m_totalBits) {
        m_bitPos = m_totalBits;
        m_error = true;
        return 0;
    }
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const uint64_t pos = m_bitPos++;
        v = (v << 1) | ((m_data[pos >> 3] >> (7 - (pos & 7))) & 1u);
    }
    return v;
}

uint32_t CBitReader::ReadUe() {
    int zeros = 0;
    while (!m_error && ReadBit() == 0) {
        if (m_error) return 0;
        if (++zeros > 31) {
            m_error = true;
            return 0;
        }
    }
    if (m_error) return 0;
    if (zeros == 0) return 0;
    return ((1u << zeros) - 1) + ReadBits(zeros);
}

int32_t CBitReader::ReadSe() {
    const uint32_t k = ReadUe();
    if (k & 1) return int32_t((uint64_t(k) + 1) / 2);
    return -int32_t(k / 2);
}

int UnescapeRbsp(const BYTE* nal, int length, BYTE* out, int outSize) {
    if (!nal || !out || length <= 1 || outSize <= 0) return 0;
    int written = 0;
    int zeros = 0;
    for (int i = 1; i < length && written < outSize; ++i) {
        const BYTE b = nal[i];
        if (zeros >= 2 && b == 0x03) {
            zeros = 0;
            continue;
        }
        out[written++] = b;
        zeros = b == 0 ? zeros + 1 : 0;
    }
    return written;
}

int ReadSps(const BYTE* spsNal, int length, SPS& sps) {
    std::memset(&sps, 0, sizeof(sps));
    if (!spsNal || length <= 0) return -1;
    BYTE work[kWorkBytes];
    const int n = UnescapeRbsp(spsNal, length, work, kWorkLimit);
    if (n < 3) return -1;
    sps.profile_idc = work[0];
    sps.constraint_flags = work[1];
    sps.level_idc = work[2];
    CBitReader br(work + 3, n - 3);
    if (!ReadSpsFields(br, sps) || br.Error()) {
        std::memset(&sps, 0, sizeof(sps));
        return -1;
    }
    varnet::DebugLog("H264", nullptr,
                     "sps: frame_mbs_only_flag %u log2_max_frame_num_minus4 %u pic_order_cnt_type %u "
                     "num_units_in_tick %u time_scale %u separate_colour_plane_flag %u "
                     "log2_max_pic_order_cnt_lsb_minus4 %u",
                     sps.frame_mbs_only_flag, sps.log2_max_frame_num_minus4, sps.pic_order_cnt_type,
                     sps.num_units_in_tick, sps.time_scale, sps.separate_colour_plane_flag,
                     sps.log2_max_pic_order_cnt_lsb_minus4);
    return 0;
}

int ReadPps(const BYTE* ppsNal, int length, PPS& pps) {
    std::memset(&pps, 0, sizeof(pps));
    if (!ppsNal || length <= 0) return -1;
    BYTE work[kWorkBytes];
    const int n = UnescapeRbsp(ppsNal, length, work, kWorkLimit);
    CBitReader br(work, n);
    pps.pic_parameter_set_id = br.ReadUe();
    pps.seq_parameter_set_id = br.ReadUe();
    pps.entropy_coding_mode_flag = br.ReadBit();
    pps.bottom_field_pic_order_in_frame_present_flag = br.ReadBit();
    pps.num_slice_groups_minus1 = br.ReadUe();
    if (br.Error() || pps.pic_parameter_set_id > kMaxPpsId || pps.seq_parameter_set_id > kMaxSpsId ||
        pps.num_slice_groups_minus1 > 7) {
        std::memset(&pps, 0, sizeof(pps));
        return -1;
    }
    varnet::DebugLog("H264", nullptr,
                     "pps: pic_parameter_set_id %u seq_parameter_set_id %u entropy_coding_mode_flag %u "
                     "bottom_field_pic_order_in_frame_present_flag %u num_slice_groups_minus1 %u",
                     pps.pic_parameter_set_id, pps.seq_parameter_set_id, pps.entropy_coding_mode_flag,
                     pps.bottom_field_pic_order_in_frame_present_flag, pps.num_slice_groups_minus1);
    return 0;
}

int SpsWidth(const SPS& sps) {
    return int(sps.pic_width_in_mbs_minus1 + 1) * 16;
}
int SpsHeight(const SPS& sps) {
    return int(sps.pic_height_in_map_units_minus1 + 1) * 16;
}

unsigned SpsFrameRate(const SPS& sps) {
    if (sps.num_units_in_tick == 0) return 0;
    const uint64_t rate = uint64_t(sps.time_scale) / (2 * uint64_t(sps.num_units_in_tick));
    return unsigned(rate);
}
