// The province and city list reader of city.conf.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "CityDataModel.h"

#include <filesystem>

#include "ZqLog.h"

// Log lines go to a scratch folder, not the user's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder((std::filesystem::temp_directory_path() / "varnet-fuzz-log").string());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CZQCityDataModel model;
    model.LoadFromText(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<CityInfo*> out;
    model.GetCityList(out);
    FreeCityList(out);
    return 0;
}
