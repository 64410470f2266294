// varnet_stack: the whole local service stack as a program, for the demo and for people trying the client.
//   varnet_stack [--bin <build bin folder>] [--data <folder>] [--no-rtmp] [--sample-catalogue] [--quiet]
// (--quiet: nobody talks in the busy room; otherwise another user talks there and sends gifts.)
// Prints where every service is, then one "env NAME=value" line per setting the program Varnet runs with,
// then "stack ready"; runs until SIGINT or SIGTERM, then stops every service.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Stack.h"
#include "ZqLib.h"

namespace {
volatile sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}
}  // namespace

int main(int argc, char** argv) {
    testenv::StackOptions options;
    std::error_code ec;
    options.binDir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
    options.talker = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--bin") && i + 1 < argc) {
            options.binDir = argv[++i];
        } else if (!std::strcmp(argv[i], "--data") && i + 1 < argc) {
            options.dataDir = argv[++i];
        } else if (!std::strcmp(argv[i], "--no-rtmp")) {
            options.rtmp = false;
        } else if (!std::strcmp(argv[i], "--quiet")) {
            options.talker = false;
        } else if (!std::strcmp(argv[i], "--sample-catalogue")) {
            options.changedCatalogue = false;
        } else {
            std::fprintf(
                stderr,
                "usage: varnet_stack [--bin <folder>] [--data <folder>] [--no-rtmp] [--sample-catalogue] [--quiet]\n");
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    testenv::Stack stack;
    std::string why;
    if (!stack.Start(options, &why)) {
        std::fprintf(stderr, "varnet_stack: %s\n", why.c_str());
        return 1;
    }
    std::printf("%s", Charset::GbkToUtf8(stack.Describe()).c_str());
    if (stack.HasRtmp() && !stack.WaitPerformersLive(15000))
        std::printf("only %d performers are publishing\n", stack.PerformersLive());
    for (const auto& [name, value] : stack.ProgramEnvironment())
        std::printf("env %s=%s\n", name.c_str(), value.c_str());
    std::printf("stack ready\n");
    while (!g_stop) pause();
    stack.Stop();
    std::printf("stack stopped\n");
    return 0;
}
