// The updater's readers of server answers: the first byte picks a catalogue type (its conf is read into
// items) or the version-file and file-name checks; the rest is the answer's text.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "ResUpdate.h"
#include "ResUpdateTypes.h"
#include "UpdaterUtil.h"
#include "ZqLib.h"
#include "ZqLog.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    LogSetFolder((std::filesystem::temp_directory_path() / "varnet-fuzz-log").string());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    static UpdaterEnv env;
    static ResTries tries;
    static CEvent event(true, false);
    Json::Value v;
    switch (data[0] % 4) {
    case 0: {
        CResUpdateGift gift(env, tries, event);
        ResItemMap items;
        if (ParseJson(text.data(), text.size(), v)) gift.LoadFromJson(v, items);
        break;
    }
    case 1: {
        CResUpdateUserPhoto photo(env, tries, event);
        ResItemMap items;
        if (ParseJson(text.data(), text.size(), v)) photo.LoadFromJson(v, items);
        break;
    }
    case 2: {
        unsigned n = 0;
        std::string s;
        if (ParseJson(text.data(), text.size(), v) && v.isObject())
            for (const std::string& key : v.getMemberNames()) {
                JsonUInt(v[key], "version", n);
                JsonString(v[key], "base", s);
            }
        break;
    }
    default:
        IsSafeFileName(text);
        VersionToNumber(text);
        break;
    }
    return 0;
}
