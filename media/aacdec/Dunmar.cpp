#include "Dunmar.h"

#include <fdk-aac/aacdecoder_lib.h>


#include "MediaDebug.h"

namespace {
HANDLE_AACDECODER H(void* p) { return static_cast<HANDLE_AACDECODER>(p); }
constexpr int kScratchBytes = 10240;
}  // namespace

Dunmar::Dunmar() : m_handle(nullptr) {}

Dunmar::~Dunmar() { UnInit(); }

bool Dunmar::Init(void* firstFrame, int length, int& sampleRate, int& channels, int& frameSize) {
    UnInit();
    if (!firstFrame || length <= 0)
        return false;
    m_handle = aacDecoder_Open(TT_MP4_ADTS, 1);
    if (!m_handle)
        return false;
    short scratch[kScratchBytes / 2];
    bool got = false;
    const int used = DecoderFrame(firstFrame, length, scratch, kScratchBytes, got);
    CStreamInfo* info = got && used >= 0 ? aacDecoder_GetStreamInfo(H(m_handle)) : nullptr;
    if (!info || info->sampleRate <= 0 || info->numChannels <= 0 || info->frameSize <= 0) {
        MediaDebugOut("Dunmar", "first frame of %d bytes did not decode", length);
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
    if (!m_handle || !in || length <= 0 || !out || outBytes < 2)
        return -1;
    UCHAR* buf = static_cast<UCHAR*>(in);
    UINT size = UINT(length);
    UINT valid = UINT(length);
    if (aacDecoder_Fill(H(m_handle), &buf, &size, &valid) != AAC_DEC_OK)
        return -1;
    const int consumed = length - int(valid);
    // The output capacity is counted in samples.
    const AAC_DECODER_ERROR err = aacDecoder_DecodeFrame(H(m_handle), static_cast<INT_PCM*>(out), outBytes / 2, 0);
    if (err == AAC_DEC_NOT_ENOUGH_BITS)
        return consumed;
    if (err != AAC_DEC_OK)
        return -1;
    gotFrame = true;
    return consumed;
}

void Dunmar::UnInit() {
    if (m_handle) {
        aacDecoder_Close(H(m_handle));
        m_handle = nullptr;
    }
}
