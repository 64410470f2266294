// Parses arbitrary bytes as both kinds of INI file; what is written back must read back the same.
#include <cstdint>
#include <string>

#include "IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    zqconfig::IniData raw, escaped, back;
    zqconfig::ParseIni(text, false, raw);
    zqconfig::ParseIni(text, true, escaped);
    zqconfig::ParseIni(zqconfig::WriteIni(raw), true, back);
    // Empty sections are not written.
    for (auto it = raw.begin(); it != raw.end();) it = it->second.empty() ? raw.erase(it) : std::next(it);
    if (back != raw) __builtin_trap();
    return 0;
}
