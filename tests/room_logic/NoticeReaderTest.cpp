// The notice body reader: golden documents, both table-header forms, and hostile bodies.
#include <gtest/gtest.h>
#include <json/reader.h>

#include "NoticeReader.h"
#include "ZqLib.h"

namespace {

Json::Value Parse(const std::string& json) {
    Json::Value v;
    EXPECT_TRUE(Json::Reader().parse(json, v)) << json;
    return v;
}

struct Golden {
    const char* name;
    std::string body;
    const char* json;  // the expected document, "cmd":"c" included
};

TEST(NoticeReader, GoldenDocuments) {
    const Golden cases[] = {
        {"example, header after the name", "id=1001\nwellist{\nwelword<uid|word>{\n1002|hello\n1003|hi\n}\n}\n",
         R"({"cmd":"c","id":"1001","wellist":{"welword":[{"uid":"1002","word":"hello"},{"uid":"1003","word":"hi"}]}})"},
        {"example, header after the brace", "id=1001\nwellist{\nwelword{<uid|word>\n1002|hello\n1003|hi\n}\n}\n",
         R"({"cmd":"c","id":"1001","wellist":{"welword":[{"uid":"1002","word":"hello"},{"uid":"1003","word":"hi"}]}})"},
        {"no final line feed", "a=1\nb=2", R"({"cmd":"c","a":"1"})"},
        {"value keeps = and CR", "url=x?a=b=c\r\nempty=\n", "{\"cmd\":\"c\",\"url\":\"x?a=b=c\\r\",\"empty\":\"\"}"},
        {"a=b{ is a key", "a=b{\nc=d\n", R"({"cmd":"c","a":"b{","c":"d"})"},
        {"x{y ignored outside a table", "x{y\nk=v\n", R"({"cmd":"c","k":"v"})"},
        {"x{y is a row inside one", "t<a>{\nx{y\n}\n", R"({"cmd":"c","t":[{"a":"x{y"}]})"},
        {"header a|b| has two columns, extra cells under the empty name", "t<a|b|>{\n1|2|3|4\n5\n}\n",
         R"({"cmd":"c","t":[{"a":"1","b":"2","":"4"},{"a":"5"}]})"},
        {"a||b gives an empty-named column", "t<a||b>{\n1|2|3\n}\n", R"({"cmd":"c","t":[{"a":"1","":"2","b":"3"}]})"},
        {"rows end with the close", "t<a>{\n1\n}\n2\n", R"({"cmd":"c","t":[{"a":"1"}]})"},
        {"cmd in the body replaces it", "cmd=x\n", R"({"cmd":"x"})"},
        {"empty lines skipped", "\n\na=1\n\n", R"({"cmd":"c","a":"1"})"},
    };
    for (const Golden& g : cases) EXPECT_EQ(ReadNoticeBody("c", g.body), Parse(g.json)) << g.name;
}

TEST(NoticeReader, HostileBodiesNeverThrowOrCrash) {
    std::string deep;
    for (int i = 0; i < 300; ++i) deep += "o{\n";
    deep += "k=v\n";
    for (int i = 0; i < 300; ++i) deep += "}\n";
    deep += "after=1\n";
    const struct {
        const char* name;
        std::string body;
        const char* member;  // a member that must still be read, or null
    } cases[] = {
        {"close at depth 0", "}\n}\n}\na=1\n", "a"},
        {"300 nested opens", deep, "after"},
        {"key=value inside a table", "t<a>{\n1\nk=v\n}\nb=1\n", "b"},
        {"row into an object container", "t{\nk=v\n}\nt<a>{\n1\n}\nb=1\n", "b"},
        {"open on a string member", "s=1\ns{\nk=v\n}\nb=1\n", "b"},
        {"key into a table opened as an object", "t<a>{\n1\n}\nt{\nk=v\n}\nb=1\n", "b"},
        {"GBK and control bytes", std::string("n=\xC4\xE3\xBA\xC3\x5C\x00\xFF=\n", 11) + "b=1\n", "b"},
        {"header without >", "t<a|b{\n1|2\n}\nb=1\n", "b"},
    };
    for (auto& c : cases) {
        int skipped = 0;
        Json::Value doc;
        ASSERT_NO_THROW(doc = ReadNoticeBody("c", c.body, &skipped)) << c.name;
        if (c.member) EXPECT_TRUE(NoticeHas(doc, c.member)) << c.name;
        EXPECT_NO_THROW(NoticeToText(doc)) << c.name;
    }
    // A table of half a million rows (a 1 MiB notice): read up to the JSON value bound, the rest dropped.
    std::string rows = "t<a>{\n";
    for (int i = 0; i < 524000; ++i) rows += "1\n";
    rows += "}\nb=1\n";
    int skipped = 0;
    Json::Value big = ReadNoticeBody("c", rows, &skipped);
    EXPECT_LE(big["t"].size() * 2, JsonLimit::kMaxValues);
    EXPECT_GT(skipped, 0);
    // A table row holding "=" is a key line and must not end the notice.
    Json::Value doc = ReadNoticeBody("c", "t<a>{\nhttp://x?a=1\n2\n}\n");
    EXPECT_EQ(doc["t"].size(), 1u);
}

TEST(NoticeReader, GbkBytesStayAsTheyAre) {
    const std::string gbk = "\xC4\xE3\xBA\xC3\x5C";
    Json::Value doc = ReadNoticeBody("c", "link=" + gbk + "\nt<w>{\n" + gbk + "\n}\n");
    EXPECT_EQ(NoticeText(doc, "link"), gbk);
    EXPECT_EQ(doc["t"][0]["w"].asString(), gbk);
    EXPECT_NE(NoticeToText(doc).find(gbk), std::string::npos);
    EXPECT_EQ(NoticeInt(doc, "missing"), 0);
    EXPECT_EQ(NoticeInt64(ReadNoticeBody("c", "b=12345678901\n"), "b"), 12345678901LL);
}

}  // namespace
