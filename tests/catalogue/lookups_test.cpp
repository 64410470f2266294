// The lookups: group search with fallback, search by id, full paths, list and map copies.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "CatalogTestUtil.h"
#include "Halvec.h"

namespace {

class LookupsTest : public ::testing::Test {
protected:
    TempFolder folder;
    CHalvec halvec;

    void SetUp() override {
        folder.Write("gift.conf", R"({"giftlist":[
            {"idx":3,"name":"three","path":"g3\\","list":[{"id":30,"pri":1,"fname":"30.png"}]},
            {"idx":5,"name":"five","path":"g5\\","list":[
                {"id":50,"pri":1,"fname":"50.png","smallfname":"50s.png","swffname":"50.swf","price":9}]},
            {"idx":7,"name":"seven","path":"g7\\","list":[{"id":50,"pri":2,"fname":"other.png"}]}]})");
        folder.Write("face.conf", R"({"facelist":[
            {"idx":2,"name":"","path":"f2\\","boxtype":1,"list":[{"id":1,"pri":1,"fname":"1.gif"}]},
            {"idx":4,"name":"","path":"f4\\","list":[{"id":1,"pri":1,"fname":"one.gif"},{"id":2,"pri":1,"fname":"2.gif"}]}]})");
        folder.Write("level.conf", R"({"levellist":[
            {"idx":7,"name":"late","path":"l7\\","list":[{"id":100,"pri":1,"fname":"b.gif","nextid":300}]},
            {"idx":2,"name":"early","path":"l2\\","list":[{"id":100,"pri":1,"fname":"a.gif","nextid":200,"previd":1,"upgradeleft":4}]}]})");
        folder.Write("tag.conf",
                     R"({"taglist":[{"idx":1,"name":"","path":"t\\","list":[{"id":3,"pri":1,"fname":"3.png"}]}]})");
        folder.Write("userphoto.conf", R"({"userphotolist":[
            {"idx":1,"name":"","path":"u\\","list":[{"id":1,"pri":2,"fname":"m1.png","smallfname":"m1s.png"},
                                                    {"id":2,"pri":1,"fname":"m2.png"},
                                                    {"id":3,"pri":2,"fname":"m3.png"}]},
            {"idx":2,"name":"","path":"w\\","list":[{"id":11,"pri":1,"fname":"w1.png"}]}]})");
        folder.Write(
            "colorbar.conf",
            R"({"colorbarlist":[{"idx":0,"name":"","path":"c\\","list":[{"id":1,"pri":1,"name":"%BB%B6","fname":"1.png"}]}]})");
        halvec.WordFilter().SetYieldBytes(0);
        halvec.Attach(folder.Path());
    }
    std::string P(const std::string& rel) const { return folder.Path() + rel; }
};

TEST_F(LookupsTest, GiftByGroupWithFallback) {
    GiftItem gift;
    ASSERT_TRUE(halvec.GetGift(3, 50, gift));  // not in group 3: found in group 5 by the all-groups search
    EXPECT_EQ(gift.fname, P("g5\\50.png"));
    EXPECT_EQ(gift.smallfname, P("g5\\50s.png"));
    EXPECT_EQ(gift.swffname, "50.swf");
    ASSERT_TRUE(halvec.GetGift(5, 50, gift));
    EXPECT_EQ(gift.swffname, P("g5\\50.swf"));
    ASSERT_TRUE(halvec.GetGift(7, 50, gift));
    EXPECT_EQ(gift.fname, P("g7\\other.png"));
    ASSERT_TRUE(halvec.GetGift(65536 + 7, 50, gift));  // group numbers are cut to 16 bits
    EXPECT_EQ(gift.fname, P("g7\\other.png"));
    ASSERT_TRUE(halvec.GetGift(-1, 50, gift));
    EXPECT_EQ(gift.fname, P("g5\\50.png"));
    EXPECT_EQ(gift.swffname, "50.swf");
    ASSERT_TRUE(halvec.GetGift(9, 30, gift));  // no such group
    EXPECT_EQ(gift.fname, P("g3\\30.png"));
    EXPECT_EQ(gift.smallfname, P("g3\\"));  // an empty name yields the folder

    GiftItem untouched;
    untouched.name = "keep";
    EXPECT_FALSE(halvec.GetGift(-1, 99, untouched));
    EXPECT_FALSE(halvec.GetGift(5, 99, untouched));
    EXPECT_EQ(untouched.name, "keep");
    EXPECT_EQ(untouched.tips, Gbk(u8"个"));
}

