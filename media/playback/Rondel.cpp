// Playback session and receive thread.
#include "Rondel.h"

#include "DebugLog.h"
#include "Dunmar.h"
#include "Ferrel.h"
#include "FlvBody.h"
#include "Grabbel.h"
#include "H264ParamSets.h"
#include "PacketQueue.h"
#include "Tovel.h"
#include "Unpix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

varnet::Mutex g_factoryMutex;
RondelFactories g_factories GUARDED_BY(g_factoryMutex);

RondelFactories Factories() {
    varnet::MutexLock lock(g_factoryMutex);
    return g_factories;
}

constexpr int kReadSize = 10240;
constexpr size_t kParseBufferSize = 1048576;
constexpr int kAdtsGrowth = 5;            // an ADTS header (7 bytes) replaces the FLV audio header (2)
constexpr int kFlvVideoHeader = 5;        // an FLV video body's header before its units
constexpr unsigned kVideoPtsLead = 1000;  // video pts are shown this many ms earlier than their tag says

}  // namespace

namespace {
std::atomic<void (*)(int)> g_sleep{nullptr};

// The receive loop's 1 ms pause after every pass. With nothing buffered it is spent waiting for the
// connection: the next read starts when it would have (1 ms on, or when data comes if later), and the
// thread is woken once for the data rather than once for the pause and once more for the data.
void PauseBeforeRead(Ferrel& client) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1);
    if (g_sleep.load() || !client.WaitForData()) {
        RondelSleep(1);
    } else if (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_until(end);
    }
}
}  // namespace

void RondelSetSleep(void (*sleep)(int ms)) {
    g_sleep = sleep;
}

