// The room service hands out the chat server's address and signatures that the chat server accepts.
#include <gtest/gtest.h>
#include <json/reader.h>

#include "ChatServer.h"
#include "ChatTestClient.h"
#include "Pingla.h"
#include "RoomService.h"

namespace {

using testsupport::HttpGet;

TEST(RoomServiceChat, EnterRoomAndGetChatSigGiveSignaturesTheChatServerAccepts) {
    testenv::ChatServer chat;
    testenv::RoomService service;
    ASSERT_GT(chat.Start(), 0);
    ASSERT_GT(service.Start(), 0);
    service.SetCheckSignature(false);
    service.WithData([&](testenv::SvcData& d) {
        d.chatPort = chat.Port();
        d.users[1001].sid = 7777;
    });
    for (const char* cmd : {"enterroom", "getchatsig"}) {
        Json::Value v;
        std::string body =
            HttpGet(service.Port(), std::string("cmd=") + cmd + "&uid=1001&sid=7777&rid=3003&chatid=1001");
        ASSERT_TRUE(Json::Reader().parse(body, v)) << body;
        const Json::Value& c = v["chatroom"];
        ASSERT_EQ(c["port"].asInt(), chat.Port()) << body;
        std::string chatId = v.isMember("chatid") ? v["chatid"].asString() : "1001";
        CPingla client;
        ASSERT_TRUE(client.Connect(c["ip"].asCString(), c["port"].asUInt(), 5));
        EXPECT_TRUE(client.Login(c["channel"]["login"]["sig"].asUInt(), c["tm"].asUInt(), chatId,
                                 c["channel"]["login"]["chatname"].asString()))
            << cmd;
        EXPECT_TRUE(client.JoinChannel(c["channel"]["join"]["id"].asUInt(), c["channel"]["join"]["sig"].asUInt(),
                                       c["tm"].asUInt(), chatId))
            << cmd;
        EXPECT_FALSE(client.JoinChannel(c["channel"]["join"]["id"].asUInt(), c["channel"]["join"]["sig"].asUInt() ^ 1,
                                        c["tm"].asUInt(), chatId))
            << cmd;
    }
    EXPECT_EQ(chat.Refused(), 2);
}

}  // namespace
