// The JSON catalogue files: groups, items, the ratio rule and the built-in level ladder.
#include <gtest/gtest.h>

#include "CatalogParser.h"
#include "JsonSafe.h"
#include "ZqLib.h"
#include "CatalogTestUtil.h"

namespace {

const char kSampleGift[] = R"({
  "giftlist": [
    { "idx": 1, "name": "%C0%F1%CE%EF", "path": "res\\gift\\", "base": "http://example.invalid/res/gift/",
      "list": [
        { "id": 10001, "pri": 1, "version": 1, "name": "%C3%B5%B9%E5", "tips": "%B6%E4",
          "fname": "10001.png", "smallfname": "10001_s.png", "swffname": "10001.swf",
          "price": 50, "ratio": 80, "starttm": 0, "endtm": 0, "mcid": "m1", "showtype": 1, "duetime": 7, "attr": 3 },
        { "id": 10002, "pri": 2, "version": 1, "name": "%C3%B5%B9%E5", "fname": "10002.png" }
      ] },
    { "idx": 5, "name": "%BA%C0%BB%AA", "path": "res/gift/lux",
      "list": [ { "id": 21009, "pri": 1, "name": "x", "fname": "21009.png", "price": 1000 } ] }
  ]
})";

const GiftItem* Item(const GiftCatalog& cat, uint32_t idx, uint32_t id) {
    const auto* g = cat.FindGroup(idx);
    if (!g) return nullptr;
    auto it = g->second.find(id);
    return it == g->second.end() ? nullptr : &it->second;
}

TEST(CatalogParser, SampleGiftFile) {
    GiftCatalog cat;
    ASSERT_TRUE(LoadGiftList(kSampleGift, cat));
    ASSERT_EQ(cat.groups().size(), 2u);
    const auto* g1 = cat.FindGroup(1);
    ASSERT_TRUE(g1);
    EXPECT_EQ(g1->first.name, Gbk(u8"礼物"));
    EXPECT_EQ(g1->first.path, "res\\gift\\");
    const GiftItem* rose = Item(cat, 1, 10001);
    ASSERT_TRUE(rose);
    EXPECT_EQ(rose->name, Gbk(u8"玫瑰"));
    EXPECT_EQ(rose->tips, Gbk(u8"朵"));
    EXPECT_EQ(rose->price, 50u);
    EXPECT_EQ(rose->ratio, 40u);
    EXPECT_EQ(rose->fname, "10001.png");
    EXPECT_EQ(rose->smallfname, "10001_s.png");
    EXPECT_EQ(rose->swffname, "10001.swf");
    EXPECT_EQ(rose->mcid, "m1");
    EXPECT_EQ(rose->showtype, 1u);
    EXPECT_EQ(rose->duetime, 7u);
    EXPECT_EQ(rose->attr, 3u);
    const GiftItem* plain = Item(cat, 1, 10002);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->tips, Gbk(u8"个"));
    EXPECT_EQ(plain->ratio, 0u);
    EXPECT_EQ(cat.FindGroup(5)->first.path, "res/gift/lux\\");
    EXPECT_EQ(cat.FindGroup(5)->first.name, Gbk(u8"豪华"));
}

TEST(CatalogParser, GroupRules) {
    struct Row {
        const char* text;
        size_t groups;
        const char* path;  // of the first group, when any
    } rows[] = {
        {R"({"facelist":[{"idx":1,"name":"","path":"p","list":[]}]})", 0, nullptr},
        {R"({"facelist":[{"idx":1,"name":"","path":"a\\b","list":[{"id":1,"pri":1}]}]})", 1, "a\\b\\"},
        {R"({"facelist":[{"idx":1,"name":"","path":"a/","list":[{"id":1,"pri":1}]}]})", 1, "a/"},
        {R"({"facelist":[{"idx":1,"name":"","path":"a\\","list":[{"id":1,"pri":1}]}]})", 1, "a\\"},
        {R"({"facelist":[{"idx":1,"name":"","path":"","list":[{"id":1,"pri":1}]}]})", 1, "\\"},
        {R"({"facelist":[{"idx":1,"name":"","list":[{"id":1,"pri":1}]}]})", 0, nullptr},     // no path
        {R"({"facelist":[{"idx":1,"path":"p","list":[{"id":1,"pri":1}]}]})", 0, nullptr},    // no name
        {R"({"facelist":[{"name":"","path":"p","list":[{"id":1,"pri":1}]}]})", 0, nullptr},  // no idx
        {R"({"facelist":[{"idx":null,"name":"","path":"p","list":[{"id":1,"pri":1}]}]})", 0, nullptr},
        {R"({"facelist":[{"idx":1,"name":"","path":"p","list":[{"id":1}]}]})", 0, nullptr},   // no pri
        {R"({"facelist":[{"idx":1,"name":"","path":"p","list":[{"pri":1}]}]})", 0, nullptr},  // no id
        {R"({"facelist":[]})", 0, nullptr},
        {R"({"other":[{"idx":1,"name":"","path":"p","list":[{"id":1,"pri":1}]}]})", 0, nullptr},
    };
    for (const Row& row : rows) {
        FaceCatalog cat;
        EXPECT_TRUE(LoadFaceList(row.text, cat)) << row.text;
        ASSERT_EQ(cat.groups().size(), row.groups) << row.text;
        if (row.path) {
            EXPECT_EQ(cat.groups().begin()->first.path, row.path) << row.text;
        }
    }
}

