#include "Microphone.h"

namespace publish {

std::unique_ptr<Microphone> CreateDefaultMicrophone() { return CreateToneMicrophone(); }

}  // namespace publish
