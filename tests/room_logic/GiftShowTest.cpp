// Gift pacing with a fake clock and a recording room window: paced units, the shield, the enter-room
// replay, cheques and the banner queue.
#include <gtest/gtest.h>

#include "GiftShowManager.h"
#include "RoomLogicTestEnv.h"

namespace {

using namespace roomlogictest;

class GiftShow : public ::testing::Test {
protected:
    void SetUp() override {
        roomlogictest::SetUp();
        ui.Open();
        gifts.SetRoomUI(&ui);
        gifts.SetTickSource([this] { return now; });
        gifts.SeedRandom(7);
        sender.uid = 1002;
        sender.nickname = "bob";
        receiver.uid = 1003;
        receiver.nickname = "carol";
    }
    // One detection tick `ms` after the last.
    void Tick(uint32_t ms = 66) {
        now += ms;
        gifts.ShowNextGiftUnit();
    }
    std::vector<std::string> Lines() {
        PumpMessagesFor(20);
        std::vector<std::string> out;
        for (auto& p : ui.posted)
            if (p.code == ROOM_NOTIFY_CHAT_LINE) out.push_back(p.text);
        return out;
    }

    uint32_t now = 1000;
    RecordingWindow ui;
    CGiftShowManager gifts;
    RoomUserInfo sender, receiver;
};

TEST_F(GiftShow, UnitsArePacedOneATickWithRunningCounts) {
    gifts.InserGiftShow(sender, receiver, 501, 3, 10, "");
    gifts.ShowNextGiftUnit();  // the first call only starts the clock
    Tick(30);                  // below the interval
    EXPECT_EQ(gifts.PendingUnits(), 3u);
    for (int i = 0; i < 3; ++i) Tick();
    EXPECT_EQ(gifts.PendingUnits(), 0u);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NE(lines[i].find(std::to_string(11 + i)), std::string::npos) << lines[i];
    for (auto& p : ui.posted) EXPECT_EQ(p.flags, CHAT_VIEW_PUBLIC);
}

TEST_F(GiftShow, ShieldAndNotReadyCountWithoutWriting) {
    for (int pass = 0; pass < 2; ++pass) {
        gifts.SetShieldFlag(pass == 0);
        ui.chatReady = pass == 0;
        gifts.InserGiftShow(sender, receiver, 501, 3, 0, "");
        gifts.ShowNextGiftUnit();
        for (int i = 0; i < 3; ++i) Tick();
        EXPECT_EQ(gifts.PendingUnits(), 0u);
    }
    EXPECT_TRUE(Lines().empty());
}

TEST_F(GiftShow, AStallIsCaughtUpOneUnitATick) {
    gifts.InserGiftShow(sender, receiver, 501, 20, 0, "");
    gifts.ShowNextGiftUnit();
    Tick(1000);  // 15 intervals behind
    EXPECT_EQ(gifts.PendingUnits(), 19u);
    for (int i = 0; i < 14; ++i) Tick(1);
    EXPECT_EQ(gifts.PendingUnits(), 5u);
    Tick(1);
    EXPECT_EQ(gifts.PendingUnits(), 5u);  // caught up: the interval holds again
}

TEST_F(GiftShow, EnterRoomReplayPlaysWhatRemains) {
    const struct {
        int64_t seconds;
        size_t remain;
    } rows[] = {{2, 30}, {10, 100}, {0, 0}, {-5, 100}, {int64_t(1) << 40, 100}, {-(int64_t(1) << 40), 100}};
    for (auto& r : rows) {
        gifts.InitInsertGiftShow(receiver, sender, 501, 100, 0, r.seconds, "");
        EXPECT_EQ(gifts.PendingUnits(), r.remain) << r.seconds;
        gifts.ClearGiftShows();
    }
    gifts.InitInsertGiftShow(receiver, sender, 501, 100, 5, 2, "");
    gifts.ShowNextGiftUnit();
    Tick();
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("76"), std::string::npos) << lines[0];  // 5 + 71
}

TEST_F(GiftShow, ChequesWaitForTheChatViewAndMissingGiftsAreDropped) {
    ui.chatReady = false;
    gifts.InsertChequeShow(sender, receiver, 21012, 5);
    gifts.InsertChequeShow(sender, receiver, 77777, 5);
    gifts.CheckChequeShow();
    EXPECT_EQ(gifts.PendingCheques(), 2u);
    ui.chatReady = true;
    gifts.CheckChequeShow();
    EXPECT_EQ(gifts.PendingCheques(), 0u);
    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ui.posted[0].flags, CHAT_VIEW_PUBLIC | CHAT_VIEW_OWN);
    EXPECT_NE(lines[0].find("50"), std::string::npos) << lines[0];  // amount x 10
}

