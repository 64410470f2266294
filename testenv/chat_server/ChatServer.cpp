#include "ChatServer.h"
#include "Tick.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "ChatSignature.h"
#include "PinglaWire.h"

namespace testenv {

namespace {

constexpr size_t kMaxOut = 16u << 20;  // a connection that reads nothing is dropped beyond this

uint32_t ChatIdUid(const std::string& chatId) {
    return static_cast<uint32_t>(std::strtoull(chatId.c_str(), nullptr, 10));
}

}  // namespace

struct ChatServer::Conn {
    int id = 0;
    int fd = -1;
    std::string out;
    pingla::FrameReader reader;
    bool loggedIn = false;
    bool joined = false;
    bool drop = false;
    uint32_t uid = 0;
    uint32_t channel = 0;
    uint64_t joinSeq = 0;
    std::string chatId, chatName;
};

struct ChatServer::Delayed {
    int64_t due;
    int conn;
    std::string frame;
};

ChatServer::ChatServer() = default;

ChatServer::~ChatServer() {
    Stop();
}

int ChatServer::Start(int port) {
    if (thread_.joinable()) return port_;
    int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) return 0;
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 64) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0 || pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        ::close(s);
        return 0;
    }
    listen_ = s;
    port_ = ntohs(a.sin_port);
    {
        std::lock_guard<std::mutex> g(lock_);
        running_ = true;
    }
    thread_ = std::thread(&ChatServer::Loop, this);
    return port_;
}

void ChatServer::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> g(lock_);
        running_ = false;
    }
    Wake();
    thread_.join();
    std::lock_guard<std::mutex> g(lock_);
    for (auto& [id, c] : conns_) ::close(c->fd);
    conns_.clear();
    delayed_.clear();
    ::close(listen_);
    ::close(wake_[0]);
    ::close(wake_[1]);
    listen_ = wake_[0] = wake_[1] = -1;
    changed_.notify_all();
}

void ChatServer::Wake() {
    if (wake_[1] >= 0) {
        char c = 1;
        (void)!write(wake_[1], &c, 1);
    }
}

void ChatServer::SetCheckSignature(bool on) {
    std::lock_guard<std::mutex> g(lock_);
    checkSig_ = on;
}

void ChatServer::RefuseLogins(int n) {
    std::lock_guard<std::mutex> g(lock_);
    refuseLogins_ = n;
}

void ChatServer::RefuseJoins(int n) {
    std::lock_guard<std::mutex> g(lock_);
    refuseJoins_ = n;
}

void ChatServer::SetAnswerDelay(int ms) {
    std::lock_guard<std::mutex> g(lock_);
    delayMs_ = ms > 0 ? ms : 0;
}

void ChatServer::SetAnswerPings(bool on) {
    std::lock_guard<std::mutex> g(lock_);
    answerPings_ = on;
}

void ChatServer::Queue(Conn& c, const std::string& frame) {
    if (c.drop) return;
    if (c.out.size() + frame.size() > kMaxOut) {
        c.drop = true;
        return;
    }
    c.out += frame;
}

int ChatServer::ToChatId(const std::string& chatId, const std::string& frame) {
    int n = 0;
    for (auto& [id, c] : conns_) {
        if (c->loggedIn && (chatId.empty() || c->chatId == chatId)) {
            Queue(*c, frame);
            ++n;
        }
    }
    return n;
}

int ChatServer::ToChannel(uint32_t joinId, const std::string& frame) {
    int n = 0;
    for (auto& [id, c] : conns_) {
        if (c->joined && c->channel == joinId) {
            Queue(*c, frame);
            ++n;
        }
    }
    return n;
}

int ChatServer::PushNotice(uint32_t joinId, const std::string& cmd, const std::string& body) {
    std::lock_guard<std::mutex> g(lock_);
    int n = ToChannel(joinId, pingla::EncodeFrame(pingla::kSys, {cmd, body}));
    Wake();
    return n;
}

int ChatServer::PushNoticeTo(const std::string& chatId, const std::string& cmd, const std::string& body) {
    if (chatId.empty()) return 0;
    std::lock_guard<std::mutex> g(lock_);
    int n = ToChatId(chatId, pingla::EncodeFrame(pingla::kSys, {cmd, body}));
    Wake();
    return n;
}

