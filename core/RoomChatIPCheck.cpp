#include "RoomChatIPCheck.h"

#include <arpa/inet.h>
#include <json/json.h>

#include <memory>

#include "ZqHttp.h"
#include "ZqLib.h"
#include "ZqModConfig.h"

CRoomChatIPCheck* CRoomChatIPCheck::GetInstance() {
    static CRoomChatIPCheck instance;
    return &instance;
}

CRoomChatIPCheck::~CRoomChatIPCheck() { Stop(); }

void CRoomChatIPCheck::Start() {
    Stop();
    m_run = true;
    m_thread = std::thread([this] { Lookup(AfxGetConfigManager(), GetZqHttpMgr(), m_run); });
}

void CRoomChatIPCheck::Stop() {
    m_run = false;
    if (m_thread.joinable()) m_thread.join();
}

bool CRoomChatIPCheck::IsHostName(const std::string& s) {
    if (s.empty() || s.size() > 253 || s.front() == '.' || s.front() == '-' || s.back() == '.') return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            return false;
    return s.find("..") == std::string::npos;
}

bool CRoomChatIPCheck::IsIpAddress(const std::string& s) {
    unsigned char buf[16];
    return s.size() < 46 && (inet_pton(AF_INET, s.c_str(), buf) == 1 || inet_pton(AF_INET6, s.c_str(), buf) == 1);
}

int CRoomChatIPCheck::ApplyReply(IConfigManager* config, const char* body, int len) {
    if (!config || !body || len <= 0 || !JsonLimit::Within(body, static_cast<size_t>(len))) return 0;
    Json::CharReaderBuilder b;
    std::unique_ptr<Json::CharReader> r(b.newCharReader());
    Json::Value v;
    std::string err;
    if (!r->parse(body, body + len, &v, &err) || !v.isObject()) return 0;
    const Json::Value& cmd = v["cmd"];
    const Json::Value& status = v["status"];
    if (!cmd.isString() || cmd.asString() != "getip") return 0;
    if (!status.isIntegral() || !status.isConvertibleTo(Json::intValue) || status.asInt() != 1) return 0;
    const Json::Value& list = v["domainlist"];
    if (!list.isArray() || list.empty()) return 0;
    int written = 0;
    for (const auto& e : list) {
        if (!e.isObject()) continue;
        const Json::Value& d = e["domain"];
        const Json::Value& ip = e["ip"];
        std::string domain = d.isString() ? d.asString() : "";
        std::string addr = ip.isString() ? ip.asString() : "";
        if (domain.empty() || addr.empty() || !IsHostName(domain) || !IsIpAddress(addr)) continue;
        if (config->SetString("DnsLookup", domain.c_str(), addr.c_str(), 1)) ++written;
    }
    return written;
}

int CRoomChatIPCheck::Lookup(IConfigManager* config, IZqHttpMgr* http, const std::atomic<bool>& run) {
    if (!config || !http) return 0;
    std::string url;
    if (!config->GetString("ZqServerList", "DnsLookup", url) || url.empty() || !run) return 0;
    int session = http->OpenUrl(url.c_str(), kTimeoutMs);
    int written = 0;
    const char* data = nullptr;
    int len = 0;
    if (session && run && http->GetStatusCode(session) == 200 && http->GetData(session, &data, &len) && len > 0)
        written = ApplyReply(config, data, len);
    http->CloseSession(session);
    return written;
}
