#include "Ferrel.h"

#include "AmfCheck.h"
#include "DebugLog.h"

#include <dlfcn.h>
#include <librtmp/amf.h>
#include <librtmp/log.h>
#include <librtmp/rtmp.h>

#include <algorithm>
#include <condition_variable>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// librtmp is opened with the first connection, not at start-up: the program starts without it and the TLS
// libraries it brings. Its functions are looked up there when first called, after RtmpLibrary succeeded.
void* RtmpLibrary() {
    static void* lib = dlopen("librtmp.so.1", RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

void* RtmpSymbol(const char* name) {
    void* lib = RtmpLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace

#define VARNET_RTMP_CALL(name)                                                           \
    ([] {                                                                                \
        static const auto call = reinterpret_cast<decltype(&::name)>(RtmpSymbol(#name)); \
        return call;                                                                     \
    }())
#define AMFProp_GetObject VARNET_RTMP_CALL(AMFProp_GetObject)
#define AMFProp_GetString VARNET_RTMP_CALL(AMFProp_GetString)
#define AMF_Decode VARNET_RTMP_CALL(AMF_Decode)
#define AMF_EncodeInt32 VARNET_RTMP_CALL(AMF_EncodeInt32)
#define AMF_EncodeNamedNumber VARNET_RTMP_CALL(AMF_EncodeNamedNumber)
#define AMF_EncodeString VARNET_RTMP_CALL(AMF_EncodeString)
#define AMF_GetProp VARNET_RTMP_CALL(AMF_GetProp)
#define AMF_Reset VARNET_RTMP_CALL(AMF_Reset)
#define RTMPPacket_Alloc VARNET_RTMP_CALL(RTMPPacket_Alloc)
#define RTMPPacket_Free VARNET_RTMP_CALL(RTMPPacket_Free)
#define RTMPPacket_Reset VARNET_RTMP_CALL(RTMPPacket_Reset)
#define RTMP_Alloc VARNET_RTMP_CALL(RTMP_Alloc)
#define RTMP_ClientPacket VARNET_RTMP_CALL(RTMP_ClientPacket)
#define RTMP_Close VARNET_RTMP_CALL(RTMP_Close)
#define RTMP_Connect1 VARNET_RTMP_CALL(RTMP_Connect1)
#define RTMP_EnableWrite VARNET_RTMP_CALL(RTMP_EnableWrite)
#define RTMP_Free VARNET_RTMP_CALL(RTMP_Free)
#define RTMP_Init VARNET_RTMP_CALL(RTMP_Init)
#define RTMP_IsConnected VARNET_RTMP_CALL(RTMP_IsConnected)
#define RTMP_LogSetCallback VARNET_RTMP_CALL(RTMP_LogSetCallback)
#define RTMP_LogSetLevel VARNET_RTMP_CALL(RTMP_LogSetLevel)
#define RTMP_SendCtrl VARNET_RTMP_CALL(RTMP_SendCtrl)
#define RTMP_SendPacket VARNET_RTMP_CALL(RTMP_SendPacket)
#define RTMP_SetupURL VARNET_RTMP_CALL(RTMP_SetupURL)

namespace {

constexpr int kChunkSize = 4096;
constexpr int kChannelMeta = 4;
constexpr int kChannelAudio = 5;
constexpr int kChannelVideo = 6;

void RtmpLogSink(int level, const char* fmt, va_list args) {
    if (level > RTMP_LOGWARNING) {
        return;
    }
    char line[512];
    vsnprintf(line, sizeof(line), fmt, args);
    varnet::DebugLog("Ferrel", nullptr, "librtmp: %s", line);
}

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        // librtmp writes with send() without MSG_NOSIGNAL: a dead peer must not kill the process.
        signal(SIGPIPE, SIG_IGN);
    });
}

// librtmp opened and its log routed; false when it cannot be opened.
bool LibraryReady() {
    static const bool ready = [] {
        if (!RtmpLibrary()) return false;
        RTMP_LogSetLevel(RTMP_LOGWARNING);
        RTMP_LogSetCallback(RtmpLogSink);
        return true;
    }();
    return ready;
}

int MsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        return 0;
    }
    return int(std::min<long long>(std::chrono::ceil<std::chrono::milliseconds>(left).count(), 1 << 30));
}

uint32_t Be32(const char* p) {
    const auto* u = reinterpret_cast<const uint8_t*>(p);
    return (uint32_t(u[0]) << 24) | (uint32_t(u[1]) << 16) | (uint32_t(u[2]) << 8) | u[3];
}

void SetTimeouts(int fd, int recvSec, int sendSec) {
    timeval rv{recvSec, 0};
    timeval sv{sendSec, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &rv, sizeof(rv));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sv, sizeof(sv));
    // Unacknowledged data for longer than the send time-out means the peer is gone.
    unsigned userTimeout = static_cast<unsigned>(sendSec) * 1000u;
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof(userTimeout));
}

