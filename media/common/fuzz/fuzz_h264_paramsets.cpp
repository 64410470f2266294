// Any byte string as an SPS and as a PPS.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "H264ParamSets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so any read past the end is caught.
    std::vector<uint8_t> copy(data, data + size);
    SPS sps;
    PPS pps;
    if (ReadSps(copy.data(), int(copy.size()), sps) == 0) {
        volatile int w = SpsWidth(sps) + SpsHeight(sps);
        volatile unsigned f = SpsFrameRate(sps);
        (void)w;
        (void)f;
    }
    ReadPps(copy.data(), int(copy.size()), pps);
    return 0;
}
