// The room store and its records: forwarding, the "room absent" values, the own-user fall-backs and the
// stored notice form.
#include <gtest/gtest.h>

#include "ChatHtml.h"
#include "RoomInfoMgr.h"
#include "RoomTestEnv.h"
#include "Win32Sync.h"

namespace {

RoomUserInfo User(uint32_t uid, uint32_t beautyid = 0, const char* chatid = "") {
    RoomUserInfo u;
    u.uid = uid;
    u.beautyid = beautyid;
    u.nickname = "u" + std::to_string(uid);
    u.chatid = chatid;
    return u;
}

class RoomStore : public ::testing::Test {
protected:
    void SetUp() override {
        roomtest::SetUpOnce();
        ChatServerInfo chat;
        chat.joinId = 4242;
        ASSERT_EQ(store.InsertRoom(kRoom, chat), 1);
    }
    void TearDown() override { store.RemoveRoom(kRoom); }

    static constexpr uint32_t kRoom = 501;
    static constexpr uint32_t kAbsent = 999;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
};

TEST_F(RoomStore, AbsentRoomValues) {
    RoomUserInfo out;
    std::vector<RoomGiftRecord> gifts;
    EXPECT_EQ(store.AddRoomUser(kAbsent, User(1)), 0);
    EXPECT_EQ(store.SetRoomUserList(kAbsent, RoomUserMap{{1, User(1)}}), 0);
    EXPECT_EQ(store.RemoveRoomUser(kAbsent, 1), 0);
    EXPECT_FALSE(store.GetRoomUser(kAbsent, 1, out));
    EXPECT_FALSE(store.GetRoomUserByBeautyID(kAbsent, 1, out));
    EXPECT_FALSE(store.UpdateRoomUser(kAbsent, User(1)));
    EXPECT_EQ(store.LockRoom(kAbsent, 1), nullptr);
    EXPECT_EQ(store.UnlockRoom(kAbsent), 0);
    EXPECT_EQ(store.GetChatJoinID(kAbsent), 0u);
    EXPECT_EQ(store.GetUserChatID(kAbsent, 1), "");
    EXPECT_EQ(store.CountMicUsers(kAbsent, true), 0);
    EXPECT_FALSE(store.SetUserMicState(kAbsent, 1, 1));
    EXPECT_EQ(store.GetUserMicState(kAbsent, roomtest::kSelf), 0u);
    EXPECT_EQ(store.AddGiftRecord(kAbsent, RoomGiftRecord()), 0);
    EXPECT_EQ(store.GetSentGiftRecords(kAbsent, gifts), 0);
    EXPECT_EQ(store.SetUserRole(kAbsent, 1, 20), 0);
    EXPECT_EQ(store.GetUserRole(kAbsent, 1), 0u);
    EXPECT_EQ(store.IsUserHide(kAbsent, 1), 0u);
    EXPECT_EQ(store.SetUserMuteState(kAbsent, 1, 1), 0);
    EXPECT_EQ(store.GetUserMuteState(kAbsent, 1), 255u);
    EXPECT_EQ(store.SetUserTag(kAbsent, 1, 5), 0);
    EXPECT_FALSE(store.HasUser(kAbsent, 1));
    EXPECT_EQ(store.GetMyMuteFlag(kAbsent), 0u);
    EXPECT_EQ(store.ClearFavFlag(kAbsent), 0);
    EXPECT_EQ(store.GetFavFlag(kAbsent), 0u);
    EXPECT_EQ(store.GetRoomName(kAbsent), "");
    EXPECT_EQ(store.GetRoomNoticeHtml(kAbsent, 1), "");
    EXPECT_EQ(store.GetRoomPassword(kAbsent), "");
    EXPECT_FALSE(store.IsSetWelWordSelf(kAbsent));
    EXPECT_TRUE(store.IsWelWordCoundFull(kAbsent));
    EXPECT_EQ(store.CanSetWelWord(kAbsent), 0);
    store.UpdateFavFlag(kAbsent, 1);
    store.SetRoomName(kAbsent, "x");
    store.SetRoomNotice(kAbsent, "x", 1);
    store.UpdateWelWordUserID(kAbsent, {1});
    store.RemoveRoom(kAbsent);
}

TEST_F(RoomStore, InsertTwiceKeepsTheFirstRecord) {
    store.SetRoomName(kRoom, "first");
    ChatServerInfo other;
    other.joinId = 1;
    EXPECT_EQ(store.InsertRoom(kRoom, other), 0);
    EXPECT_EQ(store.GetRoomName(kRoom), "first");
    EXPECT_EQ(store.GetChatJoinID(kRoom), 4242u);
}

TEST_F(RoomStore, Users) {
    EXPECT_EQ(store.SetRoomUserList(kRoom, RoomUserMap{{1, User(10, 7)}, {2, User(11, 7)}, {3, User(12, 0, "c12")}}),
              1);
    RoomUserInfo out;
    EXPECT_TRUE(store.GetRoomUser(kRoom, 10, out));  // stored under its own uid, not the key
    EXPECT_FALSE(store.HasUser(kRoom, 1));
    EXPECT_TRUE(store.GetRoomUserByBeautyID(kRoom, 7, out));
    EXPECT_EQ(out.uid, 10u);  // the smaller uid of the two
    EXPECT_EQ(store.SetRoomUserList(kRoom, RoomUserMap{}), 0);
    EXPECT_TRUE(store.HasUser(kRoom, 12));  // an empty list keeps the users

    RoomUserPtrMap reply;
    reply[5] = std::make_unique<RoomUserInfo>(User(13));
    EXPECT_EQ(store.SetRoomUserList(kRoom, reply), 1);
    EXPECT_FALSE(store.HasUser(kRoom, 12));
    EXPECT_TRUE(store.HasUser(kRoom, 13));

    EXPECT_FALSE(store.UpdateRoomUser(kRoom, User(14)));  // no insert
    EXPECT_EQ(store.AddRoomUser(kRoom, User(14, 0, "c14")), 1);
    EXPECT_EQ(store.RemoveRoomUser(kRoom, 13), 1);
    EXPECT_EQ(store.RemoveRoomUser(kRoom, 13), 0);

    CRoomBaseInfo* room = store.LockRoom(kRoom, 2);
    ASSERT_NE(room, nullptr);
    room->lock.AssertHeld();
    room->myChatId = "mine";
    EXPECT_EQ(store.UnlockRoom(kRoom), 1);
    EXPECT_EQ(store.UnlockRoom(kRoom), 0);  // nothing left to release
    EXPECT_EQ(store.GetUserChatID(kRoom, 14), "c14");
    EXPECT_EQ(store.GetUserChatID(kRoom, 13), "mine");  // absent
    store.AddRoomUser(kRoom, User(15));
    EXPECT_EQ(store.GetUserChatID(kRoom, 15), "mine");  // no chat id of its own
}

// A store call inside a section could wait for the store lock behind a writer waiting for the section.
TEST_F(RoomStore, AStoreCallInsideASectionIsCaught) {
    if (!getenv("VARNET_THREAD_CHECKS")) GTEST_SKIP() << "checks are off";
    ChatServerInfo chat;
    ASSERT_EQ(store.InsertRoom(kAbsent, chat), 1);
    EXPECT_DEATH(
        {
            store.LockRoom(kRoom, 1);
            store.HasUser(kAbsent, 1);
        },
        "inside a room section");
    EXPECT_DEATH(
        {
            store.LockRoom(kRoom, 2);
            store.LockRoom(kAbsent, 1);
        },
        "inside a room section");
    // Once unlocked, calls go on as usual.
    ASSERT_NE(store.LockRoom(kRoom, 1), nullptr);
    EXPECT_EQ(store.UnlockRoom(kRoom), 1);
    EXPECT_FALSE(store.HasUser(kAbsent, 1));
    store.RemoveRoom(kAbsent);
}

TEST_F(RoomStore, StatesAndOwnFallbacks) {
    const uint32_t self = roomtest::kSelf;
    // Before the user list arrives the own role and microphone state come from the room's own fields.
    EXPECT_EQ(store.SetUserRole(kRoom, self, 30), 0);
    EXPECT_EQ(store.GetUserRole(kRoom, self), 30u);
    EXPECT_FALSE(store.SetUserMicState(kRoom, self, 2));
    EXPECT_EQ(store.GetUserMicState(kRoom, self), 2u);
    EXPECT_EQ(store.GetUserRole(kRoom, 77), 0u);

    store.AddRoomUser(kRoom, User(20));
    store.AddRoomUser(kRoom, User(21));
    store.AddRoomUser(kRoom, User(22));
    store.SetUserMicState(kRoom, 20, 1);
    store.SetUserMicState(kRoom, 21, 2);
    store.SetUserMicState(kRoom, 22, 2);
    EXPECT_EQ(store.CountMicUsers(kRoom, true), 1);
    EXPECT_EQ(store.CountMicUsers(kRoom, false), 2);

    RoomUserInfo out;
    SetTickCountOffsetForTest(1000000);
    EXPECT_EQ(store.SetUserMuteState(kRoom, 20, 2), 1);
    store.GetRoomUser(kRoom, 20, out);
    const uint32_t stamped = out.muteTime;
    EXPECT_NE(stamped, 0u);
    SetTickCountOffsetForTest(2000000);
    store.SetUserMuteState(kRoom, 20, 1);  // state 1 keeps the stamp
    store.GetRoomUser(kRoom, 20, out);
    EXPECT_EQ(out.muteTime, stamped);
    store.SetUserMuteState(kRoom, 20, 0);  // state 0 refreshes it
    store.GetRoomUser(kRoom, 20, out);
    EXPECT_NE(out.muteTime, stamped);
    SetTickCountOffsetForTest(0);
    EXPECT_EQ(store.GetUserMuteState(kRoom, 20), 0u);
    EXPECT_EQ(store.GetUserMuteState(kRoom, 99), 255u);

    EXPECT_EQ(store.SetUserTag(kRoom, 21, 8), 1);
    EXPECT_EQ(store.SetUserTag(kRoom, 21, 8), 0);
    EXPECT_EQ(store.SetUserTag(kRoom, 99, 8), 0);
}

TEST_F(RoomStore, FieldsGiftsAndWelcomeWords) {
    store.SetRoomName(kRoom, "名字");
    store.SetRoomName(kRoom, "");
    EXPECT_EQ(store.GetRoomName(kRoom), "名字");
    store.UpdateFavFlag(kRoom, 1);
    EXPECT_EQ(store.GetFavFlag(kRoom), 1u);
    EXPECT_EQ(store.ClearFavFlag(kRoom), 1);
    EXPECT_EQ(store.GetFavFlag(kRoom), 0u);

    RoomGiftRecord sent, received;
    sent.kind = 1;
    sent.itemId = 501;
    received.kind = 2;
    received.itemId = 502;
    EXPECT_EQ(store.AddGiftRecord(kRoom, sent), 1);
    EXPECT_EQ(store.AddGiftRecord(kRoom, received), 1);
    EXPECT_EQ(store.AddGiftRecord(kRoom, sent), 1);
    std::vector<RoomGiftRecord> list(5);
    EXPECT_EQ(store.GetSentGiftRecords(kRoom, list), 1);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_EQ(store.GetRecvGiftRecords(kRoom, list), 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].itemId, 502u);

