// The province and city list of city.conf.
#include <gtest/gtest.h>

#include "CatalogTestUtil.h"
#include "CityDataModel.h"
#include "Halvec.h"

namespace {

std::vector<CityInfo> Read(const std::string& utf8) {
    CZQCityDataModel model;
    model.LoadFromText(utf8);
    std::vector<CityInfo*> list;
    model.GetCityList(list);
    std::vector<CityInfo> out;
    for (CityInfo* c : list) out.push_back(*c);
    FreeCityList(list);
    return out;
}

TEST(City, Records) {
    auto cities =
        Read(reinterpret_cast<const char*>(u8"\"北京\",\"东城,西城,朝阳\"\n\"广东\":\"广州,深圳,,珠海\"\n"
                                           u8"\"香港\"\n\"空城\",\"\"\n\"两个\" \"记录\"\nnoquotes \"\" \"x"));
    ASSERT_EQ(cities.size(), 6u);
    EXPECT_EQ(cities[0].province, Gbk(u8"北京"));
    EXPECT_EQ(cities[0].cities, (std::vector<std::string>{Gbk(u8"东城"), Gbk(u8"西城"), Gbk(u8"朝阳")}));
    EXPECT_EQ(cities[1].cities.size(), 3u);
    EXPECT_EQ(cities[1].cities[2], Gbk(u8"珠海"));
    EXPECT_EQ(cities[2].cities, (std::vector<std::string>{Gbk(u8"香港")}));
    EXPECT_TRUE(cities[3].cities.empty());
    EXPECT_EQ(cities[4].province, Gbk(u8"两个"));
    EXPECT_EQ(cities[4].cities, (std::vector<std::string>{Gbk(u8"两个")}));
    EXPECT_EQ(cities[5].province, Gbk(u8"记录"));
}

TEST(City, LineEndsBomAndLongTokens) {
    auto crlf = Read("\xEF\xBB\xBF\"a\",\"b,c\"\r\n\"d\",\"e\"\r\n");
    ASSERT_EQ(crlf.size(), 2u);
    EXPECT_EQ(crlf[0].province, "a");
    EXPECT_EQ(crlf[1].cities, (std::vector<std::string>{"e"}));

    std::string longCities(100000, 'x');
    auto big = Read("\"p\",\"" + longCities + "," + longCities + "\" \"q\"");
    ASSERT_EQ(big.size(), 2u);
    EXPECT_EQ(big[0].cities.size(), 2u);
    EXPECT_EQ(big[0].cities[0].size(), 100000u);
    EXPECT_EQ(big[1].province, "q");
    EXPECT_TRUE(Read(std::string(5000, '"')).empty());
    EXPECT_TRUE(Read(std::string("\"a\0b\",\"c\"", 9)).size() == 1);
}

TEST(City, ReloadReplacesTheListAndOldCopiesStayValid) {
    TempFolder folder;
    folder.Write("city.conf", "\"a\",\"b\"");
    CHalvec halvec;
    halvec.Attach(folder.Path());
    std::vector<CityInfo*> before;
    halvec.GetCityList(before);
    folder.Write("city.conf", "\"x\",\"y\" \"z\"");
    halvec.Reload(RES_CITY);
    std::vector<CityInfo*> after;
    halvec.GetCityList(after);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_EQ(before[0]->province, "a");
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1]->province, "z");
    halvec.GetCityList(after);  // appends
    EXPECT_EQ(after.size(), 4u);
    FreeCityList(before);
    FreeCityList(after);
    folder.Remove("city.conf");
    halvec.Reload(RES_CITY);
    halvec.GetCityList(after);
    EXPECT_TRUE(after.empty());
}

}  // namespace
