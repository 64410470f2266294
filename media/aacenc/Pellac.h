// AAC encoder: 16-bit PCM in, one ADTS frame out per call (fdk-aac underneath).
#pragma once

#include <vector>

#include "DebugLog.h"
#include "MediaDefs.h"
#include "MediaExport.h"

class VARNET_MEDIA_EXPORT Pellac {
public:
    Pellac();
    ~Pellac();
    Pellac(const Pellac&) = delete;
    Pellac& operator=(const Pellac&) = delete;

    // 16 bits and 1 or 2 channels only; mono object type 29 becomes 5. Fills `info` on success.
    bool Init(int sampleRate, int bitrateKbps, int channels, int bitsPerSample, int objectType, AEncInfo* info);
    // One encode call: returns the bytes of the ADTS frame written to `out` (at most outBytes),
    // or 0 (priming, error, no encoder). Input the encoder does not take now is kept for the next call.
    int EncodeFrame(void* pcm, int pcmBytes, void* out, int outBytes);
    void UnInit();

private:
    varnet::DebugId m_debugId;  // names this object in debug lines
    void* m_handle;             // HANDLE_AACENCODER
    int m_channels = 0;
    int m_frameLength = 0;
    std::vector<short> m_carry;  // samples given but not yet taken by the encoder
};
