// The whole local service stack in one object: the chat server, the room service (pointed at the chat server
// and the RTMP server), nginx-rtmp with synthetic performers publishing on the microphones of the busy room,
// the web service (pages, IP list, registration, crash receiver) and the update service (a newer gift
// catalogue). Start writes the program's configuration (user.ini, config.ini) into a data folder of its own
// and lays out an installation folder from the build's programs; Stop ends everything.
//
//   testenv::Stack stack;
//   testenv::StackOptions opt;  opt.binDir = VARNET_BINARY_DIR "/bin";
//   if (!stack.Start(opt, &why)) ...
//   ... run the program with stack.ProgramEnvironment() ...
//   stack.Stop();               // also done by the destructor
//
// Threads: Start, Stop and the Restart/Stop calls come from one owner thread; the services themselves are
// thread-safe and may be steered from any thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ChatServer.h"
#include "NginxRtmp.h"
#include "PeerClient.h"
#include "RoomService.h"
#include "UpdateService.h"
#include "UploadService.h"
#include "WebService.h"

namespace testenv {

struct StackOptions {
    std::string binDir;            // the build's bin folder (programs and "res"); required
    std::string dataDir;           // "" = a fresh folder under /tmp, removed by Stop
    bool rtmp = true;              // nginx-rtmp and the performers (skipped with a note when nginx is missing)
    bool changedCatalogue = true;  // the update service serves a newer gift catalogue (gift 19999)
    std::string updateSettings;    // "Key=value" lines added under [UpdateSetting] of the program's configuration
    bool talker = false;           // another user in the busy room who talks every few seconds and sends gifts
    int privatePerformers = 0;     // performers on the busy room's private microphones too (up to 8)
};

// One synthetic performer: who publishes where.
struct StackPerformer {
    int rid = 0;
    uint32_t uid = 0;
    uint32_t idx = 0;      // microphone slot
    bool isPublic = true;  // a public microphone, else a private one
    std::string nickname;  // GBK
    std::string url;       // where it publishes
};

class StackPerformers;

class Stack {
public:
    // The room with performers on its three public microphones (and on private ones when asked for), and the
    // members of its audience.
    static constexpr int kBusyRoom = 3003;
    static constexpr int kQuietRoom = 3004;
    // Accounts of the audience (password "pw"), and a gift with an effect that the catalogue knows.
    static constexpr const char* kPeerAccounts[] = {"dora", "erin"};
    static constexpr uint32_t kEffectGift = 10005;
    // The account "alice" (password "secret"): a paying user, director of the busy room.
    static constexpr uint32_t kAccountUid = 1001;
    // The account "gwen" (password "pw"): may set welcome words in the busy room; and a lucky gift, every
    // third of which the room service announces as won.
    static constexpr uint32_t kWelcomeUid = 1006;
    static constexpr uint32_t kLuckyGift = 20001;

    Stack();
    ~Stack();
    Stack(const Stack&) = delete;
    Stack& operator=(const Stack&) = delete;

    // Starts every service; false with the reason when a required one does not come up (what did start is
    // stopped again).
    bool Start(const StackOptions& options, std::string* why = nullptr);
    void Stop();

    RoomService& Rooms() { return rooms_; }
    ChatServer& Chat() { return chat_; }
    WebService& Web() { return web_; }
    UpdateService& Updates() { return updates_; }
    UploadService& Uploads() { return uploads_; }
    bool HasRtmp() const { return rtmpUp_; }
    NginxRtmp& Rtmp() { return rtmp_; }

    // Faults: the chat server ends every connection and stops; started again on the same port.
    void StopChat();
    bool StartChat();
    // nginx-rtmp stops (players and performers lose their streams) and starts again on the same port; the
    // performers publish again by themselves.
    void StopRtmp();
    bool StartRtmp();

    // Another client of the room service and the chat server, signed in with an account (password "pw") and
    // in `room`; null (with the reason) when that fails.
    std::unique_ptr<PeerClient> Peer(const std::string& account, int room = kBusyRoom, std::string* why = nullptr);
    // A gift from the peer through the room service, announced in the room as the chat server does.
    bool PeerGift(PeerClient& peer, uint32_t toUid, uint32_t giftId, uint32_t count);

    std::vector<StackPerformer> Performers() const { return performers_; }
    // How many performers are publishing now.
    int PerformersLive() const;
    // Waits at most timeoutMs until every performer publishes.
    bool WaitPerformersLive(int timeoutMs) const;

    const std::string& DataDir() const { return dataDir_; }
    const std::string& InstallDir() const { return installDir_; }
    // NAME=value settings the program runs with (data and installation folders, its runtime folder, no
    // session bus).
    std::vector<std::pair<std::string, std::string>> ProgramEnvironment() const;
    // The text of the user.ini written into the data folder.
    std::string UserIni() const;
    // Lines saying where every service is, for people (GBK).
    std::string Describe() const;

private:
    void AddPerformers();
    void Talk();                    // the talker's thread
    std::string ConfigIni() const;  // the program's config.ini, also served as the server configuration

    ChatServer chat_;
    RoomService rooms_;
    NginxRtmp rtmp_;
    WebService web_;
    UpdateService updates_;
    UploadService uploads_;
    std::unique_ptr<StackPerformers> publishers_;
    std::thread talker_;
    std::mutex talkLock_;  // guards talking_
    std::condition_variable talkWake_;
    bool talking_ = false;
    std::vector<StackPerformer> performers_;
    StackOptions options_;
    std::string dataDir_, installDir_, servedDir_;
    bool ownData_ = false;
    bool rtmpUp_ = false;
    bool started_ = false;
    int chatPort_ = 0;
    std::string rtmpNote_;
};

}  // namespace testenv
