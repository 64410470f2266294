// The checks of the gift panel and the gift popups, one table a rule.
#include <gtest/gtest.h>

#include <climits>

#include "GiftRules.h"

using namespace giftrules;

namespace {

const std::string kNotReady = "正在连接聊天服务，请稍后重试";
const std::string kEmpty = "赠予数量不能为空!";
const std::string kZero = "赠予数量必须大于0!";
const std::string kTooLarge = "赠予数量太大!";

TEST(GiftRules, CountTexts) {
    struct Row {
        const char* text;
        std::string error;
        int count;
    } rows[] = {
        {"520(我爱你)", "", 520},
        {"188(要抱抱)", "", 188},
        {"1", "", 1},
        {" 7", "", 7},
        {"12abc", "", 12},
        {"2147483647", "", INT_MAX},
        {"2147483648", kTooLarge, 0},
        {"99999999999999999999999", kTooLarge, 0},
        {"", kEmpty, 0},
        {"(188", kZero, 0},
        {"0", kZero, 0},
        {"abc", kZero, 0},
        {"-5", kZero, 0},
    };
    for (const Row& r : rows) {
        int count = -1;
        EXPECT_EQ(CheckCount(r.text, count), r.error) << r.text;
        EXPECT_EQ(count, r.count) << r.text;
    }
}

TEST(GiftRules, ChequeInputAndSend) {
    struct Input {
        const char* text;
        std::string error, obtain;
    } inputs[] = {
        {"15", "输入的Z币必须为10万的倍数", ""},
        {"20", "", "18 万 Z币"},
        {"10", "", "9 万 Z币"},
        {"50", "", "45 万 Z币"},
        {"100", "", "90 万 Z币"},
        {"500", "", "450 万 Z币"},
        {"abc", "输入的Z币数必需大于0", ""},
        {"0", "输入的Z币数必需大于0", ""},
        // n x 0.9 of the largest 64-bit multiple of 10, exact.
        {"18446744073709551610", "", "16602069666338596449 万 Z币"},
        {"99999999999999999999999", "余额不足，请先充值", ""},
    };
    for (const Input& i : inputs) {
        ChequeInput r = CheckChequeInput(i.text);
        EXPECT_EQ(r.error, i.error) << i.text;
        EXPECT_EQ(r.obtain, i.obtain) << i.text;
    }
    struct Send {
        const char* text;
        uint64_t balance;
        bool ready;
        std::string error;
        int count;
    } sends[] = {
        {"10", 100000, true, "", 1},
        {"10", 99999, true, "余额不足，请先充值", 0},
        {"500", 5000000000ULL, true, "", 50},
        {"10", 100000, false, kNotReady, 0},
        {"15", 1000000, true, "输入的Z币必须为10万的倍数", 0},
        {"", 1000000, true, "输入的Z币数必需大于0", 0},
        // n x 10,000 beyond 64 bits, and a count beyond an int, are never sent.
        {"1844674407370955162", UINT64_MAX, true, "余额不足，请先充值", 0},
        {"999999999999990", UINT64_MAX, true, "余额不足，请先充值", 0},
    };
    for (const Send& s : sends) {
        ChequeSend r = CheckChequeSend(s.text, s.balance, s.ready);
        EXPECT_EQ(r.error, s.error) << s.text << " " << s.balance;
        EXPECT_EQ(r.count, s.count) << s.text << " " << s.balance;
    }
}

TEST(GiftRules, StampBalance) {
    EXPECT_TRUE(MayStamp(1000));
    EXPECT_TRUE(MayStamp(UINT64_MAX));
    EXPECT_FALSE(MayStamp(999));
}

TEST(GiftRules, WordsInTheirOrder) {
    auto filter = [](const std::string& w) { return w == "坏话" ? std::string("**") : w; };
    struct Row {
        bool ready;
        const char* count;
        uint32_t receiver;
        const char* words;
        std::string error, sent;
        bool send;
    } rows[] = {
        {true, "188(要抱抱)", 7, "生日快乐", "", "生日快乐", true},
        {true, "1", 7, "", "", "", true},
        {true, "1", 7, "坏话", "", "**", true},
        {false, "", 0, "x", kNotReady, "", false},
        {true, "", 7, "", kEmpty, "", false},
        {true, "(3", 7, "", kZero, "", false},
        {true, "1", 0, "http://a.b", "", "", false},  // no receiver: nothing happens, before the words
        {true, "1", 7, "看 www.example.com", "赠言内容中不允许有超链接!", "", false},
        {true, "1", 7, "<img src=x onerror=alert(1)>", "赠言内容中不允许有特殊html标签!", "", false},
    };
    for (const Row& r : rows) {
        WordsSend s = CheckWordsSend(r.ready, r.count, r.receiver, r.words, filter);
        EXPECT_EQ(s.error, r.error) << r.words;
        EXPECT_EQ(s.send, r.send) << r.words;
        if (s.send) EXPECT_EQ(s.words, r.sent) << r.words;
    }
}

TEST(GiftRules, GroupTotalAndSend) {
    EXPECT_EQ(GroupTotalText(21011, 500000, 200, "1314"), "总额:131400000000");
    EXPECT_EQ(GroupTotalText(21011, 500000, 200, "1314(一生一世)"), "总额:131400000000");
    EXPECT_EQ(GroupTotalText(0, 500000, 200, "1"), "总额:0");
    EXPECT_EQ(GroupTotalText(1, 500000, 0, "1"), "总额:0");
    EXPECT_EQ(GroupTotalText(1, 500000, 2, "abc"), "总额:0");
    EXPECT_EQ(GroupTotalText(1, UINT32_MAX, SIZE_MAX, "2147483647"), "总额:18446744073709551615");
    struct Row {
        uint32_t gift;
        bool hidden, known;
        uint32_t price;
        size_t checked;
        const char* count;
        std::string error;
        int sent;
    } rows[] = {
        {0, false, false, 0, 1, "1", "请选择礼物!", 0},
        {9, true, false, 0, 1, "1", "礼物不存在，请重新选择礼物!", 0},
        {9, false, false, 0, 1, "2", "", 2},  // an unknown gift passes when not hidden
        {9, true, true, 499999, 1, "1", "隐身状态下，群刷道具只能送豪华礼物!", 0},
        {9, true, true, 500000, 3, "1", "", 1},
        {9, false, true, 10, 0, "1", "请选择赠送人!", 0},
        {9, false, true, 10, 2, "", kEmpty, 0},
        {9, false, true, 10, 2, "0", kZero, 0},
    };
    for (const Row& r : rows) {
        GroupSend s = CheckGroupSend(r.gift, r.hidden, r.known, r.price, r.checked, r.count);
        EXPECT_EQ(s.error, r.error) << r.gift << " " << r.price;
        EXPECT_EQ(s.count, r.sent) << r.gift << " " << r.price;
    }
}

TEST(GiftRules, PanelGiftInItsOrder) {
    struct Row {
        PanelSendInput in;
        std::string error;
        int count;
    } rows[] = {
        {{true, false, false, "", 7, "520(我爱你)"}, "", 520},
        {{false, false, false, "", 7, "1"}, kNotReady, 0},
        {{true, true, true, "礼物", 7, "1"}, "隐身状态只能送豪华礼物!", 0},
        {{true, true, true, "豪华", 7, "1"}, "", 1},
        {{true, true, false, "", 7, "1"}, "", 1},  // a gift the catalogue does not know passes the stealth rule
        {{true, false, false, "", 0, "1"}, "赠予人不能为空!", 0},
        {{true, false, false, "", 7, ""}, kEmpty, 0},
        {{true, false, false, "", 7, "0"}, kZero, 0},
        {{true, false, false, "", 7, "abc"}, kZero, 0},
    };
    for (const Row& r : rows) {
        PanelSend s = CheckPanelSend(r.in);
        EXPECT_EQ(s.error, r.error) << r.in.countText;
        EXPECT_EQ(s.count, r.count) << r.in.countText;
    }
}

TEST(GiftRules, VisibleGiftsByTimeAndPri) {
    auto gift = [](uint32_t id, uint32_t pri, uint32_t start, uint32_t end) {
        auto* g = new GiftItem;
        g->id = id;
        g->pri = pri;
        g->starttm = start;
        g->endtm = end;
        return g;
    };
    std::map<uint32_t, GiftItem*> gifts = {
        {1, gift(1, 3, 0, 100)}, {2, gift(2, 1, 0, 100)}, {3, gift(3, 1, 0, 100)},   // 3 replaces 2 (same pri)
        {4, gift(4, 2, 50, 50)}, {5, gift(5, 4, 0, 49)},  {6, gift(6, 5, 51, 100)},  // 4 at its edges; 5, 6 out
        {7, gift(7, 6, 0, 100)},
    };
    std::vector<uint32_t> ids;
    for (const GiftItem* g : VisibleGifts(gifts, 50, [](uint32_t id) { return id == 7; })) ids.push_back(g->id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{3, 4, 1}));
    // The group gift keeps every gift of its window, same pri or not, in the catalogue's order.
    ids.clear();
    for (const GiftItem* g : GroupGifts(gifts, 50, [](uint32_t id) { return id == 7; })) ids.push_back(g->id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 3, 4}));
    for (auto& [id, g] : gifts) delete g;
}

}  // namespace