    store.UpdateWelWordUserID(kRoom, {1, 2});
    EXPECT_FALSE(store.IsWelWordCoundFull(kRoom));
    EXPECT_FALSE(store.IsSetWelWordSelf(kRoom));
    store.UpdateWelWordUserID(kRoom, {1, 2, roomtest::kSelf});
    EXPECT_TRUE(store.IsWelWordCoundFull(kRoom));
    EXPECT_TRUE(store.IsSetWelWordSelf(kRoom));
}

TEST_F(RoomStore, CanSetWelWordBounds) {
    struct Row {
        uint32_t role, level;
        int expected;
    } rows[] = {{20, 400, 1}, {40, 900, 1}, {19, 500, 0}, {41, 500, 0}, {30, 399, 0}, {30, 901, 0}};
    for (const Row& row : rows) {
        store.SetUserRole(kRoom, roomtest::kSelf, row.role);
        CGlobalDataApp::GetInstance().UpdateAccount([&](UserAccount& a) { a.level = row.level; });
        EXPECT_EQ(store.CanSetWelWord(kRoom), row.expected) << row.role << "/" << row.level;
    }
    CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.level = 0; });
}

TEST(RoomNoticeForm, PiecesAreClampedToTheBody) {
    struct Row {
        const char* stored;
        bool ok;
        const char* text;
        const char* link;
        const char* picture;
    } rows[] = {
        {"00050005hello", true, "hello", "", ""},  // L = P = 5, five-character body
        {"00050005", false, "", "", ""},           // exactly 8 characters
        {"00020005abcdefg", true, "ab", "cde", "fg"},
        {"00030001abcdef", true, "abc", "def", "bcdef"},  // link end before its start: to the end
        {"00100011abc", true, "abc", "", ""},             // L and P beyond the body (no throw)
        {"-001000xabc", false, "", "", ""},               // negative length
        {"00990000abc", false, "", "", ""},               // length beyond the text
        {"0003-002abcdef", true, "-00", "2abcdef", ""},   // P outside: the older form from offset 4
        {"0002+004abcdef", true, "ab", "cd", "ef"},       // a sign is honoured
        {"00049999link", true, "9999", "link", ""},       // older form: one length only
    };
    for (const Row& row : rows) {
        RoomNoticeInfo n;
        EXPECT_EQ(ParseRoomNotice(row.stored, n), row.ok) << row.stored;
        if (!row.ok) continue;
        EXPECT_EQ(n.text, row.text) << row.stored;
        EXPECT_EQ(n.link, row.link) << row.stored;
        EXPECT_EQ(n.picture, row.picture) << row.stored;
    }
}