// A name lookup shared by the connecting thread and the thread that runs it.
struct Lookup {
    int doneFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::atomic<addrinfo*> result{nullptr};
    ~Lookup() {
        if (addrinfo* r = result.load()) freeaddrinfo(r);
        if (doneFd >= 0) close(doneFd);
    }
};

// The addresses of host:port. A name (not a numeric address) is looked up on a thread of its own, so
// that the deadline and wakeFd end the wait; an abandoned lookup finishes there and frees itself.
std::shared_ptr<Lookup> Resolve(const std::string& host, int port, std::chrono::steady_clock::time_point deadline,
                                int wakeFd) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    const std::string service = std::to_string(port);
    auto lookup = std::make_shared<Lookup>();
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* numeric = nullptr;
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &numeric) == 0 && numeric) {
        lookup->result = numeric;
        return lookup;
    }
    if (lookup->doneFd < 0) {
        return nullptr;
    }
    hints.ai_flags = 0;
    std::thread([lookup, host, service, hints] {
        addrinfo* res = nullptr;
        if (getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0) {
            res = nullptr;
        }
        lookup->result = res;
        const uint64_t one = 1;
        ssize_t ignored = write(lookup->doneFd, &one, sizeof(one));
        (void)ignored;
    }).detach();
    pollfd p[2] = {{lookup->doneFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    int rc;
    while ((rc = poll(p, 2, MsUntil(deadline))) < 0 && errno == EINTR) {}
    if (rc <= 0 || !p[0].revents) {
        varnet::DebugLog("Ferrel", nullptr, "looking up %s: %s", host.c_str(), rc == 0 ? "timed out" : "stopped");
        return nullptr;
    }
    return lookup->result ? lookup : nullptr;
}

// A TCP connection to host:port, given up at the deadline or when wakeFd is signalled; -1 on failure.
int ConnectTcp(const std::string& host, int port, std::chrono::steady_clock::time_point deadline, int wakeFd) {
    const std::shared_ptr<Lookup> lookup = Resolve(host, port, deadline, wakeFd);
    if (!lookup) {
        varnet::DebugLog("Ferrel", nullptr, "cannot resolve %s", host.c_str());
        return -1;
    }
    addrinfo* res = lookup->result.load();
    int fd = -1;
    for (addrinfo* ai = res; ai; ai = ai->ai_next) {
        fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) {
            continue;
        }
        int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
            rc = -1;
            if (poll(p, 2, MsUntil(deadline)) > 0 && !p[1].revents) {
                int err = 0;
                socklen_t len = sizeof(err);
                if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
                    rc = 0;
                }
            }
        }
        if (rc == 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            break;
        }
        close(fd);
        fd = -1;
    }
    return fd;
}

bool AvalIs(const AVal& v, const char* text) {
    const size_t n = strlen(text);
    return v.av_val && v.av_len == int(n) && memcmp(v.av_val, text, n) == 0;
}

// True for an onStatus call of level "error" (a refused publish or play); its code goes to *code.
// The body has passed AmfCheck.
bool IsStreamRefusal(const char* body, size_t size, std::string* code) {
    if (size == 0) {
        return false;
    }
    AMFObject obj;
    if (AMF_Decode(&obj, const_cast<char*>(body), int(size), FALSE) < 0) {
        AMF_Reset(&obj);  // a failed decode keeps the properties it had read
        return false;
    }
    bool refused = false;
    AVal method{};
    AMFProp_GetString(AMF_GetProp(&obj, nullptr, 0), &method);
    if (AvalIs(method, "onStatus")) {
        AMFObject info;
        AMFProp_GetObject(AMF_GetProp(&obj, nullptr, 3), &info);
        AVal levelName{const_cast<char*>("level"), 5};
        AVal codeName{const_cast<char*>("code"), 4};
        AVal level{};
        AVal text{};
        AMFProp_GetString(AMF_GetProp(&info, &levelName, -1), &level);
        AMFProp_GetString(AMF_GetProp(&info, &codeName, -1), &text);
        refused = AvalIs(level, "error");
        if (refused && text.av_val && text.av_len > 0) {
            code->assign(text.av_val, size_t(std::min(text.av_len, 200)));
        }
    }
    AMF_Reset(&obj);
    return refused;
}

