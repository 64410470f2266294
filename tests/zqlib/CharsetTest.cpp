#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "ZqLib.h"

namespace {

TEST(Charset, LiteralsAreGbk) {
    EXPECT_EQ(std::string("中"), std::string("\xD6\xD0"));
    EXPECT_EQ(std::string("中文abc"), std::string("\xD6\xD0\xCE\xC4"
                                                  "abc"));
}

TEST(Charset, RoundTrips) {
    const std::string texts[] = {"", "abc", "中文测试", "混合 mixed 文本！", "€", "，。、；：？"};
    for (const std::string& gbk : texts) {
        std::string utf8 = Charset::GbkToUtf8(gbk);
        EXPECT_EQ(Charset::Utf8ToGbk(utf8), gbk);
        std::u16string w = Charset::GbkToUtf16(gbk);
        EXPECT_EQ(Charset::Utf16ToGbk(w), gbk);
        EXPECT_EQ(Charset::Utf8ToUtf16(utf8), w);
        EXPECT_EQ(Charset::Utf16ToUtf8(w), utf8);
        EXPECT_TRUE(Charset::IsValidGbk(gbk));
    }
    EXPECT_EQ(Charset::GbkToUtf8("中"), "\xE4\xB8\xAD");
    EXPECT_EQ(Charset::GbkToUtf16("中"), std::u16string(u"\u4E2D"));
}

// The GBK rows are built at first use, from whichever thread reads them first: threads that start at once, each
// reading every code in its own order, get what one thread gets, and every code comes back the way it went.
TEST(Charset, EveryCodeFromSeveralThreadsAtOnce) {
    std::vector<std::string> codes;
    for (int lead = 0x81; lead <= 0xFE; ++lead)
        for (int trail = 0x40; trail <= 0xFE; ++trail)
            if (trail != 0x7F) codes.push_back({char(lead), char(trail)});
    std::vector<std::vector<std::string>> got(4, std::vector<std::string>(codes.size()));
    std::vector<std::thread> threads;
    for (size_t k = 0; k < got.size(); ++k)
        threads.emplace_back([&, k] {
            for (size_t n = 0; n < codes.size(); ++n) {
                const size_t from = (n + k * codes.size() / got.size()) % codes.size();
                const size_t i = k % 2 ? codes.size() - 1 - from : from;
                got[k][i] = Charset::GbkToUtf8(codes[i]);
            }
        });
    for (auto& t : threads) t.join();
    size_t characters = 0;
    for (size_t i = 0; i < codes.size(); ++i) {
        for (size_t k = 1; k < got.size(); ++k) ASSERT_EQ(got[k][i], got[0][i]) << i;
        if (got[0][i] == "?" || got[0][i].size() == 1) continue;
        ++characters;
        EXPECT_EQ(Charset::GbkToUtf8(Charset::Utf8ToGbk(got[0][i])), got[0][i]) << i;
    }
    EXPECT_GT(characters, 21000u);
}

struct BadCase {
    const char* name;
    std::string in;
    std::string out;
};

TEST(Charset, InvalidBytesBecomeQuestionMarks) {
    const BadCase gbkToUtf8[] = {
        {"lone lead at end", std::string("a\xD6"), "a?"},
        {"lead then ascii",
         std::string("\xD6"
                     "A!"),
         "?A!"},  // 'A' is a valid trail: 0xD641 is a character
        {"byte 0xFF", std::string("\xFF"), "?"},
        {"lead + 0x7F", std::string("\xD6\x7F"), "?\x7F"},
    };
    for (const auto& c : gbkToUtf8) {
        std::string got = Charset::GbkToUtf8(c.in);
        if (std::string(c.name) == "lead then ascii") {
            EXPECT_EQ(Charset::Utf8ToGbk(got), c.in) << c.name;
        } else {
            EXPECT_EQ(got, c.out) << c.name;
            EXPECT_FALSE(Charset::IsValidGbk(c.in)) << c.name;
        }
    }
    const BadCase utf8ToGbk[] = {
        {"truncated 3-byte", std::string("x\xE4\xB8"), "x?"},
        {"stray continuation",
         std::string("\x80"
                     "y"),
         "?y"},
        {"overlong slash", std::string("\xC0\xAF"), "??"},
        {"surrogate", std::string("\xED\xA0\x80"), "?"},
        {"not in GBK (emoji)",
         std::string("\xF0\x9F\x98\x80"
                     "z"),
         "?z"},
        {"bad continuation",
         std::string("\xE4"
                     "ab"),
         "?ab"},
    };
    for (const auto& c : utf8ToGbk) EXPECT_EQ(Charset::Utf8ToGbk(c.in), c.out) << c.name;

    EXPECT_EQ(Charset::Utf8ToUtf16(std::string("\xE4\xB8")), std::u16string(u"\uFFFD"));
    std::u16string loneHigh = {0xD83D, u'a'};
    EXPECT_EQ(Charset::Utf16ToUtf8(loneHigh), "?a");
    std::u16string pair = {0xD83D, 0xDE00};
    EXPECT_EQ(Charset::Utf16ToUtf8(pair), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Charset::Utf8ToUtf16("\xF0\x9F\x98\x80"), pair);
}

}  // namespace