TEST_F(RoomStore, NoticeHtmlThroughTheStore) {
    store.SetRoomNotice(kRoom, "00020004ab.c", 2);
    store.SetRoomNotice(kRoom, "", 2);            // empty: unchanged
    store.SetRoomNotice(kRoom, "00020004xy", 6);  // no such notice
    store.SetRoomNotice(kRoom, "00020004xy", 0);
    RoomNoticeInfo expected;
    expected.text = "ab";
    expected.link = ".c";
    EXPECT_EQ(store.GetRoomNoticeHtml(kRoom, 2), BuildLinkNoticeHtml(expected));
    EXPECT_NE(store.GetRoomNoticeHtml(kRoom, 2), "");
    EXPECT_EQ(store.GetRoomNoticeHtml(kRoom, 1), "");
    EXPECT_EQ(store.GetRoomNoticeHtml(kRoom, 6), "");
}

}  // namespace

TEST(RoomNoticeForm, StoredTextsOfAnyShapeReadWithoutThrowing) {
    for (const char* stored : {"", "0005", "00050005", "-001-002abcdef", "99999999abc", "abcdefghijkl",
                               "0003x005abcdef", "00080002abcdefghij", "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"}) {
        RoomNoticeInfo out;
        EXPECT_NO_THROW(ParseRoomNotice(stored, out)) << stored;
        EXPECT_LE(out.text.size() + out.link.size() + out.picture.size(), std::string(stored).size());
    }
}