void RondelSleep(int ms) {
    if (void (*hook)(int) = g_sleep.load()) {
        hook(ms);
    } else if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void RondelSetFactories(const RondelFactories& factories) {
    varnet::MutexLock lock(g_factoryMutex);
    g_factories = factories;
}

Rondel::Rondel() : m_audioQueue(std::make_unique<PacketQueue>()), m_videoQueue(std::make_unique<PacketQueue>()) {
    Grabbel::InitConvertTable();
}

Rondel::~Rondel() {
    Uint();
}

int Rondel::Init(ZQReplayParam* param, IBaseReplayNotify* notify) {
    m_owner.Enter("Rondel");
    varnet::DebugLog("Rondel", m_debugId.c_str(), "replay init start...");
    m_notify = notify;
    if (m_client || m_running) {
        return REPLAY_INIT_FAILED;
    }
    if (!param) {
        return REPLAY_CONNECT_FAILED;
    }
    m_param = *param;
    m_param.url[sizeof(m_param.url) - 1] = 0;
    m_param.dumpPath[sizeof(m_param.dumpPath) - 1] = 0;
    m_audioShow = m_param.audioShow;
    m_videoShow = m_param.videoShow;
    varnet::DebugLog("Rondel", m_debugId.c_str(), "%s", varnet::MaskStreamUrl(m_param.url).c_str());

    RondelFactories f = Factories();
    m_client = f.client ? f.client() : std::make_unique<Ferrel>();
    if (!m_client ||
        !m_client->Connect(m_param.url, m_param.timeout, m_param.recvTimeout, m_param.sendTimeout, false)) {
        varnet::DebugLog("Rondel", m_debugId.c_str(), "replay init end");
        return REPLAY_CONNECT_FAILED;
    }
    m_decoder = f.decoder ? f.decoder() : std::make_unique<Unpix>();
    if (!m_decoder || m_decoder->Initialize() < 0) {
        varnet::DebugLog("Rondel", m_debugId.c_str(), "replay init end");
        return REPLAY_H264_DECODER_FAILED;
    }
    m_aacDecoder = std::make_unique<Dunmar>();
    m_player = f.audioOut ? f.audioOut() : std::make_unique<Tovel>();

    m_statusSent = false;
    m_audioFailSent = false;
    m_dropVideo = false;
    m_videoConfigWaits = false;
    m_audioState = AudioState::None;
    m_videoState = VideoState::None;
    m_aac = std::make_unique<FlvAacConfig>();
    m_avc = std::make_unique<FlvAvcConfig>();
    m_aacHeader.clear();
    m_avcHeader.clear();
    m_audioChanged = false;
    m_playerOpen = false;
    m_audioPts = 0;
    m_videoPts = 0;
    packet_queue_init(m_videoQueue.get());
    packet_queue_init(m_audioQueue.get());
    m_reader = std::make_unique<FlvTagReader>(kParseBufferSize);
    m_running = true;
    m_recvThread = std::thread(&Rondel::RecvPacket, this);
    if (m_param.audioEnable) {
        m_audioThread = std::thread(&Rondel::AudioDecode, this);
    }
    if (m_param.videoEnable) {
        m_videoThread = std::thread(&Rondel::VideoDecode, this);
    }
    varnet::DebugLog("Rondel", m_debugId.c_str(), "replay init success");
    varnet::DebugLog("Rondel", m_debugId.c_str(), "replay init end");
    return REPLAY_SUCCESS;
}

void Rondel::Uint() {
    m_owner.Leave("Rondel", false);
    m_running = false;
    if (m_client) {
        m_client->Stop();
    }
    if (m_recvThread.joinable()) {
        m_recvThread.join();
    }
    packet_queue_wakeup(m_videoQueue.get());
    if (m_videoThread.joinable()) {
        m_videoThread.join();
    }
    // The audio thread may wait inside the sound output for room: let it go first.
    if (m_player) {
        m_player->Abort();
    }
    packet_queue_wakeup(m_audioQueue.get());
    if (m_audioThread.joinable()) {
        m_audioThread.join();
    }
    if (m_player) {
        m_player->Uint();
        m_player.reset();
    }
    if (m_client) {
        m_client->Close();
        m_client.reset();
    }
    m_reader.reset();
    m_rgbBuffer.reset();
    m_rgbSize = 0;
    if (m_decoder) {
        m_decoder->Destroy();
        m_decoder.reset();
    }
    if (m_aacDecoder) {
        m_aacDecoder->UnInit();
        m_aacDecoder.reset();
    }
    packet_queue_flush(m_audioQueue.get());
    packet_queue_flush(m_videoQueue.get());
    m_frameSize = m_sampleRate = m_channels = 0;
    m_video = VideoDescription{};
    {
        varnet::MutexLock lock(m_descLock);
        m_nextVideo.clear();
    }
    m_dropVideo = false;
    m_videoConfigWaits = false;
    m_audioState = AudioState::None;
    m_videoState = VideoState::None;
    m_aac.reset();
    m_avc.reset();
    m_aacHeader.clear();
    m_avcHeader.clear();
    m_audioChanged = false;
    m_playerOpen = false;
    m_notify = nullptr;
    m_owner.Leave("Rondel", true);
}

bool Rondel::IsConnected() {
    return m_client && m_running && m_client->IsConnected();
}
int Rondel::IsAudioShow() {
    return m_audioShow ? 1 : 0;
}
int Rondel::IsVideoShow() {
    return m_videoShow ? 1 : 0;
}
void Rondel::AudioShowSwitch(bool show) {
    m_audioShow = show;
}
void Rondel::VideoShowSwitch(bool show) {
    m_videoShow = show;
}

void Rondel::Status(int code) {
    if (code == REPLAY_CONNECTION_LOST && m_statusSent.exchange(true)) {
        return;
    }
    if (code == REPLAY_AAC_DECODER_FAILED && m_audioFailSent.exchange(true)) {
        return;
    }
    if (IBaseReplayNotify* n = m_notify.load()) {
        n->OnReplayStatus(code);
    }
}

void Rondel::RecvPacket() {
    std::unique_ptr<BYTE[]> buffer(new BYTE[kReadSize]);
    FILE* dump = nullptr;
    if (m_param.dumpStream && m_param.dumpPath[0]) {
        dump = fopen(m_param.dumpPath, "wb");
    }
    const bool parse = m_param.audioEnable || m_param.videoEnable;
    const bool report = varnet::DebugLogOn();
    auto lastReport = std::chrono::steady_clock::now();
    int audioPeak = 0, videoPeak = 0;
    m_pictures = 0;
    while (m_running && m_client) {
        int n = m_client->ReadPacket(buffer.get(), kReadSize);
        if (n < 0 || (n == 0 && m_client->IsReadStopped())) {
            if (m_running) {
                Status(REPLAY_CONNECTION_LOST);
            }
            break;
        }
        if (n > 0) {
            if (dump) {
                fwrite(buffer.get(), 1, size_t(n), dump);
                fflush(dump);  // the file follows the stream, also when the program ends abruptly
            }
            if (parse && !ParseBuffer(buffer.get(), n)) {
                // A tag larger than the parse buffer: the stream cannot be followed any more.
                varnet::DebugLog("Rondel", m_debugId.c_str(), "stream broken: a tag larger than the parse buffer");
                Status(REPLAY_CONNECTION_LOST);
                break;
            }
        }
        if (report) {
            // Only the decode threads take from the queues: just after the parse they are at their longest.
            audioPeak = std::max(audioPeak, packet_queue_count(m_audioQueue.get()));
            videoPeak = std::max(videoPeak, packet_queue_count(m_videoQueue.get()));
            const auto now = std::chrono::steady_clock::now();
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastReport).count();
            if (spent >= kQueueReportMs) {
                ReportQueues(audioPeak, videoPeak, int((spent + 500) / 1000));
                audioPeak = videoPeak = 0;
                lastReport = now;
            }
        }
        PauseBeforeRead(*m_client);
    }
    if (dump) {
        fclose(dump);
    }
}

