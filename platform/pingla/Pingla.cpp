#include "Pingla.h"
#include "Tick.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "ZqLog.h"

namespace {

constexpr const char* kLog = "Pingla.txt";
constexpr size_t kMaxEarlyBytes = 8u << 20;  // frames held between connecting and StartRecv

// The client whose receive thread this is, on that thread.
thread_local const CPingla* tReceiving = nullptr;

}  // namespace

IBaseNotifyMsg::IBaseNotifyMsg() = default;
IBaseNotifyMsg::~IBaseNotifyMsg() = default;

CPingla::CPingla() {
    if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        wake_[0] = wake_[1] = -1;
        PJ_Log(kLog, LOG_FAILURE, "CPingla", "no wake-up pipe: %s", strerror(errno));
    }
}

CPingla::~CPingla() {
    Close();
    if (wake_[0] >= 0) ::close(wake_[0]);
    if (wake_[1] >= 0) ::close(wake_[1]);
}

void CPingla::SetKeepAlive(int intervalMs, int deadMs) {
    if (intervalMs > 0) keepAliveMs_ = intervalMs;
    if (deadMs > 0) deadMs_ = deadMs;
}

void CPingla::Close() {
    if (tReceiving == this) {
        // From inside a callback: end the connection; the receive thread returns after the callback,
        // and the next Close from another thread joins it and closes the socket.
        varnet::MutexLock g(lock_);
        ++gen_;
        connected_ = false;
        if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
        return;
    }
    varnet::MutexLock serial(closeLock_);
    {
        varnet::MutexLock g(lock_);
        closing_ = true;
        ++gen_;
        connected_ = false;
        if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
        if (wake_[1] >= 0) {
            char c = 1;
            (void)!write(wake_[1], &c, 1);
        }
    }
    std::thread receiver;
    {
        varnet::MutexLock lk(lock_);
        while (busy_ != 0) idle_.wait(lk.Native());
        receiver = std::move(recvThread_);  // none starts while closing_
    }
    if (receiver.joinable()) receiver.join();
    varnet::MutexLock g(lock_);
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (wake_[0] >= 0) {
        char buf[64];
        while (read(wake_[0], buf, sizeof buf) > 0) {}
    }
    closing_ = false;
}

bool CPingla::Begin(int& fd, uint64_t& gen) {
    varnet::MutexLock g(lock_);
    if (closing_ || !connected_ || fd_ < 0) return false;
    ++busy_;
    fd = fd_;
    gen = gen_;
    return true;
}

void CPingla::End() {
    varnet::MutexLock g(lock_);
    if (--busy_ == 0) idle_.notify_all();
}

void CPingla::Broken(uint64_t gen) {
    varnet::MutexLock g(lock_);
    if (gen == gen_ && fd_ >= 0) {
        connected_ = false;
        shutdown(fd_, SHUT_RDWR);
    }
}

bool CPingla::Current(uint64_t gen) {
    varnet::MutexLock g(lock_);
    return gen == gen_ && !closing_;
}