TEST_F(LookupsTest, GiftAndGroup) {
    GiftItem gift;
    CatalogGroupInfo group;
    ASSERT_TRUE(halvec.GetGiftAndGroup(50, gift, group));
    EXPECT_EQ(group.idx, 5u);
    EXPECT_EQ(group.name, "five");
    EXPECT_EQ(group.path, "g5\\");
    EXPECT_EQ(gift.swffname, "50.swf");
    EXPECT_EQ(gift.price, 9u);
    EXPECT_FALSE(halvec.GetGiftAndGroup(51, gift, group));
}

TEST_F(LookupsTest, Faces) {
    CatalogItem face;
    ASSERT_TRUE(halvec.GetFace(4, 1, face));
    EXPECT_EQ(face.fname, P("f4\\one.gif"));
    ASSERT_TRUE(halvec.GetFace(-1, 1, face));
    EXPECT_EQ(face.fname, P("f2\\1.gif"));
    EXPECT_EQ(halvec.GetFaceFileName(1), P("f2\\1.gif"));
    EXPECT_EQ(halvec.GetFaceFileName(2), P("f4\\2.gif"));
    EXPECT_EQ(halvec.GetFaceFileName(3), "");
    EXPECT_FALSE(halvec.GetFace(2, 3, face));
}

TEST_F(LookupsTest, LevelsAnswerFromTheLowestGroup) {
    LevelItem level;
    ASSERT_TRUE(halvec.GetLevel(100, level));
    EXPECT_EQ(level.fname, P("l2\\a.gif"));
    EXPECT_EQ(level.nextid, 200u);
    EXPECT_EQ(level.previd, 1u);
    EXPECT_EQ(level.upgradeleft, 4u);
    CatalogGroupInfo group;
    ASSERT_TRUE(halvec.GetLevelGroup(100, group));
    EXPECT_EQ(group.idx, 2u);
    EXPECT_EQ(group.name, "early");
    EXPECT_FALSE(halvec.GetLevelGroup(101, group));
    EXPECT_FALSE(halvec.GetLevel(101, level));
}

TEST_F(LookupsTest, TagIgnoresItsGroup) {
    for (int group : {-1, 0, 1, 2, 12345}) {
        GiftItem tag;
        ASSERT_TRUE(halvec.GetTag(group, 3, tag)) << group;
        EXPECT_EQ(tag.fname, P("t\\3.png"));
    }
    GiftItem tag;
    EXPECT_FALSE(halvec.GetTag(1, 4, tag));
}

TEST_F(LookupsTest, UserPhotoList) {
    std::vector<UserPhotoItem> out(1);
    out[0].id = 999;
    halvec.GetUserPhotoList(9, out);  // no such group, no fallback
    ASSERT_EQ(out.size(), 1u);
    halvec.GetUserPhotoList(1, out);  // appended, ascending pri, the later of a pri wins
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[1].id, 2u);
    EXPECT_EQ(out[2].id, 3u);
    EXPECT_EQ(out[2].fname, P("u\\m3.png"));
    std::vector<UserPhotoItem> all;
    halvec.GetUserPhotoList(-1, all);
    ASSERT_EQ(all.size(), 2u);  // pri 1 (id 11 of group 2 comes later) and pri 2
    EXPECT_EQ(all[0].id, 11u);
    UserPhotoItem photo;
    ASSERT_TRUE(halvec.GetUserPhoto(2, 1, photo));
    EXPECT_EQ(photo.smallfname, P("u\\m1s.png"));
    EXPECT_FALSE(halvec.GetUserPhoto(1, 12, photo));
}