TEST(CatalogParser, DuplicateIdxKeepsFirstKeyAndTakesLaterItems) {
    GiftCatalog cat;
    ASSERT_TRUE(LoadGiftList(R"({"giftlist":[
        {"idx":1,"name":"first","path":"one\\","list":[{"id":1,"pri":1},{"id":2,"pri":1}]},
        {"idx":65537,"name":"second","path":"two\\","list":[{"id":3,"pri":1,"price":5},{"id":3,"pri":2,"price":9}]}
    ]})",
                             cat));
    ASSERT_EQ(cat.groups().size(), 1u);
    const auto& group = *cat.groups().begin();
    EXPECT_EQ(group.first.idx, 1u);
    EXPECT_EQ(group.first.name, "first");
    EXPECT_EQ(group.first.path, "one\\");
    ASSERT_EQ(group.second.size(), 1u);
    EXPECT_EQ(group.second.at(3).pri, 2u);  // the later duplicate id wins
    EXPECT_EQ(group.second.at(3).price, 9u);
}

TEST(CatalogParser, FaceBoxtype) {
    FaceCatalog cat;
    ASSERT_TRUE(LoadFaceList(R"({"facelist":[
        {"idx":0,"name":"","path":"f\\","boxtype":1,"list":[{"id":1,"pri":1}]},
        {"idx":1,"name":"","path":"f\\","boxtype":0,"list":[{"id":2,"pri":1}]},
        {"idx":2,"name":"","path":"f\\","boxtype":"1","list":[{"id":3,"pri":1}]},
        {"idx":3,"name":"","path":"f\\","list":[{"id":4,"pri":1}]}]})",
                             cat));
    std::vector<bool> boxtypes;
    for (const auto& g : cat.groups()) boxtypes.push_back(g.first.boxtype);
    EXPECT_EQ(boxtypes, (std::vector<bool>{true, false, false, false}));
}

TEST(CatalogParser, RatioRule) {
    struct Row {
        const char* item;
        uint32_t ratio;
    } rows[] = {
        {R"({"id":1,"pri":1,"price":50,"ratio":80})", 40},
        {R"({"id":1,"pri":1,"ratio":80,"price":50})", 40},   // member order does not matter
        {R"({"id":1,"pri":1,"ratio":80})", 0},               // no price
        {R"({"id":1,"pri":1,"price":null,"ratio":80})", 0},  // null counts as absent
        {R"({"id":1,"pri":1,"price":3,"ratio":33})", 0},     // truncated
        {R"({"id":1,"pri":1,"price":100000,"ratio":100000})", static_cast<uint32_t>(100000u * 100000u) / 100u},
        {R"({"id":1,"pri":1,"price":50,"ratio":-80})", 0},  // wrong type keeps the default
    };
    for (const Row& row : rows) {
        GiftCatalog cat;
        std::string text = std::string(R"({"giftlist":[{"idx":1,"name":"","path":"","list":[)") + row.item + "]}]}";
        ASSERT_TRUE(LoadGiftList(text, cat));
        EXPECT_EQ(Item(cat, 1, 1)->ratio, row.ratio) << row.item;
    }
}

TEST(CatalogParser, TagsReadOnlyTheirMembers) {
    GiftCatalog cat;
    ASSERT_TRUE(LoadTagList(R"({"taglist":[{"idx":1,"name":"%D3%A1%D5%C2","path":"res\\tag\\","list":[
        {"id":3,"pri":1,"name":"n","fname":"3.png","smallfname":"3_s.png","price":100,"ratio":50,"tips":"%B6%E4",
         "swffname":"x.swf","duetime":86400,"attr":2}]}]})",
                            cat));
    const GiftItem* tag = Item(cat, 1, 3);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->price, 100u);
    EXPECT_EQ(tag->duetime, 86400u);
    EXPECT_EQ(tag->attr, 2u);
    EXPECT_EQ(tag->smallfname, "3_s.png");
    EXPECT_EQ(tag->ratio, 0u);  // gifts only
    EXPECT_EQ(tag->tips, Gbk(u8"个"));
    EXPECT_EQ(tag->swffname, "");
}

