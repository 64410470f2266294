// Loading from the res folder, Reload by mask, ClearAll and the file reader.
#include <gtest/gtest.h>

#include "CatalogTestUtil.h"
#include "Halvec.h"
#include "ZqLib.h"

namespace {

const char kGiftA[] = R"({"giftlist":[{"idx":1,"name":"","path":"g\\","list":[{"id":1,"pri":1,"price":10}]}]})";
const char kGiftB[] = R"({"giftlist":[{"idx":1,"name":"","path":"g\\","list":[{"id":2,"pri":1,"price":20}]}]})";
const char kFaceA[] = R"({"facelist":[{"idx":0,"name":"","path":"f\\","list":[{"id":1,"pri":1,"fname":"1.gif"}]}]})";
const char kFaceB[] = R"({"facelist":[{"idx":0,"name":"","path":"f\\","list":[{"id":2,"pri":1,"fname":"2.gif"}]}]})";

class HalvecTest : public ::testing::Test {
protected:
    TempFolder folder;
    CHalvec halvec;

    void SetUp() override { halvec.WordFilter().SetYieldBytes(0); }
};

TEST_F(HalvecTest, SampleSetLoadsEveryCatalogue) {
    folder.CopySampleSet();
    halvec.Attach(folder.Path());
    GiftItem gift;
    ASSERT_TRUE(halvec.GetGift(-1, 10001, gift));
    EXPECT_EQ(gift.name, Gbk(u8"玫瑰"));
    EXPECT_EQ(gift.tips, Gbk(u8"朵"));
    EXPECT_EQ(gift.fname, folder.Path() + "res\\gift\\10001.png");
    EXPECT_TRUE(halvec.GetGift(5, 21009, gift));
    EXPECT_TRUE(halvec.GetGift(-1, 21012, gift));
    EXPECT_EQ(halvec.GetFaceFileName(1), folder.Path() + "res\\face\\1.gif");
    CatalogItem item;
    EXPECT_TRUE(halvec.GetRole(40, item));
    EXPECT_EQ(item.name, Gbk(u8"导演"));
    EXPECT_TRUE(halvec.GetIcon(1, item));
    EXPECT_TRUE(halvec.GetEnterShow(-1, 1, item));
    EXPECT_TRUE(halvec.GetColorBar(-1, 2, item));
    EXPECT_EQ(item.name, Gbk(u8"生日快乐"));
    LevelItem level;
    ASSERT_TRUE(halvec.GetLevel(1300, level));
    EXPECT_EQ(level.name, Gbk(u8"超级管理"));
    EXPECT_EQ(level.nextid, 1400u);
    GiftItem tag;
    EXPECT_TRUE(halvec.GetTag(-1, 3, tag));
    std::vector<UserPhotoItem> photos;
    halvec.GetUserPhotoList(1, photos);
    EXPECT_EQ(photos.size(), 6u);
    EXPECT_TRUE(halvec.HasRight(2, 1300, -1));
    EXPECT_TRUE(halvec.HasRightPair(2, 1300, 400));
    EXPECT_FALSE(halvec.HasRight(2, 100, -1));
    std::vector<CityInfo*> cities;
    halvec.GetCityList(cities);
    ASSERT_GE(cities.size(), 30u);
    EXPECT_EQ(cities[0]->province, Gbk(u8"北京"));
    FreeCityList(cities);
    ASSERT_TRUE(halvec.WordFilter().WaitLoaded(std::chrono::seconds(5)));
    std::u16string out;
    halvec.FilterWords(u"好SHIT的", out);
    EXPECT_EQ(out, u"好****的");
}

TEST_F(HalvecTest, ReloadChangesOnlyTheNamedCatalogues) {
    folder.Write("gift.conf", kGiftA);
    folder.Write("face.conf", kFaceA);
    halvec.Attach(folder.Path());
    GiftItem gift;
    ASSERT_TRUE(halvec.GetGift(-1, 1, gift));
    ASSERT_NE(halvec.GetFaceFileName(1), "");

    folder.Write("gift.conf", kGiftB);
    folder.Write("face.conf", kFaceB);
    for (int mask : {0, 0x1000, 0x7FFFF000, RES_ICON | RES_TAG}) {
        halvec.Reload(mask);
        EXPECT_TRUE(halvec.GetGift(-1, 1, gift)) << mask;
        EXPECT_NE(halvec.GetFaceFileName(1), "") << mask;
    }
    halvec.Reload(RES_GIFT);
    EXPECT_FALSE(halvec.GetGift(-1, 1, gift));
    EXPECT_TRUE(halvec.GetGift(-1, 2, gift));
    EXPECT_NE(halvec.GetFaceFileName(1), "");  // faces untouched
    EXPECT_EQ(halvec.GetFaceFileName(2), "");

    halvec.Reload(RES_FACE | 0x1000);
    EXPECT_EQ(halvec.GetFaceFileName(1), "");
    EXPECT_NE(halvec.GetFaceFileName(2), "");

    folder.Remove("gift.conf");
    halvec.Reload(RES_GIFT);
    EXPECT_FALSE(halvec.GetGift(-1, 2, gift));
    GiftCatalogCopy copy;
    halvec.GetGiftMap(copy);
    EXPECT_TRUE(copy.empty());
}

TEST_F(HalvecTest, ReloadOfEachOtherCatalogue) {
    halvec.Attach(folder.Path());
    CatalogItem item;
    LevelItem level;
    GiftItem tag;
    UserPhotoItem photo;
    EXPECT_FALSE(halvec.GetLevel(100, level));  // no level.conf: no ladder either
    EXPECT_FALSE(halvec.HasRight(1, 2, 3));
    const std::string one = R"(":[{"idx":0,"name":"","path":"p\\","list":[{"id":7,"pri":1}]}]})";
    folder.Write("icon.conf", "{\"iconlist" + one);
    folder.Write("tag.conf", "{\"taglist" + one);
    folder.Write("level.conf", "{\"levellist" + one);
    folder.Write("role.conf", "{\"rolelist" + one);
    folder.Write("userphoto.conf", "{\"userphotolist" + one);
    folder.Write("entershow.conf", "{\"entershowlist" + one);
    folder.Write("colorbar.conf", "{\"colorbarlist" + one);
    folder.Write("power.conf", "1 2 3\n");
    folder.Write("city.conf", "\"p\",\"a,b\"\n");
    halvec.Reload(RES_ICON);
    EXPECT_TRUE(halvec.GetIcon(7, item));
    EXPECT_FALSE(halvec.GetRole(7, item));
    halvec.Reload(RES_TAG | RES_LEVEL | RES_ROLE | RES_USERPHOTO | RES_ENTERSHOW | RES_COLORBAR);
    EXPECT_TRUE(halvec.GetTag(0, 7, tag));
    EXPECT_TRUE(halvec.GetLevel(7, level));
    EXPECT_TRUE(halvec.GetRole(7, item));
    EXPECT_TRUE(halvec.GetUserPhoto(-1, 7, photo));
    EXPECT_TRUE(halvec.GetEnterShow(-1, 7, item));
    EXPECT_TRUE(halvec.GetColorBar(-1, 7, item));
    EXPECT_FALSE(halvec.HasRight(1, 2, 3));
    halvec.Reload(RES_POWER | RES_CITY);
    EXPECT_TRUE(halvec.HasRight(1, 2, 3));
    std::vector<CityInfo*> cities;
    halvec.GetCityList(cities);
    ASSERT_EQ(cities.size(), 1u);
    EXPECT_EQ(cities[0]->cities.size(), 2u);
    FreeCityList(cities);
}