const int kSampleRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                              16000, 12000, 11025, 8000,  7350,  0,     0,     0};

}  // namespace

constexpr char kFlvHeader[13] = {'F', 'L', 'V', 1, 5, 0, 0, 0, 9, 0, 0, 0, 0};

Ferrel::Ferrel() {
    InitOnce();
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

Ferrel::~Ferrel() {
    Release();
    if (wakeFd_ >= 0) {
        close(wakeFd_);
    }
}

bool Ferrel::Connect(const char* url, int timeout, int recvTimeout, int sendTimeout, bool publish) {
    if (rtmp_ || !url || !*url || stopped_ || !LibraryReady()) {
        return false;
    }
    if (timeout <= 0) timeout = 30;
    if (recvTimeout <= 0) recvTimeout = 30;
    if (sendTimeout <= 0) sendTimeout = 30;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout);
    publish_ = publish;
    recvTimeoutMs_ = recvTimeout * 1000;
    url_ = strdup(url);
    rtmp_ = RTMP_Alloc();
    if (!url_ || !rtmp_) {
        Release();
        return false;
    }
    {
        // The first RTMP_Init makes librtmp's process-wide TLS context without a lock: connections starting
        // at once would each make one (all but one leak) and race on it.
        static std::mutex initLock;
        std::lock_guard<std::mutex> g(initLock);
        RTMP_Init(rtmp_);
    }
    if (!RTMP_SetupURL(rtmp_, url_)) {
        varnet::DebugLog("Ferrel", debugId_.c_str(), "bad RTMP address");
        Release();
        return false;
    }
    if (publish) {
        RTMP_EnableWrite(rtmp_);
    } else {
        rtmp_->Link.lFlags |= RTMP_LF_LIVE;
    }
    rtmp_->Link.timeout = timeout;
    std::string host(rtmp_->Link.hostname.av_val, static_cast<size_t>(rtmp_->Link.hostname.av_len));
    int port = rtmp_->Link.port ? rtmp_->Link.port : 1935;
    int fd = ConnectTcp(host, port, deadline, wakeFd_);
    if (fd < 0) {
        varnet::DebugLog("Ferrel", debugId_.c_str(), "cannot connect to %s:%d", host.c_str(), port);
        Release();
        return false;
    }
    {
        varnet::MutexLock lock(stopMutex_);
        stopFd_ = dup(fd);
        if (stopped_ && stopFd_ >= 0) {
            shutdown(stopFd_, SHUT_RDWR);
        }
    }
    SetTimeouts(fd, timeout, timeout);
    rtmp_->m_sb.sb_socket = fd;

    // librtmp's handshake and its sends wait on the socket by themselves: at the deadline a watchdog
    // shuts the socket down, which ends any of them.
    std::mutex watchMutex;
    std::condition_variable watchCv;
    bool finished = false;
    std::atomic<bool> expired{false};
    std::thread watchdog([&] {
        std::unique_lock<std::mutex> lock(watchMutex);
        if (!watchCv.wait_until(lock, deadline, [&] { return finished; })) {
            expired = true;
            varnet::MutexLock stopLock(stopMutex_);
            if (stopFd_ >= 0) {
                shutdown(stopFd_, SHUT_RDWR);
            }
        }
    });
    const bool ok = ConnectSession(host, port, deadline);
    {
        std::lock_guard<std::mutex> lock(watchMutex);
        finished = true;
    }
    watchCv.notify_all();
    watchdog.join();
    if (!ok || expired || stopped_) {
        if (ok || expired) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "%s exchange with %s:%d %s", publish ? "publish" : "play",
                             host.c_str(), port, stopped_ ? "stopped" : "timed out");
        }
        Release();
        return false;
    }
    SetTimeouts(rtmp_->m_sb.sb_socket, recvTimeout, sendTimeout);
    alive_ = true;
    if (publish) {
        if (!SendChunkSize(kChunkSize)) {
            Release();
            return false;
        }
        StartProgressWatch(std::clamp(sendTimeout * 500, 1000, 5000));
    }
    return true;
}

