// The scripted peer against the local room service and chat server: two peers in one room hear each
// other (hostile text passes as it stands), a gift is charged, and refusals come back as errors.
#include <gtest/gtest.h>

#include "ChatServer.h"
#include "PeerClient.h"
#include "RoomService.h"

namespace {

struct Stack {
    testenv::ChatServer chat;
    testenv::RoomService service;
    Stack() {
        int port = chat.Start();
        service.WithData([port](testenv::SvcData& d) {
            d.chatPort = port;
            d.giftPrices[10005] = 500;  // a gift with an effect in the catalogue
        });
        service.Start();
    }
};

TEST(PeerClient, TwoPeersTalkAndAGiftIsCharged) {
    Stack s;
    testenv::PeerClient alice(s.service.Endpoint()), guest(s.service.Endpoint());
    ASSERT_TRUE(alice.SignIn("alice", "secret")) << alice.LastError();
    ASSERT_TRUE(guest.SignInGuest()) << guest.LastError();
    ASSERT_TRUE(alice.EnterRoom(3003)) << alice.LastError();
    ASSERT_TRUE(guest.EnterRoom(3003)) << guest.LastError();
    EXPECT_TRUE(s.chat.WaitMembers(3003, 2, 5000));
    EXPECT_EQ(alice.ChatIdOf(guest.Uid()), guest.ChatId());

    const std::string hostile = "<img src=x onerror=\"alert(1)\">你好 100%+&";
    ASSERT_TRUE(guest.Say(hostile)) << guest.LastError();
    auto fromGuest = [&](const testenv::PeerClient::Line& l) { return l.senderChatId == guest.ChatId(); };
    ASSERT_TRUE(alice.WaitLine(fromGuest, 5000));
    for (const auto& l : alice.Lines())
        if (fromGuest(l)) EXPECT_EQ(l.text, hostile);
    ASSERT_TRUE(alice.Whisper(guest.Uid(), "悄悄话")) << alice.LastError();
    EXPECT_TRUE(guest.WaitLine([](const auto& l) { return !l.isPublic && l.text == "悄悄话"; }, 5000));

    int64_t balance = -1;
    ASSERT_TRUE(alice.SendGift(1002, 10005, 2, &balance)) << alice.LastError();
    s.service.WithData([&](testenv::SvcData& d) {
        EXPECT_EQ(static_cast<uint64_t>(balance), d.users[1001].xiubi);
        ASSERT_FALSE(d.rooms[3003].gifts.empty());
        EXPECT_EQ(d.rooms[3003].gifts.back().to, 1002u);
    });
    s.chat.PushNotice(3003, "notifytest", "a=1\n");
    EXPECT_TRUE(guest.WaitNotice([](const auto& n) { return n.cmd == "notifytest"; }, 5000));

    // Refusals: a guest without coins, a wrong password, a room that does not exist.
    EXPECT_FALSE(guest.SendGift(1002, 10005, 1));
    EXPECT_NE(guest.LastError().find("status 10"), std::string::npos) << guest.LastError();
    testenv::PeerClient wrong(s.service.Endpoint());
    EXPECT_FALSE(wrong.SignIn("alice", "nope"));
    EXPECT_FALSE(wrong.EnterRoom(3003));
    ASSERT_TRUE(wrong.SignIn("bob", "pw"));
    EXPECT_FALSE(wrong.EnterRoom(9999));

    EXPECT_TRUE(guest.ExitRoom());
    EXPECT_TRUE(s.chat.WaitMembers(3003, 1, 5000));
    EXPECT_FALSE(guest.Say("gone"));
}

}  // namespace
