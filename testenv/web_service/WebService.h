// The web side of the local service stack: the lobby's home page, the platform-login page and the register
// page (small pages whose scripts call window.external as the client expects), the IP-list service, the
// installation-ID registration service with its daily limit, and the crash-report receiver.
// Runs on its own threads (HttpTestServer); every accessor is thread-safe.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "HttpTestServer.h"

namespace testenv {

class WebService {
public:
    // Paths of the pages and services.
    static constexpr const char* kHomePath = "/ZeqaShow/LiveIndex";
    static constexpr const char* kLoginPath = "/US/platform/orig_show.htm";
    static constexpr const char* kRegisterPath = "/US/register.htm";
    static constexpr const char* kIpListPath = "/dns/getip";
    static constexpr const char* kRegPath = "/regsvr.auth";
    static constexpr const char* kCrashPath = "/crash/upload";
    // The key of the registration requests' keyed Base64.
    static constexpr const char* kRegKey = "tobrenk ";

    WebService();
    // Binds 127.0.0.1 on a free port; false when that fails.
    bool Start();
    void Stop() { server_.Stop(); }
    std::string Url(const std::string& path) const { return server_.Url(path); }
    HttpTestServer& Server() { return server_; }

    // The IP list: host -> address, answered in this order; `status` and `cmd` of the reply.
    void SetIpList(const std::vector<std::pair<std::string, std::string>>& list, int status = 1,
                   const std::string& cmd = "getip");
    // Replaces the whole IP-list reply.
    void SetIpListBody(const std::string& body);

    // Registration: applications each machine (mac + disk) may make a day; beyond it the reply holds no id.
    void SetRegDailyLimit(int limit);
    struct Registration {
        std::map<std::string, std::string> fields;  // id, mac, hd, vmac, ver, src
        int length = 0;                             // the plain length the client announced
        std::string reply;
    };
    std::vector<Registration> Registrations() const;

    // Crash reports received: file name and content.
    std::vector<UploadedFile> CrashReports() const { return server_.Uploads(); }

private:
    void HandleReg(const httplib::Request& req, httplib::Response& res);

    HttpTestServer server_;
    mutable std::mutex mutex_;  // guards the fields below
    std::string ipBody_;
    int regLimit_ = 5;
    int nextId_ = 1000;
    std::map<std::string, std::string> ids_;   // machine -> id
    std::map<std::string, int> appliedToday_;  // machine -> applications today
    std::vector<Registration> registrations_;
};

}  // namespace testenv