void Ferrel::StartProgressWatch(int periodMs) {
    StopProgressWatch();
    peerLost_ = false;
    {
        varnet::MutexLock lock(watchMutex_);
        watchStop_ = false;
    }
    int fd;
    {
        varnet::MutexLock lock(stopMutex_);
        fd = stopFd_;
    }
    if (fd < 0) return;
    progress_.Start(fd, periodMs);
    progressThread_ = std::thread([this, fd, periodMs] {
        for (;;) {
            {
                varnet::MutexLock lock(watchMutex_);
                const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(periodMs);
                while (!watchStop_ && watchCv_.wait_until(lock.Native(), until) != std::cv_status::timeout) {}
                if (watchStop_) return;
            }
            // The descriptor is the socket's duplicate, closed only after this thread is joined.
            if (!progress_.Healthy(fd)) {
                peerLost_ = true;
                alive_ = false;
                varnet::DebugLog("Ferrel", debugId_.c_str(), "the server stopped reading: connection lost");
                shutdown(fd, SHUT_RDWR);
                return;
            }
        }
    });
}

void Ferrel::StopProgressWatch() {
    if (!progressThread_.joinable()) return;
    {
        varnet::MutexLock lock(watchMutex_);
        watchStop_ = true;
    }
    watchCv_.notify_all();
    progressThread_.join();
}

bool Ferrel::ConnectSession(const std::string& host, int port, Clock::time_point deadline) {
    if (!RTMP_Connect1(rtmp_, nullptr) || stopped_) {
        varnet::DebugLog("Ferrel", debugId_.c_str(), "RTMP handshake or connect failed (%s:%d)", host.c_str(), port);
        return false;
    }
    bytesIn_ = uint32_t(rtmp_->m_nBytesIn);
    ackedIn_ = uint32_t(rtmp_->m_nBytesInSent);
    // What the server sent right after its handshake may already sit in librtmp's buffer.
    if (rtmp_->m_sb.sb_size > 0) {
        reader_.Feed(reinterpret_cast<const uint8_t*>(rtmp_->m_sb.sb_start), size_t(rtmp_->m_sb.sb_size));
        rtmp_->m_sb.sb_size = 0;
    }
    if (!ConnectStream(deadline) || !RTMP_IsConnected(rtmp_)) {
        varnet::DebugLog("Ferrel", debugId_.c_str(), "stream refused (%s)", publish_ ? "publish" : "play");
        return false;
    }
    return true;
}

// Until the server starts the stream: its commands answered by librtmp, an error status ends it.
bool Ferrel::ConnectStream(Clock::time_point deadline) {
    while (!rtmp_->m_bPlaying) {
        RtmpMessage m;
        if (!NextMessage(&m, deadline) || !Handle(m, false)) {
            return false;
        }
    }
    return true;
}

bool Ferrel::Fill(Clock::time_point deadline) {
    const int fd = rtmp_ ? rtmp_->m_sb.sb_socket : -1;
    if (fd < 0 || stopped_) {
        return false;
    }
    for (;;) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int rc = poll(p, 2, MsUntil(deadline));
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "no data from the server in time");
            return false;
        }
        if (p[1].revents || stopped_) {
            return false;
        }
        const int got = Receive(fd);
        if (got < 0) {
            continue;
        }
        return got > 0;
    }
}

int Ferrel::Receive(int fd) {
    uint8_t buf[16384];
    const ssize_t n = recv(fd, buf, sizeof(buf), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return -1;
    }
    if (n <= 0) {
        return 0;
    }
    reader_.Feed(buf, size_t(n));
    bytesIn_ += uint32_t(n);
    if (bytesIn_ - ackedIn_ >= uint32_t(std::max(rtmp_->m_nServerBW / 2, 4096))) {
        SendAck();
    }
    return 1;
}

void Ferrel::TakeArrived(size_t size) {
    const int fd = rtmp_ ? rtmp_->m_sb.sb_socket : -1;
    while (fd >= 0 && !endPending_ && !stopped_ && out_.size() - outPos_ < size) {
        RtmpMessage m;
        const RtmpChunkReader::Result r = reader_.Next(&m);
        if (r == RtmpChunkReader::Result::Error) {
            return;  // the next read meets it again and ends the stream
        }
        if (r == RtmpChunkReader::Result::NeedMore) {
            if (Receive(fd) <= 0) {
                return;  // nothing more yet; an end of the connection is seen by the next read
            }
            continue;
        }
        const size_t kept = out_.size();
        if (!Handle(m, true)) {
            out_.resize(kept);
            endPending_ = true;  // what came before goes out first
        }
    }
}