TEST_F(HalvecTest, ClearAllEmptiesEverything) {
    folder.CopySampleSet();
    halvec.Attach(folder.Path());
    ASSERT_TRUE(halvec.WordFilter().WaitLoaded(std::chrono::seconds(5)));
    halvec.ClearAll();
    GiftItem gift;
    EXPECT_FALSE(halvec.GetGift(-1, 10001, gift));
    EXPECT_EQ(halvec.GetFaceFileName(1), "");
    EXPECT_FALSE(halvec.HasRight(2, 1300, -1));
    std::vector<CityInfo*> cities;
    halvec.GetCityList(cities);
    EXPECT_TRUE(cities.empty());
    std::u16string out;
    halvec.FilterWords(u"shit", out);
    EXPECT_EQ(out, u"shit");
}

TEST_F(HalvecTest, ReadConfFile) {
    folder.Write("a.conf", std::string("abc\0def", 7));
    folder.Write("empty.conf", "");
    folder.Write("giant.conf", std::string((4u << 20) + 1, ' '));
    std::filesystem::create_directories(folder.Res("dir.conf"));
    EXPECT_EQ(CHalvec::ReadConfFile(folder.Path() + "res\\a.conf"), "abc");
    EXPECT_EQ(CHalvec::ReadConfFile(folder.Path() + "res/a.conf"), "abc");
    EXPECT_EQ(CHalvec::ReadConfFile(folder.Path() + "res\\empty.conf"), "");
    EXPECT_EQ(CHalvec::ReadConfFile(folder.Path() + "res\\missing.conf"), "");
    EXPECT_EQ(CHalvec::ReadConfFile(folder.Path() + "res\\giant.conf"), "");
    EXPECT_EQ(CHalvec::ReadConfFile(folder.Path() + "res\\dir.conf"), "");
}

