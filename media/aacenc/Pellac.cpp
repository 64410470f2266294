#include "Pellac.h"

#include <fdk-aac/aacenc_lib.h>

#include "FdkLibrary.h"

#include <algorithm>
#include <cstring>

#include "DebugLog.h"

#define aacEncClose VARNET_FDK_CALL(aacEncClose)
#define aacEncEncode VARNET_FDK_CALL(aacEncEncode)
#define aacEncInfo VARNET_FDK_CALL(aacEncInfo)
#define aacEncOpen VARNET_FDK_CALL(aacEncOpen)
#define aacEncoder_SetParam VARNET_FDK_CALL(aacEncoder_SetParam)

namespace {
HANDLE_AACENCODER H(void* p) {
    return static_cast<HANDLE_AACENCODER>(p);
}
}  // namespace

Pellac::Pellac() : m_handle(nullptr) {}

Pellac::~Pellac() {
    UnInit();
}

bool Pellac::Init(int sampleRate, int bitrateKbps, int channels, int bitsPerSample, int objectType, AEncInfo* info) {
    UnInit();
    if (bitsPerSample != 16 || channels < 1 || channels > 2 || sampleRate <= 0 || bitrateKbps < 0 ||
        bitrateKbps > 2000 || !media::FdkLibrary())
        return false;
    if (channels == 1 && objectType == 29) objectType = 5;
    HANDLE_AACENCODER h = nullptr;
    if (aacEncOpen(&h, 0, UINT(channels)) != AACENC_OK) return false;
    const struct {
        AACENC_PARAM param;
        UINT value;
    } params[] = {
        {AACENC_AOT, UINT(objectType)},
        {AACENC_SAMPLERATE, UINT(sampleRate)},
        {AACENC_CHANNELMODE, UINT(channels)},
        {AACENC_CHANNELORDER, 1},  // WAV order
        {AACENC_BITRATE, UINT(bitrateKbps) * 1000},
        {AACENC_BITRATEMODE, 3},
        {AACENC_TRANSMUX, TT_MP4_ADTS},
        {AACENC_AFTERBURNER, 1},
    };
    for (const auto& p : params) {
        if (aacEncoder_SetParam(h, p.param, p.value) != AACENC_OK) {
            varnet::DebugLog("Pellac", m_debugId.c_str(), "parameter %d = %u refused", int(p.param), p.value);
            aacEncClose(&h);
            return false;
        }
    }
    AACENC_InfoStruct encInfo;
    std::memset(&encInfo, 0, sizeof(encInfo));
    if (aacEncEncode(h, nullptr, nullptr, nullptr, nullptr) != AACENC_OK || aacEncInfo(h, &encInfo) != AACENC_OK ||
        encInfo.confSize < 2) {
        varnet::DebugLog("Pellac", m_debugId.c_str(), "encoder set-up failed (%d Hz, %d ch, type %d)", sampleRate,
                         channels, objectType);
        aacEncClose(&h);
        return false;
    }
    if (info) {
        info->profile = (encInfo.confBuf[0] >> 3) - 1;
        info->samplingFrequencyIndex = ((encInfo.confBuf[0] << 1) & 0x0F) | (encInfo.confBuf[1] >> 7);
        info->channelConfiguration = (encInfo.confBuf[1] >> 3) & 0x0F;
        info->frameLength = int(encInfo.frameLength);
        info->maxOutputBytes = int(encInfo.maxOutBufBytes);
    }
    m_handle = h;
    m_channels = channels;
    m_frameLength = int(encInfo.frameLength);
    return true;
}

int Pellac::EncodeFrame(void* pcm, int pcmBytes, void* out, int outBytes) {
    if (!m_handle || !out || outBytes <= 0 || pcmBytes < 0 || (pcmBytes > 0 && !pcm)) return 0;
    try {
        // Earlier leftovers go first; the leftover store holds at most a few frames.
        const size_t given = size_t(pcmBytes) / 2;
        const size_t maxCarry = size_t(m_frameLength) * size_t(m_channels) * 4;
        m_carry.insert(m_carry.end(), static_cast<const short*>(pcm), static_cast<const short*>(pcm) + given);
        if (m_carry.size() > maxCarry) m_carry.erase(m_carry.begin(), m_carry.end() - std::ptrdiff_t(maxCarry));

        void* inPtr = m_carry.data();
        INT inId = IN_AUDIO_DATA, inSize = INT(m_carry.size() * 2), inElSize = 2;
        void* outPtr = out;
        INT outId = OUT_BITSTREAM_DATA, outSize = outBytes, outElSize = 1;
        AACENC_BufDesc inDesc = {1, &inPtr, &inId, &inSize, &inElSize};
        AACENC_BufDesc outDesc = {1, &outPtr, &outId, &outSize, &outElSize};
        AACENC_InArgs inArgs = {INT(m_carry.size()), 0};
        AACENC_OutArgs outArgs;
        std::memset(&outArgs, 0, sizeof(outArgs));
        const AACENC_ERROR err = aacEncEncode(H(m_handle), &inDesc, &outDesc, &inArgs, &outArgs);
        if (err != AACENC_OK) {
            m_carry.clear();
            return 0;
        }
        const size_t taken = std::min(m_carry.size(), size_t(std::max(outArgs.numInSamples, 0)));
        m_carry.erase(m_carry.begin(), m_carry.begin() + std::ptrdiff_t(taken));
        return std::min(outArgs.numOutBytes, outBytes);
    } catch (...) {
        m_carry.clear();
        return 0;
    }
}

void Pellac::UnInit() {
    if (m_handle) {
        HANDLE_AACENCODER h = H(m_handle);
        aacEncClose(&h);
        m_handle = nullptr;
    }
    m_carry.clear();
    m_channels = 0;
    m_frameLength = 0;
}
