// The scripted peer: room-service requests over HTTP, the room's chat over Pingla.
#include "PeerClient.h"

#include <httplib.h>
#include <json/reader.h>

#include <chrono>
#include <ctime>

#include "../room_service/TestKeys.h"
#include "ZqLib.h"

namespace testenv {

namespace {

const char kMac[] = "02-00-00-00-00-01";
const int kTimeoutMs = 5000;

// Typed reads that never throw.
uint32_t U32(const Json::Value& v, const char* key) {
    if (!v.isObject() || !v.isMember(key)) return 0;
    const Json::Value& m = v[key];
    if (m.isUInt()) return m.asUInt();
    if (m.isInt() && m.asInt() >= 0) return static_cast<uint32_t>(m.asInt());
    if (m.isDouble() && m.asDouble() >= 0 && m.asDouble() <= 4294967295.0) return static_cast<uint32_t>(m.asDouble());
    if (m.isString()) return static_cast<uint32_t>(std::strtoul(m.asCString(), nullptr, 10));
    return 0;
}

std::string Str(const Json::Value& v, const char* key) {
    if (!v.isObject() || !v.isMember(key) || !v[key].isString()) return std::string();
    return v[key].asString();
}

const Json::Value& Member(const Json::Value& v, const char* key) {
    static const Json::Value none;
    return v.isObject() && v.isMember(key) ? v[key] : none;
}

std::string Q(const std::string& gbk) {
    return UrlEncode::Encode(gbk);
}

}  // namespace

PeerClient::PeerClient(std::string endpoint) : endpoint_(std::move(endpoint)), chat_(std::make_unique<CPingla>()) {}

PeerClient::~PeerClient() {
    ExitRoom();
    chat_->Close();
}

std::string PeerClient::LastError() const {
    std::lock_guard<std::mutex> g(lock_);
    return error_;
}

void PeerClient::Fail(const std::string& why) {
    std::lock_guard<std::mutex> g(lock_);
    error_ = why;
}

std::string PeerClient::SignedHead(const std::string& cmd, uint32_t room) const {
    std::string tm = std::to_string(static_cast<uint32_t>(std::time(nullptr)));
    std::string text = StringUtility::Format("%s%u%s%u%u%s", tm.c_str(), uid_, kMac, sid_, room, kRoomServiceKeyA);
    if (text.size() > 511) text.resize(511);
    return StringUtility::Format("src=peer&ver=1.0.0.1&mac=%s&tm=%s&token=%s&cmd=%s&uid=%u&sid=%u", kMac, tm.c_str(),
                                 Entrypt::GenerateMD5(text).c_str(), cmd.c_str(), uid_, sid_);
}

bool PeerClient::Request(const std::string& query, Json::Value& reply) {
    reply = Json::Value();
    // endpoint_ is "http://host:port/path?"
    const std::string scheme = "http://";
    if (endpoint_.compare(0, scheme.size(), scheme) != 0) {
        Fail("endpoint is not http: " + endpoint_);
        return false;
    }
    size_t slash = endpoint_.find('/', scheme.size());
    std::string host = endpoint_.substr(0, slash);
    std::string path = slash == std::string::npos ? "/" : endpoint_.substr(slash);
    httplib::Client http(host);
    http.set_connection_timeout(std::chrono::milliseconds(kTimeoutMs));
    http.set_read_timeout(std::chrono::milliseconds(kTimeoutMs));
    auto res = http.Get(path + query);
    if (!res) {
        Fail("no answer from " + host);
        return false;
    }
    if (res->status != 200) {
        Fail("HTTP " + std::to_string(res->status));
        return false;
    }
    std::string body = res->body;
    if (body.compare(0, 9, "jsondata=") == 0) {
        body.erase(0, 9);
        if (!body.empty() && body.back() == ';') body.pop_back();
    }
    Json::CharReaderBuilder b;
    std::unique_ptr<Json::CharReader> r(b.newCharReader());
    std::string errors;
    if (!r->parse(body.data(), body.data() + body.size(), &reply, &errors) || !reply.isObject()) {
        Fail("not JSON: " + body.substr(0, 200));
        reply = Json::Value();
        return false;
    }
    if (U32(reply, "status") != 1) {
        Fail("status " + std::to_string(U32(reply, "status")) + " " + UrlEncode::Decode(Str(reply, "statusdesc")));
        return false;
    }
    return true;
}

bool PeerClient::SignInGuest() {
    Json::Value reply;
    if (!Request("src=peer&ver=1.0.0.1&cmd=getanonyuser", reply)) return false;
    uid_ = U32(Member(reply, "user"), "uid");
    sid_ = U32(Member(reply, "user"), "sid");
    return uid_ != 0 || (Fail("no user in the reply"), false);
}

bool PeerClient::SignIn(const std::string& name, const std::string& password) {
    Json::Value reply;
    if (!Request("src=peer&ver=1.0.0.1&cmd=login&name=" + Q(name) + "&pwd=" + Q(password), reply)) return false;
    uid_ = U32(Member(reply, "user"), "uid");
    sid_ = U32(Member(reply, "user"), "sid");
    return uid_ != 0 || (Fail("no user in the reply"), false);
}

bool PeerClient::EnterRoom(uint32_t room, const std::string& password) {
    if (!uid_) {
        Fail("not signed in");
        return false;
    }
    ExitRoom();
    Json::Value reply;
    if (!Request(SignedHead("enterroom", room) + StringUtility::Format("&rid=%u&pwd=", room) + Q(password) +
                     "&camera=0&hide=0",
                 reply))
        return false;
    room_ = room;
    chatId_ = Str(reply, "chatid");
    const Json::Value& c = Member(reply, "chatroom");
    const Json::Value& login = Member(Member(c, "channel"), "login");
    const Json::Value& join = Member(Member(c, "channel"), "join");
    joinId_ = U32(join, "id");
    std::string ip = Str(c, "ip");
    char name[1024] = {0};
    if (UrlEncode::EncodeEx(Str(login, "chatname").c_str(), name, sizeof name, 1) < 0) name[0] = 0;
    // As the room logic does: connect, log in, join the room's channel, then receive.
    chat_->Close();
    if (!chat_->Connect(ip.c_str(), U32(c, "port"), 5)) {
        Fail("chat connect to " + ip + " failed");
        return false;
    }
    if (!chat_->Login(U32(login, "sig"), U32(c, "tm"), chatId_, name)) {
        Fail("chat login refused");
        return false;
    }
    if (!chat_->JoinChannel(joinId_, U32(join, "sig"), U32(c, "tm"), chatId_)) {
        Fail("chat join refused");
        return false;
    }
    {
        std::lock_guard<std::mutex> g(lock_);
        connected_ = true;
    }
    if (!chat_->StartRecv(this)) {
        Fail("chat receive not started");
        std::lock_guard<std::mutex> g(lock_);
        connected_ = false;
        return false;
    }
    return true;
}

bool PeerClient::ExitRoom() {
    if (!room_) return true;
    chat_->Close();
    {
        std::lock_guard<std::mutex> g(lock_);
        connected_ = false;
    }
    Json::Value reply;
    bool ok = Request(SignedHead("exitroom", room_) + "&chatid=" + Q(chatId_) + StringUtility::Format("&rid=%u", room_),
                      reply);
    room_ = 0;
    return ok;
}

bool PeerClient::Command(const std::string& cmd, const std::map<std::string, std::string>& params, Json::Value* reply) {
    std::string q = SignedHead(cmd, room_) + StringUtility::Format("&rid=%u", room_);
    for (const auto& [k, v] : params)
        if (k != "rid") q += "&" + k + "=" + Q(v);
    Json::Value r;
    bool ok = Request(q, r);
    if (reply) *reply = r;
    return ok;
}

std::string PeerClient::ChatIdOf(uint32_t uid) {
    Json::Value reply;
    if (!Command("getroomuser", {}, &reply)) return std::string();
    const Json::Value& list = Member(reply, "userlist");
    if (!list.isArray()) return std::string();
    for (const Json::Value& u : list)
        if (U32(u, "uid") == uid) return Str(u, "chatid");
    Fail("user " + std::to_string(uid) + " is not in the room");
    return std::string();
}

bool PeerClient::Say(const std::string& gbkHtml, uint32_t toUid) {
    if (!ChatConnected()) {
        Fail("not in a room's chat");
        return false;
    }
    std::string to;
    if (toUid && (to = ChatIdOf(toUid)).empty()) return false;
    if (chat_->SendPubMsg(joinId_, to, UrlEncode::EncodeQuery(gbkHtml)) != 0) {
        Fail("chat send failed");
        return false;
    }
    return true;
}

bool PeerClient::Whisper(uint32_t toUid, const std::string& gbkHtml) {
    if (!ChatConnected()) {
        Fail("not in a room's chat");
        return false;
    }
    std::string to = ChatIdOf(toUid);
    if (to.empty()) return false;
    if (chat_->SendPriMsg(5, to, UrlEncode::EncodeQuery(gbkHtml)) != 0) {
        Fail("chat send failed");
        return false;
    }
    return true;
}

bool PeerClient::SendGift(uint32_t toUid, uint32_t giftId, uint32_t count, int64_t* balance) {
    Json::Value reply;
    if (!Command("sendgift",
                 {{"tid", std::to_string(toUid)},
                  {"gid", std::to_string(giftId)},
                  {"cnt", std::to_string(count)},
                  {"word", ""}},
                 &reply))
        return false;
    if (balance) {
        const Json::Value& u = Member(reply, "user");
        const Json::Value& x = Member(u, "xiubi");
        *balance = x.isNumeric() ? static_cast<int64_t>(x.asDouble()) : -1;
    }
    return true;
}

std::vector<PeerClient::Line> PeerClient::Lines() const {
    std::lock_guard<std::mutex> g(lock_);
    return lines_;
}

std::vector<PeerClient::Notice> PeerClient::Notices() const {
    std::lock_guard<std::mutex> g(lock_);
    return notices_;
}

bool PeerClient::ChatConnected() const {
    std::lock_guard<std::mutex> g(lock_);
    return connected_;
}

bool PeerClient::WaitLine(const std::function<bool(const Line&)>& match, int timeoutMs) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Line& l : lines_)
            if (match(l)) return true;
        return false;
    });
}