TEST_F(HalvecTest, GiftIdsWithoutLookup) {
    EXPECT_TRUE(halvec.IsGift21009(21009));
    EXPECT_FALSE(halvec.IsGift21009(21012));
    EXPECT_TRUE(halvec.IsGift21012(21012));
    EXPECT_FALSE(halvec.IsGift21012(-21012));
}

}  // namespace

namespace {

// Every picture the sample catalogues name is shipped beside them.
TEST(SampleSet, EveryPictureExists) {
    TempFolder folder;
    folder.CopySampleSet();
    CHalvec halvec;
    halvec.Attach(folder.Path());
    size_t checked = 0;
    auto check = [&](const std::string& path) {
        ++checked;
        EXPECT_TRUE(std::filesystem::is_regular_file(Dir::ToNativePath(path))) << path;
    };
    GiftCatalogCopy gifts;
    halvec.GetGiftMap(gifts);
    for (const auto& g : gifts)
        for (const auto& item : g.second) {
            GiftItem gift;
            ASSERT_TRUE(halvec.GetGift(static_cast<int>(g.first.idx), item.first, gift));
            check(gift.fname);
            check(gift.smallfname);
            check(gift.swffname);
            EXPECT_FALSE(gift.name.empty());
            EXPECT_TRUE(Charset::IsValidGbk(gift.name)) << gift.name;
            EXPECT_TRUE(Charset::IsValidGbk(gift.tips)) << gift.tips;
        }
    FreeCatalogCopy(gifts);
    FaceCatalogCopy faces;
    halvec.GetFaceMap(faces);
    for (const auto& g : faces)
        for (const auto& item : g.second) check(halvec.GetFaceFileName(static_cast<int>(item.first)));
    FreeCatalogCopy(faces);
    TagCatalogCopy tags;
    halvec.GetTagMap(tags);
    for (const auto& g : tags)
        for (const auto& item : g.second) {
            GiftItem tag;
            ASSERT_TRUE(halvec.GetTag(-1, static_cast<int>(item.first), tag));
            check(tag.fname);
            check(tag.smallfname);
        }
    FreeCatalogCopy(tags);
    ColorBarCatalogCopy bars;
    halvec.GetColorBarMap(bars);
    for (const auto& g : bars)
        for (const auto& item : g.second) {
            CatalogItem bar;
            ASSERT_TRUE(halvec.GetColorBar(-1, static_cast<int>(item.first), bar));
            check(bar.fname);
        }
    FreeCatalogCopy(bars);
    std::vector<UserPhotoItem> photos;
    halvec.GetUserPhotoList(-1, photos);
    halvec.GetUserPhotoList(2, photos);
    for (const UserPhotoItem& photo : photos) {
        check(photo.fname);
        check(photo.smallfname);
    }
    for (uint32_t id = 100; id <= 1700; id += 100) {
        LevelItem level;
        ASSERT_TRUE(halvec.GetLevel(static_cast<int>(id), level));
        check(level.fname);
    }
    for (int role : {10, 20, 30, 40}) {
        CatalogItem item;
        ASSERT_TRUE(halvec.GetRole(role, item));
        check(item.fname);
    }
    for (int id = 1; id <= 4; ++id) {
        CatalogItem item;
        ASSERT_TRUE(halvec.GetIcon(id, item));
        check(item.fname);
    }
    for (int id = 1; id <= 3; ++id) {
        CatalogItem item;
        ASSERT_TRUE(halvec.GetEnterShow(-1, id, item));
        check(item.fname);
    }
    EXPECT_GT(checked, 100u);
}

}  // namespace
