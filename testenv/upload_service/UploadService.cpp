#include "UploadService.h"

#include <cctype>

#include "ZqLib.h"

namespace testenv {

namespace {
std::string Json(int stat, const std::string& pic, const std::string& inf) {
    return "{\"stat\":" + std::to_string(stat) + ",\"pic\":\"" + UrlEncode::Encode(pic) + "\",\"inf\":\"" +
           UrlEncode::Encode(inf) + "\"}";
}
}  // namespace

UploadService::UploadService() {
    server_.Post(kUploadPath, [this](const httplib::Request& req, httplib::Response& res) { OnUpload(req, res); });
    server_.Get("/pic/.*", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> g(lock_);
        for (const Picture& p : pictures_)
            if (p.url == server_.Url(req.path)) {
                res.set_content(p.content, "application/octet-stream");
                return;
            }
        res.status = 404;
    });
}

bool UploadService::Start() {
    return server_.Start();
}

void UploadService::Refuse(int stat, const std::string& inf, int times) {
    std::lock_guard<std::mutex> g(lock_);
    refuseStat_ = stat;
    refuseInf_ = inf;
    refuseTimes_ = times;
}

void UploadService::AnswerRaw(const std::string& body, int times) {
    std::lock_guard<std::mutex> g(lock_);
    raw_ = body;
    rawTimes_ = times;
}

void UploadService::SetStallMs(int ms) {
    std::lock_guard<std::mutex> g(lock_);
    stallMs_ = ms;
}

std::vector<UploadService::Picture> UploadService::Pictures() const {
    std::lock_guard<std::mutex> g(lock_);
    return pictures_;
}

void UploadService::OnUpload(const httplib::Request& req, httplib::Response& res) {
    int stall;
    {
        std::lock_guard<std::mutex> g(lock_);
        stall = stallMs_;
    }
    if (stall > 0 && !server_.Sleep(stall)) return;
    std::lock_guard<std::mutex> g(lock_);
    if (rawTimes_ > 0) {
        --rawTimes_;
        res.set_content(raw_, "application/json");
        return;
    }
    if (refuseTimes_ > 0) {
        --refuseTimes_;
        res.set_content(Json(refuseStat_, "", refuseInf_), "application/json");
        return;
    }
    if (!req.has_file("file")) {
        res.set_content(Json(400, "", "no file"), "application/json");
        return;
    }
    const auto file = req.get_file_value("file");
    // The stored name keeps only plain characters of the sent one.
    std::string name;
    for (char c : file.filename)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-') name += c;
    Picture p;
    p.fileName = file.filename;
    p.content = file.content;
    p.url = server_.Url("/pic/" + std::to_string(pictures_.size() + 1) + "_" + (name.empty() ? "picture" : name));
    pictures_.push_back(p);
    res.set_content(Json(200, p.url, "上传成功"), "application/json");
}

}  // namespace testenv