// A flooding server: a gift of 4294967295 units plays its last units only; gifts waiting to be paced and
// global gifts waiting for the banner are bounded (the banner keeps the most valued).
TEST_F(GiftShow, FloodsAreBounded) {
    gifts.InserGiftShow(sender, receiver, 501, 4294967295u, 0, "");
    EXPECT_EQ(gifts.PendingUnits(), size_t(CGiftShowManager::kMaxPacedUnits));
    for (size_t i = 0; i < CGiftShowManager::kMaxPacedItems + 500; ++i)
        gifts.InserGiftShow(sender, receiver, 501, 1, 0, "");
    EXPECT_EQ(gifts.PendingUnits(), size_t(CGiftShowManager::kMaxPacedUnits) + CGiftShowManager::kMaxPacedItems - 1);
    // The enter-room list's gifts, each to another receiver, are bounded alike.
    RoomUserInfo other = receiver;
    for (uint32_t i = 0; i < 100; ++i) {
        other.uid = 900000 + i;
        gifts.InitInsertGiftShow(other, sender, 501, 1, 0, 1, "");
    }
    EXPECT_EQ(gifts.PendingUnits(), size_t(CGiftShowManager::kMaxPacedUnits) + CGiftShowManager::kMaxPacedItems - 1);
    GlobalGiftNotice n;
    n.giftId = 501;  // price 10
    for (uint32_t i = 1; i <= 1000; ++i) gifts.InsertGlobalGiftShow(i, n);
    EXPECT_EQ(gifts.PendingBanners(), CGiftShowManager::kMaxBanners);
    gifts.CheckGlobalGiftShow();
    PumpMessagesFor(20);
    ASSERT_EQ(ui.Count(ROOM_NOTIFY_GLOBAL_GIFT), 1u);
    EXPECT_EQ(ui.posted.back().banner.priority, 10000u);
}

TEST_F(GiftShow, BannerOrderAndReplacement) {
    GlobalGiftNotice n;
    n.giftId = 501;  // price 10
    n.senderName = "a";
    gifts.InsertGlobalGiftShow(50, n);  // 500
    n.senderName = "b";
    gifts.InsertGlobalGiftShow(50, n);  // 500, after a
    n.senderName = "c";
    gifts.InsertGlobalGiftShow(80, n);  // 800, first
    gifts.CheckGlobalGiftShow();
    PumpMessagesFor(20);
    ASSERT_EQ(ui.Count(ROOM_NOTIFY_GLOBAL_GIFT), 1u);
    EXPECT_EQ(ui.posted.back().banner.senderName, "c");
    EXPECT_EQ(ui.posted.back().banner.priority, 800u);

    // Busy with 500: a waiting 500 replaces it only after 30 s; speed goes to 3.
    ui.bannerIdle = false;
    ui.bannerPriority = 500;
    const struct {
        uint32_t shown, elapsed;
        bool replaced;
    } rows[] = {{500, 2500, false}, {500, 30001, true}, {300, 2000, false}, {300, 2001, true}};
    size_t expect = 1;
    for (auto& r : rows) {
        if (gifts.PendingBanners() == 0) gifts.InsertGlobalGiftShow(50, n);
        ui.bannerPriority = r.shown;
        ui.bannerElapsed = r.elapsed;
        gifts.CheckGlobalGiftShow();
        expect += r.replaced;
        PumpMessagesFor(10);
        EXPECT_EQ(ui.Count(ROOM_NOTIFY_GLOBAL_GIFT), expect) << r.shown << " " << r.elapsed;
        EXPECT_EQ(ui.bannerSpeed, 3);
    }
    EXPECT_EQ(ui.posted[1].banner.senderName, "a");

    // Without a live window the item leaves the queue and is freed.
    ui.bannerIdle = true;
    ui.Destroy();
    gifts.InsertGlobalGiftShow(1, n);
    size_t before = gifts.PendingBanners();
    gifts.CheckGlobalGiftShow();
    EXPECT_EQ(gifts.PendingBanners(), before - 1);
}

}  // namespace
