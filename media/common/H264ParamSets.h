// H.264 sequence and picture parameter-set reader: the picture size and frame rate of a stream.
// Any byte string is safe to hand in: truncated or malformed sets give -1.
#pragma once

#include <cstdint>

#include "MediaTypes.h"

// MSB-first bit reader bounded by its total bit length. A read past the end returns zero bits
// and sets the error flag.
class CBitReader {
public:
    CBitReader(const BYTE* data, int bytes) : m_data(data), m_totalBits(bytes > 0 ? uint64_t(bytes) * 8 : 0) {}

    uint32_t ReadBits(int n);  // n in 0..32
    uint32_t ReadBit() { return ReadBits(1); }
    uint32_t ReadUe();  // error for 32 or more leading zeros
    int32_t ReadSe();
    bool Error() const { return m_error; }
    uint64_t BitPos() const { return m_bitPos; }

private:
    const BYTE* m_data;
    uint64_t m_bitPos = 0;
    uint64_t m_totalBits;
    bool m_error = false;
};

struct SPS {
    uint32_t profile_idc;
    uint32_t constraint_flags;  // the constraint byte
    uint32_t level_idc;
    uint32_t seq_parameter_set_id;
    uint32_t chroma_format_idc;
    uint32_t separate_colour_plane_flag;
    uint32_t bit_depth_luma_minus8;
    uint32_t bit_depth_chroma_minus8;
    uint32_t qpprime_y_zero_transform_bypass_flag;
    uint32_t seq_scaling_matrix_present_flag;
    uint32_t seq_scaling_list_present_flag[12];
    int32_t ScalingList4x4[6][16];
    int32_t ScalingList8x8[6][64];
    uint32_t UseDefaultScalingMatrix4x4Flag[6];
    uint32_t UseDefaultScalingMatrix8x8Flag[6];
    uint32_t log2_max_frame_num_minus4;
    uint32_t pic_order_cnt_type;
    uint32_t log2_max_pic_order_cnt_lsb_minus4;
    uint32_t delta_pic_order_always_zero_flag;
    int32_t offset_for_non_ref_pic;
    int32_t offset_for_top_to_bottom_field;
    uint32_t num_ref_frames_in_pic_order_cnt_cycle;
    int32_t offset_for_ref_frame[256];
    uint32_t max_num_ref_frames;
    uint32_t gaps_in_frame_num_value_allowed_flag;
    uint32_t pic_width_in_mbs_minus1;
    uint32_t pic_height_in_map_units_minus1;
    uint32_t frame_mbs_only_flag;
    uint32_t mb_adaptive_frame_field_flag;
    uint32_t direct_8x8_inference_flag;
    uint32_t frame_cropping_flag;
    uint32_t frame_crop_left_offset;
    uint32_t frame_crop_right_offset;
    uint32_t frame_crop_top_offset;
    uint32_t frame_crop_bottom_offset;
    uint32_t vui_parameters_present_flag;
    // VUI, up to the timing information.
    uint32_t aspect_ratio_info_present_flag;
    uint32_t aspect_ratio_idc;
    uint32_t sar_width;
    uint32_t sar_height;
    uint32_t overscan_info_present_flag;
    uint32_t overscan_appropriate_flag;
    uint32_t video_signal_type_present_flag;
    uint32_t video_format;
    uint32_t video_full_range_flag;
    uint32_t colour_description_present_flag;
    uint32_t colour_primaries;
    uint32_t transfer_characteristics;
    uint32_t matrix_coefficients;
    uint32_t chroma_loc_info_present_flag;
    uint32_t chroma_sample_loc_type_top_field;
    uint32_t chroma_sample_loc_type_bottom_field;
    uint32_t timing_info_present_flag;
    uint32_t num_units_in_tick;
    uint32_t time_scale;
    uint32_t fixed_frame_rate_flag;
};

struct PPS {
    uint32_t pic_parameter_set_id;
    uint32_t seq_parameter_set_id;
    uint32_t entropy_coding_mode_flag;
    uint32_t bottom_field_pic_order_in_frame_present_flag;
    uint32_t num_slice_groups_minus1;
};

// Units begin with their one-byte NAL header and carry no start code. 0, or -1 for a null pointer,
// a length of 0 or less, or a set that is truncated or outside the standard's ranges.
int ReadSps(const BYTE* spsNal, int length, SPS& sps);
int ReadPps(const BYTE* ppsNal, int length, PPS& pps);

// Derived values: size in whole macroblocks (cropping is not applied), frames per second as
// time_scale / (2 * num_units_in_tick), 0 without timing information.
int SpsWidth(const SPS& sps);
int SpsHeight(const SPS& sps);
unsigned SpsFrameRate(const SPS& sps);

// Copies a unit without its header byte, dropping emulation-prevention bytes (00 00 03), into `out`;
// stops after `outSize` bytes. Returns the count written.
int UnescapeRbsp(const BYTE* nal, int length, BYTE* out, int outSize);
