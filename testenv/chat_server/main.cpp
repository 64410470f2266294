// The local chat server as a program: chat_server [--port N] [--no-sign-check] (default port 18091).
// Runs until SIGINT/SIGTERM. Lines on standard input steer it ("\n" in a body stands for a line end):
//   notice <joinId> <cmd> <body>         a notice to the channel
//   noticeto <chatId> <cmd> <body>       a notice to one chat id
//   say <joinId> <nameEnc> <chatId> <textEnc>   a public message from a performer
//   drop [<chatId>]                      closes connections
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <unistd.h>

#include "ChatServer.h"

namespace {
volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) {
    g_stop = 1;
}

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

void Command(testenv::ChatServer& server, const std::string& line) {
    std::istringstream in(line);
    std::string op, a, b, c, d;
    in >> op >> a >> b;
    std::getline(in >> std::ws, c);
    int n = -1;
    if (op == "notice") {
        n = server.PushNotice(static_cast<uint32_t>(std::strtoul(a.c_str(), nullptr, 10)), b, Unescape(c));
    } else if (op == "noticeto") {
        n = server.PushNoticeTo(a, b, Unescape(c));
    } else if (op == "say") {
        std::istringstream rest(c);
        rest >> d;
        std::string text;
        std::getline(rest >> std::ws, text);
        n = server.Say(static_cast<uint32_t>(std::strtoul(a.c_str(), nullptr, 10)), b, d, text);
    } else if (op == "drop") {
        n = server.Drop(a);
    } else if (!op.empty()) {
        std::fprintf(stderr, "chat_server: unknown command %s\n", op.c_str());
        return;
    }
    if (n >= 0) std::printf("chat_server: %s reached %d\n", op.c_str(), n);
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
    int port = 18091;
    bool check = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--no-sign-check") == 0) {
            check = false;
        } else {
            std::fprintf(stderr, "usage: chat_server [--port N] [--no-sign-check]\n");
            return 2;
        }
    }
    testenv::ChatServer server;
    server.SetCheckSignature(check);
    if (server.Start(port) == 0) {
        std::fprintf(stderr, "chat_server: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = OnSignal;  // no SA_RESTART: a signal ends the blocking read
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::printf("chat_server: 127.0.0.1:%d\n", server.Port());
    std::fflush(stdout);
    char line[65536];
    while (!g_stop && std::fgets(line, sizeof line, stdin)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        Command(server, s);
    }
    while (!g_stop) pause();
    server.Stop();
    return 0;
}
