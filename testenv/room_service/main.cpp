// The local room service as a program: room_service [--port N] [--chat-port N] (defaults 18090 and 18091).
// Runs until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "RoomService.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}
}  // namespace

int main(int argc, char** argv) {
    int port = 18090;
    int chatPort = 18091;  // the chat server whose address and signatures enterroom and getchatsig hand out
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--no-sign-check") == 0) {
            continue;
        } else if (std::strcmp(argv[i], "--chat-port") == 0 && i + 1 < argc) {
            chatPort = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: room_service [--port N] [--chat-port N] [--no-sign-check]\n");
            return 2;
        }
    }
    testenv::RoomService service;
    service.WithData([&](testenv::SvcData& d) { d.chatPort = chatPort; });
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--no-sign-check") == 0) service.SetCheckSignature(false);
    if (service.Start(port) == 0) {
        std::fprintf(stderr, "room_service: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::printf("room_service: %s\n", service.Endpoint().c_str());
    std::fflush(stdout);
    while (!g_stop) pause();
    service.Stop();
    return 0;
}
