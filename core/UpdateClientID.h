// Registration of the installation: records the first start, decides whether to ask the registration
// service today (once a day with an id, up to a daily limit without one), sends the machine's fingerprint
// and stores the id it answers; leaves the same request for the uninstaller.
//
// Threads: the main thread during start-up, before other threads run; the request blocks (bounded by the
// HTTP layer's time-out).
#pragma once

#include <ctime>
#include <functional>
#include <string>

class IConfigManager;
class IZqHttpRequestMgr;

class CUpdateClientID {
public:
    // Null arguments take the process-wide managers.
    explicit CUpdateClientID(IConfigManager* config = nullptr, IZqHttpRequestMgr* http = nullptr);
    virtual ~CUpdateClientID() = default;

    bool CheckFirstStart();
    bool CheckApplyID();
    bool GetIDFromServer();
    bool ApplyIDFromServer();
    bool WriteUninstallParam();

    // The request text: id=..&mac=..&hd=..&vmac=..&ver=..&src=.. (at most 1023 characters).
    std::string BuildRequestText(bool versionWithPresence);
    // The id a reply gives: the digits right after its first "=" (at most 63); `current` when it has no "=".
    static std::string ParseReplyId(const char* reply, int len, const std::string& current);

    static constexpr const char* kKey = "tobrenk ";
    static constexpr const char* kDefaultRegUrl = "http://reg.varnet.local/regsvr.auth?";

    // For tests: the clock and the fingerprint.
    std::function<time_t()> m_now = [] { return time(nullptr); };
    std::function<std::string()> m_netCardMac, m_diskSerial, m_adapterMac;

private:
    IConfigManager* m_config;
    IZqHttpRequestMgr* m_http;
};
