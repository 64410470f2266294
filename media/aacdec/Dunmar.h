// AAC decoder: ADTS frames in, 16-bit interleaved PCM out (fdk-aac underneath).
#pragma once

#include "DebugLog.h"
#include "MediaDefs.h"
#include "MediaExport.h"

class VARNET_MEDIA_EXPORT Dunmar {
public:
    Dunmar();
    ~Dunmar();
    Dunmar(const Dunmar&) = delete;
    Dunmar& operator=(const Dunmar&) = delete;

    // Opens the decoder on the stream's first ADTS frame and reports its format (frameSize: samples
    // per channel per frame). False, with nothing open, when no frame could be decoded.
    bool Init(void* firstFrame, int length, int& sampleRate, int& channels, int& frameSize);
    // Decodes one frame into `out` (at most outBytes). Returns the input bytes taken, with gotFrame
    // set when a frame came out (none while a frame is incomplete), or -1 on error.
    int DecoderFrame(void* in, int length, void* out, int outBytes, bool& gotFrame);
    void UnInit();

private:
    varnet::DebugId m_debugId;  // names this object in debug lines
    void* m_handle;             // HANDLE_AACDECODER
};