void Ferrel::SendAck() {
    RTMPPacket pkt;
    RTMPPacket_Reset(&pkt);
    if (!RTMPPacket_Alloc(&pkt, 4)) {
        return;
    }
    AMF_EncodeInt32(pkt.m_body, pkt.m_body + 4, bytesIn_);
    pkt.m_packetType = RTMP_PACKET_TYPE_BYTES_READ_REPORT;
    pkt.m_nChannel = 0x02;
    pkt.m_headerType = RTMP_PACKET_SIZE_MEDIUM;
    pkt.m_nBodySize = 4;
    if (RTMP_SendPacket(rtmp_, &pkt, FALSE)) {
        ackedIn_ = bytesIn_;
    }
    RTMPPacket_Free(&pkt);
}

bool Ferrel::NextMessage(RtmpMessage* m, Clock::time_point deadline) {
    for (;;) {
        switch (reader_.Next(m)) {
        case RtmpChunkReader::Result::Message:
            return true;
        case RtmpChunkReader::Result::Error:
            varnet::DebugLog("Ferrel", debugId_.c_str(), "stream ended: %s", reader_.error().c_str());
            return false;
        case RtmpChunkReader::Result::NeedMore:
            break;
        }
        // After a wait that saw nothing for a whole time-out, one last look.
        const auto limit = waitTimedOut_ ? Clock::now() : Clock::now() + std::chrono::milliseconds(recvTimeoutMs_);
        waitTimedOut_ = false;
        if (!Fill(std::min(deadline, limit))) {
            return false;
        }
    }
}

bool Ferrel::PassToLibrtmp(const RtmpMessage& m) {
    RTMPPacket pkt;
    RTMPPacket_Reset(&pkt);
    if (m.body.empty() || !RTMPPacket_Alloc(&pkt, uint32_t(m.body.size()))) {
        return false;
    }
    memcpy(pkt.m_body, m.body.data(), m.body.size());
    pkt.m_packetType = m.type;
    pkt.m_nChannel = m.csid;
    pkt.m_nTimeStamp = m.timestamp;
    pkt.m_nInfoField2 = int32_t(m.streamId);
    pkt.m_nBodySize = uint32_t(m.body.size());
    pkt.m_nBytesRead = pkt.m_nBodySize;
    pkt.m_headerType = RTMP_PACKET_SIZE_LARGE;
    RTMP_ClientPacket(rtmp_, &pkt);
    RTMPPacket_Free(&pkt);
    // librtmp closes the session itself on a failed, stopped or unpublished stream.
    return RTMP_IsConnected(rtmp_) != 0;
}

bool Ferrel::Handle(const RtmpMessage& m, bool playing) {
    const char* body = m.body.data();
    const size_t size = m.body.size();
    switch (m.type) {
    case RTMP_PACKET_TYPE_CHUNK_SIZE:
        if (size < 4 || !reader_.SetChunkSize(Be32(body))) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "nonsense chunk size from the server");
            return false;
        }
        return true;
    case 0x02:  // abort
        if (size >= 4) {
            reader_.Abort(int(Be32(body)));
        }
        return true;
    case RTMP_PACKET_TYPE_BYTES_READ_REPORT:
        return true;
    case RTMP_PACKET_TYPE_CONTROL:
        // A ping is answered; the other events say nothing a live player needs.
        if (size >= 6 && body[0] == 0 && body[1] == 6) {
            RTMP_SendCtrl(rtmp_, 0x07, Be32(body + 2), 0);
        }
        return true;
    case RTMP_PACKET_TYPE_SERVER_BW:
    case RTMP_PACKET_TYPE_CLIENT_BW:
        if (size < 4) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "short bandwidth message from the server");
            return false;
        }
        return PassToLibrtmp(m);
    case RTMP_PACKET_TYPE_AUDIO:
    case RTMP_PACKET_TYPE_VIDEO:
        if (playing && size > 0) {
            AppendTag(m.type, m.timestamp, body, size);
        }
        return true;
    case RTMP_PACKET_TYPE_INFO:
        if (!playing) {
            return true;
        }
        if (AmfCheck(reinterpret_cast<const uint8_t*>(body), size) == AmfVerdict::TooDeep) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "metadata nested too deeply: stream ended");
            return false;
        }
        AppendTag(m.type, m.timestamp, body, size);
        return true;
    case RTMP_PACKET_TYPE_FLEX_MESSAGE:
    case RTMP_PACKET_TYPE_INVOKE: {
        const size_t skip = m.type == RTMP_PACKET_TYPE_FLEX_MESSAGE ? 1 : 0;
        if (size <= skip || body[skip] != AMF_STRING) {
            return true;  // not a command librtmp would read
        }
        const AmfVerdict v = AmfCheck(reinterpret_cast<const uint8_t*>(body + skip), size - skip);
        if (v != AmfVerdict::Ok) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "%s command from the server: session ended",
                             v == AmfVerdict::TooDeep ? "too deeply nested" : "undecodable");
            return false;
        }
        std::string code;
        if (IsStreamRefusal(body + skip, size - skip, &code)) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "server refused the stream: %s", code.c_str());
            return false;
        }
        return PassToLibrtmp(m);
    }
    case RTMP_PACKET_TYPE_FLASH_VIDEO:
        return !playing || AppendAggregate(m);
    default:  // AMF3 data, shared objects: not used by a live session
        return true;
    }
}

