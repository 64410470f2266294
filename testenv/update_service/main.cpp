// update_service: the local update service for the demo. Serves a copy of a catalogue folder in which the
// gift catalogue has a new version with one added gift and picture, and a server configuration pointing at
// itself.
//   update_service --res <sample res folder> --work <folder to build the served copy in> [--port-file <file>]
//                  [--config-ini <file>: writes there a config.ini that points the updater at this service]
// Prints "update_service <base URL>" when it serves; ends on SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "UpdateService.h"

namespace fs = std::filesystem;

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string resDir, workDir, portFile, configIni;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--res")) resDir = argv[i + 1];
        else if (!std::strcmp(argv[i], "--work")) workDir = argv[i + 1];
        else if (!std::strcmp(argv[i], "--port-file")) portFile = argv[i + 1];
        else if (!std::strcmp(argv[i], "--config-ini")) configIni = argv[i + 1];
    }
    if (resDir.empty() || workDir.empty()) {
        std::fprintf(stderr, "usage: update_service --res <folder> --work <folder> [--port-file <file>]\n");
        return 2;
    }
    fs::path served = fs::path(workDir) / "res";
    if (!testenv::PrepareChangedGiftCatalogue(resDir, served.string())) {
        std::fprintf(stderr, "update_service: cannot prepare %s\n", served.c_str());
        return 1;
    }
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    testenv::UpdateService service;
    service.SetCatalogueFolder(served.string());
    if (!service.Start()) return 1;
    service.SetConfigText(service.ConfigIni("Varnet_1.0.0.1_release", ""));
    if (!portFile.empty()) {
        std::ofstream out(portFile);
        out << service.Http().Port() << "\n";
    }
    if (!configIni.empty()) {
        std::ofstream out(configIni, std::ios::binary);
        out << service.ConfigIni("Varnet_1.0.0.1_release", "");
    }
    std::printf("update_service %s\n", service.BaseUrl().c_str());
    std::fflush(stdout);
    while (!g_stop) pause();
    service.Stop();
    return 0;
}
