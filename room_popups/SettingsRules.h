// Rules of the settings dialog that need no window: birthday parts and texts, days of a month, the
// nickname check, the sex of a combo text, the level of a microphone buffer.
#pragma once

#include <cstdint>
#include <string>

namespace settings {

// The number before the first "-", between the first and second, after the second; -1 when the text is
// empty, a "-" is missing or the part is empty or not a number.
int GetBirthYear(const std::string& birth);
int GetBirthMonth(const std::string& birth);
int GetBirthDay(const std::string& birth);
// 28..31 for months 1..12 (Gregorian leap years), -1 for any other month.
int DaysInMonth(int month, int year);
// "YYYY-MM-DD" from the three combo texts ("  1990年", "  5月", "  9日"), each trimmed and cut before its
// unit and padded with zeros on the left; "" when a text is empty.
std::string FormatBirthday(const std::string& year, const std::string& month, const std::string& day);
// Empty when the nickname may be used, else the error text for the label.
std::string NicknameError(const std::string& gbk);
// "保密" 0, "男" 1, "女" 2, anything else 3.
uint32_t SexFromText(const std::string& gbk);

}  // namespace settings