void Ferrel::AppendTag(uint8_t type, uint32_t ts, const char* body, size_t len) {
    const size_t start = out_.size();
    out_.resize(start + 11 + len + 4);
    char* t = &out_[start];
    t[0] = char(type);
    t[1] = char(len >> 16);
    t[2] = char(len >> 8);
    t[3] = char(len);
    t[4] = char(ts >> 16);
    t[5] = char(ts >> 8);
    t[6] = char(ts);
    t[7] = char(ts >> 24);
    t[8] = t[9] = t[10] = 0;
    memcpy(t + 11, body, len);
    const uint32_t prev = uint32_t(11 + len);
    AMF_EncodeInt32(t + 11 + len, t + 15 + len, prev);
}

// An aggregate message carries FLV tags whose times are relative to its own.
bool Ferrel::AppendAggregate(const RtmpMessage& m) {
    const auto* p = reinterpret_cast<const uint8_t*>(m.body.data());
    size_t left = m.body.size();
    bool first = true;
    uint32_t base = 0;
    while (left > 0) {
        if (left < 15) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "broken aggregate message: stream ended");
            return false;
        }
        const uint8_t type = p[0];
        const size_t len = (size_t(p[1]) << 16) | (size_t(p[2]) << 8) | p[3];
        const uint32_t ts = (uint32_t(p[4]) << 16) | (uint32_t(p[5]) << 8) | p[6] | (uint32_t(p[7]) << 24);
        if (len + 15 > left || (type != 8 && type != 9 && type != 18)) {
            varnet::DebugLog("Ferrel", debugId_.c_str(), "broken aggregate message: stream ended");
            return false;
        }
        if (first) {
            base = ts;
            first = false;
        }
        if (len > 0) {
            AppendTag(type, m.timestamp + (ts - base), reinterpret_cast<const char*>(p + 11), len);
        }
        p += len + 15;
        left -= len + 15;
    }
    return true;
}

int Ferrel::ReadPacket(uint8_t* buf, int size) {
    if (!rtmp_ || !buf || size <= 0 || stopped_) {
        return -1;
    }
    while (outPos_ >= out_.size()) {
        out_.clear();
        outPos_ = 0;
        if (readStopped_) {
            out_ = std::string();
            return -1;
        }
        if (!headerSent_) {
            out_.assign(kFlvHeader, sizeof(kFlvHeader));
            headerSent_ = true;
            break;
        }
        RtmpMessage m;
        if (endPending_ || !NextMessage(&m, Clock::time_point::max()) || !Handle(m, true)) {
            // Nothing of the stream is kept once it ended.
            readStopped_ = true;
            alive_ = false;
            reader_ = RtmpChunkReader();
            out_ = std::string();
            return -1;
        }
    }
    // What was handed out goes: a server faster than the reader never lets it empty the buffer.
    if (outPos_ > 0 && outPos_ >= out_.size() / 2) {
        out_.erase(0, outPos_);
        outPos_ = 0;
    }
    // Messages that have arrived meanwhile go out with this call too (one pass of the caller for a burst).
    if (headerSent_ && !readStopped_) {
        TakeArrived(size_t(size));
    }
    const size_t n = std::min(size_t(size), out_.size() - outPos_);
    memcpy(buf, out_.data() + outPos_, n);
    outPos_ += n;
    return int(n);
}

bool Ferrel::WaitForData() {
    const int fd = rtmp_ ? rtmp_->m_sb.sb_socket : -1;
    if (fd < 0 || stopped_ || readStopped_) {
        return false;
    }
    if (outPos_ < out_.size() || !headerSent_ || reader_.BufferedBytes() > 0) {
        return true;  // ReadPacket starts from what it has
    }
    pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    int rc;
    while ((rc = poll(p, 2, recvTimeoutMs_)) < 0 && errno == EINTR) {}
    waitTimedOut_ = rc == 0;
    return true;
}

