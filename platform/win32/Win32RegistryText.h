// The registry store's file format (internal; also used by the fuzz target).
#pragma once

#include <string>
#include <vector>

namespace win32_detail {

// One line of the store: key TAB value-name TAB data, each escaped (\\ \t \n \r \0), key and name in lower
// case. A line that does not parse is kept as it is.
struct RegLine {
    std::string raw;
    bool parsed = false;
    std::string key, value, data;
};

std::vector<RegLine> ParseRegistryText(const std::string& text);
std::string RegistryText(const std::vector<RegLine>& lines);

}  // namespace win32_detail
