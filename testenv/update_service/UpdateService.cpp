#include "UpdateService.h"

#include <json/json.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ZqLib.h"

namespace testenv {

namespace {

const char kConfigKey[] = "tobrenk ";

bool ReadAll(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

}  // namespace

namespace {

bool ChangeGiftCatalogue(const std::string& sampleRes, const std::string& servedRes) {
    std::error_code ec;
    fs::path res = servedRes;
    fs::remove_all(res, ec);
    fs::create_directories(res.parent_path(), ec);
    fs::copy(sampleRes, res, fs::copy_options::recursive, ec);
    if (ec) return false;
    Json::Value version, gift;
    Json::CharReaderBuilder b;
    std::string err;
    std::istringstream v(Read(res / "version.conf")), g(Read(res / "gift.conf"));
    if (!Json::parseFromStream(b, v, &version, &err) || !Json::parseFromStream(b, g, &gift, &err)) return false;
    if (!version["gift"].isObject() || !version["gift"]["version"].isUInt() || !gift["giftlist"].isArray() ||
        gift["giftlist"].empty())
        return false;
    version["gift"]["version"] = version["gift"]["version"].asUInt() + 1;
    Json::Value& group = gift["giftlist"][0];
    if (!group["list"].isArray() || group["list"].empty() || !group["list"][0].isObject()) return false;
    Json::Value item = group["list"][0];
    std::string first = item["fname"].asString(), small = item["smallfname"].asString(),
                effect = item["swffname"].asString();
    item["id"] = 19999;
    item["pri"] = 0;
    item["fname"] = "19999.png";
    item["smallfname"] = "19999_s.png";
    item["swffname"] = "19999_effect.gif";
    group["list"].append(item);
    fs::copy_file(res / "gift" / first, res / "gift" / "19999.png", fs::copy_options::overwrite_existing, ec);
    fs::copy_file(res / "gift" / small, res / "gift" / "19999_s.png", fs::copy_options::overwrite_existing, ec);
    fs::copy_file(res / "gift" / effect, res / "gift" / "19999_effect.gif", fs::copy_options::overwrite_existing, ec);
    Json::StreamWriterBuilder w;
    Write(res / "version.conf", Json::writeString(w, version));
    Write(res / "gift.conf", Json::writeString(w, gift));
    return true;
}

}  // namespace

bool PrepareChangedGiftCatalogue(const std::string& sampleRes, const std::string& servedRes) {
    try {
        return ChangeGiftCatalogue(sampleRes, servedRes);
    } catch (...) {
        return false;
    }
}

UpdateService::UpdateService() {
    server_.Get("/uc/s", [this](const httplib::Request& req, httplib::Response& res) {
        // The encoded text comes raw (Base64 signs unescaped): read it from the target as sent.
        std::string target = req.target;
        size_t m = target.find("?m=");
        std::string rest = m == std::string::npos ? "" : target.substr(m + 3);
        size_t semi = rest.find(';');
        std::string query;
        int length = -1;
        if (semi != std::string::npos) {
            length = std::atoi(rest.substr(0, semi).c_str());
            Base64::Base64Decode(rest.substr(semi + 1), query, kConfigKey);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        queries_.push_back(query);
        lengths_.push_back(length);
        res.status = configStatus_;
        res.set_content(configBody_, "text/plain");
    });
    server_.Get("/log.stat", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex_);
        statLines_.push_back(req.get_param_value("msg"));
        res.status = statStatus_;
        res.set_content("ok", "text/plain");
    });
    server_.Get("/conf/version.conf|/res/.+", [this](const httplib::Request& req, httplib::Response& res) {
        std::string folder;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            folder = folder_;
        }
        std::string rel = req.path == "/conf/version.conf" ? "version.conf" : req.path.substr(5);
        std::string data;
        if (folder.empty() || rel.find("..") != std::string::npos || !ReadAll(folder + "/" + rel, data)) {
            res.status = 404;
            return;
        }
        bool text = rel.size() > 5 && rel.compare(rel.size() - 5, 5, ".conf") == 0;
        if (text) ReplaceAll(data, kPlaceholderHost, BaseUrl());
        res.set_content(data, text ? "text/plain" : "application/octet-stream");
    });
}

UpdateService::~UpdateService() {
    Stop();
}

bool UpdateService::Start() {
    return server_.Start();
}
void UpdateService::Stop() {
    server_.Stop();
}

void UpdateService::SetConfigText(const std::string& iniText) {
    SetConfigBody(Base64::Base64Encode(iniText.data(), static_cast<int>(iniText.size())), 200);
}

void UpdateService::SetConfigBody(const std::string& rawBody, int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    configBody_ = rawBody;
    configStatus_ = status;
}

std::vector<std::string> UpdateService::ConfigQueries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return queries_;
}

std::vector<int> UpdateService::ConfigLengths() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lengths_;
}

void UpdateService::SetStatStatus(int status) {
    std::lock_guard<std::mutex> lock(mutex_);
    statStatus_ = status;
}

std::vector<std::string> UpdateService::StatLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return statLines_;
}

void UpdateService::SetInstaller(const std::string& name, const std::string& data, int bytesPerSecond) {
    server_.ServeData("/dl/" + name, data, bytesPerSecond);
}

void UpdateService::FailInstaller(const std::string& name, int status) {
    server_.Reply("/dl/" + name, status, "failed");
}

void UpdateService::StallInstaller(const std::string& name, int ms) {
    server_.Stall("/dl/" + name, ms);
}

void UpdateService::SetCatalogueFolder(const std::string& nativeFolder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folder_ = nativeFolder;
}

std::string UpdateService::ConfigIni(const std::string& version, const std::string& fileName,
                                     const std::string& extra) const {
    std::string base = BaseUrl();
    return "[ZqServerList]\n"
           "ConfigSvrUrl=" +
           base +
           "\n"
           "VStarLogServer=" +
           base +
           "/log.stat?\n"
           "ResUpdateVersionUrl=" +
           base +
           "/conf/version.conf\n"
           "UploadStreamServ=" +
           base +
           "/upload\n"
           "[Update]\n"
           "version=" +
           version +
           "\n"
           "filename=" +
           fileName +
           "\n"
           "HttpDownLoadSvrNum=2\n"
           "HttpDownLoadSvr0=\n"
           "HttpDownLoadSvr1=" +
           base +
           "/dl\n"
           "[UpdateSetting]\n"
           "DownloadTimesLimit=0\n"
           "InstallTimesLimit=0\n"
           "InstallDaysLimit=0\n"
           "RemindInstallInterval=1\n"
           "[ResUpdate]\n"
           "UpdateFailTryNum=3\n"
           "UpdateFailTryIntervalTime=10\n" +
           extra;
}

}  // namespace testenv
