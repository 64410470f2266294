// update_service: the local update service for the demo. Serves a copy of a catalogue folder in which the
// gift catalogue has a new version with one added gift and picture, and a server configuration pointing at
// itself.
//   update_service --res <sample res folder> --work <folder to build the served copy in> [--port-file <file>]
// Prints "update_service <base URL>" when it serves; ends on SIGINT or SIGTERM.
#include <json/json.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "UpdateService.h"

namespace fs = std::filesystem;

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

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

// Raises the gift catalogue's version and adds one gift that reuses the first gift's pictures under new names.
bool MakeChangedGift(const fs::path& res) {
    Json::Value version, gift;
    Json::CharReaderBuilder b;
    std::string err;
    std::istringstream v(Read(res / "version.conf")), g(Read(res / "gift.conf"));
    if (!Json::parseFromStream(b, v, &version, &err) || !Json::parseFromStream(b, g, &gift, &err)) return false;
    if (!version["gift"].isObject() || !gift["giftlist"].isArray() || gift["giftlist"].empty()) return false;
    version["gift"]["version"] = version["gift"]["version"].asUInt() + 1;
    Json::Value& group = gift["giftlist"][0];
    if (!group["list"].isArray() || group["list"].empty()) return false;
    Json::Value item = group["list"][0];
    std::string first = item["fname"].asString(), small = item["smallfname"].asString(),
                effect = item["swffname"].asString();
    item["id"] = 19999;
    item["pri"] = 0;
    item["fname"] = "19999.png";
    item["smallfname"] = "19999_s.png";
    item["swffname"] = "19999_effect.gif";
    group["list"].append(item);
    std::error_code ec;
    fs::copy_file(res / "gift" / first, res / "gift" / "19999.png", fs::copy_options::overwrite_existing, ec);
    fs::copy_file(res / "gift" / small, res / "gift" / "19999_s.png", fs::copy_options::overwrite_existing, ec);
    fs::copy_file(res / "gift" / effect, res / "gift" / "19999_effect.gif", fs::copy_options::overwrite_existing, ec);
    Json::StreamWriterBuilder w;
    Write(res / "version.conf", Json::writeString(w, version));
    Write(res / "gift.conf", Json::writeString(w, gift));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string resDir, workDir, portFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--res")) resDir = argv[i + 1];
        else if (!std::strcmp(argv[i], "--work")) workDir = argv[i + 1];
        else if (!std::strcmp(argv[i], "--port-file")) portFile = argv[i + 1];
    }
    if (resDir.empty() || workDir.empty()) {
        std::fprintf(stderr, "usage: update_service --res <folder> --work <folder> [--port-file <file>]\n");
        return 2;
    }
    std::error_code ec;
    fs::path served = fs::path(workDir) / "res";
    fs::remove_all(served, ec);
    fs::create_directories(served.parent_path(), ec);
    fs::copy(resDir, served, fs::copy_options::recursive, ec);
    if (ec || !MakeChangedGift(served)) {
        std::fprintf(stderr, "update_service: cannot prepare %s\n", served.c_str());
        return 1;
    }
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    testenv::UpdateService service;
    service.SetCatalogueFolder(served.string());
    if (!service.Start()) return 1;
    service.SetConfigText(service.ConfigIni("Varnet_1.0.0.1_release", ""));
    if (!portFile.empty()) Write(portFile, std::to_string(service.Http().Port()) + "\n");
    std::printf("update_service %s\n", service.BaseUrl().c_str());
    std::fflush(stdout);
    while (!g_stop) pause();
    service.Stop();
    return 0;
}
