#include "RoomChatIPCheck.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <json/value.h>

#include <utility>
#include <vector>

#include "JsonSafe.h"
#include "ZqHttp.h"
#include "ZqLib.h"
#include "ZqModConfig.h"

CRoomChatIPCheck* CRoomChatIPCheck::GetInstance() {
    static CRoomChatIPCheck instance;
    return &instance;
}

CRoomChatIPCheck::~CRoomChatIPCheck() {
    Stop();
}

void CRoomChatIPCheck::Start() {
    Stop();
    m_run = true;
    m_thread = std::thread([this] {
        Lookup(AfxGetConfigManager(), GetZqHttpMgr(), m_run);
        // The pages freed meanwhile (the HTTP and TLS libraries' set-up among them, at start-up) go back to the
        // system, from every thread's heap.
        malloc_trim(0);
    });
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

int CRoomChatIPCheck::ApplyReply(IConfigManager* config, const char* body, int len, const std::atomic<bool>* run) {
    Json::Value v;
    if (!config || !body || len <= 0 || !JsonSafe::Parse(body, static_cast<size_t>(len), v)) return 0;
    std::string cmd;
    int32_t status = 0;
    if (!JsonSafe::ReadString(v, "cmd", cmd) || cmd != "getip") return 0;
    if (!JsonSafe::ReadInt(v, "status", status) || status != 1) return 0;
    const Json::Value& list = JsonSafe::Get(v, "domainlist");
    std::vector<std::pair<std::string, std::string>> entries;
    const Json::ArrayIndex size = JsonSafe::ArraySize(list);
    for (Json::ArrayIndex i = 0; i < size; ++i) {
        if (run && !*run) return 0;
        if (entries.size() >= kMaxEntries) break;
        const Json::Value& e = JsonSafe::At(list, i);
        std::string domain, addr;
        JsonSafe::ReadString(e, "domain", domain);
        JsonSafe::ReadString(e, "ip", addr);
        if (domain.empty() || addr.empty() || !IsHostName(domain) || !IsIpAddress(addr)) continue;
        entries.emplace_back(std::move(domain), std::move(addr));
    }
    if (entries.empty() || (run && !*run)) return 0;
    // One save for the whole list; a later entry of the same host wins.
    return config->SetStrings("DnsLookup", entries) ? int(entries.size()) : 0;
}

int CRoomChatIPCheck::Lookup(IConfigManager* config, IZqHttpMgr* http, const std::atomic<bool>& run) {
    if (!config || !http) return 0;
    std::string url;
    if (!config->GetString("ZqServerList", "DnsLookup", url) || url.empty() || !run) return 0;
    int session = http->OpenUrlWhile(url.c_str(), kTimeoutMs, run);
    int written = 0;
    const char* data = nullptr;
    int len = 0;
    if (session && run && http->GetStatusCode(session) == 200 && http->GetData(session, &data, &len) && len > 0)
        written = ApplyReply(config, data, len, &run);
    http->CloseSession(session);
    return written;
}
