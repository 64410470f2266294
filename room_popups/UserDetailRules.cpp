#include "UserDetailRules.h"

#include <cstdio>
#include <limits>

namespace roompopups {

namespace {

constexpr uint32_t kChequeGift = 21012;
constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();

uint64_t AddSat(uint64_t a, uint64_t b) {
    return a > kMax - b ? kMax : a + b;
}

// Leading decimal digits of s from `at`, at most 9 of them (no overflow); -1 when there is none.
int LeadingNumber(const std::string& s, size_t at) {
    int v = 0, digits = 0;
    for (; at < s.size() && s[at] >= '0' && s[at] <= '9' && digits < 9; ++at, ++digits) v = v * 10 + (s[at] - '0');
    return digits ? v : -1;
}

}  // namespace

const char* SexText(uint32_t sex) {
    switch (sex) {
    case 0:
        return "保密";
    case 1:
        return "男";
    case 2:
        return "女";
    default:
        return "未知";
    }
}

int AgeFromBirthday(const std::string& birthday, int currentYear, int currentMonth) {
    size_t dash = birthday.find('-');
    if (dash == std::string::npos) return 0;
    int year = LeadingNumber(birthday.substr(0, dash), 0);
    if (year <= 0) return 0;
    int age = currentYear - year;
    size_t second = birthday.find('-', dash + 1);
    if (second != std::string::npos) {
        int month = LeadingNumber(birthday.substr(dash + 1, second - dash - 1), 0);
        if (month >= 1 && month > currentMonth) --age;
    }
    return age > 0 ? age : 0;
}

std::string AddressText(const std::string& province, const std::string& city) {
    return province == city ? province : province + city;
}

uint64_t SentTotal(const std::vector<RoomGiftRecord>& sent) {
    uint64_t sum = 0;
    for (const RoomGiftRecord& r : sent) sum = AddSat(sum, uint64_t(r.unitPrice) * r.count);
    return sum;
}

ReceivedTotals ReceivedTotal(const std::vector<RoomGiftRecord>& received) {
    ReceivedTotals t;
    for (const RoomGiftRecord& r : received) {
        uint64_t value = uint64_t(r.unitPrice) * r.count;  // fits: both are 32-bit
        if (r.itemId == kChequeGift) t.coins = AddSat(t.coins, value / 10 * 9 + value % 10 * 9 / 10);
        else t.beans = AddSat(t.beans, uint64_t(r.extra) * r.count);
    }
    return t;
}

std::string SentTotalText(const std::vector<RoomGiftRecord>& sent) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%llu", (unsigned long long)SentTotal(sent));
    return buf;
}

std::string ReceivedTotalText(const std::vector<RoomGiftRecord>& received) {
    ReceivedTotals t = ReceivedTotal(received);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%llu Z豆, %llu Z币", (unsigned long long)t.beans, (unsigned long long)t.coins);
    return buf;
}

}  // namespace roompopups
