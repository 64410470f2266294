// The local chat server: a loopback TCP server speaking the chat client's protocol (PinglaWire.h).
// Channels are addressed by join id; a public message goes to every member of its channel, the sender
// included; a private message only to the connections of the receiver's chat id. Logins and joins are
// checked against the signatures the room service issues (ChatSignature.h). Tests steer it through the
// control calls. Thread-safe: every call may come from any thread.
//
// In-process use:
//   testenv::ChatServer chat;
//   int port = chat.Start();   // 127.0.0.1 on a free port; 0 on failure
//   roomService.WithData([&](testenv::SvcData& d) { d.chatPort = port; });
//   ...
//   chat.Stop();               // also done by the destructor
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testenv {

class ChatServer {
public:
    ChatServer();
    ~ChatServer();
    ChatServer(const ChatServer&) = delete;
    ChatServer& operator=(const ChatServer&) = delete;

    // Serves on 127.0.0.1:`port` (0 = a free port) on a thread of its own; returns the port, 0 on failure.
    int Start(int port = 0);
    void Stop();
    int Port() const { return port_; }

    // Control.
    void SetCheckSignature(bool on);
    void RefuseLogins(int n);      // the next n logins are refused
    void RefuseJoins(int n);       // the next n joins are refused
    void SetAnswerDelay(int ms);   // login and join answers are sent this long after the request
    void SetAnswerPings(bool on);  // off: pings stay unanswered (a peer that went silent)
    // A notice (command and a body in the notice text format) to every member of the channel, or to the
    // connections of one chat id. Return how many connections it went to.
    int PushNotice(uint32_t joinId, const std::string& cmd, const std::string& body);
    int PushNoticeTo(const std::string& chatId, const std::string& cmd, const std::string& body);
    // A public message from a user who is not connected (a performer), to every member of the channel.
    int Say(uint32_t joinId, const std::string& senderNameEnc, const std::string& senderChatId,
            const std::string& textEnc);
    // Bytes as they stand to the connections of a chat id (hostile-server tests).
    int SendRawTo(const std::string& chatId, const std::string& bytes);
    // Closes the connections of a chat id ("" = every connection). Returns how many.
    int Drop(const std::string& chatId);

    // Observation.
    // Waits at most timeoutMs until the channel has exactly `count` members; true when it has.
    bool WaitMembers(uint32_t joinId, size_t count, int timeoutMs);
    std::vector<std::string> Members(uint32_t joinId) const;  // chat ids, in joining order
    int Logins() const;                                       // accepted
    int Joins() const;                                        // accepted
    int Refused() const;                                      // logins and joins refused, for any reason
    int Pings() const;
    int Connections() const;

private:
    struct Conn;
    struct Delayed;

    void Loop();
    void Wake();
    void HandleFrame(Conn& c, uint8_t type, const std::vector<std::string>& fields);  // lock_ held
    void Queue(Conn& c, const std::string& frame);                                    // lock_ held
    void Answer(Conn& c, uint8_t type, bool ok);                                      // lock_ held
    int ToChatId(const std::string& chatId, const std::string& frame);                // lock_ held
    int ToChannel(uint32_t joinId, const std::string& frame);                         // lock_ held
    void CloseConn(int id);                                                           // lock_ held

    int listen_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;

    mutable std::mutex lock_;          // guards everything below
    std::condition_variable changed_;  // membership changed
    bool running_ = false;
    bool checkSig_ = true;
    int refuseLogins_ = 0, refuseJoins_ = 0;
    int delayMs_ = 0;
    bool answerPings_ = true;
    int logins_ = 0, joins_ = 0, refused_ = 0, pings_ = 0;
    int nextId_ = 1;
    uint64_t joinSeq_ = 0;
    std::map<int, std::unique_ptr<Conn>> conns_;
    std::vector<Delayed> delayed_;
};

}  // namespace testenv
