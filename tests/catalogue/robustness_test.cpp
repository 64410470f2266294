// Hostile catalogue files: each gives an empty or partial catalogue, never an exception or a crash.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "CatalogParser.h"
#include "CatalogTestUtil.h"
#include "Halvec.h"
#include "ZqLog.h"

namespace {

TEST(Robustness, HostileGiftTexts) {
    struct Row {
        std::string text;
        size_t groups;
        size_t items;  // in all groups
    } rows[] = {
        {"[1,2]", 0, 0},
        {"\"abc\"", 0, 0},
        {"{\"giftlist\":{}}", 0, 0},
        {"{\"giftlist\":\"x\"}", 0, 0},
        {"{\"giftlist\":[5,{\"idx\":-1,\"name\":\"a\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1}]},"
         "{\"idx\":2,\"name\":{},\"path\":\"p\",\"list\":[{\"id\":\"7\",\"pri\":1},{\"id\":8,\"pri\":1,\"price\":-3}]}]"
         "}",
         0, 0},
        {"{\"giftlist\":[{\"idx\":2,\"name\":\"a\",\"path\":\"p\",\"list\":[{\"id\":\"7\",\"pri\":1},"
         "{\"id\":8,\"pri\":1,\"price\":-3},{\"id\":9,\"pri\":1,\"price\":4294967296},7,null,[],"
         "{\"id\":1.5,\"pri\":1},{\"id\":10,\"pri\":3.0,\"name\":{},\"fname\":[1],\"tips\":5,\"mcid\":true}]}]}",
         1, 4},  // 1.5 reads as 1: numbers convert the way every reply does
        {"{\"giftlist\":[{\"idx\":4294967296,\"name\":\"a\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1}]}]}", 0, 0},
        {"{\"giftlist\":[{\"idx\":1,\"name\":\"a\",\"path\":7,\"list\":[{\"id\":1,\"pri\":1}]}]}", 1, 1},  // "7"
        {"{\"giftlist\":[{\"idx\":1,\"name\":\"a\",\"path\":[],\"list\":[{\"id\":1,\"pri\":1}]}]}", 0, 0},
        {"{\"giftlist\":[{\"idx\":1,\"name\":\"a\",\"path\":\"p\",\"list\":{\"id\":1,\"pri\":1}}]}", 0, 0},
        {"{\"giftlist\":[{\"idx\":true,\"name\":\"a\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1}]}]}", 1, 1},
        {"{\"giftlist\":[{\"idx\":\"1\",\"name\":\"a\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1}]}]}", 0, 0},
        {"{\"giftlist\":[{\"idx\":1,\"name\":\"a\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1}]}", 0, 0},  // cut
        {std::string(100000, '[') + std::string(100000, ']'), 0, 0},
        {"{\"giftlist\":[{\"idx\":1,\"name\":\"" + std::string(1 << 20, 'n') +
             "\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1,\"tips\":\"" + std::string(3000, '%') + "\"}]}]}",
         1, 1},
        {"", 0, 0},
        {std::string("{\"giftlist\":[\0", 14), 0, 0},
        {"{\"giftlist\":[{\"idx\":1e2,\"name\":\"\\u0000x\",\"path\":\"p\\u00e9\",\"list\":[{\"id\":1,\"pri\":-0}]}]}",
         1, 1},
    };
    for (const Row& row : rows) {
        GiftCatalog cat;
        EXPECT_NO_THROW(LoadGiftList(row.text, cat)) << row.text.substr(0, 200);
        EXPECT_EQ(cat.groups().size(), row.groups) << row.text.substr(0, 200);
        size_t items = 0;
        for (const auto& g : cat.groups()) items += g.second.size();
        EXPECT_EQ(items, row.items) << row.text.substr(0, 200);
    }
}

TEST(Robustness, WrongTypesKeepDefaults) {
    GiftCatalog cat;
    ASSERT_TRUE(
        LoadGiftList("{\"giftlist\":[{\"idx\":2,\"name\":\"a\",\"path\":\"p\",\"list\":["
                     "{\"id\":10,\"pri\":3.0,\"name\":{},\"fname\":[1],\"tips\":5,\"mcid\":true,"
                     "\"price\":-3,\"showtype\":\"1\",\"endtm\":1.5}]}]}",
                     cat));
    const GiftItem& item = cat.FindGroup(2)->second.at(10);
    EXPECT_EQ(item.pri, 3u);
    EXPECT_EQ(item.name, "");
    EXPECT_EQ(item.fname, "");
    EXPECT_EQ(item.tips, "5");  // scalars read as their text, numbers cut to integers, as in the replies
    EXPECT_EQ(item.mcid, "true");
    EXPECT_EQ(item.endtm, 1u);
    EXPECT_EQ(item.price, 0u);
    EXPECT_EQ(item.showtype, 0u);
}

TEST(Robustness, HostileResFolder) {
    const char* files[] = {"face.conf",  "gift.conf",       "icon.conf",      "tag.conf",
                           "level.conf", "role.conf",       "userphoto.conf", "entershow.conf",
                           "power.conf", "wordfilter.conf", "city.conf",      "colorbar.conf"};
    const std::string contents[] = {
        "",
        std::string("\0\0\0", 3),
        "[1,2]",
        "{\"giftlist\":[{\"idx\":1,\"name\":\"a\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1}]}]}\0junk",
        std::string((4u << 20) + 10, '{'),
        std::string(300000, '"'),
        std::string(200000, 'x') + "\t" + std::string(200000, '9'),
    };
    for (const std::string& content : contents) {
        TempFolder folder;
        for (const char* f : files) folder.Write(f, content);
        CHalvec halvec;
        halvec.WordFilter().SetYieldBytes(0);
        halvec.Attach(folder.Path());
        halvec.Reload(RES_ALL);
        GiftItem gift;
        halvec.GetGift(-1, 1, gift);
        LevelItem level;
        halvec.GetLevel(100, level);
        std::u16string out;
        halvec.FilterWords(u"abc", out);
        EXPECT_EQ(out.size(), 3u);
        std::vector<CityInfo*> cities;
        halvec.GetCityList(cities);
        FreeCityList(cities);
    }
    // Folders and a FIFO in place of files.
    TempFolder folder;
    for (const char* f : files) std::filesystem::create_directories(folder.Res(f));
    std::filesystem::remove(folder.Res("city.conf"));
    ASSERT_EQ(mkfifo(folder.Res("city.conf").c_str(), 0600), 0);
    std::filesystem::remove(folder.Res("power.conf"));
    ASSERT_EQ(mkfifo(folder.Res("power.conf").c_str(), 0600), 0);
    std::filesystem::remove(folder.Res("gift.conf"));
    ASSERT_EQ(mkfifo(folder.Res("gift.conf").c_str(), 0600), 0);
    CHalvec halvec;
    halvec.Attach(folder.Path());
    GiftItem gift;
    EXPECT_FALSE(halvec.GetGift(-1, 1, gift));
    EXPECT_FALSE(halvec.HasRight(1, 1, 1));
}

// Each bad file leaves a line in the plug-in's log naming what was wrong.
TEST(Robustness, BadFilesAreLogged) {
    TempFolder folder;
    LogSetFolder(folder.Path() + "log");
    folder.Write("gift.conf", "[1,2]");
    folder.Write("face.conf",
                 "{\"facelist\":[5,{\"idx\":1,\"name\":\"\",\"path\":\"p\",\"list\":[{\"id\":\"x\",\"pri\":1}]}]}");
    folder.Write("role.conf", "not json");
    folder.Write("icon.conf", std::string((4u << 20) + 1, ' '));
    std::string longName;
    for (int i = 0; i < 300; ++i) longName += "%D6%D0";
    folder.Write("tag.conf", "{\"taglist\":[{\"idx\":1,\"name\":\"" + longName +
                                 "\",\"path\":\"p\",\"list\":[{\"id\":1,\"pri\":1}]}]}");
    folder.Write("city.conf", "\"a\",\"" + std::string(3000, 'b') + "\"");
    CHalvec halvec;
    halvec.WordFilter().SetYieldBytes(0);
    halvec.Attach(folder.Path());
    std::ifstream file(folder.Path() + "log/Halvec.txt");
    std::stringstream log;
    log << file.rdbuf();
    for (const char* needle :
         {"no \"giftlist\" array", "\"facelist\": groups skipped: 1, items skipped: 1", "role.conf", "icon.conf",
          "level.conf", "\"taglist\": names cut to 255 bytes: 1", "records longer than 2047 bytes: 1"})
        EXPECT_NE(log.str().find(needle), std::string::npos) << needle << "\n" << log.str();
}

}  // namespace
