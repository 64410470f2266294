// The rights table reader of power.conf.
#include <cstddef>
#include <cstdint>
#include <string>

#include "OpRightsManager.h"

#include <filesystem>

#include "ZqLog.h"

// Log lines go to a scratch folder, not the user's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder((std::filesystem::temp_directory_path() / "varnet-fuzz-log").string());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    COpRightsManager rights;
    rights.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    rights.HasRight(1, 2, 3);
    return 0;
}