void Rondel::ReportQueues(int audioPeak, int videoPeak, int seconds) {
    const int sound = m_player ? m_player->Outstanding() : 0;
    varnet::DebugLog("Rondel", m_debugId.c_str(),
                     "queues: audio %d packets (%.1f s, peak %d of %d), video %d packets (%.1f s, peak %d of %d), "
                     "sound buffers %d; %lu pictures in %d s",
                     packet_queue_count(m_audioQueue.get()), double(packet_queue_duration(m_audioQueue.get())),
                     audioPeak, kMaxAudioPackets, packet_queue_count(m_videoQueue.get()),
                     double(packet_queue_duration(m_videoQueue.get())), videoPeak, kMaxVideoPackets, sound,
                     m_pictures.exchange(0), seconds);
}

bool Rondel::ParseBuffer(const BYTE* data, int n) {
    if (!m_reader) {
        return false;
    }
    return m_reader->Feed(data, size_t(n), [this](const FlvTag& tag) { HandleTag(tag); });
}

void Rondel::HandleTag(const FlvTag& tag) {
    const FlvBodyKind kind = FlvClassifyBody(tag.type, tag.body, tag.size);
    switch (kind) {
    case FlvBodyKind::AacSequenceHeader: {
        varnet::DebugLog("Rondel", m_debugId.c_str(), "收到aac解码配置信息");
        // The configuration in use again is ignored; another one (a new publisher on the same
        // stream) replaces it, and the audio thread reopens with the next frame.
        std::vector<BYTE> body(tag.body, tag.body + tag.size);
        FlvAacConfig cfg;
        if ((m_audioState == AudioState::Configured && body == m_aacHeader) ||
            !FlvReadAacSequenceHeader(tag.body, tag.size, cfg)) {
            break;
        }
        // Our publishers write the object type minus one (1), which is already the ADTS profile.
        // Other publishers write the real object type: map it to the ADTS profile of its core.
        const int aot = cfg.profile;
        if (aot >= 2 && aot <= 4) {
            cfg.profile = aot - 1;
        } else if (aot == 5 || aot == 29) {
            cfg.profile = 1;  // explicit SBR/PS: an AAC-LC core
        }
        if (m_audioState == AudioState::Configured) {
            varnet::DebugLog("Rondel", m_debugId.c_str(), "a new AAC configuration");
            m_audioChanged = true;
        }
        *m_aac = cfg;
        m_aacHeader = std::move(body);
        m_audioState = AudioState::Configured;
        break;
    }
    case FlvBodyKind::AacFrame: {
        if (!m_audioShow || m_audioState != AudioState::Configured ||
            packet_queue_count(m_audioQueue.get()) >= kMaxAudioPackets ||
            packet_queue_bytes(m_audioQueue.get()) + tag.size + kAdtsGrowth > kMaxAudioBytes) {
            break;
        }
        PacketPtr pkt = packet_alloc(tag.size + kAdtsGrowth);
        if (!pkt) break;
        pkt->size = FlvBuildAdtsFrame(*m_aac, tag.body, tag.size, pkt->data.get(), pkt->size);
        if (pkt->size <= 0) {
            break;
        }
        pkt->pts = tag.timestamp;
        pkt->config = m_audioChanged;
        m_audioChanged = false;
        packet_queue_put(m_audioQueue.get(), std::move(pkt));
        break;
    }
    case FlvBodyKind::AvcSequenceHeader: {
        varnet::DebugLog("Rondel", m_debugId.c_str(), "收到h264解码配置信息");
        if (!m_param.videoEnable) {
            break;  // no video thread would ever take what is queued
        }
        std::vector<BYTE> body(tag.body, tag.body + tag.size);
        if (m_videoState == VideoState::Configured && body == m_avcHeader) {
            break;
        }
        FlvAvcConfig cfg;
        if (FlvReadAvcSequenceHeader(tag.body, tag.size, cfg) && InitVideoDecoderConfig(cfg)) {
            m_avcHeader = std::move(body);
            // Without room its parameter sets wait, and the frames after them, for a key frame that finds room.
            m_videoConfigWaits = !QueueVideoConfig();
            m_dropVideo = m_dropVideo || m_videoConfigWaits;
        } else {
            varnet::DebugLog("Rondel", m_debugId.c_str(), "inconsistent AVC configuration ignored");
        }
        break;
    }
    case FlvBodyKind::AvcKeyFrame:
    case FlvBodyKind::AvcFrame: {
        if (m_videoState != VideoState::Configured || !m_param.videoEnable) break;
        const bool key = kind == FlvBodyKind::AvcKeyFrame;
        const size_t bytes = size_t(std::max(0, int(tag.size) - kFlvVideoHeader));
        if (key) {
            const bool config = m_videoConfigWaits;
            m_dropVideo = !VideoRoom(config ? 3 : 1, bytes + (config ? VideoConfigBytes() : 0));
            if (!m_dropVideo && config) m_videoConfigWaits = !QueueVideoConfig();
        } else if (!m_dropVideo && !VideoRoom(1, bytes)) {
            m_dropVideo = true;  // the frames after this one cannot be decoded without it
        }
        if (m_dropVideo) break;
        PacketPtr pkt = packet_alloc(tag.size - kFlvVideoHeader);
        if (!pkt) break;
        pkt->size = FlvVideoToStartCode(tag.body, tag.size, pkt->data.get(), pkt->size);
        if (pkt->size <= 0) {
            break;
        }
        pkt->pts = tag.timestamp > kVideoPtsLead ? tag.timestamp - kVideoPtsLead : 0;
        pkt->key = key;
        packet_queue_put(m_videoQueue.get(), std::move(pkt));
        break;
    }
    case FlvBodyKind::Script:
        varnet::DebugLog("Rondel", m_debugId.c_str(), "收到metadata信息");
        break;
    default:
        break;
    }
}

