// The local room service: a loopback HTTP server at "/c.s?" that checks each query's signature with the test
// keys and answers every command of the client from the data it holds. Tests steer it through the control
// calls (faults, data, counters). Thread-safe.
//
// In-process use:
//   testenv::RoomService service;        // sample data loaded
//   int port = service.Start();          // 127.0.0.1 on a free port; 0 on failure
//   ... the client's endpoint is service.Endpoint(); its signing keys are kRoomServiceKeyA/B (TestKeys.h) ...
//   service.Stop();                      // also done by the destructor
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <json/value.h>

#include "RoomServiceData.h"
#include "ThreadAnnotations.h"

namespace httplib {
class Server;
struct Request;
}  // namespace httplib

namespace testenv {

// How the service answers a command (or every command).
struct RoomServiceFault {
    enum Kind {
        None,
        Refuse,      // status `status` (not 1) with `desc`
        Http500,     // HTTP 500
        Stall,       // waits `stallMs` before answering
        Drop,        // closes the connection without an answer
        Malformed,   // a body that is not JSON
        UnknownCmd,  // valid JSON with an unregistered cmd
        Truncated,   // the command is carried out, then its answer is cut to half its length
    };
    Kind kind = None;
    int status = 9;
    std::string desc = "refused";  // GBK
    int stallMs = 0;
    int times = -1;  // how many requests it applies to; -1 = all
};

class RoomService {
public:
    RoomService();
    ~RoomService();
    RoomService(const RoomService&) = delete;
    RoomService& operator=(const RoomService&) = delete;

    // Serves on 127.0.0.1:`port` (0 = a free port) on a thread of its own; returns the port, 0 on failure.
    int Start(int port = 0);
    void Stop();
    int Port() const { return port_; }
    // The endpoint the client is configured with: "http://127.0.0.1:<port>/c.s?".
    std::string Endpoint() const;

    // Control.
    void SetFault(const std::string& cmd, const RoomServiceFault& fault);  // cmd "" = every command
    void ClearFaults();
    void SetJsonDataForm(bool on);  // answer as "jsondata=<JSON>;"
    void SetCheckSignature(bool on);
    int RequestCount(const std::string& cmd) const;
    int TotalRequests() const;
    std::map<std::string, int> RequestCounts() const;  // every command seen, with its count
    int BadSignatures() const;
    std::vector<std::string> Queries(const std::string& cmd) const;  // raw query strings, in order
    // Where notices that answers cause go (the chat server's PushNotice for the room's channel): room id,
    // notice command, body in the notice text format. Called on the service's threads; null = none.
    void SetNoticeSink(std::function<void(int rid, const std::string& cmd, const std::string& body)> sink);
    // Data access under the service's lock.
    void WithData(const std::function<void(SvcData&)>& fn);

    // Built-in sample data: accounts "alice"/"secret" (uid 1001) and "bob"/"pw" (uid 1002), rooms 3003 and 3004,
    // a microphone holder, gifts. Called by the constructor; tests may change it through WithData.
    void LoadSampleData();

private:
    using Params = std::map<std::string, std::string>;
    using Handler = std::function<Json::Value(const Params&)>;

    void RegisterHandlers();
    void Handle(const httplib::Request& req, std::string& body, int& httpStatus, bool& drop);
    bool CheckSignature(const std::string& cmd, const Params& p);
    bool TakeFault(const std::string& cmd, RoomServiceFault& out);
    bool SleepMs(int ms);

