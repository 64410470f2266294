// H.264 encoder: I420 pictures in, arrays of start-code NAL units out (x264 underneath).
#pragma once

#include "DebugLog.h"
#include "MediaDefs.h"
#include "MediaExport.h"

#include <memory>

struct x264_t;
struct x264_picture_t;
struct x264_param_t;

class VARNET_MEDIA_EXPORT Korvid {
public:
    Korvid();
    ~Korvid();  // as Destroy
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
    varnet::DebugId m_debugId;  // names this object in debug lines
    int CopyOut(void* x264Nals, int n, TNAL*& nals, int& count);

    struct EncoderClose {
        void operator()(x264_t* encoder) const;
    };
    struct PictureFree {
        void operator()(x264_picture_t* picture) const;  // a picture whose planes were allocated
    };
    std::unique_ptr<x264_t, EncoderClose> m_encoder;
    std::unique_ptr<x264_picture_t, PictureFree> m_picture;
    std::unique_ptr<x264_param_t> m_param;
    int m_frameCounter = 0;
};
