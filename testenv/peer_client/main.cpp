// The scripted peer as a program:
//   peer_client --service <endpoint> --room <id> [--user <name> --pwd <password>] [--room-pwd <password>]
// Signs in (a guest without --user), enters the room and joins its chat, then reads commands, one a line,
// in UTF-8 on standard input, and prints what reaches it on standard output:
//   say <text>                     a public line (sent as it stands, no whitelist)
//   sayto <uid> <text>             a public line addressed to a user
//   whisper <uid> <text>           a private line
//   gift <uid> <giftId> <count>    a gift through the room service
//   quit                           leaves the room (also at the end of the input)
// Output: "ok ...", "error <why>", "line pub|pri <sender chat id> <text>", "notice <cmd> <body>"
// (line ends in bodies as "\n").
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

#include "PeerClient.h"
#include "ZqLib.h"

namespace {

std::string Escaped(const std::string& utf8) {
    std::string out;
    for (char c : utf8) out += c == '\n' ? std::string("\\n") : std::string(1, c);
    return out;
}

void Report(bool ok, testenv::PeerClient& peer, const std::string& what) {
    if (ok) std::printf("ok %s\n", what.c_str());
    else std::printf("error %s: %s\n", what.c_str(), Charset::GbkToUtf8(peer.LastError()).c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::string endpoint, user, pwd, roomPwd;
    uint32_t room = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i];
        if (k == "--service") endpoint = argv[i + 1];
        else if (k == "--room") room = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        else if (k == "--user") user = argv[i + 1];
        else if (k == "--pwd") pwd = argv[i + 1];
        else if (k == "--room-pwd") roomPwd = argv[i + 1];
    }
    if (endpoint.empty() || room == 0) {
        std::fprintf(stderr, "usage: peer_client --service <endpoint> --room <id> [--user <name> --pwd <pw>]\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    testenv::PeerClient peer(endpoint);
    bool in = user.empty() ? peer.SignInGuest() : peer.SignIn(Charset::Utf8ToGbk(user), Charset::Utf8ToGbk(pwd));
    Report(in, peer, "signin");
    if (!in) return 1;
    bool entered = peer.EnterRoom(room, Charset::Utf8ToGbk(roomPwd));
    Report(entered, peer,
           "enter " + std::to_string(room) + " uid=" + std::to_string(peer.Uid()) + " chatid=" + peer.ChatId());
    if (!entered) return 1;

    // What arrives is printed by a watcher; it stops with the input.
    std::atomic<bool> run{true};
    std::thread watcher([&] {
        size_t lines = 0, notices = 0;
        while (run) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            auto l = peer.Lines();
            for (; lines < l.size(); ++lines)
                std::printf("line %s %s %s\n", l[lines].isPublic ? "pub" : "pri", l[lines].senderChatId.c_str(),
                            Escaped(Charset::GbkToUtf8(l[lines].text)).c_str());
            auto n = peer.Notices();
            for (; notices < n.size(); ++notices)
                std::printf("notice %s %s\n", n[notices].cmd.c_str(),
                            Escaped(Charset::GbkToUtf8(n[notices].body)).c_str());
            std::fflush(stdout);
        }
    });
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream s(line);
        std::string op;
        s >> op;
        if (op == "quit") break;
        if (op == "say" || op == "sayto" || op == "whisper") {
            uint32_t to = 0;
            if (op != "say") s >> to;
            std::string text;
            std::getline(s >> std::ws, text);
            std::string gbk = Charset::Utf8ToGbk(text);
            Report(op == "whisper" ? peer.Whisper(to, gbk) : peer.Say(gbk, to), peer, op);
        } else if (op == "gift") {
            uint32_t to = 0, gid = 0, cnt = 0;
            s >> to >> gid >> cnt;
            int64_t balance = -1;
            bool ok = peer.SendGift(to, gid, cnt, &balance);
            Report(ok, peer, "gift balance=" + std::to_string(balance));
        } else if (!op.empty()) {
            std::printf("error unknown command %s\n", op.c_str());
            std::fflush(stdout);
        }
    }
    run = false;
    watcher.join();
    Report(peer.ExitRoom(), peer, "exit");
    return 0;
}
