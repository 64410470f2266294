#include "UdpStreamReceiver.h"

#include "NimboWire.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testenv {

UdpStreamReceiver::~UdpStreamReceiver() {
    Stop();
}

bool UdpStreamReceiver::Start() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0 || pipe2(wake_, O_CLOEXEC) != 0) {
        Stop();
        return false;
    }
    int size = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        Stop();
        return false;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread(&UdpStreamReceiver::Loop, this);
    return true;
}

void UdpStreamReceiver::Stop() {
    if (wake_[1] >= 0) {
        (void)!write(wake_[1], "x", 1);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (int* fd : {&fd_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

UdpStreamReceiver::Stream UdpStreamReceiver::LastStream() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stream_;
}

std::vector<UdpStreamReceiver::Tag> UdpStreamReceiver::Tags() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tags_;
}

size_t UdpStreamReceiver::TagCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tags_.size();
}

void UdpStreamReceiver::Loop() {
    for (;;) {
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(p, 2, 1000) < 0 || p[1].revents) {
            return;
        }
        uint8_t buf[nimbo::kMaxDatagram + 64];
        sockaddr_storage from{};
        socklen_t fromLen = sizeof(from);
        ssize_t n;
        while ((n = recvfrom(fd_, buf, sizeof(buf), 0, reinterpret_cast<sockaddr*>(&from), &fromLen)) >= 0) {
            ++received_;
            int drop = dropEvery_;
            if (!(drop > 0 && received_ % unsigned(drop) == 0)) {
                Handle(buf, size_t(n), &from, fromLen);
            }
            fromLen = sizeof(from);
        }
    }
}

void UdpStreamReceiver::Handle(const uint8_t* p, size_t n, const void* from, unsigned fromLen) {
    nimbo::Header h;
    if (!nimbo::ParseHeader(p, n, h)) {
        ++bad_;
        return;
    }
    auto reply = [&](uint8_t kind) {
        if (silent_) return;
        std::vector<uint8_t> r;
        nimbo::PutHeader(r, kind, h.session, h.sequence);
        sendto(fd_, r.data(), r.size(), MSG_NOSIGNAL, static_cast<const sockaddr*>(from), fromLen);
    };
    switch (h.kind) {
    case nimbo::OPEN: {
        const uint8_t* q = p + nimbo::kHeaderSize;
        const uint8_t* end = p + n;
        if (end - q < 10) {
            ++bad_;
            return;
        }
        Stream s;
        s.width = int(nimbo::Get32(q));
        s.height = int(nimbo::Get32(q + 4));
        size_t avc = nimbo::Get16(q + 8);
        q += 10;
        if (size_t(end - q) < avc + 2) {
            ++bad_;
            return;
        }
        s.avcHeader.assign(q, q + avc);
        q += avc;
        size_t aac = nimbo::Get16(q);
        q += 2;
        if (size_t(end - q) < aac) {
            ++bad_;
            return;
        }
        s.aacHeader.assign(q, q + aac);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stream_ = s;
        }
        ++opens_;
        reply(nimbo::OPEN_ACK);
        break;
    }
    case nimbo::KEEPALIVE:
        reply(nimbo::KEEPALIVE_ACK);
        break;
    case nimbo::CLOSE: {
        std::lock_guard<std::mutex> lock(mutex_);
        stream_.closed = true;
        break;
    }
    case nimbo::DATA: {
        nimbo::DataHeader d;
        const uint8_t* payload = nullptr;
        size_t payloadLen = 0;
        if (!nimbo::ParseData(p, n, d, payload, payloadLen)) {
            ++bad_;
            return;
        }
        Partial& part = partial_[d.messageId];
        if (part.have.empty()) {
            part.type = d.tagType;
            part.key = d.key;
            part.timestamp = d.timestamp;
            part.body.assign(d.bodyLength, 0);
            part.have.assign(d.count, false);
        } else if (part.have.size() != d.count || part.body.size() != d.bodyLength) {
            ++bad_;
            return;
        }
        if (!part.have[d.index]) {
            part.have[d.index] = true;
            std::copy(payload, payload + payloadLen, part.body.begin() + long(d.index) * long(nimbo::kMaxFragment));
            ++part.got;
        }
        if (part.got == part.have.size()) {
            Tag t{part.type, part.key, part.timestamp, std::move(part.body)};
            partial_.erase(d.messageId);
            std::lock_guard<std::mutex> lock(mutex_);
            tags_.push_back(std::move(t));
        }
        // Forget messages that can no longer complete (far behind the newest id).
        while (!partial_.empty() && d.messageId - partial_.begin()->first > 1000) {
            partial_.erase(partial_.begin());
        }
        break;
    }
    default:
        ++bad_;
    }
}

}  // namespace testenv
