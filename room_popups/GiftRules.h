// The checks of the gift panel and the gift popups as plain functions: count and amount texts, the cheque,
// the stamp, the gift with words, the group gift and the panel's gift. Each check gives the refusal text
// (GBK, empty when the input passes) and the values the request is built from. Thread-safe (no state).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "CatalogRecords.h"

namespace giftrules {

// A count text: the decimal number before its first "(" ("520(我爱你)" counts 520).
enum class CountKind { Empty, Value, TooLarge };
struct CountText {
    CountKind kind = CountKind::Empty;
    int value = 0;  // leading digits; 0 without digits
};
// Empty: no text at all ("(188" is a count of 0); TooLarge: more than INT_MAX. Blanks before the digits are
// skipped; a sign or anything else gives 0.
CountText ReadCount(const std::string& text);

// Leading decimal digits as a 64-bit number; false (and `out` = UINT64_MAX) when they do not fit.
bool ReadLeadingU64(const std::string& text, uint64_t& out);

// The refusal for a count text ("" when it passes; `count` receives the count then).
std::string CheckCount(const std::string& text, int& count);

// Cheque: the edit holds units of 10,000 coins.
struct ChequeInput {
    std::string error;   // for "ShowCoinInputErrLabel"
    std::string obtain;  // for "PeopleObtainLabel": the receiver's 90 %
};
ChequeInput CheckChequeInput(const std::string& text);
// The text of the obtain label for n units ("%llu 万 Z币" of n x 0.9 cut toward zero).
std::string ChequeObtainText(uint64_t units);
struct ChequeSend {
    std::string error;
    int count = 0;  // units of 100,000 coins
};
ChequeSend CheckChequeSend(const std::string& text, uint64_t balance, bool chatReady);

// Stamp: sent with a balance of at least 1000 coins.
constexpr uint64_t kStampMinBalance = 1000;
bool MayStamp(uint64_t balance);

// Gift with words: the words after the link and whitelist checks and the word filter.
struct WordsSend {
    std::string error;
    std::string words;  // filtered
    int count = 0;
    bool send = false;  // false without error: nothing happens (no receiver)
};
// `filter` is the catalogue's word filter (GBK in, GBK out).
WordsSend CheckWordsSend(bool chatReady, const std::string& countText, uint32_t receiver, const std::string& words,
                         const std::function<std::string(const std::string&)>& filter);

// Group gift.
constexpr uint32_t kHiddenMinPrice = 500000;
// "总额:%llu" of price x receivers x count (the count text as the count rule reads it), "总额:0" when any of
// them is missing; a product beyond 64 bits shows the largest value.
std::string GroupTotalText(uint32_t giftId, uint32_t price, size_t checked, const std::string& countText);
struct GroupSend {
    std::string error;
    int count = 0;
};
// `giftKnown`/`price`: the catalogue's answer for the selected gift.
GroupSend CheckGroupSend(uint32_t giftId, bool hidden, bool giftKnown, uint32_t price, size_t checked,
                         const std::string& countText);

// The panel's gift: the checks of SendGift in their order.
struct PanelSendInput {
    bool chatReady = false;
    bool stealth = false;
    bool giftFound = false;  // GetGiftAndGroup found it
    std::string groupName;   // its category
    uint32_t receiver = 0;   // tag of the chosen item (0 none)
    std::string countText;
};
struct PanelSend {
    std::string error;
    int count = 0;
};
PanelSend CheckPanelSend(const PanelSendInput& in);

// The gifts a category page shows at `now` (seconds since 1970): start <= now <= end, one per pri (a later id
// replaces an earlier one with the same pri), in ascending pri. `exclude` drops gifts (the group gift popup
// leaves out gifts 21009 and 21012).
std::vector<const GiftItem*> VisibleGifts(const std::map<uint32_t, GiftItem*>& gifts, int64_t now,
                                          const std::function<bool(uint32_t id)>& exclude = {});

// The gifts the group gift popup offers at `now`: every gift within its time window (both ends included) that
// `exclude` keeps (gifts 21009 and 21012 are left out), in the catalogue's order.
std::vector<const GiftItem*> GroupGifts(const std::map<uint32_t, GiftItem*>& gifts, int64_t now,
                                        const std::function<bool(uint32_t id)>& exclude);

// The count presets: text and count.
struct CountPreset {
    const char* text;
    int count;
};
constexpr int kPresetCount = 4;
extern const CountPreset kCountPresets[kPresetCount];

// The image string of a gift cell: "file='<folder><group path><file>' dest='<dest>'".
std::string CellImage(const std::string& folder, const std::string& groupPath, const std::string& file,
                      const char* dest);

}  // namespace giftrules