int ChatServer::Say(uint32_t joinId, const std::string& senderNameEnc, const std::string& senderChatId,
                    const std::string& textEnc) {
    std::lock_guard<std::mutex> g(lock_);
    int n = ToChannel(joinId, pingla::EncodeFrame(pingla::kPubMsg, {senderNameEnc, "", senderChatId, "", textEnc}));
    Wake();
    return n;
}

int ChatServer::SendRawTo(const std::string& chatId, const std::string& bytes) {
    if (chatId.empty()) return 0;
    std::lock_guard<std::mutex> g(lock_);
    int n = ToChatId(chatId, bytes);
    Wake();
    return n;
}

int ChatServer::Drop(const std::string& chatId) {
    std::lock_guard<std::mutex> g(lock_);
    int n = 0;
    for (auto& [id, c] : conns_) {
        if (chatId.empty() || (c->loggedIn && c->chatId == chatId)) {
            c->drop = true;
            c->out.clear();
            ++n;
        }
    }
    Wake();
    return n;
}

bool ChatServer::WaitMembers(uint32_t joinId, size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lk(lock_);
    auto has = [&] {
        size_t n = 0;
        for (auto& [id, c] : conns_) n += c->joined && c->channel == joinId && !c->drop;
        return n == count;
    };
    return changed_.wait_for(lk, std::chrono::milliseconds(timeoutMs), has);
}

std::vector<std::string> ChatServer::Members(uint32_t joinId) const {
    std::lock_guard<std::mutex> g(lock_);
    std::vector<const Conn*> m;
    for (auto& [id, c] : conns_)
        if (c->joined && c->channel == joinId && !c->drop) m.push_back(c.get());
    std::sort(m.begin(), m.end(), [](const Conn* a, const Conn* b) { return a->joinSeq < b->joinSeq; });
    std::vector<std::string> ids;
    for (const Conn* c : m) ids.push_back(c->chatId);
    return ids;
}

int ChatServer::Logins() const {
    std::lock_guard<std::mutex> g(lock_);
    return logins_;
}

int ChatServer::Joins() const {
    std::lock_guard<std::mutex> g(lock_);
    return joins_;
}

int ChatServer::Refused() const {
    std::lock_guard<std::mutex> g(lock_);
    return refused_;
}

int ChatServer::Pings() const {
    std::lock_guard<std::mutex> g(lock_);
    return pings_;
}

int ChatServer::Connections() const {
    std::lock_guard<std::mutex> g(lock_);
    return static_cast<int>(conns_.size());
}

void ChatServer::Answer(Conn& c, uint8_t type, bool ok) {
    if (!ok) ++refused_;
    std::string frame = pingla::EncodeFrame(type, {ok ? "1" : "0"});
    if (delayMs_ > 0) {
        delayed_.push_back({varnet::MonotonicMs() + delayMs_, c.id, frame});
    } else {
        Queue(c, frame);
    }
}

void ChatServer::HandleFrame(Conn& c, uint8_t type, const std::vector<std::string>& f) {
    pingla::Frame fr;
    fr.type = type;
    fr.fields = f;
    switch (type) {
    case pingla::kLogin: {
        uint32_t sig = 0, tm = 0;
        bool ok = f.size() >= 4 && fr.Number(0, sig) && fr.Number(1, tm) && !f[2].empty();
        uint32_t uid = ok ? ChatIdUid(f[2]) : 0;
        if (ok && checkSig_ && sig != ChatLoginSig(uid, tm)) ok = false;
        if (ok && refuseLogins_ > 0) {
            --refuseLogins_;
            ok = false;
        }
        if (ok) {
            c.loggedIn = true;
            c.uid = uid;
            c.chatId = f[2];
            c.chatName = f[3];
            ++logins_;
        }
        Answer(c, pingla::kLoginAck, ok);
        break;
    }
    case pingla::kJoin: {
        uint32_t joinId = 0, sig = 0, tm = 0;
        bool ok = c.loggedIn && f.size() >= 4 && fr.Number(0, joinId) && fr.Number(1, sig) && fr.Number(2, tm) &&
                  f[3] == c.chatId;
        if (ok && checkSig_ && sig != ChatJoinSig(joinId, c.uid, tm)) ok = false;
        if (ok && refuseJoins_ > 0) {
            --refuseJoins_;
            ok = false;
        }
        if (ok) {
            c.joined = true;
            c.channel = joinId;
            c.joinSeq = ++joinSeq_;
            ++joins_;
            changed_.notify_all();
        }
        Answer(c, pingla::kJoinAck, ok);
        break;
    }
    case pingla::kPub: {
        uint32_t joinId = 0;
        if (!c.joined || f.size() < 3 || !fr.Number(0, joinId) || joinId != c.channel) break;
        std::string receiverName;
        for (auto& [id, o] : conns_)
            if (!f[1].empty() && o->loggedIn && o->chatId == f[1]) receiverName = o->chatName;
        ToChannel(joinId, pingla::EncodeFrame(pingla::kPubMsg, {c.chatName, receiverName, c.chatId, f[1], f[2]}));
        break;
    }
    case pingla::kPri:
        if (!c.joined || f.size() < 3 || f[1].empty()) break;
        ToChatId(f[1], pingla::EncodeFrame(pingla::kPriMsg, {c.chatName, c.chatId, f[2]}));
        break;
    case pingla::kPing:
        ++pings_;
        if (answerPings_) Queue(c, pingla::EncodeFrame(pingla::kPong, {}));
        break;
    default:
        break;
    }
}

