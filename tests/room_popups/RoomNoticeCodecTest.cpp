// The management dialog's notice form: encoded as the service stores it, read back whole, at the length
// limits, and read without harm when the stored text is malformed.
#include <gtest/gtest.h>

#include "RoomNoticeCodec.h"

using roompopups::DecodeRoomNotice;
using roompopups::EncodeRoomNotice;

TEST(RoomNoticeCodec, EncodesRoundTripsAndRefusesWhatWouldOverflowTheDigits) {
    struct Row {
        std::string text, link, picture;
        bool ok;
        std::string stored;  // "" : not compared
    };
    const std::string big(9996, 'a');
    const Row rows[] = {
        {"abc", "x", "http://p/q.png", true, "00030004abcxhttp://p/q.png"},
        {"abc", "x", "上传失败", true, "00030004abcx"},  // no address: not kept
        {"公告", "", "", true, "00040004公告"},          // GBK bytes are counted
        {"", "http://p", "", true, ""},                  // neither text nor picture: no notice
        {"", "", "http://p", true, "00000000http://p"},
        {big, "xyz", "http://p", true, "99969999" + big + "xyzhttp://p"},
        {big, "xyzw", "", false, ""},
        {std::string(10000, 'b'), "", "", false, ""},
    };
    for (const Row& r : rows) {
        std::string out = "old";
        EXPECT_EQ(EncodeRoomNotice({r.text, r.link, r.picture}, out), r.ok) << r.text.size();
        if (!r.ok) {
            EXPECT_TRUE(out.empty());
            continue;
        }
        EXPECT_EQ(out, r.stored);
        RoomNoticeInfo back = DecodeRoomNotice(out);
        if (!out.empty()) {
            EXPECT_EQ(back.text, r.text);
            EXPECT_EQ(back.link, r.text.empty() ? "" : r.link);
            EXPECT_EQ(back.picture, r.picture.compare(0, 5, "http:") == 0 ? r.picture : "");
        }
    }
}

TEST(RoomNoticeCodec, MalformedStoredNoticesDecodeWithoutThrowing) {
    struct Row {
        std::string stored, text, link, picture;
    };
    const Row rows[] = {
        {"0003abcxyz", "abc", "xyz", ""},  // the older form
        {"00030004", "", "", ""},
        {"00030010abcdefgh", "abc", "defgh", ""},  // a link running past the end
        {"99990004abcd", "0004abcd", "", ""},      // lengths out of order: read as the older form
        {"-0010004abcd", "", "", "abcd"},
        {"0002", "", "", ""},
        {"", "", "", ""},
    };
    for (const Row& r : rows) {
        RoomNoticeInfo n;
        EXPECT_NO_THROW(n = DecodeRoomNotice(r.stored)) << r.stored;
        EXPECT_EQ(n.text, r.text) << r.stored;
        EXPECT_EQ(n.link, r.link) << r.stored;
        EXPECT_EQ(n.picture, r.picture) << r.stored;
    }
}
