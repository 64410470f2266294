#include "Ferrel.h"

#include "FerrelLog.h"

#include <librtmp/amf.h>
#include <librtmp/log.h>
#include <librtmp/rtmp.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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
    FerrelLog("librtmp: %s", line);
}

void InitOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        // librtmp writes with send() without MSG_NOSIGNAL: a dead peer must not kill the process.
        signal(SIGPIPE, SIG_IGN);
        RTMP_LogSetLevel(RTMP_LOGWARNING);
        RTMP_LogSetCallback(RtmpLogSink);
    });
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

// A TCP connection to host:port bounded by timeoutSec; -1 on failure.
int ConnectTcp(const std::string& host, int port, int timeoutSec) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0 || !res) {
        FerrelLog("cannot resolve %s", host.c_str());
        return -1;
    }
    int fd = -1;
    for (addrinfo* ai = res; ai; ai = ai->ai_next) {
        fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
        if (fd < 0) {
            continue;
        }
        int rc = connect(fd, ai->ai_addr, ai->ai_addrlen);
        if (rc != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            rc = -1;
            if (poll(&p, 1, timeoutSec * 1000) == 1) {
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
    freeaddrinfo(res);
    return fd;
}

bool AvalIs(const AVal& v, const char* text) {
    const size_t n = strlen(text);
    return v.av_val && v.av_len == int(n) && memcmp(v.av_val, text, n) == 0;
}

// True for an onStatus call of level "error" (a refused publish or play); its code goes to *code.
bool IsStreamRefusal(const RTMPPacket& p, std::string* code) {
    if (p.m_packetType != RTMP_PACKET_TYPE_INVOKE || !p.m_body || p.m_nBodySize == 0) {
        return false;
    }
    AMFObject obj;
    if (AMF_Decode(&obj, p.m_body, int(p.m_nBodySize), FALSE) < 0) {
        AMF_Reset(&obj);   // a failed decode keeps the properties it had read
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

// RTMP_ConnectStream, except that a status of level "error" (e.g. a stream name already being
// published) fails at once instead of waiting for the read time-out.
bool ConnectStream(RTMP* r) {
    r->m_mediaChannel = 0;
    RTMPPacket packet{};
    while (!r->m_bPlaying && RTMP_IsConnected(r) && RTMP_ReadPacket(r, &packet)) {
        if (!RTMPPacket_IsReady(&packet) || packet.m_nBodySize == 0) {
            continue;
        }
        if (packet.m_packetType == RTMP_PACKET_TYPE_AUDIO || packet.m_packetType == RTMP_PACKET_TYPE_VIDEO ||
            packet.m_packetType == RTMP_PACKET_TYPE_INFO) {
            RTMPPacket_Free(&packet);
            continue;
        }
        std::string code;
        if (IsStreamRefusal(packet, &code)) {
            FerrelLog("server refused the stream: %s", code.c_str());
            RTMPPacket_Free(&packet);
            return false;
        }
        RTMP_ClientPacket(r, &packet);
        RTMPPacket_Free(&packet);
    }
    return r->m_bPlaying != 0;
}

const int kSampleRates[16] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                              16000, 12000, 11025, 8000,  7350,  0,     0,     0};

}  // namespace

Ferrel::Ferrel() { InitOnce(); }

Ferrel::~Ferrel() { Close(); }

bool Ferrel::Connect(const char* url, int timeout, int recvTimeout, int sendTimeout, bool publish) {
    if (rtmp_ || !url || !*url) {
        return false;
    }
    if (timeout <= 0) timeout = 30;
    if (recvTimeout <= 0) recvTimeout = 30;
    if (sendTimeout <= 0) sendTimeout = 30;
    stopped_ = false;
    publish_ = publish;
    url_ = strdup(url);
    rtmp_ = RTMP_Alloc();
    if (!url_ || !rtmp_) {
        Release();
        return false;
    }
    RTMP_Init(rtmp_);
    if (!RTMP_SetupURL(rtmp_, url_)) {
        FerrelLog("bad RTMP address");
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
    int fd = ConnectTcp(host, port, timeout);
    if (fd < 0) {
        FerrelLog("cannot connect to %s:%d", host.c_str(), port);
        Release();
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopFd_ = dup(fd);
        if (stopped_ && stopFd_ >= 0) {
            shutdown(stopFd_, SHUT_RDWR);
        }
    }
    SetTimeouts(fd, timeout, timeout);
    rtmp_->m_sb.sb_socket = fd;
    if (!RTMP_Connect1(rtmp_, nullptr) || stopped_) {
        FerrelLog("RTMP handshake or connect failed (%s:%d)", host.c_str(), port);
        Release();
        return false;
    }
    if (!ConnectStream(rtmp_) || stopped_ || !RTMP_IsConnected(rtmp_)) {
        FerrelLog("stream refused (%s)", publish ? "publish" : "play");
        Release();
        return false;
    }
    SetTimeouts(rtmp_->m_sb.sb_socket, recvTimeout, sendTimeout);
    alive_ = true;
    if (publish && !SendChunkSize(kChunkSize)) {
        Release();
        return false;
    }
    return true;
}

int Ferrel::ReadPacket(uint8_t* buf, int size) {
    if (!rtmp_ || !buf || size <= 0 || stopped_) {
        return -1;
    }
    int n = RTMP_Read(rtmp_, reinterpret_cast<char*>(buf), size);
    if (n <= 0 && (!RTMP_IsConnected(rtmp_) || rtmp_->m_read.status < 0)) {
        alive_ = false;
    }
    return n;
}

bool Ferrel::IsReadStopped() {
    return stopped_ || !rtmp_ || rtmp_->m_read.status < 0 || !RTMP_IsConnected(rtmp_);
}

void Ferrel::Stop() {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopped_ = true;
    alive_ = false;
    if (stopFd_ >= 0) {
        shutdown(stopFd_, SHUT_RDWR);
    }
}

void Ferrel::Close() {
    Release();
}

void Ferrel::Release() {
    alive_ = false;
    if (rtmp_) {
        if (stopped_ && rtmp_->m_sb.sb_socket >= 0) {
            // The socket is shut down: skip the goodbye commands and just close.
            close(rtmp_->m_sb.sb_socket);
            rtmp_->m_sb.sb_socket = -1;
        }
        RTMP_Close(rtmp_);
        AMF_Reset(&rtmp_->Link.extras);   // the "conn=" options; RTMP_Close keeps them
        RTMP_Free(rtmp_);
        rtmp_ = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        if (stopFd_ >= 0) {
            close(stopFd_);
            stopFd_ = -1;
        }
    }
    free(url_);
    url_ = nullptr;
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
        FerrelLog("send failed: connection lost");
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
    put(0x17); put(0x00); put(0x00); put(0x00); put(0x00);
    put(0x01); put(m.sps[1]); put(m.sps[2]); put(m.sps[3]); put(0xFF); put(0xE1);
    put(spsLen >> 8); put(spsLen);
    b.append(reinterpret_cast<const char*>(m.sps), static_cast<size_t>(spsLen));
    put(0x01);
    put(ppsLen >> 8); put(ppsLen);
    b.append(reinterpret_cast<const char*>(m.pps), static_cast<size_t>(ppsLen));
    return b;
}

std::string Ferrel::AacSequenceHeader(const _RTMPMetadata& m) {
    std::string b;
    auto put = [&b](int v) { b.push_back(static_cast<char>(v & 0xFF)); };
    put(0xAF); put(0x00);
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
    struct Field { const char* name; double value; };
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
    *p++ = 0; *p++ = 0; *p++ = AMF_OBJECT_END;
    if (!SendBody(RTMP_PACKET_TYPE_INFO, kChannelMeta, reinterpret_cast<uint8_t*>(buf),
                  static_cast<int>(p - buf), 0)) {
        return false;
    }
    if (meta->hasVideo) {
        std::string avc = AvcSequenceHeader(*meta);
        if (avc.empty() || !SendBody(RTMP_PACKET_TYPE_VIDEO, kChannelVideo,
                                     reinterpret_cast<const uint8_t*>(avc.data()),
                                     static_cast<int>(avc.size()), 0)) {
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
