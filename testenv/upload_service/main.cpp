// The local picture upload service as a program: upload_service [--port-file <path>]. Prints its upload
// address and runs until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

#include "UploadService.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}
}  // namespace

int main(int argc, char** argv) {
    testenv::UploadService service;
    if (!service.Start()) {
        std::fprintf(stderr, "upload_service: cannot listen\n");
        return 1;
    }
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--port-file") == 0) std::ofstream(argv[i + 1]) << service.Http().Port() << "\n";
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("upload_service: %s\n", service.UploadUrl().c_str());
    std::fflush(stdout);
    while (!g_stop) pause();
    service.Stop();
    return 0;
}
