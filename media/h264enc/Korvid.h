// H.264 encoder: I420 pictures in, arrays of start-code NAL units out (x264 underneath).
#pragma once

#include "MediaDefs.h"

struct x264_t;
struct x264_picture_t;
struct x264_param_t;

class Korvid {
public:
    Korvid();
    ~Korvid();  // frees nothing: the owner calls Destroy
    Korvid(const Korvid&) = delete;
    Korvid& operator=(const Korvid&) = delete;

    // 0, or -1 when the encoder cannot be opened for these settings.
    int Initialize(int width, int height, int bitrateKbps, int fps, int keyint);
    // SPS, PPS and SEI in a new array (release with CleanNAL); -1 when the encoder refuses.
    int EncodeHeader(TNAL*& nals, int& count);
    // Encodes one picture of width * height * 3 / 2 bytes. count may be 0 while the encoder holds
    // pictures. 0, or -1 on failure.
    int EncodeFrame(BYTE* i420, TNAL*& nals, int& count);
    static void CleanNAL(TNAL*& nals, int count);
    int GetCurrentDelayedFrames();
    int Destroy();

private:
    int CopyOut(void* x264Nals, int n, TNAL*& nals, int& count);

    x264_t* m_encoder;
    x264_picture_t* m_picture;
    x264_param_t* m_param;
    int m_frameCounter;
};
