#include "WebService.h"

#include <json/json.h>

#include <ctime>

#include "WebPages.h"
#include "ZqLib.h"

namespace testenv {

WebService::WebService() {
    SetIpList({});
    auto page = [](const char* html) {
        return [html](const httplib::Request&, httplib::Response& res) {
            res.set_content(html, "text/html; charset=utf-8");
        };
    };
    server_.Get(kHomePath, page(kHomePage));
    server_.Get(kLoginPath, page(kLoginPage));
    server_.Get(kRegisterPath, page(kRegisterPage));
    server_.Get(kIpListPath, [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex_);
        res.set_content(ipBody_, "application/json");
    });
    server_.Get(kRegPath, [this](const httplib::Request& req, httplib::Response& res) { HandleReg(req, res); });
    server_.AcceptUploads(kCrashPath, "ok");
}

bool WebService::Start() {
    return server_.Start();
}

void WebService::SetIpList(const std::vector<std::pair<std::string, std::string>>& list, int status,
                           const std::string& cmd) {
    Json::Value v;
    v["cmd"] = cmd;
    v["status"] = status;
    v["domainlist"] = Json::Value(Json::arrayValue);
    for (const auto& [domain, ip] : list) {
        Json::Value e;
        e["domain"] = domain;
        e["ip"] = ip;
        v["domainlist"].append(e);
    }
    SetIpListBody(Json::FastWriter().write(v));
}

void WebService::SetIpListBody(const std::string& body) {
    std::lock_guard<std::mutex> lock(mutex_);
    ipBody_ = body;
}

void WebService::SetRegDailyLimit(int limit) {
    std::lock_guard<std::mutex> lock(mutex_);
    regLimit_ = limit;
}

std::vector<WebService::Registration> WebService::Registrations() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return registrations_;
}

// "/regsvr.auth?<plain length>&<keyed Base64 of id=..&mac=..&hd=..&vmac=..&ver=..&src=..>"
void WebService::HandleReg(const httplib::Request& req, httplib::Response& res) {
    std::string target = req.target;
    size_t q = target.find('?');
    std::string query = q == std::string::npos ? "" : target.substr(q + 1);
    size_t amp = query.find('&');
    Registration r;
    std::string plain;
    if (amp == std::string::npos || !Base64::Base64Decode(query.substr(amp + 1), plain, kRegKey)) {
        res.status = 400;
        res.set_content("error=request", "text/plain");
        return;
    }
    r.length = atoi(query.substr(0, amp).c_str());
    std::vector<std::string> items;
    StringUtility::TokenizeEx(plain, "&", items);
    for (const auto& it : items) {
        size_t eq = it.find('=');
        if (eq != std::string::npos) r.fields[it.substr(0, eq)] = it.substr(eq + 1);
    }
    std::string machine = r.fields["mac"] + "/" + r.fields["hd"] + "/" + r.fields["vmac"];
    std::string day = std::to_string(time(nullptr) / 86400);
    std::lock_guard<std::mutex> lock(mutex_);
    int& applied = appliedToday_[day + ":" + machine];
    if (++applied > regLimit_) {
        r.reply = "error=limit";
    } else {
        std::string& id = ids_[machine];
        if (id.empty()) id = std::to_string(++nextId_);
        r.reply = "id=" + id;
    }
    res.set_content(r.reply, "text/plain");
    registrations_.push_back(r);
}

}  // namespace testenv