TEST(CatalogParser, LevelItemsAndLadder) {
    LevelCatalog cat;
    ASSERT_TRUE(LoadLevelList(R"({"levellist":[{"idx":0,"name":"%B5%C8%BC%B6","path":"res\\level\\","list":[
        {"id":100,"pri":1,"name":"%D3%CE%BF%CD","fname":"100.gif","previd":0,"nextid":200,"upgradeleft":5}]}]})",
                              cat));
    const LevelItem& guest = cat.FindGroup(0)->second.at(100);
    EXPECT_EQ(guest.name, Gbk(u8"游客"));
    EXPECT_EQ(guest.nextid, 200u);
    EXPECT_EQ(guest.upgradeleft, 5u);

    for (const char* text : {R"({"levellist": []})", "[1,2]", R"({"levellist":[{"idx":0}]})"}) {
        LevelCatalog ladder;
        ASSERT_TRUE(LoadLevelList(text, ladder)) << text;
        ASSERT_EQ(ladder.groups().size(), 1u) << text;
        const auto& group = *ladder.groups().begin();
        EXPECT_EQ(group.first.idx, 0u);
        EXPECT_EQ(group.first.path, "");
        ASSERT_EQ(group.second.size(), 17u);
        EXPECT_EQ(group.second.at(300).nextid, 1000u);
        EXPECT_EQ(group.second.at(900).nextid, 900u);
        EXPECT_EQ(group.second.at(1600).nextid, 1600u);
        EXPECT_EQ(group.second.at(1700).name, Gbk(u8"巡管"));
        EXPECT_EQ(group.second.at(300).name, "VIP");
    }
    LevelCatalog none;
    EXPECT_FALSE(LoadLevelList("not json", none));
    EXPECT_TRUE(none.empty());
}

TEST(CatalogParser, EveryCatalogueReadsItsListKey) {
    const char* item = R"([{"idx":2,"name":"","path":"p","list":[{"id":9,"pri":1,"fname":"9.png","smallfname":"s"}]}])";
    ItemCatalog role, icon, enter, colour;
    UserPhotoCatalog photos;
    EXPECT_TRUE(LoadRoleList(std::string(R"({"rolelist":)") + item + "}", role));
    EXPECT_TRUE(LoadIconList(std::string(R"({"iconlist":)") + item + "}", icon));
    EXPECT_TRUE(LoadEnterShowList(std::string(R"({"entershowlist":)") + item + "}", enter));
    EXPECT_TRUE(LoadColorBarList(std::string(R"({"colorbarlist":)") + item + "}", colour));
    EXPECT_TRUE(LoadUserPhotoList(std::string(R"({"userphotolist":)") + item + "}", photos));
    for (const ItemCatalog* cat : {&role, &icon, &enter, &colour})
        EXPECT_EQ(cat->FindGroup(2)->second.at(9).fname, "9.png");
    EXPECT_EQ(photos.FindGroup(2)->second.at(9).smallfname, "s");
    ItemCatalog wrongKey;
    EXPECT_TRUE(LoadRoleList(std::string(R"({"iconlist":)") + item + "}", wrongKey));
    EXPECT_TRUE(wrongKey.empty());
}

TEST(CatalogParser, CommentsAndTrailingTextAccepted) {
    ItemCatalog cat;
    ASSERT_TRUE(
        LoadRoleList("// roles\n{\"rolelist\":[/* one */{\"idx\":0,\"name\":\"\",\"path\":\"r\\\\\",\"list\":"
                     "[{\"id\":10,\"pri\":1}]}]} trailing",
                     cat));
    EXPECT_EQ(cat.groups().size(), 1u);
}

TEST(CatalogParser, ValueCountIsBoundedBeforeParsing) {
    // Small text, large memory: refused like malformed text, whatever the catalogue.
    std::string items;
    for (size_t i = 0; i < JsonLimit::kMaxValues; ++i) items += i ? ",{}" : "{}";
    ItemCatalog cat;
    EXPECT_FALSE(LoadRoleList(R"({"rolelist":[{"idx":0,"list":[)" + items + "]}]}", cat));
    EXPECT_TRUE(cat.empty());
}

TEST(CatalogParser, NamesAreCappedOnACharacterBoundary) {
    std::string encoded;
    for (int i = 0; i < 400; ++i) encoded += "%D6%D0";  // GBK "中", two bytes each
    std::string decoded = DecodeName(encoded);
    EXPECT_LE(decoded.size(), 255u);
    EXPECT_EQ(decoded.size() % 2, 0u);  // never half a character
    EXPECT_EQ(DecodeName("a%2"), "a%2");
    EXPECT_EQ(DecodeName(""), "");
}

}  // namespace

TEST(CatalogParser, NestingIsBoundedLikeTheReplies) {
    // Root, list, group, items and item are five levels; the extra member fills up to the bound.
    auto text = [](unsigned levels) {
        return R"({"giftlist":[{"idx":1,"name":"","path":"","list":[{"id":1,"pri":1,"x":)" +
               std::string(levels - 5, '[') + std::string(levels - 5, ']') + "}]}]}";
    };
    GiftCatalog cat;
    EXPECT_TRUE(LoadGiftList(text(JsonSafe::kMaxDepth), cat));
    EXPECT_EQ(cat.groups().size(), 1u);
    GiftCatalog deeper;
    EXPECT_FALSE(LoadGiftList(text(JsonSafe::kMaxDepth + 1), deeper));
    EXPECT_TRUE(deeper.empty());
}