bool Rondel::InitVideoDecoderConfig(const FlvAvcConfig& cfg) {
    SPS sps{};
    PPS pps{};
    if (ReadSps(cfg.sps.data(), int(cfg.sps.size()), sps) != 0) {
        varnet::DebugLog("Rondel", m_debugId.c_str(), "unreadable SPS: configuration ignored");
        return false;
    }
    ReadPps(cfg.pps.data(), int(cfg.pps.size()), pps);
    const int w = SpsWidth(sps);
    const int h = SpsHeight(sps);
    if (w <= 0 || h <= 0 || long(w) * h * 3 > kMaxRgbBytes) {
        varnet::DebugLog("Rondel", m_debugId.c_str(), "picture size %dx%d refused", w, h);
        return false;
    }
    *m_avc = cfg;
    VideoDescription d;
    d.width = w;
    d.height = h;
    unsigned fps = SpsFrameRate(sps);
    // Without timing information the stream gives no rate: assume 25 frames a second.
    d.fps = (fps > 0 && fps <= 240) ? int(fps) : 25;
    d.frameInterval = 1000.0 / d.fps;
    d.i420Size = w * h * 3 / 2;
    d.bmi.biSize = 40;
    d.bmi.biWidth = w;
    d.bmi.biHeight = h;
    d.bmi.biPlanes = 1;
    d.bmi.biBitCount = 24;
    d.bmi.biCompression = BI_RGB;
    d.bmi.biSizeImage = DWORD(((3 * w + 3) & ~3) * h);
    m_videoState = VideoState::Configured;
    m_videoConfig = d;
    return true;
}

bool Rondel::VideoRoom(int packets, size_t bytes) {
    return packet_queue_count(m_videoQueue.get()) + packets <= kMaxVideoPackets &&
           packet_queue_bytes(m_videoQueue.get()) + bytes <= kMaxVideoBytes;
}

size_t Rondel::VideoConfigBytes() const {
    return m_avc->sps.size() + m_avc->pps.size() + 8;
}

// Queues the parameter sets of the configuration read last, when the video queue has room for them; the
// first of them carries the description to the video thread. They go before the pictures they describe.
bool Rondel::QueueVideoConfig() {
    if (!VideoRoom(2, VideoConfigBytes())) return false;
    PacketPtr units[2];
    const std::vector<BYTE>* sets[2] = {&m_avc->sps, &m_avc->pps};
    for (int i = 0; i < 2; ++i) {
        units[i] = packet_alloc(int(sets[i]->size()) + 4);
        if (!units[i]) continue;
        BYTE* p = units[i]->data.get();
        p[0] = p[1] = p[2] = 0;
        p[3] = 1;
        memcpy(p + 4, sets[i]->data(), sets[i]->size());
        units[i]->pts = 0;
        units[i]->key = true;
    }
    AVPacketList* carrier = units[0] ? units[0].get() : units[1].get();
    if (carrier) {
        carrier->config = true;
        varnet::MutexLock lock(m_descLock);
        m_nextVideo.push_back(m_videoConfig);
    }
    for (PacketPtr& unit : units) {
        if (unit) packet_queue_put(m_videoQueue.get(), std::move(unit));
    }
    return true;
}
