#include <gtest/gtest.h>

#include "IniFile.h"

using namespace zqconfig;

namespace {

TEST(Ini, ParsesServerTextRobustly) {
    const std::string text =
        "\xEF\xBB\xBF"  // a UTF-8 mark: the file is converted to GBK
        "key=before any section\n"
        "[ZqServerList]\r\n"
        "  ConfigSvrUrl = http://127.0.0.1:8080/x?a=b \r\n"
        "; comment\n"
        "# comment\n"
        "no equals sign\n"
        "=no key\n"
        "[broken\n"
        "lost=1\n"
        "[config]\n"
        "version=1.0.2\n"
        "version=9.9.9\n"
        "name=\xE4\xB8\xAD\n"  // UTF-8 "中"
        "path=C:\\x41\\dir\n"  // raw files keep backslashes
        "[DnsLookup]\n"
        "chat.example.com=127.0.0.1\n";
    IniData data;
    size_t skipped = ParseIni(text, false, data);
    EXPECT_EQ(skipped, 5u);
    EXPECT_EQ(data["ZqServerList"]["ConfigSvrUrl"], "http://127.0.0.1:8080/x?a=b");
    EXPECT_EQ(data["CONFIG"]["Version"], "1.0.2");  // names ignore case; the first duplicate wins
    EXPECT_EQ(data["config"]["name"], "中");
    EXPECT_EQ(data["config"]["path"], "C:\\x41\\dir");
    EXPECT_EQ(data["DnsLookup"]["chat.example.com"], "127.0.0.1");
    EXPECT_EQ(data.count("broken"), 0u);
    for (auto& s : data) EXPECT_EQ(s.second.count("lost"), 0u);
}

TEST(Ini, GarbageAndGiantLinesNeverBreakIt) {
    std::string text = "[s]\n";
    text += std::string(kMaxLineBytes + 10, 'a') + "=1\n";
    text += std::string("\0\0=\xFF\n", 5);
    text += "ok=2\n";
    for (int i = 0; i < 256; ++i) text += static_cast<char>(i);
    IniData data;
    ParseIni(text, false, data);
    EXPECT_EQ(data["s"]["ok"], "2");
    EXPECT_EQ(data["s"].count(std::string(2, '\0')), 1u);
    EXPECT_EQ(data["s"].count(std::string(kMaxLineBytes + 10, 'a')), 0u);
}

TEST(Ini, EscapingRoundTrips) {
    const std::string tricky[] = {"a=b",        "x]y",  "[s]",    "#c",          ";c",
                                  "l1\nl2\r\n", "中文", " edge ", "back\\slash", std::string("nul\0byte", 8),
                                  "\\x41",      "",     "\t"};
    IniData data;
    for (const std::string& s : tricky) {
        if (s.empty()) continue;
        data[s][s] = s;
        data["plain"][s] = s;
    }
    data["plain"]["empty"] = "";
    std::string text = WriteIni(data);
    for (unsigned char c : text) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
    IniData back;
    EXPECT_EQ(ParseIni(text, true, back), 0u);
    EXPECT_EQ(back, data);
}

}  // namespace
