// INI text: parsing (robust against any bytes) and writing, with lookups that ignore ASCII case as the
// system's settings files always have.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace zqconfig {

struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

using IniSection = std::map<std::string, std::string, NoCaseLess>;
using IniData = std::map<std::string, IniSection, NoCaseLess>;

// Limits on what a file may bring in; past them the rest is skipped.
constexpr size_t kMaxFileBytes = 8u << 20;
constexpr size_t kMaxLineBytes = 64u << 10;
constexpr size_t kMaxEntries = 200000;

// Parses INI text. `escaped` files (the ones this library writes) hold "\xHH" escapes in names and values;
// other files are taken byte for byte. Malformed lines are skipped; the first of duplicate keys wins.
// Returns the number of lines skipped as malformed.
size_t ParseIni(const std::string& text, bool escaped, IniData& out);

// Writes the data as INI text with every special byte escaped, readable back by ParseIni(…, true).
std::string WriteIni(const IniData& data);

// "\xHH" escaping of the bytes that the INI syntax or a text editor could change.
std::string EscapeIni(const std::string& raw);
std::string UnescapeIni(const std::string& text);

}  // namespace zqconfig
