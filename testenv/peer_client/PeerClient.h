// A second scripted client of the local stack: it signs in to the room service (as a guest or with an
// account), enters a room and joins the room's chat on the chat server through the program's chat client
// (Pingla) as the program does, talks, and sends gifts and other commands through the room service. What it
// sends is not checked against the chat whitelist: tests use it for hostile lines.
//
//   testenv::PeerClient peer(service.Endpoint());     // "http://127.0.0.1:<port>/c.s?"
//   peer.SignIn("bob", "pw");                          // or peer.SignInGuest()
//   peer.EnterRoom(3003);                              // enterroom, then chat login and join
//   peer.Say("<b>hello</b>");                          // a public line, GBK, sent as it stands
//   peer.SendGift(1001, 10005, 1);                     // charged by the service
//   peer.WaitLine([](const auto& l) { return l.text.find("hi") != std::string::npos; }, 5000);
//   peer.ExitRoom();                                   // also done by the destructor
//
// Texts are GBK (the system's strings); the chat's URL encoding is done here. Requests are signed with the
// test keys (TestKeys.h). Every call returns false on failure and says why in LastError; nothing throws.
//
// Threads: the calls are made from one thread at a time (any thread). Lines and notices arrive on the chat
// client's receive thread and are kept under the object's lock; Lines, Notices and the Wait calls read them
// from any thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

#include "Pingla.h"

namespace testenv {

class PeerClient : private IBaseNotifyMsg {
public:
    // A chat message that reached this client (its own public lines come back too).
    struct Line {
        bool isPublic = true;
        std::string senderName, senderChatId, receiverChatId;  // names decoded (GBK)
        std::string text;                                      // decoded (GBK)
    };
    // A notice pushed by the chat server.
    struct Notice {
        std::string cmd, body;
    };

    explicit PeerClient(std::string endpoint);
    ~PeerClient() override;  // ExitRoom
    PeerClient(const PeerClient&) = delete;
    PeerClient& operator=(const PeerClient&) = delete;

    bool SignInGuest();
    bool SignIn(const std::string& name, const std::string& password);
    // enterroom, then the chat connection: connect, login, join, receive.
    bool EnterRoom(uint32_t room, const std::string& password = "");
    // exitroom and the chat connection closed; safe when not in a room.
    bool ExitRoom();

    // A public line to everybody (toUid 0) or addressed to a user of the room; a private one.
    bool Say(const std::string& gbkHtml, uint32_t toUid = 0);
    bool Whisper(uint32_t toUid, const std::string& gbkHtml);
    // sendgift; `balance` (optional) gets the coins the service reports after the charge.
    bool SendGift(uint32_t toUid, uint32_t giftId, uint32_t count, int64_t* balance = nullptr);
    // Any signed command of the room service for the current room with its own parameters (GBK values,
    // encoded here). True when the reply has status 1; `reply` gets the reply document.
    bool Command(const std::string& cmd, const std::map<std::string, std::string>& params,
                 Json::Value* reply = nullptr);

    uint32_t Uid() const { return uid_; }
    uint32_t Room() const { return room_; }
    std::string ChatId() const { return chatId_; }
    std::string LastError() const;
    // The chat id of a user in the room (getroomuser), "" when the user is not there.
    std::string ChatIdOf(uint32_t uid);

    std::vector<Line> Lines() const;
    std::vector<Notice> Notices() const;
    // Wait at most timeoutMs for a line (a notice) that the predicate accepts; true when one came. The
    // predicate runs under the object's lock: it must not call this object.
    bool WaitLine(const std::function<bool(const Line&)>& match, int timeoutMs) const;
    bool WaitNotice(const std::function<bool(const Notice&)>& match, int timeoutMs) const;
    // True while the chat connection is up.
    bool ChatConnected() const;

private:
    // One request; params are already encoded. False without a JSON reply of status 1.
    bool Request(const std::string& query, Json::Value& reply);
    std::string SignedHead(const std::string& cmd, uint32_t room) const;
    void Fail(const std::string& why);

    void NotifySysMsg(std::string cmd, std::string body) override;
    void NotifyPubMsg(std::string senderName, std::string receiverName, std::string senderChatId,
                      std::string receiverChatId, std::string text) override;
    void NotifyPriMsg(std::string senderName, std::string senderChatId, std::string text) override;
    void NotifyNomMsg(std::string, std::string) override {}
    void ConectionStop() override;

    std::string endpoint_;
    uint32_t uid_ = 0, sid_ = 0, room_ = 0, joinId_ = 0;
    std::string chatId_;
    std::unique_ptr<CPingla> chat_;

    mutable std::mutex lock_;  // guards the fields below
    mutable std::condition_variable changed_;
    std::vector<Line> lines_;
    std::vector<Notice> notices_;
    bool connected_ = false;
    std::string error_;
};

}  // namespace testenv
