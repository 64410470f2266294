#include "RtmpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace testenv {

namespace {

std::string Be(uint32_t v, int n) {
    std::string s;
    for (int i = n - 1; i >= 0; --i) s.push_back(char((v >> (8 * i)) & 0xFF));
    return s;
}

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        p += k;
        n -= size_t(k);
    }
    return true;
}

bool ReadAll(int fd, char* p, size_t n) {
    while (n > 0) {
        const ssize_t k = recv(fd, p, n, 0);
        if (k <= 0) return false;
        p += k;
        n -= size_t(k);
    }
    return true;
}

}  // namespace

std::string AmfString(const std::string& s) {
    return "\x02" + Be(uint32_t(s.size()), 2) + s;
}

std::string AmfNumber(double v) {
    uint64_t bits;
    memcpy(&bits, &v, 8);
    return std::string(1, '\0') + Be(uint32_t(bits >> 32), 4) + Be(uint32_t(bits), 4);
}

std::string AmfNull() {
    return std::string("\x05", 1);
}

std::string AmfObject(const std::initializer_list<std::pair<std::string, std::string>>& props) {
    std::string s("\x03", 1);
    for (const auto& p : props) s += Be(uint32_t(p.first.size()), 2) + p.first + p.second;
    return s + std::string("\x00\x00\x09", 3);
}

std::string AmfDeepObject(int levels) {
    std::string s("\x03", 1);
    s.reserve(size_t(levels) * 3 + 1);
    for (int i = 0; i < levels; ++i) s.append("\x00\x00\x03", 3);
    return s;
}

RtmpPeer::RtmpPeer(std::function<void(Session&)> script, int receiveBuffer) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0) {
        setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 && listen(listenFd_, 4) == 0 &&
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port_ = ntohs(a.sin_port);
    }
    thread_ = std::thread(&RtmpPeer::Run, this, std::move(script));
}

RtmpPeer::~RtmpPeer() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stopping_ = true;
    }
    cv_.notify_all();
    shutdown(listenFd_, SHUT_RDWR);
    const int c = connFd_.load();
    if (c >= 0) shutdown(c, SHUT_RDWR);
    thread_.join();
    close(listenFd_);
}

std::string RtmpPeer::Url(const std::string& stream) const {
    return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/" + stream;
}

void RtmpPeer::Run(std::function<void(Session&)> script) {
    pollfd p{listenFd_, POLLIN, 0};
    while (!stopping_ && poll(&p, 1, 100) == 0) {}
    const int fd = stopping_ ? -1 : accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        const int one = 1;  // each message leaves when sent, as from a streaming server
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        connFd_ = fd;
        if (stopping_) shutdown(fd, SHUT_RDWR);
        Session s(this, fd);
        script(s);
        // Keep the connection open until the test ends, as a stalled server would.
        s.Idle(false);
        connFd_ = -1;
        close(fd);
    }
    finished_ = true;
}

bool RtmpPeer::Session::Stopping() const {
    return peer_->stopping_;
}

void RtmpPeer::Session::Idle(bool read) {
    if (read) {
        char buf[65536];
        while (!Stopping() && recv(fd_, buf, sizeof(buf), 0) > 0) {}
    }
    std::unique_lock<std::mutex> lock(peer_->m_);
    peer_->cv_.wait(lock, [this] { return peer_->stopping_.load(); });
}

bool RtmpPeer::Session::Handshake(int dripMs) {
    std::string c01(1537, 0);
    if (!ReadAll(fd_, c01.data(), c01.size())) return false;
    std::string s012(1 + 1536 * 2, 0);
    s012[0] = 3;
    memcpy(&s012[1 + 1536], &c01[1], 1536);  // S2 echoes C1
    if (dripMs > 0) {
        for (char c : s012) {
            if (Stopping() || !WriteAll(fd_, &c, 1)) return false;
            std::unique_lock<std::mutex> lock(peer_->m_);
            peer_->cv_.wait_for(lock, std::chrono::milliseconds(dripMs), [this] { return Stopping(); });
        }
    } else if (!WriteAll(fd_, s012.data(), s012.size())) {
        return false;
    }
    std::string c2(1536, 0);
    return ReadAll(fd_, c2.data(), c2.size());
}

