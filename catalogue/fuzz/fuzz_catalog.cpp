// The JSON catalogue parsers: the first byte picks the catalogue, the rest is the file's text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "CatalogParser.h"

#include <filesystem>

#include "ZqLog.h"

// Log lines go to a scratch folder, not the user's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder((std::filesystem::temp_directory_path() / "varnet-fuzz-log").string());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 9) {
    case 0: {
        GiftCatalog c;
        LoadGiftList(text, c);
        break;
    }
    case 1: {
        FaceCatalog c;
        LoadFaceList(text, c);
        break;
    }
    case 2: {
        UserPhotoCatalog c;
        LoadUserPhotoList(text, c);
        break;
    }
    case 3: {
        GiftCatalog c;
        LoadTagList(text, c);
        break;
    }
    case 4: {
        LevelCatalog c;
        LoadLevelList(text, c);
        break;
    }
    case 5: {
        ItemCatalog c;
        LoadRoleList(text, c);
        break;
    }
    case 6: {
        ItemCatalog c;
        LoadIconList(text, c);
        break;
    }
    case 7: {
        ItemCatalog c;
        LoadEnterShowList(text, c);
        break;
    }
    default: {
        ItemCatalog c;
        LoadColorBarList(text, c);
        break;
    }
    }
    return 0;
}
