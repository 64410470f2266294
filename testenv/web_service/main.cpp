// The web service of the local stack as a program for the demo: web_service. Prints its address and runs
// until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "WebService.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}
}  // namespace

int main() {
    testenv::WebService service;
    if (!service.Start()) {
        std::fprintf(stderr, "web_service: cannot listen\n");
        return 1;
    }
    std::printf("%s\n", service.Url("").c_str());
    std::fflush(stdout);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    while (!g_stop) pause();
    service.Stop();
    return 0;
}