bool Ferrel::IsReadStopped() {
    return stopped_ || !rtmp_ || readStopped_ || !RTMP_IsConnected(rtmp_);
}

void Ferrel::Stop() {
    varnet::MutexLock lock(stopMutex_);
    stopped_ = true;
    alive_ = false;
    if (stopFd_ >= 0) {
        shutdown(stopFd_, SHUT_RDWR);
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        ssize_t ignored = write(wakeFd_, &one, sizeof(one));
        (void)ignored;
    }
    {
        varnet::MutexLock watch(watchMutex_);
        watchStop_ = true;
    }
    watchCv_.notify_all();
}

void Ferrel::Close() {
    Release();
    // A closed client may connect again.
    uint64_t count = 0;
    while (wakeFd_ >= 0 && read(wakeFd_, &count, sizeof(count)) > 0) {}
    stopped_ = false;
}

void Ferrel::Release() {
    alive_ = false;
    StopProgressWatch();
    if (rtmp_) {
        if (stopped_ && rtmp_->m_sb.sb_socket >= 0) {
            // The socket is shut down: skip the goodbye commands and just close.
            close(rtmp_->m_sb.sb_socket);
            rtmp_->m_sb.sb_socket = -1;
        }
        RTMP_Close(rtmp_);
        AMF_Reset(&rtmp_->Link.extras);  // the "conn=" options; RTMP_Close keeps them
        RTMP_Free(rtmp_);
        rtmp_ = nullptr;
    }
    {
        varnet::MutexLock lock(stopMutex_);
        if (stopFd_ >= 0) {
            close(stopFd_);
            stopFd_ = -1;
        }
    }
    free(url_);
    url_ = nullptr;
    reader_ = RtmpChunkReader();
    out_ = std::string();
    outPos_ = 0;
    headerSent_ = false;
    readStopped_ = false;
    endPending_ = false;
    waitTimedOut_ = false;
}

bool Ferrel::IsConnected() {
    return alive_;
}

bool Ferrel::SendChunkSize(int size) {
    uint8_t body[4] = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                       static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    RTMPPacket pkt;
    RTMPPacket_Reset(&pkt);
    if (!RTMPPacket_Alloc(&pkt, 4)) {
        return false;
    }
    memcpy(pkt.m_body, body, 4);
    pkt.m_packetType = RTMP_PACKET_TYPE_CHUNK_SIZE;
    pkt.m_nChannel = 0x02;
    pkt.m_headerType = RTMP_PACKET_SIZE_LARGE;
    pkt.m_nBodySize = 4;
    pkt.m_nInfoField2 = 0;
    bool ok = RTMP_SendPacket(rtmp_, &pkt, FALSE) != 0;
    RTMPPacket_Free(&pkt);
    if (ok) {
        rtmp_->m_outChunkSize = size;
    } else {
        alive_ = false;
    }
    return ok;
}

bool Ferrel::SendBody(int type, int channel, const uint8_t* body, int len, unsigned ts) {
    if (!rtmp_ || !alive_ || stopped_ || !publish_ || !body || len <= 0) {
        return false;
    }
    RTMPPacket pkt;
    RTMPPacket_Reset(&pkt);
    if (!RTMPPacket_Alloc(&pkt, static_cast<uint32_t>(len))) {
        return false;
    }
    memcpy(pkt.m_body, body, static_cast<size_t>(len));
    pkt.m_packetType = static_cast<uint8_t>(type);
    pkt.m_nChannel = channel;
    pkt.m_headerType = RTMP_PACKET_SIZE_LARGE;
    pkt.m_nTimeStamp = ts;
    pkt.m_hasAbsTimestamp = 1;
    pkt.m_nInfoField2 = rtmp_->m_stream_id;
    pkt.m_nBodySize = static_cast<uint32_t>(len);
    bool ok = RTMP_SendPacket(rtmp_, &pkt, FALSE) != 0;
    RTMPPacket_Free(&pkt);
    if (!ok || !RTMP_IsConnected(rtmp_)) {
        alive_ = false;
        varnet::DebugLog("Ferrel", debugId_.c_str(), "send failed: connection lost");
        return false;
    }
    if (peerLost_) {
        alive_ = false;
        return false;
    }
    return true;
}

