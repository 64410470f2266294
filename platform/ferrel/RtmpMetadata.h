// The stream description the publisher hands to the RTMP client: a fixed 2104-byte little-endian record.
#pragma once

#include <cstddef>
#include <cstdint>

struct _RTMPMetadata {
    uint8_t hasVideo = 0;  // 1: video present
    uint8_t pad0[3] = {};
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t videoDataRate = 0;
    int32_t spsLen = 0;
    uint8_t sps[1024] = {};  // without start code
    int32_t ppsLen = 0;
    uint8_t pps[1024] = {};
    uint8_t hasAudio = 0;  // 1: audio present
    uint8_t pad1[3] = {};
    int32_t audioSampleRateIndex = 0;  // AAC sampling-frequency index
    int32_t audioSampleSize = 0;
    int32_t audioChannels = 0;  // AAC channel configuration
    int32_t reserved[2] = {};
    int32_t audioProfile = 0;  // AAC object type minus one
};

static_assert(sizeof(_RTMPMetadata) == 2104);
static_assert(offsetof(_RTMPMetadata, sps) == 24);
static_assert(offsetof(_RTMPMetadata, ppsLen) == 1048);
static_assert(offsetof(_RTMPMetadata, pps) == 1052);
static_assert(offsetof(_RTMPMetadata, hasAudio) == 2076);
static_assert(offsetof(_RTMPMetadata, audioSampleRateIndex) == 2080);
static_assert(offsetof(_RTMPMetadata, audioChannels) == 2088);
static_assert(offsetof(_RTMPMetadata, audioProfile) == 2100);
