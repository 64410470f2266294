// The stored notice form: written pieces read back as they were, at the four digits' limit and past it, and
// stored texts of any shape read without throwing.
#include <gtest/gtest.h>

#include "RoomNoticeForm.h"

TEST(RoomNoticeForm, RoundTripsUpToTheFourDigitLimit)
{
    const std::string gbk = "\xB9\xAB\xB8\xE6";   // two GBK characters
    struct Case {
        size_t text, link, picture;
        bool fits;
    } cases[] = {
        {5, 0, 0, true},          {0, 12, 0, true},     {0, 0, 7, true},    {3, 4, 5, true},
        {9999, 0, 0, true},       {9998, 1, 30, true},  {0, 9999, 2, true}, {10000, 0, 0, false},
        {9999, 1, 0, false},      {5000, 5000, 0, false}, {1, 0, 20000, true},
    };
    for (const Case& c : cases) {
        RoomNoticeInfo in;
        for (size_t i = 0; i < c.text; ++i) in.text += gbk[i % gbk.size()];
        in.link = std::string(c.link, 'l');
        in.picture = std::string(c.picture, 'p');
        std::string stored = "untouched";
        ASSERT_EQ(c.fits, FormatRoomNotice(in, stored)) << c.text << "/" << c.link;
        if (!c.fits) {
            EXPECT_EQ("untouched", stored);
            continue;
        }
        EXPECT_EQ(8 + c.text + c.link + c.picture, stored.size());
        RoomNoticeInfo out;
        ASSERT_TRUE(ParseRoomNotice(stored, out)) << c.text << "/" << c.link;
        EXPECT_EQ(in.text, out.text);
        EXPECT_EQ(in.link, out.link);
        EXPECT_EQ(in.picture, out.picture);
    }
    RoomNoticeInfo empty;
    std::string stored;
    ASSERT_TRUE(FormatRoomNotice(empty, stored));
    RoomNoticeInfo out;
    EXPECT_FALSE(ParseRoomNotice(stored, out));   // nothing to show
}

TEST(RoomNoticeForm, StoredTextsOfAnyShapeReadWithoutThrowing)
{
    for (const char* stored : {"", "0005", "00050005", "-001-002abcdef", "99999999abc", "abcdefghijkl",
                               "0003x005abcdef", "00080002abcdefghij", "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"}) {
        RoomNoticeInfo out;
        EXPECT_NO_THROW(ParseRoomNotice(stored, out)) << stored;
        EXPECT_LE(out.text.size() + out.link.size() + out.picture.size(), std::string(stored).size());
    }
}
