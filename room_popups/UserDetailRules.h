// The texts of the user-details and consumption-detail popups, as functions of their inputs. Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RoomBaseInfo.h"

namespace roompopups {

// "保密" 0, "男" 1, "女" 2, "未知" otherwise.
const char* SexText(uint32_t sex);
// Age from a "year-month-day" text seen in (year, month): the year before the first "-", less one when the
// month (between the two "-", when >= 1) is later than the current month. 0 when there is no usable year
// (no "-", no digits) or the age is not positive: the label then stays as it is.
int AgeFromBirthday(const std::string& birthday, int currentYear, int currentMonth);
// Province then city, or the province alone when both are equal.
std::string AddressText(const std::string& province, const std::string& city);

// Totals of the consumption lists (64-bit: heavy senders overflow 32 bits).
struct ReceivedTotals {
    uint64_t beans = 0;
    uint64_t coins = 0;
};
uint64_t SentTotal(const std::vector<RoomGiftRecord>& sent);
// Cheques (gift 21012) give 90 % of price x count in coins, cut toward zero per record; every other gift
// gives its beans per item x count.
ReceivedTotals ReceivedTotal(const std::vector<RoomGiftRecord>& received);
std::string SentTotalText(const std::vector<RoomGiftRecord>& sent);          // "%llu"
std::string ReceivedTotalText(const std::vector<RoomGiftRecord>& received);  // "%llu Z豆, %llu Z币"

}  // namespace roompopups
