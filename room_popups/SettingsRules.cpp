#include "SettingsRules.h"

#include <cstdlib>
#include <cstring>

#include "ZqLib.h"

namespace settings {
namespace {

// Part `n` (0..2) of the birthday text, -1 when missing.
int BirthPart(const std::string& birth, int n) {
    size_t first = birth.find('-');
    if (birth.empty() || first == std::string::npos) return -1;
    size_t second = birth.find('-', first + 1);
    if (second == std::string::npos) return -1;
    std::string part = n == 0   ? birth.substr(0, first)
                       : n == 1 ? birth.substr(first + 1, second - first - 1)
                                : birth.substr(second + 1);
    if (part.empty() || part.size() > 9) return -1;
    for (char c : part)
        if (c < '0' || c > '9') return -1;
    return std::atoi(part.c_str());
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// Trimmed, cut before `unit`, at least `width` characters with zeros on the left.
std::string Part(const std::string& text, const char* unit, size_t width) {
    std::string t = Trim(text);
    size_t at = t.find(unit);
    if (at != std::string::npos) t = Trim(t.substr(0, at));
    if (t.size() < width) t.insert(0, width - t.size(), '0');
    return t;
}

}  // namespace

int GetBirthYear(const std::string& birth) {
    return BirthPart(birth, 0);
}
int GetBirthMonth(const std::string& birth) {
    return BirthPart(birth, 1);
}
int GetBirthDay(const std::string& birth) {
    return BirthPart(birth, 2);
}

int DaysInMonth(int month, int year) {
    switch (month) {
    case 1:
    case 3:
    case 5:
    case 7:
    case 8:
    case 10:
    case 12:
        return 31;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    case 2:
        return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 29 : 28;
    default:
        return -1;
    }
}

std::string FormatBirthday(const std::string& year, const std::string& month, const std::string& day) {
    if (Trim(year).empty() || Trim(month).empty() || Trim(day).empty()) return "";
    return Part(year, "年", 4) + "-" + Part(month, "月", 2) + "-" + Part(day, "日", 2);
}

std::string NicknameError(const std::string& gbk) {
    if (gbk.empty()) return "昵称不能为空!";
    if (Charset::GbkToUtf8(gbk).size() > 24) return "昵称长度不能超过24个字符，请重新输入昵称!";
    return "";
}

uint32_t SexFromText(const std::string& gbk) {
    if (gbk == "保密") return 0;
    if (gbk == "男") return 1;
    if (gbk == "女") return 2;
    return 3;
}

}  // namespace settings