void ChatServer::CloseConn(int id) {
    auto it = conns_.find(id);
    if (it == conns_.end()) return;
    bool member = it->second->joined;
    ::close(it->second->fd);
    conns_.erase(it);
    if (member) changed_.notify_all();
}

void ChatServer::Loop() {
    std::unique_lock<std::mutex> lk(lock_);
    while (running_) {
        // Due answers, dropped connections, then writes.
        int64_t now = varnet::MonotonicMs();
        int timeout = 1000;
        for (size_t i = 0; i < delayed_.size();) {
            if (delayed_[i].due <= now) {
                auto it = conns_.find(delayed_[i].conn);
                if (it != conns_.end()) Queue(*it->second, delayed_[i].frame);
                delayed_.erase(delayed_.begin() + static_cast<long>(i));
            } else {
                timeout = std::min<int64_t>(timeout, delayed_[i].due - now);
                ++i;
            }
        }
        std::vector<int> gone;
        for (auto& [id, c] : conns_) {
            while (!c->drop && !c->out.empty()) {
                ssize_t n = send(c->fd, c->out.data(), c->out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) {
                    c->out.erase(0, static_cast<size_t>(n));
                } else if (n < 0 && errno == EINTR) {
                    continue;
                } else {
                    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) c->drop = true;
                    break;
                }
            }
            if (c->drop) gone.push_back(id);
        }
        for (int id : gone) CloseConn(id);

        std::vector<pollfd> p;
        std::vector<int> ids;
        p.push_back({listen_, POLLIN, 0});
        p.push_back({wake_[0], POLLIN, 0});
        for (auto& [id, c] : conns_) {
            short ev = POLLIN;
            if (!c->out.empty()) ev |= POLLOUT;
            p.push_back({c->fd, ev, 0});
            ids.push_back(id);
        }
        lk.unlock();
        int rc = poll(p.data(), p.size(), timeout);
        lk.lock();
        if (rc < 0) continue;
        if (p[1].revents & POLLIN) {
            char buf[64];
            while (read(wake_[0], buf, sizeof buf) > 0) {}
        }
        if (p[0].revents & POLLIN) {
            for (;;) {
                int s = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (s < 0) break;
                int one = 1;
                setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                auto c = std::make_unique<Conn>();
                c->fd = s;
                c->id = nextId_++;
                conns_[c->id] = std::move(c);
            }
        }
        for (size_t i = 0; i < ids.size(); ++i) {
            if (!(p[i + 2].revents & (POLLIN | POLLERR | POLLHUP))) continue;
            auto it = conns_.find(ids[i]);
            if (it == conns_.end()) continue;
            Conn& c = *it->second;
            char buf[65536];
            ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                c.drop = true;
                continue;
            }
            if (n < 0) continue;
            c.reader.Feed(buf, static_cast<size_t>(n));
            pingla::Frame f;
            pingla::FrameReader::Result r;
            while ((r = c.reader.Next(f)) == pingla::FrameReader::kFrame) HandleFrame(c, f.type, f.fields);
            if (r == pingla::FrameReader::kError) c.drop = true;
        }
    }
}

}  // namespace testenv
