#include "GiftRules.h"

#include <climits>

#include "ChatHtml.h"
#include "ZqLib.h"

namespace giftrules {

namespace {

constexpr const char* kChatNotReady = "正在连接聊天服务，请稍后重试";
constexpr const char* kCountEmpty = "赠予数量不能为空!";
constexpr const char* kCountZero = "赠予数量必须大于0!";
constexpr const char* kCountTooLarge = "赠予数量太大!";
constexpr const char* kChequeZero = "输入的Z币数必需大于0";
constexpr const char* kChequeStep = "输入的Z币必须为10万的倍数";
constexpr const char* kNoMoney = "余额不足，请先充值";

}  // namespace

const CountPreset kCountPresets[kPresetCount] = {
    {"188(要抱抱)", 188}, {"520(我爱你)", 520}, {"999(天长地久)", 999}, {"1314(一生一世)", 1314}};

bool ReadLeadingU64(const std::string& text, uint64_t& out) {
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        uint64_t digit = uint64_t(c - '0');
        if (out > (UINT64_MAX - digit) / 10) {
            out = UINT64_MAX;
            return false;
        }
        out = out * 10 + digit;
    }
    return true;
}

CountText ReadCount(const std::string& text) {
    CountText r;
    if (text.empty()) return r;
    r.kind = CountKind::Value;
    std::string head = text.substr(0, text.find('('));
    size_t at = head.find_first_not_of(" \t");
    if (at == std::string::npos) return r;
    uint64_t n = 0;
    if (!ReadLeadingU64(head.substr(at), n) || n > uint64_t(INT_MAX)) {
        r.kind = CountKind::TooLarge;
        return r;
    }
    r.value = int(n);
    return r;
}

std::string CheckCount(const std::string& text, int& count) {
    CountText c = ReadCount(text);
    count = 0;
    if (c.kind == CountKind::Empty) return kCountEmpty;
    if (c.kind == CountKind::TooLarge) return kCountTooLarge;
    if (c.value <= 0) return kCountZero;
    count = c.value;
    return std::string();
}

std::string ChequeObtainText(uint64_t units) {
    // n x 0.9 without a float or an overflow.
    uint64_t share = units / 10 * 9 + units % 10 * 9 / 10;
    return StringUtility::Format("%llu 万 Z币", (unsigned long long)share);
}

ChequeInput CheckChequeInput(const std::string& text) {
    ChequeInput r;
    uint64_t n = 0;
    if (!ReadLeadingU64(text, n)) r.error = kNoMoney;
    else if (n == 0) r.error = kChequeZero;
    else if (n % 10 != 0) r.error = kChequeStep;
    else r.obtain = ChequeObtainText(n);
    return r;
}

ChequeSend CheckChequeSend(const std::string& text, uint64_t balance, bool chatReady) {
    ChequeSend r;
    if (!chatReady) {
        r.error = kChatNotReady;
        return r;
    }
    uint64_t n = 0;
    bool fits = ReadLeadingU64(text, n);
    uint64_t coins = 0;
    if (fits && __builtin_mul_overflow(n, uint64_t(10000), &coins)) fits = false;
    if (!fits) {  // more than any balance
        r.error = kNoMoney;
        return r;
    }
    if (coins == 0) r.error = kChequeZero;
    else if (coins % 100000 != 0) r.error = kChequeStep;
    else if (coins > balance || coins / 100000 > uint64_t(INT_MAX)) r.error = kNoMoney;
    else r.count = int(coins / 100000);
    return r;
}

bool MayStamp(uint64_t balance) {
    return balance >= kStampMinBalance;
}

WordsSend CheckWordsSend(bool chatReady, const std::string& countText, uint32_t receiver, const std::string& words,
                         const std::function<std::string(const std::string&)>& filter) {
    WordsSend r;
    if (!chatReady) {
        r.error = kChatNotReady;
        return r;
    }
    r.error = CheckCount(countText, r.count);
    if (!r.error.empty() || receiver == 0) return r;
    if (!words.empty()) {
        if (StringUtility::IsContainUrl(words)) {
            r.error = "赠言内容中不允许有超链接!";
            return r;
        }
        if (!IsValidChatHtml(words)) {
            r.error = "赠言内容中不允许有特殊html标签!";
            return r;
        }
        r.words = filter ? filter(words) : words;
    }
    r.send = true;
    return r;
}

std::string GroupTotalText(uint32_t giftId, uint32_t price, size_t checked, const std::string& countText) {
    CountText c = ReadCount(countText);
    if (giftId == 0 || checked == 0 || c.kind == CountKind::Empty || c.value <= 0) return "总额:0";
    uint64_t total = 0;
    if (c.kind == CountKind::TooLarge || __builtin_mul_overflow(uint64_t(price), uint64_t(checked), &total) ||
        __builtin_mul_overflow(total, uint64_t(c.value), &total))
        total = UINT64_MAX;
    return StringUtility::Format("总额:%llu", (unsigned long long)total);
}

GroupSend CheckGroupSend(uint32_t giftId, bool hidden, bool giftKnown, uint32_t price, size_t checked,
                         const std::string& countText) {
    GroupSend r;
    if (giftId == 0) r.error = "请选择礼物!";
    else if (hidden && !giftKnown) r.error = "礼物不存在，请重新选择礼物!";
    else if (hidden && price < kHiddenMinPrice) r.error = "隐身状态下，群刷道具只能送豪华礼物!";
    else if (checked == 0) r.error = "请选择赠送人!";
    else r.error = CheckCount(countText, r.count);
    return r;
}

PanelSend CheckPanelSend(const PanelSendInput& in) {
    PanelSend r;
    if (!in.chatReady) r.error = kChatNotReady;
    else if (in.stealth && in.giftFound && in.groupName != "豪华") r.error = "隐身状态只能送豪华礼物!";
    else if (in.receiver == 0) r.error = "赠予人不能为空!";
    else r.error = CheckCount(in.countText, r.count);
    return r;
}

std::vector<const GiftItem*> VisibleGifts(const std::map<uint32_t, GiftItem*>& gifts, int64_t now,
                                          const std::function<bool(uint32_t id)>& exclude) {
    std::map<uint32_t, const GiftItem*> byPri;
    for (const auto& [id, gift] : gifts) {
        if (!gift || (exclude && exclude(id))) continue;
        if (int64_t(gift->starttm) <= now && now <= int64_t(gift->endtm)) byPri[gift->pri] = gift;
    }
    std::vector<const GiftItem*> out;
    for (const auto& [pri, gift] : byPri) out.push_back(gift);
    return out;
}

std::vector<const GiftItem*> GroupGifts(const std::map<uint32_t, GiftItem*>& gifts, int64_t now,
                                        const std::function<bool(uint32_t id)>& exclude) {
    std::vector<const GiftItem*> out;
    for (const auto& [id, gift] : gifts) {
        if (!gift || (exclude && exclude(id))) continue;
        if (int64_t(gift->starttm) <= now && now <= int64_t(gift->endtm)) out.push_back(gift);
    }
    return out;
}

std::string CellImage(const std::string& folder, const std::string& groupPath, const std::string& file,
                      const char* dest) {
    return StringUtility::Format("file='%s%s%s' dest='%s'", folder.c_str(), groupPath.c_str(), file.c_str(), dest);
}

}  // namespace giftrules