bool RtmpPeer::Session::ReadSome() {
    uint8_t buf[65536];
    const ssize_t n = recv(fd_, buf, sizeof(buf), 0);
    if (n <= 0 || Stopping()) return false;
    reader_.Feed(buf, size_t(n));
    return true;
}

double RtmpPeer::Session::WaitCommand(const std::string& name) {
    for (;;) {
        RtmpMessage m;
        const auto r = reader_.Next(&m);
        if (r == RtmpChunkReader::Result::Error) return -1;
        if (r == RtmpChunkReader::Result::NeedMore) {
            if (!ReadSome()) return -1;
            continue;
        }
        if (m.type == 1 && m.body.size() >= 4) {
            const auto* b = reinterpret_cast<const uint8_t*>(m.body.data());
            reader_.SetChunkSize((uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]);
            continue;
        }
        if (m.type != 20 || m.body.size() < 3 || m.body[0] != 2) continue;
        const auto* b = reinterpret_cast<const uint8_t*>(m.body.data());
        const size_t len = (size_t(b[1]) << 8) | b[2];
        if (m.body.size() < 3 + len + 9 || m.body.compare(3, len, name) != 0 || len != name.size()) continue;
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | b[3 + len + 1 + i];
        double txn;
        memcpy(&txn, &bits, 8);
        return txn;
    }
}

bool RtmpPeer::Session::Send(int csid, uint8_t type, uint32_t streamId, uint32_t ts, const std::string& body) {
    std::string out;
    out.push_back(char(csid & 0x3F));
    out += Be(ts, 3) + Be(uint32_t(body.size()), 3);
    out.push_back(char(type));
    for (int i = 0; i < 4; ++i) out.push_back(char((streamId >> (8 * i)) & 0xFF));
    size_t pos = 0;
    do {
        const size_t take = std::min<size_t>(outChunk_, body.size() - pos);
        if (pos > 0) out.push_back(char(0xC0 | (csid & 0x3F)));
        out.append(body, pos, take);
        pos += take;
    } while (pos < body.size());
    return WriteAll(fd_, out.data(), out.size());
}

bool RtmpPeer::Session::SendRaw(const std::string& bytes) {
    return WriteAll(fd_, bytes.data(), bytes.size());
}

bool RtmpPeer::Session::SetChunkSize(uint32_t size) {
    const bool ok = Send(2, 1, 0, 0, Be(size, 4));
    if (size > 0) outChunk_ = size;
    return ok;
}

void RtmpPeer::Session::AnswerConnect(double txn) {
    Send(3, 20, 0, 0,
         AmfString("_result") + AmfNumber(txn) + AmfObject({{"fmsVer", AmfString("FMS/3,0,1,123")}}) +
             AmfObject({{"level", AmfString("status")}, {"code", AmfString("NetConnection.Connect.Success")}}));
}

void RtmpPeer::Session::AnswerCreateStream(double txn) {
    Send(3, 20, 0, 0, AmfString("_result") + AmfNumber(txn) + AmfNull() + AmfNumber(1));
}

void RtmpPeer::Session::SendStatus(const std::string& level, const std::string& code) {
    Send(5, 20, 1, 0,
         AmfString("onStatus") + AmfNumber(0) + AmfNull() +
             AmfObject({{"level", AmfString(level)}, {"code", AmfString(code)}}));
}

bool RtmpPeer::Session::AcceptStream(bool publish) {
    if (!Handshake()) return false;
    double txn = WaitCommand("connect");
    if (txn < 0) return false;
    AnswerConnect(txn);
    txn = WaitCommand("createStream");
    if (txn < 0) return false;
    AnswerCreateStream(txn);
    if (WaitCommand(publish ? "publish" : "play") < 0) return false;
    SendStatus("status", publish ? "NetStream.Publish.Start" : "NetStream.Play.Start");
    return true;
}

}  // namespace testenv