bool PeerClient::WaitNotice(const std::function<bool(const Notice&)>& match, int timeoutMs) const {
    std::unique_lock<std::mutex> g(lock_);
    return changed_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
        for (const Notice& n : notices_)
            if (match(n)) return true;
        return false;
    });
}

void PeerClient::NotifySysMsg(std::string cmd, std::string body) {
    std::lock_guard<std::mutex> g(lock_);
    notices_.push_back(Notice{std::move(cmd), std::move(body)});
    changed_.notify_all();
}

void PeerClient::NotifyPubMsg(std::string senderName, std::string, std::string senderChatId, std::string receiverChatId,
                              std::string text) {
    Line l;
    l.senderName = UrlEncode::Decode(senderName);
    l.senderChatId = std::move(senderChatId);
    l.receiverChatId = std::move(receiverChatId);
    l.text = UrlEncode::Decode(text);
    std::lock_guard<std::mutex> g(lock_);
    lines_.push_back(std::move(l));
    changed_.notify_all();
}

void PeerClient::NotifyPriMsg(std::string senderName, std::string senderChatId, std::string text) {
    Line l;
    l.isPublic = false;
    l.senderName = UrlEncode::Decode(senderName);
    l.senderChatId = std::move(senderChatId);
    l.receiverChatId = chatId_;
    l.text = UrlEncode::Decode(text);
    std::lock_guard<std::mutex> g(lock_);
    lines_.push_back(std::move(l));
    changed_.notify_all();
}

void PeerClient::ConectionStop() {
    std::lock_guard<std::mutex> g(lock_);
    connected_ = false;
    changed_.notify_all();
}

}  // namespace testenv
