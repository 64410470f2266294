#include <gtest/gtest.h>

#include "ZqLib.h"

namespace {

TEST(StringUtility, FormatAnyLength) {
    EXPECT_EQ(StringUtility::Format("%d-%s", 7, "x"), "7-x");
    std::string big(100000, 'k');
    EXPECT_EQ(StringUtility::Format("<%s>", big.c_str()), "<" + big + ">");
}

TEST(StringUtility, Tokenize) {
    std::vector<std::string> out;
    StringUtility::Tokenize(",,a,b;;c,", ",;", out);
    EXPECT_EQ(out, (std::vector<std::string>{"a", "b", "c"}));
    StringUtility::Tokenize("", ",", out);
    EXPECT_TRUE(out.empty());
    StringUtility::TokenizeEx("a&&b&", "&", out);
    EXPECT_EQ(out, (std::vector<std::string>{"a", "", "b", ""}));
    StringUtility::TokenizeEx("k=1<>v=2", "<>", out);
    EXPECT_EQ(out, (std::vector<std::string>{"k=1", "v=2"}));
}

TEST(StringUtility, IsContainUrl) {
    const std::pair<const char*, bool> rows[] = {
        {"hello", false},
        {"visit http://x", true},
        {"HTTPS://X", true},
        {"go www.a", true},
        {"see example.com now", true},
        {"中文abc.cn中文", true},
        {"version 1.2.3", false},
        {"a.b", false},
        {"", false},
        {"e.g. this", false},
    };
    for (const auto& r : rows) EXPECT_EQ(StringUtility::IsContainUrl(r.first), r.second) << r.first;
}

}  // namespace

// One function for the program and the updater.
TEST(StringUtility, VersionToNumber) {
    struct Row {
        const char* text;
        int number;
    } rows[] = {
        {"Varnet_1.2.3.4_release", 1234},
        {"Varnet_1.2.3.5_release", 1235},
        {"1.2.3.4", 1234},
        {"V_1.2.3.4", 1234},
        {"V_1.2.3_r", 0},
        {"V_1.2.3.4.5_r", 0},
        {"", 0},
        {"V_10.0.0.1_r", 10001},
        {"V_a.b.c.d_r", 0},
        {"V_2.0.0.0_x_y", 2000},
        {"1.10.0.0", 2000},
        {"1.a.3.4", 1034},
        {"1..3.4", 1034},
        {"1e9.0.0.0", 0},
    };
    for (const Row& r : rows) EXPECT_EQ(VersionToNumber(r.text), r.number) << r.text;
}