    // Handlers, one per command (RoomServiceHandlers.cpp / RoomServiceRoomHandlers.cpp).
    Json::Value OnLogin(const Params& p);
    Json::Value OnGetAnonyUser(const Params& p);
    Json::Value OnGetMyInfo(const Params& p);
    Json::Value OnGetUserInfo(const Params& p);
    Json::Value OnLogout(const Params& p);
    Json::Value OnGetAllNav(const Params& p);
    Json::Value OnGetCateList(const Params& p);
    Json::Value OnCheckNick(const Params& p);
    Json::Value OnUpdateMyInfo(const Params& p);
    Json::Value OnEnterRoom(const Params& p);
    Json::Value OnExitRoom(const Params& p);
    Json::Value OnGetChatSig(const Params& p);
    Json::Value OnGetLiveSig(const Params& p);
    Json::Value OnGetMicInfo(const Params& p);
    Json::Value OnGetMic(const Params& p);
    Json::Value OnGetRoomInfo(const Params& p);
    Json::Value OnGetRoomUser(const Params& p);
    Json::Value OnGetUserLoc(const Params& p);
    Json::Value OnHeartBeat(const Params& p);
    Json::Value OnKickRoom(const Params& p);
    Json::Value OnOpFavRoom(const Params& p);
    Json::Value OnOpMicAttr(const Params& p);
    Json::Value OnOpMic(const Params& p);
    Json::Value OnOpRoomBlackUser(const Params& p);
    Json::Value OnOpRoomUserChat(const Params& p);
    Json::Value OnOpRoomUserRole(const Params& p);
    Json::Value OnSendColorBar(const Params& p);
    Json::Value OnSendGift(const Params& p);
    Json::Value OnSendMultiGift(const Params& p);
    Json::Value OnSendTag(const Params& p);
    Json::Value OnSendTmpNotice(const Params& p);
    Json::Value OnUpdateRoomInfo(const Params& p);
    Json::Value OnUpdateWelWord(const Params& p);
    Json::Value OnBroadCast(const Params& p);
    // The web side's bean-to-coin exchange (path /ZeqaShow/exchangeZebin; RoomServiceExchange.cpp).
    Json::Value OnExchange(const Params& p);
    void PushNotice(int rid, const std::string& cmd, const std::string& body);  // data lock held
    // One gift carried out: recorded in the room and announced ("notifygift").
    void RecordGift(SvcRoom& r, uint32_t from, uint32_t to, uint32_t gid, uint32_t cnt, const std::string& word);

    // Helpers of the handlers (data lock held).
    SvcUser* SessionUser(const Params& p);  // the user whose uid and sid the query carries
    SvcRoom* Room(const Params& p);         // the room of "rid"
    Json::Value UserJson(const SvcUser& u, bool account) const;
    Json::Value MicJson(const SvcRoom& r, uint32_t uid, const SvcMic& m) const;
    Json::Value CoinJson(const SvcUser& u) const;
    void ChatRoomJson(Json::Value& c, const SvcUser& u, const SvcRoom& r, const std::string& chatName) const;
    bool Charge(SvcUser& u, uint64_t amount);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex sleepLock_;
    std::condition_variable sleepCv_;

    std::map<std::string, Handler> handlers_;

    mutable varnet::Mutex controlLock_;
    std::map<std::string, RoomServiceFault> faults_ GUARDED_BY(controlLock_);
    bool jsonDataForm_ GUARDED_BY(controlLock_) = false;
    bool checkSignature_ GUARDED_BY(controlLock_) = true;
    std::map<std::string, std::vector<std::string>> queries_ GUARDED_BY(controlLock_);
    int total_ GUARDED_BY(controlLock_) = 0;
    int badSignatures_ GUARDED_BY(controlLock_) = 0;

    // Guards data_ and noticeSink_. Not annotated: the handlers run through handlers_ with it held, which the
    // thread-safety analysis cannot follow.
    std::recursive_mutex dataLock_;
    SvcData data_;
    std::function<void(int, const std::string&, const std::string&)> noticeSink_;
};

// Helpers shared by the handler files.
uint32_t ParamU(const std::map<std::string, std::string>& p, const char* key, uint32_t def = 0);
int ParamI(const std::map<std::string, std::string>& p, const char* key, int def = 0);
std::string ParamS(const std::map<std::string, std::string>& p, const char* key);
Json::Value Reply(int status, const char* desc = "");
std::string UrlEnc(const std::string& gbk);
// Bodies of the entry and leave notices; the name under which a user talks in the chat ("nickname(display
// id)", GBK).
std::string EnterNoticeBody(const SvcUser& u, uint32_t role, uint32_t hide, bool muted, size_t count);
std::string ExitNoticeBody(uint32_t uid, size_t count);
std::string ChatName(const SvcUser& u);

}  // namespace testenv
