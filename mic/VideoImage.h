// Pixel buffers of the video views: 32-bit B, G, R, A pixels, top row first (cairo's ARGB32 layout on
// this platform), the bilinear scaler for camera and stream frames, and the overlay blend.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mic {

struct Image32 {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // width * height, row after row

    bool Empty() const { return width <= 0 || height <= 0; }
    void Create(int w, int h, uint32_t fill = 0);
    void Release();
};

// Row stride of a bottom-up bitmap of this format (4-byte aligned) and its byte length.
int FrameStride(int width, int bits);

// Scales a B, G, R frame (rows of `srcRowBytes`, first row at the top) into `dst` bilinearly: target
// (i, j) samples the source at ((srcH - 1) * i / dstH, (srcW - 1) * j / dstW); neighbours past the last
// row or column are clamped to it. Every target pixel gets alpha 255.
void ScaleBilinear(const uint8_t* src, int srcW, int srcH, int srcRowBytes, Image32& dst);

// Blends an image with straight alpha onto an opaque target at (col, row), clipped to the target:
// alpha 0 keeps the target, 255 copies the pixel, otherwise each colour channel becomes
// ((255 - a) * (t + 1)) >> 8 plus s * a / 256.
void BlendOnto(const Image32& src, Image32& dst, int col, int row);

// Loads a picture file (GBK path) with straight alpha; false (and `out` emptied) when it cannot.
bool LoadImageFile(const std::string& gbkPath, Image32& out);
// Draws `src` stretched over the whole of `dst` (opaque result over white).
void StretchImage(const Image32& src, Image32& dst);

}  // namespace mic
