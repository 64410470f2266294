// Server core of the local room service: dispatch, signatures, faults, control.
// This file includes httplib (which includes <chrono>) and is compiled with the UTF-8 charset; it holds no texts.
#include "RoomService.h"

#include <httplib.h>

#include <json/writer.h>

#include "HttpTestServer.h"
#include "TestKeys.h"
#include "ZqLib.h"

namespace testenv {

namespace {
// Commands whose query carries mac, tm and token; the value names the parameter of the signed room id
// ("uid" for logout, which signs with the user id).
const std::map<std::string, const char*>& SignedCommands() {
    static const std::map<std::string, const char*> m = {
        {"broadcast", "rid"},     {"exitroom", "rid"},        {"getlivesig", "rid"},     {"getmic", "rid"},
        {"getroomuser", "rid"},   {"getuserloc", "rid"},      {"kickroom", "rid"},       {"opmicattr", "rid"},
        {"opmic", "rid"},         {"oproomblackuser", "rid"}, {"oproomuserchat", "rid"}, {"oproomuserrole", "rid"},
        {"sendcolorbar", "rid"},  {"sendgift", "rid"},        {"sendmultigift", "rid"},  {"sendtag", "rid"},
        {"sendtmpnotice", "rid"}, {"updateroominfo", "rid"},  {"updatewelword", "rid"},  {"enterroom", "rid"},
        {"getchatsig", "rid"},    {"getmicinfo", "rid"},      {"heartbeat", "rid"},      {"logout", "uid"}};
    return m;
}

std::string Write(const Json::Value& v) {
    Json::StreamWriterBuilder b;
    b["indentation"] = "";
    b["emitUTF8"] = true;  // texts are GBK bytes already URL-encoded; keep any raw bytes as they are
    return Json::writeString(b, v);
}
}  // namespace

uint32_t ParamU(const std::map<std::string, std::string>& p, const char* key, uint32_t def) {
    auto it = p.find(key);
    if (it == p.end() || it->second.empty()) return def;
    return static_cast<uint32_t>(std::strtoll(it->second.c_str(), nullptr, 10));
}

int ParamI(const std::map<std::string, std::string>& p, const char* key, int def) {
    auto it = p.find(key);
    if (it == p.end() || it->second.empty()) return def;
    return static_cast<int>(std::strtoll(it->second.c_str(), nullptr, 10));
}

std::string ParamS(const std::map<std::string, std::string>& p, const char* key) {
    auto it = p.find(key);
    return it == p.end() ? std::string() : it->second;
}

Json::Value Reply(int status, const char* desc) {
    Json::Value v(Json::objectValue);
    v["status"] = status;
    if (desc && *desc) v["statusdesc"] = UrlEnc(desc);
    return v;
}

std::string UrlEnc(const std::string& gbk) {
    return UrlEncode::Encode(gbk);
}

RoomService::RoomService() {
    RegisterHandlers();
    LoadSampleData();
}

RoomService::~RoomService() {
    Stop();
}

int RoomService::Start(int port) {
    if (server_) return port_;
    stopping_ = false;
    server_ = std::make_unique<httplib::Server>();
    server_->set_read_timeout(5, 0);
    server_->set_tcp_nodelay(true);  // answers leave at once on kept-alive connections
    testenv::UseLoadTolerantSettings(*server_);
    server_->set_write_timeout(5, 0);
    server_->set_keep_alive_max_count(100);
    server_->Get("/c.s", [this](const httplib::Request& req, httplib::Response& res) {
        std::string body;
        int status = 200;
        bool drop = false;
        Handle(req, body, status, drop);
        if (drop) {
            // Announce a body, then abort: the client sees the connection end early.
            res.set_content_provider(64, "text/plain", [](size_t, size_t, httplib::DataSink&) { return false; });
            return;
        }
        res.status = status;
        res.set_content(body, "text/plain");
    });
    server_->Get("/ZeqaShow/exchangeZebin", [this](const httplib::Request& req, httplib::Response& res) {
        Params p(req.params.begin(), req.params.end());
        std::lock_guard<std::recursive_mutex> g(dataLock_);
        res.set_content(Write(OnExchange(p)), "text/plain");
    });
    if (port == 0) {
        port_ = server_->bind_to_any_port("127.0.0.1");
    } else {
        port_ = server_->bind_to_port("127.0.0.1", port) ? port : 0;
    }
    if (port_ <= 0) {
        server_.reset();
        port_ = 0;
        return 0;
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 400 && !server_->is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return port_;
}

void RoomService::Stop() {
    if (!server_) return;
    {
        std::lock_guard<std::mutex> g(sleepLock_);
        stopping_ = true;
    }
    sleepCv_.notify_all();
    server_->stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
}

std::string RoomService::Endpoint() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/c.s?";
}

bool RoomService::SleepMs(int ms) {
    std::unique_lock<std::mutex> lk(sleepLock_);
    return !sleepCv_.wait_for(lk, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void RoomService::SetFault(const std::string& cmd, const RoomServiceFault& fault) {
    varnet::MutexLock g(controlLock_);
    faults_[cmd] = fault;
}

void RoomService::ClearFaults() {
    varnet::MutexLock g(controlLock_);
    faults_.clear();
}

void RoomService::SetJsonDataForm(bool on) {
    varnet::MutexLock g(controlLock_);
    jsonDataForm_ = on;
}

void RoomService::SetCheckSignature(bool on) {
    varnet::MutexLock g(controlLock_);
    checkSignature_ = on;
}

int RoomService::RequestCount(const std::string& cmd) const {
    varnet::MutexLock g(controlLock_);
    auto it = queries_.find(cmd);
    return it == queries_.end() ? 0 : static_cast<int>(it->second.size());
}

std::map<std::string, int> RoomService::RequestCounts() const {
    varnet::MutexLock g(controlLock_);
    std::map<std::string, int> out;
    for (const auto& [cmd, q] : queries_) out[cmd] = static_cast<int>(q.size());
    return out;
}

int RoomService::TotalRequests() const {
    varnet::MutexLock g(controlLock_);
    return total_;
}

int RoomService::BadSignatures() const {
    varnet::MutexLock g(controlLock_);
    return badSignatures_;
}

std::vector<std::string> RoomService::Queries(const std::string& cmd) const {
    varnet::MutexLock g(controlLock_);
    auto it = queries_.find(cmd);
    return it == queries_.end() ? std::vector<std::string>() : it->second;
}

void RoomService::WithData(const std::function<void(SvcData&)>& fn) {
    std::lock_guard<std::recursive_mutex> g(dataLock_);
    fn(data_);
}

bool RoomService::TakeFault(const std::string& cmd, RoomServiceFault& out) {
    varnet::MutexLock g(controlLock_);
    for (const std::string& key : {cmd, std::string()}) {
        auto it = faults_.find(key);
        if (it == faults_.end() || it->second.kind == RoomServiceFault::None) continue;
        out = it->second;
        if (it->second.times > 0 && --it->second.times == 0) faults_.erase(it);
        return true;
    }
    return false;
}

bool RoomService::CheckSignature(const std::string& cmd, const Params& p) {
    auto it = SignedCommands().find(cmd);
    if (it == SignedCommands().end()) return true;
    std::string tm = ParamS(p, "tm");
    std::string mac = ParamS(p, "mac");
    std::string token = ParamS(p, "token");
    uint32_t room = ParamU(p, it->second);
    std::string text = StringUtility::Format("%s%u%s%u%u%s", tm.c_str(), ParamU(p, "uid"), mac.c_str(),
                                             ParamU(p, "sid"), room, kRoomServiceKeyA);
    if (text.size() > 511) text.resize(511);
    return !tm.empty() && Entrypt::GenerateMD5(text) == token;
}

void RoomService::Handle(const httplib::Request& req, std::string& body, int& httpStatus, bool& drop) {
    Params p;
    for (const auto& [k, v] : req.params) p.emplace(k, v);  // first value of a repeated key
    std::string cmd = ParamS(p, "cmd");
    std::string rawQuery;
    size_t q = req.target.find('?');
    if (q != std::string::npos) rawQuery = req.target.substr(q + 1);
    bool checkSig;
    bool jsonData;
    {
        varnet::MutexLock g(controlLock_);
        queries_[cmd].push_back(rawQuery);
        ++total_;
        checkSig = checkSignature_;
        jsonData = jsonDataForm_;
    }

    RoomServiceFault fault;
    if (TakeFault(cmd, fault)) {
        switch (fault.kind) {
        case RoomServiceFault::Http500:
            httpStatus = 500;
            body = "server error";
            return;
        case RoomServiceFault::Drop:
            drop = true;
            return;
        case RoomServiceFault::Malformed:
            body = "{\"cmd\":\"" + cmd + "\",\"status\":1,";
            return;
        case RoomServiceFault::UnknownCmd:
            body = "{\"cmd\":\"nosuchcommand\",\"status\":1}";
            return;
        case RoomServiceFault::Stall:
            if (!SleepMs(fault.stallMs)) {
                drop = true;
                return;
            }
            break;
        case RoomServiceFault::Refuse: {
            Json::Value v = Reply(fault.status, fault.desc.c_str());
            v["cmd"] = cmd;
            body = Write(v);
            return;
        }
        default:
            break;
        }
    }

    Json::Value reply;
    auto h = handlers_.find(cmd);
    if (h == handlers_.end()) {
        reply = Reply(3, "unknown command");
    } else if (checkSig && !CheckSignature(cmd, p)) {
        {
            varnet::MutexLock g(controlLock_);
            ++badSignatures_;
        }
        reply = Reply(4, "bad signature");
    } else {
        std::lock_guard<std::recursive_mutex> g(dataLock_);
        reply = h->second(p);
    }
    reply["cmd"] = cmd;
    if (!reply.isMember("systm")) reply["systm"] = static_cast<Json::UInt>(std::time(nullptr));
    body = Write(reply);
    if (jsonData) body = "jsondata=" + body + ";";
    if (fault.kind == RoomServiceFault::Truncated) body.resize(body.size() / 2);
}

}  // namespace testenv
