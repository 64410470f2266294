// Another user of the busy room, on the chat server directly: what it says reaches the program's views,
// and what the program's user says reaches it. Any thread.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ChatSignature.h"
#include "Pingla.h"
#include "ZqLib.h"

namespace e2e {

class ChatPeer : public IBaseNotifyMsg {
public:
    ~ChatPeer() override { client.Close(); }
    bool Join(int port, uint32_t room, uint32_t uid, const std::string& nick) {
        room_ = room;
        chatId_ = std::to_string(uid) + "_chat";
        return client.Connect("127.0.0.1", unsigned(port), 5) &&
               client.Login(testenv::ChatLoginSig(uid, 1), 1, chatId_, nick) &&
               client.JoinChannel(room, testenv::ChatJoinSig(room, uid, 1), 1, chatId_) && client.StartRecv(this);
    }
    bool Say(const std::string& gbk) { return client.SendPubMsg(room_, "", UrlEncode::EncodeQuery(gbk)) == 0; }
    // Waits at most ms for a public line (GBK) holding `part`.
    bool WaitLine(const std::string& part, int ms) {
        std::unique_lock<std::mutex> hold(lock_);
        return cv_.wait_for(hold, std::chrono::milliseconds(ms), [&] {
            return std::any_of(lines_.begin(), lines_.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
        });
    }
    size_t Lines() {
        std::lock_guard<std::mutex> hold(lock_);
        return lines_.size();
    }

    void NotifySysMsg(std::string, std::string) override {}
    void NotifyPubMsg(std::string, std::string, std::string, std::string, std::string text) override {
        std::lock_guard<std::mutex> hold(lock_);
        lines_.push_back(UrlEncode::Decode(text));
        cv_.notify_all();
    }
    void NotifyPriMsg(std::string, std::string, std::string) override {}
    void NotifyNomMsg(std::string, std::string) override {}
    void ConectionStop() override {}

    CPingla client;

private:
    uint32_t room_ = 0;
    std::string chatId_;
    std::mutex lock_;
    std::condition_variable cv_;
    std::vector<std::string> lines_;
};

}  // namespace e2e
