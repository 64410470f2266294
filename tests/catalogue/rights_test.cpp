// The rights table of power.conf.
#include <gtest/gtest.h>

#include <tuple>

#include "CatalogTestUtil.h"
#include "OpRightsManager.h"

namespace {

using Triple = std::tuple<int, int, int>;

TEST(Rights, Triples) {
    struct Row {
        const char* text;
        std::vector<Triple> allowed;
        std::vector<Triple> refused;
    } rows[] = {
        {"", {}, {{0, 0, 0}, {-1, -1, -1}}},
        {"1\t2\t3\n1\t2\t4\n", {{1, 2, 3}, {1, 2, 4}}, {{1, 3, 3}, {1, 2, -1}, {2, 2, 3}}},
        {"7\t8", {{7, 8, -1}}, {{7, 8, 0}}},
        {"1 2 3\n5\n", {{1, 2, 3}, {5, -1, -1}}, {}},
        {"1 2 x 4 5 6", {{1, 2, -1}}, {{4, 5, 6}}},      // a malformed token ends the reading
        {"1\n2\n3 4\t5 6", {{1, 2, 3}, {4, 5, 6}}, {}},  // lines are not enforced
        {"+1 -2 -3", {{1, -2, -3}}, {}},
        {"1 2 3 1 2 3", {{1, 2, 3}}, {}},
        {"2147483647 -2147483648 0", {{2147483647, -2147483648, 0}}, {}},
        {"1 2 3 99999999999 5 6 7 8 9", {{1, 2, 3}}, {{5, 6, 7}}},  // out of int range: malformed
        {"12abc 4 5", {{12, -1, -1}}, {{4, 5, -1}}},
        {"\xEF\xBB\xBF"
         "1 2 3",
         {},
         {{1, 2, 3}}},  // a BOM is no number
    };
    for (const Row& row : rows) {
        COpRightsManager rights;
        rights.LoadFromText(row.text);
        for (const Triple& t : row.allowed)
            EXPECT_TRUE(rights.HasRight(std::get<0>(t), std::get<1>(t), std::get<2>(t))) << row.text;
        for (const Triple& t : row.refused)
            EXPECT_FALSE(rights.HasRight(std::get<0>(t), std::get<1>(t), std::get<2>(t))) << row.text;
    }
}

TEST(Rights, LoadFromFile) {
    TempFolder folder;
    COpRightsManager rights;
    EXPECT_FALSE(rights.Load(folder.Path() + "res\\power.conf"));
    EXPECT_TRUE(rights.Empty());
    folder.Write("power.conf", "2\t1300\t-1\n2\t1300\t0\n2\t1300\t400\n5\t200\t-1\n");
    ASSERT_TRUE(rights.Load(folder.Path() + "res\\power.conf"));
    EXPECT_TRUE(rights.HasRight(2, 1300, -1));
    EXPECT_TRUE(rights.HasRight(2, 1300, 400));
    EXPECT_TRUE(rights.HasRight(5, 200, -1));
    EXPECT_FALSE(rights.HasRight(5, 200, 0));
    folder.Write("power.conf", "");
    EXPECT_TRUE(rights.Load(folder.Path() + "res\\power.conf"));  // Load empties first
    EXPECT_TRUE(rights.Empty());
    folder.Remove("power.conf");
    rights.LoadFromText("1 1 1");
    EXPECT_FALSE(rights.Load(folder.Path() + "res\\power.conf"));
    EXPECT_FALSE(rights.HasRight(1, 1, 1));
}

}  // namespace
