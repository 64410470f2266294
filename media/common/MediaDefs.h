// Records, result codes and callback interfaces shared by every media library and the main program.
// The caller owns each parameter record; a library copies it whole in its Init.
#pragma once

#include <cstring>

#include "MediaTypes.h"

// Microphone and AAC encoder settings.
struct AudioParam {
    int channels = 2;
    int sampleRate = 44100;
    int bitRate = 48;        // kbit/s
    int bitsPerSample = 16;  // only 16 is accepted by the encoder
    int objectType = 29;     // AAC object type; mono 29 becomes 5 inside the encoder
    bool enable = true;      // audio shown
    int deviceIndex = 0;
};

// Camera and H.264 encoder settings.
struct VideoParam {
    int width = 320;
    int height = 240;
    int frameRate = 10;
    int bitRate = 84;  // kbit/s, VBV maximum
    int keyInterval = 30;
    bool enable = true;  // video shown
    int deviceIndex = 0;
};

// Argument of the publisher's Init.
struct ZQPublishParam {
    char url[1024];
    int timeout = 30;
    int recvTimeout = 30;
    int sendTimeout = 30;
    AudioParam audio;
    VideoParam video;

    ZQPublishParam() { std::memset(url, 0, sizeof(url)); }
    ZQPublishParam(const ZQPublishParam& o) { *this = o; }
    ZQPublishParam& operator=(const ZQPublishParam& o) {
        if (this != &o) {
            std::memcpy(url, o.url, sizeof(url));
            timeout = o.timeout;
            recvTimeout = o.recvTimeout;
            sendTimeout = o.sendTimeout;
            audio = o.audio;
            video = o.video;
        }
        return *this;
    }
};

// Argument of the player's Init.
struct ZQReplayParam {
    char url[1024];
    int bufferTime = 2;     // s of audio queued before playback starts; trim target
    int maxBufferTime = 5;  // s of queued audio above which the queue is trimmed
    int timeout = 30;
    int recvTimeout = 30;
    int sendTimeout = 30;
    int minSyncTime = 200;  // ms
    int maxSyncTime = 400;  // ms
    bool audioShow = true;
    bool videoShow = true;
    bool audioEnable = true;
    bool videoEnable = true;
    bool dumpStream = false;
    char dumpPath[260];
    BYTE waveOutDevice = 0;

    ZQReplayParam() {
        std::memset(url, 0, sizeof(url));
        std::memset(dumpPath, 0, sizeof(dumpPath));
    }
};

// What the AAC encoder reports about its stream.
struct AEncInfo {
    int profile = 0;  // AudioSpecificConfig object type minus one (the ADTS profile)
    int samplingFrequencyIndex = 0;
    int channelConfiguration = 0;
    int frameLength = 0;  // input samples per channel per frame
    int maxOutputBytes = 0;
};

// One H.264 NAL unit with its start code (4 bytes for slices and parameter sets; x264 gives its SEI 3).
struct TNAL {
    int type;
    int size;
    BYTE* data;  // owned; arrays of TNAL are released through Korvid::CleanNAL
    TNAL() : type(0), size(0), data(nullptr) {}
};

// H.264 NAL unit types (TNAL::type) that the publisher sorts.
enum class NalType : int {
    Slice = 1,
    IdrSlice = 5,
    Sei = 6,
    Sps = 7,
    Pps = 8,
};

enum PUBLISH_CODE {
    PUBLISH_SUCCESS = 0,
    PUBLISH_INIT_FAILED = 1,
    PUBLISH_OPEN_MIC_FAILED = 2,
    PUBLISH_START_MIC_FAILED = 3,
    PUBLISH_OPEN_CAMERA_FAILED = 4,
    PUBLISH_START_CAMERA_FAILED = 5,
    PUBLISH_AAC_ENCODER_FAILED = 6,
    PUBLISH_H264_ENCODER_FAILED = 7,
    PUBLISH_CONNECT_FAILED = 8,
    PUBLISH_CONNECTION_LOST = 9,
};

enum REPLAY_CODE {
    REPLAY_SUCCESS = 0,
    REPLAY_INIT_FAILED = 1,
    REPLAY_CONNECT_FAILED = 2,
    REPLAY_CONNECTION_LOST = 3,
    REPLAY_NO_DATA = 4,
    REPLAY_H264_DECODER_FAILED = 5,
    REPLAY_AAC_DECODER_FAILED = 6,
    REPLAY_BUFFER_FULL = 7,
    REPLAY_BUFFER_EMPTY = 8,
};

// Camera frames. VideoBufferCB: raw samples on the capture thread (bottom-up);
// VideoFrameCB: one polled top-down B,G,R frame on the camera's frame thread.
class IBaseVideoCB {
public:
    virtual ~IBaseVideoCB() = default;
    virtual void VideoBufferCB(double sampleTime, BYTE* buffer, long length) = 0;
    virtual void VideoFrameCB(BYTE* rgb24, long length) = 0;
};

// Microphone chunks arrive through the microphone layer's IBaseAudioCB (IBaseAudioCB.h).

// Publisher status and local previews.
class IBasePublishNotify {
public:
    virtual void OnPublishStatus(int code) = 0;
    virtual void OnPublishVideo(BYTE* rgb24, BITMAPINFOHEADER* header) = 0;
    virtual void OnPublishAudio(BYTE* pcm, long length, WAVEFORMATEX* format) = 0;

protected:
    ~IBasePublishNotify() = default;
};

// Player status, decoded frames (video thread) and played buffers (wave-out completion thread); pts in ms.
class IBaseReplayNotify {
public:
    virtual void OnReplayStatus(int code) = 0;
    virtual void OnReplayVideo(BYTE* rgb24, BITMAPINFOHEADER* header, unsigned pts) = 0;
    virtual void OnReplayAudio(void* pcm, int length, WAVEFORMATEX* format, unsigned pts) = 0;

protected:
    ~IBaseReplayNotify() = default;
};
