// The room service hands out the chat server's address and signatures that the chat server accepts.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <json/reader.h>

#include "ChatServer.h"
#include "Pingla.h"
#include "RoomService.h"

namespace {

// One plain HTTP GET on loopback; the body of the answer.
std::string Get(int port, const std::string& query) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string out;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string req = "GET /c.s?" + query + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (send(fd, req.data(), req.size(), MSG_NOSIGNAL) == ssize_t(req.size())) {
            char buf[4096];
            ssize_t n;
            while ((n = recv(fd, buf, sizeof buf, 0)) > 0) out.append(buf, size_t(n));
        }
    }
    close(fd);
    size_t body = out.find("\r\n\r\n");
    return body == std::string::npos ? std::string() : out.substr(body + 4);
}

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
        std::string body = Get(service.Port(), std::string("cmd=") + cmd + "&uid=1001&sid=7777&rid=3003&chatid=1001");
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
