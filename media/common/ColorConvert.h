// Table-driven conversion between RGB24 (B,G,R bytes, no row padding) and I420 (Y, U, V planes),
// BT.601 studio range in 16.16 fixed point. Row order is kept: row 0 in is row 0 out.
#pragma once

#include "MediaTypes.h"

class CColorConvert {
public:
    // Fill the process-wide tables once; safe to call from any thread, any number of times.
    // The conversions call them themselves.
    static void InitLookupTable();   // RGB -> YUV
    static void InitConvertTable();  // YUV -> RGB

    // 1 on success; 0 for a null buffer or a size that is not positive and even.
    // `i420` receives width * height * 3 / 2 bytes.
    static int ConvertRGB2YUV(int width, int height, const BYTE* rgb24, BYTE* i420);
    // Writes width * height * 3 bytes; nothing for a null buffer or a size that is not positive and even.
    static void ConvertYUV2RGB(const BYTE* i420, BYTE* rgb24, int width, int height);
    // The same from three planes with their own row strides (a decoder's picture, read in place); 0 for a
    // null plane or buffer, a size that is not positive and even, or a stride below its plane's width.
    static int ConvertI420ToRGB(const BYTE* y, int yStride, const BYTE* u, int uStride, const BYTE* v, int vStride,
                                BYTE* rgb24, int width, int height);
    // Packed 4:2:2 (Y0 U Y1 V, rows `stride` bytes apart) to RGB24 with the tables above, row 0 first;
    // 0 for a null buffer, a width that is not positive and even, or a stride below width * 2.
    static int ConvertYUYV2RGB(const BYTE* yuyv, int stride, BYTE* rgb24, int width, int height);
};