std::string Ferrel::AvcSequenceHeader(const _RTMPMetadata& m) {
    int spsLen = m.spsLen < 0 ? 0 : (m.spsLen > 1024 ? 1024 : m.spsLen);
    int ppsLen = m.ppsLen < 0 ? 0 : (m.ppsLen > 1024 ? 1024 : m.ppsLen);
    if (spsLen < 4 || ppsLen < 1) {
        return {};
    }
    std::string b;
    auto put = [&b](int v) { b.push_back(static_cast<char>(v & 0xFF)); };
    put(0x17);
    put(0x00);
    put(0x00);
    put(0x00);
    put(0x00);
    put(0x01);
    put(m.sps[1]);
    put(m.sps[2]);
    put(m.sps[3]);
    put(0xFF);
    put(0xE1);
    put(spsLen >> 8);
    put(spsLen);
    b.append(reinterpret_cast<const char*>(m.sps), static_cast<size_t>(spsLen));
    put(0x01);
    put(ppsLen >> 8);
    put(ppsLen);
    b.append(reinterpret_cast<const char*>(m.pps), static_cast<size_t>(ppsLen));
    return b;
}

std::string Ferrel::AacSequenceHeader(const _RTMPMetadata& m) {
    std::string b;
    auto put = [&b](int v) { b.push_back(static_cast<char>(v & 0xFF)); };
    put(0xAF);
    put(0x00);
    put((m.audioProfile << 3) | ((m.audioSampleRateIndex & 0x0F) >> 1));
    put(((m.audioSampleRateIndex & 1) << 7) | ((m.audioChannels & 0x0F) << 3));
    return b;
}

bool Ferrel::SendMetadata(const _RTMPMetadata* meta) {
    if (!meta || !rtmp_ || !alive_) {
        return false;
    }
    char buf[1024];
    char* end = buf + sizeof(buf);
    char* p = buf;
    auto av = [](const char* s) {
        AVal v;
        v.av_val = const_cast<char*>(s);
        v.av_len = static_cast<int>(strlen(s));
        return v;
    };
    AVal setDataFrame = av("@setDataFrame");
    AVal onMetaData = av("onMetaData");
    p = AMF_EncodeString(p, end, &setDataFrame);
    p = AMF_EncodeString(p, end, &onMetaData);
    *p++ = AMF_OBJECT;
    struct Field {
        const char* name;
        double value;
    };
    const int rate = kSampleRates[meta->audioSampleRateIndex & 0x0F];
    const Field fields[] = {
        {"duration", 0},
        {"width", static_cast<double>(meta->width)},
        {"height", static_cast<double>(meta->height)},
        {"framerate", static_cast<double>(meta->frameRate)},
        {"videocodecid", 7},
        {"audiosamplerate", static_cast<double>(rate)},
        {"audiosamplesize", 16},
        {"audiochannels", static_cast<double>(meta->audioChannels)},
        {"audiocodecid", 10},
    };
    for (const Field& f : fields) {
        if (!meta->hasVideo && f.name[0] != 'a' && f.name[0] != 'd') continue;
        if (!meta->hasAudio && f.name[0] == 'a') continue;
        AVal name = av(f.name);
        p = p ? AMF_EncodeNamedNumber(p, end, &name, f.value) : nullptr;
    }
    if (!p || end - p < 3) {
        return false;
    }
    *p++ = 0;
    *p++ = 0;
    *p++ = AMF_OBJECT_END;
    if (!SendBody(RTMP_PACKET_TYPE_INFO, kChannelMeta, reinterpret_cast<uint8_t*>(buf), static_cast<int>(p - buf), 0)) {
        return false;
    }
    if (meta->hasVideo) {
        std::string avc = AvcSequenceHeader(*meta);
        if (avc.empty() || !SendBody(RTMP_PACKET_TYPE_VIDEO, kChannelVideo,
                                     reinterpret_cast<const uint8_t*>(avc.data()), static_cast<int>(avc.size()), 0)) {
            return false;
        }
    }
    if (meta->hasAudio) {
        std::string aac = AacSequenceHeader(*meta);
        if (!SendBody(RTMP_PACKET_TYPE_AUDIO, kChannelAudio, reinterpret_cast<const uint8_t*>(aac.data()),
                      static_cast<int>(aac.size()), 0)) {
            return false;
        }
    }
    return true;
}

bool Ferrel::SendH264Packet(const uint8_t* body, int len, bool, unsigned ts) {
    return SendBody(RTMP_PACKET_TYPE_VIDEO, kChannelVideo, body, len, ts);
}

bool Ferrel::SendAACPacket(const uint8_t* body, int len, bool, unsigned ts) {
    return SendBody(RTMP_PACKET_TYPE_AUDIO, kChannelAudio, body, len, ts);
}