TEST_F(LookupsTest, MapCopiesOwnTheirRecords) {
    GiftCatalogCopy gifts;
    halvec.GetGiftMap(gifts);
    ASSERT_EQ(gifts.size(), 3u);
    EXPECT_EQ(gifts.begin()->first.name, "three");
    EXPECT_EQ((gifts[CatalogGroupInfo{5, "", ""}].at(50)->swffname), "50.swf");  // relative names

    // A copy taken before a reload stays valid and untouched after it.
    folder.Remove("gift.conf");
    halvec.Reload(RES_GIFT);
    EXPECT_EQ((gifts[CatalogGroupInfo{5, "", ""}].at(50)->fname), "50.png");
    GiftItem gift;
    EXPECT_FALSE(halvec.GetGift(-1, 50, gift));

    // A group already in `out` keeps its key and gets fresh records (its old ones deleted).
    FaceCatalogCopy faces;
    FaceGroupInfo key;
    key.idx = 4;
    key.name = "mine";
    faces[key][77] = new CatalogItem();
    halvec.GetFaceMap(faces);
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(faces.find(key)->first.name, "mine");
    EXPECT_EQ(faces.find(key)->second.count(77), 0u);
    EXPECT_EQ(faces.find(key)->second.size(), 2u);
    EXPECT_TRUE(faces.begin()->first.boxtype);

    TagCatalogCopy tags;
    halvec.GetTagMap(tags);
    EXPECT_EQ(tags.size(), 1u);
    ColorBarCatalogCopy bars;
    halvec.GetColorBarMap(bars);
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars.begin()->second.at(1)->name, Gbk(u8"欢"));
    FreeCatalogCopy(gifts);
    FreeCatalogCopy(faces);
    FreeCatalogCopy(tags);
    FreeCatalogCopy(bars);
    EXPECT_TRUE(gifts.empty());
}

TEST_F(LookupsTest, EmptyCataloguesFindNothing) {
    CatalogItem item;
    EXPECT_FALSE(halvec.GetRole(10, item));
    EXPECT_FALSE(halvec.GetIcon(1, item));
    EXPECT_FALSE(halvec.GetEnterShow(-1, 1, item));
    EXPECT_FALSE(halvec.GetColorBar(0, 2, item));
    EXPECT_TRUE(halvec.GetColorBar(0, 1, item));
    EXPECT_EQ(item.fname, P("c\\1.png"));
}

// The four other catalogues searched by group and id follow the same rule: the named group first, then every
// group in ascending idx; a miss leaves the out-record as it was.
TEST(GroupSearch, EveryCatalogueByGroupAndId) {
    TempFolder folder;
    const std::string groups =
        R"([{"idx":4,"name":"","path":"g4\\","list":[{"id":1,"pri":1,"fname":"a"},{"id":2,"pri":1,"fname":"b"}]},
                                   {"idx":2,"name":"","path":"g2\\","list":[{"id":1,"pri":1,"fname":"a"}]}])";
    for (const char* name : {"face", "entershow", "colorbar", "userphoto"})
        folder.Write(std::string(name) + ".conf", "{\"" + std::string(name) + "list\":" + groups + "}");
    CHalvec halvec;
    halvec.WordFilter().SetYieldBytes(0);
    halvec.Attach(folder.Path());

    using Lookup = std::function<bool(int group, int id, std::string& fname)>;
    auto item = [](bool (CHalvec::*get)(int, int, CatalogItem&), CHalvec& h) {
        return Lookup([get, &h](int group, int id, std::string& fname) {
            CatalogItem out;
            out.fname = fname;
            bool found = (h.*get)(group, id, out);
            fname = out.fname;
            return found;
        });
    };
    std::map<std::string, Lookup> lookups = {
        {"face", item(&CHalvec::GetFace, halvec)},
        {"entershow", item(&CHalvec::GetEnterShow, halvec)},
        {"colorbar", item(&CHalvec::GetColorBar, halvec)},
        {"userphoto",
         [&](int group, int id, std::string& fname) {
             UserPhotoItem out;
             out.fname = fname;
             bool found = halvec.GetUserPhoto(group, id, out);
             fname = out.fname;
             return found;
         }},
    };
    const std::string root = folder.Path();
    struct Row {
        int group, id;
        bool found;
        std::string fname;
    } rows[] = {
        {4, 1, true, root + "g4\\a"},                                        // the named group holds it
        {2, 1, true, root + "g2\\a"},         {2, 2, true, root + "g4\\b"},  // not in the named group: the all-groups search
        {-1, 1, true, root + "g2\\a"},                                       // every group, ascending idx
        {-7, 2, true, root + "g4\\b"},        {9, 1, true, root + "g2\\a"},  // no such group
        {65536 + 4, 1, true, root + "g4\\a"}, {-1, 3, false, "untouched"},  {4, 3, false, "untouched"},
    };
    for (auto& [name, lookup] : lookups)
        for (const Row& row : rows) {
            std::string fname = "untouched";
            EXPECT_EQ(lookup(row.group, row.id, fname), row.found) << name << " " << row.group << "/" << row.id;
            EXPECT_EQ(fname, row.fname) << name << " " << row.group << "/" << row.id;
        }
}

}  // namespace
