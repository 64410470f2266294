#include "AudioOut.h"

namespace playback {

std::unique_ptr<AudioOut> CreateDefaultAudioOut() { return CreateClockAudioOut(); }

}  // namespace playback
