#include "Dunmar.h"

#include <fdk-aac/aacdecoder_lib.h>

#include "FdkLibrary.h"

#include "DebugLog.h"

#include <algorithm>
#include <vector>

#define aacDecoder_Close VARNET_FDK_CALL(aacDecoder_Close)
#define aacDecoder_DecodeFrame VARNET_FDK_CALL(aacDecoder_DecodeFrame)
#define aacDecoder_Fill VARNET_FDK_CALL(aacDecoder_Fill)
#define aacDecoder_GetStreamInfo VARNET_FDK_CALL(aacDecoder_GetStreamInfo)
#define aacDecoder_Open VARNET_FDK_CALL(aacDecoder_Open)

namespace {
HANDLE_AACDECODER H(void* p) {
    return static_cast<HANDLE_AACDECODER>(p);
}

// Samples one decoded frame of the stream may hold, from its ADTS channel configuration: 2048 a
// channel (SBR doubles the 1024 of the core), at least two channels (PS makes stereo of mono), and
// eight when the header names no configuration (a program config element) or none is readable.
int MaxFrameSamples(const UCHAR* adts, int length) {
    int channels = 8;
    if (length >= 7 && adts[0] == 0xFF && (adts[1] & 0xF0) == 0xF0) {
        const int config = ((adts[2] & 1) << 2) | (adts[3] >> 6);
        if (config >= 1 && config <= 6) {
            channels = config;
        }
    }
    return 2048 * std::max(2, channels);
}
}  // namespace

Dunmar::Dunmar() : m_handle(nullptr) {}

Dunmar::~Dunmar() {
    UnInit();
}

bool Dunmar::Init(void* firstFrame, int length, int& sampleRate, int& channels, int& frameSize) {
    UnInit();
    if (!firstFrame || length <= 0 || !media::FdkLibrary()) return false;
    m_handle = aacDecoder_Open(TT_MP4_ADTS, 1);
    if (!m_handle) return false;
    std::vector<INT_PCM> scratch(size_t(MaxFrameSamples(static_cast<const UCHAR*>(firstFrame), length)));
    bool got = false;
    const int used = DecoderFrame(firstFrame, length, scratch.data(), int(scratch.size() * sizeof(INT_PCM)), got);
    CStreamInfo* info = got && used >= 0 ? aacDecoder_GetStreamInfo(H(m_handle)) : nullptr;
    if (!info || info->sampleRate <= 0 || info->numChannels <= 0 || info->frameSize <= 0) {
        varnet::DebugLog("Dunmar", m_debugId.c_str(), "first frame of %d bytes did not decode", length);
        UnInit();
        return false;
    }
    sampleRate = info->sampleRate;
    channels = info->numChannels;
    frameSize = info->frameSize;
    return true;
}

int Dunmar::DecoderFrame(void* in, int length, void* out, int outBytes, bool& gotFrame) {
    gotFrame = false;
    if (!m_handle || !in || length <= 0 || !out || outBytes < 2) return -1;
    UCHAR* buf = static_cast<UCHAR*>(in);
    UINT size = UINT(length);
    UINT valid = UINT(length);
    if (aacDecoder_Fill(H(m_handle), &buf, &size, &valid) != AAC_DEC_OK) return -1;
    const int consumed = length - int(valid);
    // The output capacity is counted in samples.
    const AAC_DECODER_ERROR err = aacDecoder_DecodeFrame(H(m_handle), static_cast<INT_PCM*>(out), outBytes / 2, 0);
    if (err == AAC_DEC_NOT_ENOUGH_BITS) return consumed;
    if (err != AAC_DEC_OK) return -1;
    gotFrame = true;
    return consumed;
}

void Dunmar::UnInit() {
    if (m_handle) {
        aacDecoder_Close(H(m_handle));
        m_handle = nullptr;
    }
}