CPingla::Wait CPingla::WaitFd(int fd, short events, int64_t deadline) {
    for (;;) {
        int64_t left = deadline - varnet::MonotonicMs();
        if (left <= 0) return Wait::kTimeout;
        int wakeFd;
        {
            varnet::MutexLock g(lock_);
            wakeFd = wake_[0];  // closed only after every call using the connection ended
        }
        pollfd p[2] = {{fd, events, 0}, {wakeFd, POLLIN, 0}};
        int n = poll(p, 2, int(left > 1000000 ? 1000000 : left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return Wait::kError;
        }
        // The pipe is readable only while a Close is in progress, and no call starts then.
        if (p[1].revents & POLLIN) return Wait::kClosed;
        if (p[0].revents & (events | POLLERR | POLLHUP | POLLNVAL)) return Wait::kReady;
    }
}

bool CPingla::Connect(const char* ip, unsigned port, int timeout) {
    if (tReceiving == this) return false;
    if (!ip || !*ip || port == 0 || port > 65535) {
        PJ_Log(kLog, LOG_FAILURE, "CPingla::Connect", "bad address %s:%u", ip ? ip : "(null)", port);
        return false;
    }
    {
        varnet::MutexLock lk(lock_);
        bool stale = fd_ >= 0 || recvThread_.joinable();
        lk.Unlock();
        if (stale) Close();
    }
    int timeoutMs = (timeout > 0 && timeout < 3600 ? timeout : 15) * 1000;
    const int64_t deadline = varnet::MonotonicMs() + timeoutMs;

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    std::string service = std::to_string(port);
    addrinfo* res = nullptr;
    int rc = getaddrinfo(ip, service.c_str(), &hints, &res);
    if (rc == EAI_NONAME) {
        hints.ai_flags = AI_NUMERICSERV;
        rc = getaddrinfo(ip, service.c_str(), &hints, &res);
    }
    if (rc != 0 || !res) {
        PJ_Log(kLog, LOG_FAILURE, "CPingla::Connect", "cannot resolve %s: %s", ip, gai_strerror(rc));
        return false;
    }
    int s = socket(res->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        freeaddrinfo(res);
        return false;
    }
    uint64_t gen;
    {
        varnet::MutexLock g(lock_);
        if (closing_) {
            freeaddrinfo(res);
            ::close(s);
            return false;
        }
        fd_ = s;
        connected_ = false;
        ++busy_;
        gen = gen_;
        timeoutMs_ = timeoutMs;
        reader_ = pingla::FrameReader();
        early_.clear();
        earlyBytes_ = 0;
    }
    bool ok = false;
    if (::connect(s, res->ai_addr, res->ai_addrlen) == 0) {
        ok = true;
    } else if (errno == EINPROGRESS) {
        Wait w = WaitFd(s, POLLOUT, deadline);
        if (w == Wait::kReady) {
            int err = 0;
            socklen_t len = sizeof err;
            ok = getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
        }
    }
    freeaddrinfo(res);
    if (ok) {
        int one = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        varnet::MutexLock g(lock_);
        ok = gen == gen_ && !closing_;
        if (ok) connected_ = true;
    } else {
        PJ_Log(kLog, LOG_FAILURE, "CPingla::Connect", "cannot connect to %s:%u", ip, port);
    }
    End();
    return ok;
}

bool CPingla::WriteFrame(int fd, uint64_t gen, const std::string& frame, int64_t deadline) {
    if (frame.empty()) return false;
    varnet::MutexLock serial(writeLock_);
    size_t done = 0;
    while (done < frame.size()) {
        ssize_t n = send(fd, frame.data() + done, frame.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && WaitFd(fd, POLLOUT, deadline) == Wait::kReady) {
            continue;
        }
        // A frame written in part leaves the stream unusable.
        if (done > 0) Broken(gen);
        return false;
    }
    return true;
}

bool CPingla::ReadSome(int fd) {
    char buf[65536];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            reader_.Feed(buf, size_t(n));
            return true;
        }
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

bool CPingla::AwaitAck(int fd, uint64_t gen, uint8_t ackType, int64_t deadline) {
    for (;;) {
        pingla::Frame f;
        switch (reader_.Next(f)) {
        case pingla::FrameReader::kFrame:
            if (f.type == ackType) return f.Field(0) == "1";
            if (f.type == pingla::kPong) break;
            earlyBytes_ += 64;
            for (const std::string& s : f.fields) earlyBytes_ += s.size();
            if (earlyBytes_ > kMaxEarlyBytes) {
                PJ_Log(kLog, LOG_FAILURE, "CPingla", "too much data before the answer");
                Broken(gen);
                return false;
            }
            early_.push_back(std::move(f));
            break;
        case pingla::FrameReader::kError:
            PJ_Log(kLog, LOG_FAILURE, "CPingla", "malformed or oversize frame");
            Broken(gen);
            return false;
        case pingla::FrameReader::kNeedMore: {
            Wait w = WaitFd(fd, POLLIN, deadline);
            if (w != Wait::kReady) {
                if (w == Wait::kTimeout) PJ_Log(kLog, LOG_FAILURE, "CPingla", "no answer in time");
                return false;
            }
            if (!ReadSome(fd)) {
                Broken(gen);
                return false;
            }
            break;
        }
        }
    }
}

bool CPingla::Request(uint8_t type, std::vector<std::string> fields, uint8_t ackType) {
    int fd;
    uint64_t gen;
    int timeoutMs;
    {
        varnet::MutexLock g(lock_);
        if (recvThread_.joinable()) return false;  // answers now belong to the receive thread
        timeoutMs = timeoutMs_;
    }
    if (!Begin(fd, gen)) return false;
    int64_t deadline = varnet::MonotonicMs() + timeoutMs;
    bool ok = WriteFrame(fd, gen, pingla::EncodeFrame(type, fields), deadline) && AwaitAck(fd, gen, ackType, deadline);
    End();
    return ok;
}

bool CPingla::Login(unsigned loginSig, unsigned tm, const std::string& chatId, const std::string& chatNameEnc) {
    return Request(pingla::kLogin, {pingla::NumberField(loginSig), pingla::NumberField(tm), chatId, chatNameEnc},
                   pingla::kLoginAck);
}

bool CPingla::JoinChannel(unsigned joinId, unsigned joinSig, unsigned tm, const std::string& chatId) {
    return Request(pingla::kJoin,
                   {pingla::NumberField(joinId), pingla::NumberField(joinSig), pingla::NumberField(tm), chatId},
                   pingla::kJoinAck);
}

int CPingla::Send(uint8_t type, std::vector<std::string> fields) {
    int fd;
    uint64_t gen;
    if (!Begin(fd, gen)) return -1;
    bool ok = WriteFrame(fd, gen, pingla::EncodeFrame(type, fields), varnet::MonotonicMs() + kSendWaitMs);
    End();
    return ok ? 0 : -1;
}

int CPingla::SendPubMsg(unsigned joinId, const std::string& receiverChatId, const std::string& text) {
    return Send(pingla::kPub, {pingla::NumberField(joinId), receiverChatId, text});
}

int CPingla::SendPriMsg(unsigned kind, const std::string& receiverChatId, const std::string& text) {
    return Send(pingla::kPri, {pingla::NumberField(kind), receiverChatId, text});
}

bool CPingla::StartRecv(IBaseNotifyMsg* sink) {
    if (!sink || tReceiving == this) return false;
    varnet::MutexLock g(lock_);
    if (closing_ || !connected_ || fd_ < 0 || recvThread_.joinable()) return false;
    try {
        recvThread_ = std::thread(&CPingla::RecvLoop, this, sink, fd_, gen_);
    } catch (...) {
        PJ_Log(kLog, LOG_FAILURE, "CPingla::StartRecv", "cannot start the receive thread");
        return false;
    }
    return true;
}

void CPingla::Deliver(IBaseNotifyMsg* sink, const pingla::Frame& f) {
    size_t need = 0;
    switch (f.type) {
    case pingla::kSys:
        need = 2;
        break;
    case pingla::kPubMsg:
        need = 5;
        break;
    case pingla::kPriMsg:
        need = 3;
        break;
    case pingla::kNomMsg:
        need = 2;
        break;
    default:
        return;  // pongs, stray answers and unknown kinds
    }
    if (f.fields.size() < need) {
        PJ_Log(kLog, LOG_FAILURE, "CPingla", "frame 0x%02x with %zu fields refused", f.type, f.fields.size());
        return;
    }
    try {
        switch (f.type) {
        case pingla::kSys:
            sink->NotifySysMsg(f.fields[0], f.fields[1]);
            break;
        case pingla::kPubMsg:
            sink->NotifyPubMsg(f.fields[0], f.fields[1], f.fields[2], f.fields[3], f.fields[4]);
            break;
        case pingla::kPriMsg:
            sink->NotifyPriMsg(f.fields[0], f.fields[1], f.fields[2]);
            break;
        default:
            sink->NotifyNomMsg(f.fields[0], f.fields[1]);
            break;
        }
    } catch (const std::exception& e) {
        PJ_Log(kLog, LOG_FAILURE, "CPingla", "callback threw: %s", e.what());
    } catch (...) {
        PJ_Log(kLog, LOG_FAILURE, "CPingla", "callback threw");
    }
}

void CPingla::RecvLoop(IBaseNotifyMsg* sink, int fd, uint64_t gen) {
    tReceiving = this;
    const int keepAlive = keepAliveMs_;
    const int dead = deadMs_;
    int64_t lastHeard = varnet::MonotonicMs();  // the last complete frame
    int64_t lastPing = lastHeard;
    bool lost = false;
    while (!early_.empty()) {
        if (!Current(gen)) return;
        pingla::Frame f = std::move(early_.front());
        early_.pop_front();
        Deliver(sink, f);
    }
    early_.clear();
    for (;;) {
        pingla::Frame f;
        pingla::FrameReader::Result r = reader_.Next(f);
        if (r == pingla::FrameReader::kFrame) {
            // Only a whole frame counts as hearing from the server: bytes dripped slowly do not.
            lastHeard = varnet::MonotonicMs();
            if (!Current(gen)) return;
            Deliver(sink, f);
            continue;
        }
        if (r == pingla::FrameReader::kError) {
            PJ_Log(kLog, LOG_FAILURE, "CPingla::Recv", "malformed or oversize frame; connection ended");
            lost = true;
            break;
        }
        int64_t now = varnet::MonotonicMs();
        if (now - lastHeard >= dead) {
            PJ_Log(kLog, LOG_FAILURE, "CPingla::Recv", "server silent for %d ms; connection ended", dead);
            lost = true;
            break;
        }
        if (now - lastPing >= keepAlive) {
            lastPing = now;
            if (!WriteFrame(fd, gen, pingla::EncodeFrame(pingla::kPing, {}), now + kSendWaitMs)) {
                lost = true;
                break;
            }
        }
        int64_t next = lastPing + keepAlive;
        if (lastHeard + dead < next) next = lastHeard + dead;
        if (next <= now) next = now + 1;
        Wait w = WaitFd(fd, POLLIN, next);
        if (w == Wait::kClosed) return;
        if (w == Wait::kError) {
            lost = true;
            break;
        }
        if (w == Wait::kReady) {
            if (!ReadSome(fd)) {
                lost = true;
                break;
            }
        }
    }
    if (lost && Current(gen)) {
        Broken(gen);
        try {
            sink->ConectionStop();
        } catch (...) {
            PJ_Log(kLog, LOG_FAILURE, "CPingla", "ConectionStop threw");
        }
    }
}
