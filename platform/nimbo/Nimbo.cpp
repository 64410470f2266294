#include "Nimbo.h"
#include "Tick.h"

#include "NimboWire.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <algorithm>
#include <random>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace {

// "udp://host:port/path" or "host:port" -> host, port. "[v6]:port" is accepted.
bool SplitAddress(const std::string& address, std::string& host, std::string& port) {
    std::string a = address;
    size_t scheme = a.find("://");
    if (scheme != std::string::npos) {
        a = a.substr(scheme + 3);
    }
    size_t slash = a.find('/');
    if (slash != std::string::npos) {
        a = a.substr(0, slash);
    }
    size_t colon;
    if (!a.empty() && a[0] == '[') {
        size_t close = a.find(']');
        if (close == std::string::npos || close + 1 >= a.size() || a[close + 1] != ':') {
            return false;
        }
        host = a.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = a.rfind(':');
        if (colon == std::string::npos) {
            return false;
        }
        host = a.substr(0, colon);
    }
    port = a.substr(colon + 1);
    return !host.empty() && !port.empty() && port.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

CNimbo::CNimbo() = default;

CNimbo::~CNimbo() {
    CloseStream();
}

void CNimbo::SetTimeouts(int openMs, int keepAliveMs, int idleMs) {
    openMs_ = openMs > 0 ? openMs : openMs_;
    keepAliveMs_ = keepAliveMs > 0 ? keepAliveMs : keepAliveMs_;
    idleMs_ = idleMs > 0 ? idleMs : idleMs_;
}

bool CNimbo::SendDatagram(const std::vector<uint8_t>& d) {
    if (fd_ < 0) {
        return false;
    }
    for (;;) {
        ssize_t n = send(fd_, d.data(), d.size(), MSG_NOSIGNAL);
        if (n == ssize_t(d.size())) {
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == ENOBUFS)) {
            pollfd p{fd_, POLLOUT, 0};
            if (poll(&p, 1, 50) == 1) {
                continue;
            }
        }
        return false;
    }
}

