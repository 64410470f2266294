// Basic types that the media records share with the main program: byte and word names, and the picture
// and sound format records handed with every frame and every sample buffer.
#pragma once

#include <cstdint>

#ifndef VARNET_BASIC_INT_TYPES
#define VARNET_BASIC_INT_TYPES
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
#endif

#ifndef VARNET_BITMAPINFOHEADER
#define VARNET_BITMAPINFOHEADER
constexpr DWORD BI_RGB = 0;

// Header of an uncompressed picture (40 bytes).
struct BITMAPINFOHEADER {
    DWORD biSize = 0;
    LONG biWidth = 0;
    LONG biHeight = 0;
    WORD biPlanes = 0;
    WORD biBitCount = 0;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
#endif

#ifndef VARNET_WAVEFORMATEX
#define VARNET_WAVEFORMATEX
constexpr WORD WAVE_FORMAT_PCM = 1;

// Format of a PCM sample buffer.
#pragma pack(push, 2)
struct WAVEFORMATEX {
    WORD wFormatTag = 0;
    WORD nChannels = 0;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;
    WORD wBitsPerSample = 0;
    WORD cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
#endif
