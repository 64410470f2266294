// A second user of the local test services as the tests play one: plain HTTP requests to the room
// service, and a chat client joined to a room's channel that keeps the notices it receives. The inbox is
// filled on the chat client's receive thread and read on the test thread (its lock guards the list).
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <json/reader.h>

#include <mutex>
#include <string>
#include <vector>

#include "Pingla.h"
#include "RoomService.h"
#include "TestUtil.h"

namespace testsupport {

// One plain HTTP GET of "/c.s?<query>" on loopback; the body of the answer ("" when there is none).
inline std::string HttpGet(int port, const std::string& query) {
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

// The notices a chat client receives, as "<cmd> <body>".
class ChatInbox : public IBaseNotifyMsg {
public:
    void NotifySysMsg(std::string cmd, std::string body) override {
        std::lock_guard<std::mutex> g(m_lock);
        m_notices.push_back(cmd + " " + body);
    }
    void NotifyPubMsg(std::string, std::string, std::string, std::string, std::string) override {}
    void NotifyPriMsg(std::string, std::string, std::string) override {}
    void NotifyNomMsg(std::string, std::string) override {}
    void ConectionStop() override {}

    // Whether a notice starting with `prefix` has come.
    bool Has(const std::string& prefix) {
        std::lock_guard<std::mutex> g(m_lock);
        for (const std::string& n : m_notices)
            if (n.rfind(prefix, 0) == 0) return true;
        return false;
    }
    // Waits at most 10 s for one.
    bool WaitFor(const std::string& prefix) {
        return WaitUntil([&] { return Has(prefix); });
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_notices;
};

// Signs `client` in to the room's chat channel with the signatures the service hands out for `uid`
// (its session `sid`, chat id `chatId`) and has it receive into `inbox`. The service's signature check
// is off for the one request and on afterwards.
inline ::testing::AssertionResult JoinRoomChat(testenv::RoomService& service, CPingla& client, ChatInbox& inbox,
                                               uint32_t uid, uint32_t sid, uint32_t rid, const std::string& chatId) {
    service.SetCheckSignature(false);
    Json::Value sig;
    std::string body =
        HttpGet(service.Port(), "cmd=getchatsig&uid=" + std::to_string(uid) + "&sid=" + std::to_string(sid) +
                                    "&rid=" + std::to_string(rid) + "&chatid=" + chatId);
    service.SetCheckSignature(true);
    if (!Json::Reader().parse(body, sig)) return ::testing::AssertionFailure() << "no chat signature: " << body;
    const Json::Value& c = sig["chatroom"];
    if (!client.Connect(c["ip"].asCString(), c["port"].asUInt(), 5))
        return ::testing::AssertionFailure() << "no connection to the chat server";
    if (!client.Login(c["channel"]["login"]["sig"].asUInt(), c["tm"].asUInt(), chatId,
                      c["channel"]["login"]["chatname"].asString()))
        return ::testing::AssertionFailure() << "the chat server refused the sign-in";
    if (!client.JoinChannel(c["channel"]["join"]["id"].asUInt(), c["channel"]["join"]["sig"].asUInt(), c["tm"].asUInt(),
                            chatId))
        return ::testing::AssertionFailure() << "the chat server refused the channel";
    if (!client.StartRecv(&inbox)) return ::testing::AssertionFailure() << "the chat client does not receive";
    return ::testing::AssertionSuccess();
}

}  // namespace testsupport