bool CNimbo::OpenStream(const char* address, int width, int height, const uint8_t* avcHeader, int avcLen,
                        const uint8_t* aacHeader, int aacLen) {
    if (fd_ >= 0 || !address || avcLen < 0 || aacLen < 0 || (avcLen && !avcHeader) || (aacLen && !aacHeader)) {
        return false;
    }
    std::vector<uint8_t> open;
    nimbo::PutHeader(open, nimbo::OPEN, 0, 0);
    if (size_t(avcLen) + size_t(aacLen) + 64 > nimbo::kMaxDatagram) {
        varnet::DebugLog("Nimbo", debugId_.c_str(), "sequence headers too large for one datagram");
        return false;
    }
    std::string host, port;
    if (!SplitAddress(address, host, port)) {
        varnet::DebugLog("Nimbo", debugId_.c_str(), "bad stream-cloud address");
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &res) != 0 || !res) {
        varnet::DebugLog("Nimbo", debugId_.c_str(), "cannot resolve the stream-cloud host");
        return false;
    }
    for (addrinfo* ai = res; ai && fd_ < 0; ai = ai->ai_next) {
        fd_ = socket(ai->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ >= 0 && connect(fd_, ai->ai_addr, ai->ai_addrlen) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    freeaddrinfo(res);
    if (fd_ < 0 || pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        CloseStream();
        return false;
    }
    std::random_device rd;
    session_ = rd() | 1u;
    open.clear();
    nimbo::PutHeader(open, nimbo::OPEN, session_, sequence_++);
    nimbo::Put32(open, uint32_t(width));
    nimbo::Put32(open, uint32_t(height));
    nimbo::Put16(open, uint32_t(avcLen));
    open.insert(open.end(), avcHeader, avcHeader + avcLen);
    nimbo::Put16(open, uint32_t(aacLen));
    open.insert(open.end(), aacHeader, aacHeader + aacLen);

    // Send OPEN a few times within the open time-out until the acknowledgement arrives.
    const int64_t deadline = varnet::MonotonicMs() + openMs_;
    int64_t nextSend = 0;
    bool acked = false;
    while (!acked && varnet::MonotonicMs() < deadline) {
        if (varnet::MonotonicMs() >= nextSend) {
            SendDatagram(open);
            nextSend = varnet::MonotonicMs() + std::max(100, openMs_ / 5);
        }
        pollfd p{fd_, POLLIN, 0};
        int wait = int(std::min<int64_t>(deadline, nextSend) - varnet::MonotonicMs());
        if (poll(&p, 1, std::max(wait, 1)) == 1) {
            uint8_t buf[nimbo::kMaxDatagram];
            ssize_t n = recv(fd_, buf, sizeof(buf), 0);
            nimbo::Header h;
            if (n > 0 && nimbo::ParseHeader(buf, size_t(n), h) && h.kind == nimbo::OPEN_ACK && h.session == session_) {
                acked = true;
            }
        }
    }
    if (!acked) {
        varnet::DebugLog("Nimbo", debugId_.c_str(), "no answer from the stream-cloud server");
        CloseStream();
        return false;
    }
    lastHeardMs_ = varnet::MonotonicMs();
    connected_ = true;
    running_ = true;
    thread_ = std::thread(&CNimbo::KeepAliveLoop, this);
    return true;
}

void CNimbo::KeepAliveLoop() {
    int64_t nextKeepAlive = varnet::MonotonicMs() + keepAliveMs_;
    while (running_) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int wait = int(std::max<int64_t>(1, nextKeepAlive - varnet::MonotonicMs()));
        if (poll(p, 2, wait) > 0) {
            if (p[1].revents) {
                break;
            }
            uint8_t buf[nimbo::kMaxDatagram];
            ssize_t n;
            while ((n = recv(fd_, buf, sizeof(buf), 0)) > 0) {
                nimbo::Header h;
                if (nimbo::ParseHeader(buf, size_t(n), h) && h.session == session_) {
                    if (h.kind == nimbo::CLOSE) {
                        connected_ = false;
                    } else {
                        lastHeardMs_ = varnet::MonotonicMs();
                    }
                }
            }
        }
        const int64_t now = varnet::MonotonicMs();
        if (now >= nextKeepAlive) {
            std::vector<uint8_t> k;
            nimbo::PutHeader(k, nimbo::KEEPALIVE, session_, sequence_++);
            SendDatagram(k);
            nextKeepAlive = now + keepAliveMs_;
        }
        if (now - lastHeardMs_ > idleMs_ && connected_) {
            varnet::DebugLog("Nimbo", debugId_.c_str(), "the stream-cloud server went silent");
            connected_ = false;
        }
    }
}

bool CNimbo::StreamIsConnected() {
    return connected_;
}

bool CNimbo::StreamSendData(const uint8_t* body, int len, unsigned timestamp, bool keyFrame, int isAudio) {
    if (!connected_ || fd_ < 0 || !body || len <= 0 || uint32_t(len) > nimbo::kMaxBody) {
        return false;
    }
    const uint32_t id = messageId_++;
    const size_t count = (size_t(len) + nimbo::kMaxFragment - 1) / nimbo::kMaxFragment;
    if (count > 0xFFFF) {
        return false;
    }
    std::vector<uint8_t> d;
    d.reserve(nimbo::kMaxDatagram);
    for (size_t i = 0; i < count; ++i) {
        const size_t off = i * nimbo::kMaxFragment;
        const size_t n = std::min(nimbo::kMaxFragment, size_t(len) - off);
        d.clear();
        nimbo::PutHeader(d, nimbo::DATA, session_, sequence_++);
        d.push_back(isAudio ? 8 : 9);
        d.push_back(keyFrame ? 1 : 0);
        nimbo::Put32(d, timestamp);
        nimbo::Put32(d, id);
        nimbo::Put16(d, uint32_t(i));
        nimbo::Put16(d, uint32_t(count));
        nimbo::Put32(d, uint32_t(len));
        d.insert(d.end(), body + off, body + off + n);
        if (!SendDatagram(d)) {
            return false;
        }
    }
    return true;
}

void CNimbo::CloseStream() {
    running_ = false;
    if (wake_[1] >= 0) {
        (void)!write(wake_[1], "x", 1);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (fd_ >= 0 && connected_) {
        std::vector<uint8_t> c;
        nimbo::PutHeader(c, nimbo::CLOSE, session_, sequence_++);
        SendDatagram(c);
    }
    connected_ = false;
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    for (int& w : wake_) {
        if (w >= 0) {
            close(w);
            w = -1;
        }
    }
}
