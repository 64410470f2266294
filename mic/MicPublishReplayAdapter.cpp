#include "MicPublishReplayAdapter.h"

#include "GlobalData.h"
#include "Grabbel.h"
#include "Micrel.h"
#include "Rondel.h"
#include "Tesmar.h"
#include "ZqLib.h"
#include "ZqModConfig.h"

#include <cstring>
#include <iterator>

namespace {

const char* const kSection = "RoomConfigMic";

template <class Lib, class Iface, class Param, class Notify>
class LibSide : public Iface {
public:
    int Init(Param* param, Notify* notify) override { return lib_.Init(param, notify); }
    void Uint() override { lib_.Uint(); }
    int IsAudioShow() override { return lib_.IsAudioShow(); }
    int IsVideoShow() override { return lib_.IsVideoShow(); }
    void AudioShowSwitch(bool show) override { lib_.AudioShowSwitch(show); }
    void VideoShowSwitch(bool show) override { lib_.VideoShowSwitch(show); }

private:
    Lib lib_;
};
using RondelSide = LibSide<Rondel, IMicPlayer, ZQReplayParam, IBaseReplayNotify>;
using TesmarSide = LibSide<Tesmar, IMicPublisher, ZQPublishParam, IBasePublishNotify>;

void ReadInt(IConfigManager* cfg, const char* key, int& field) {
    int v = 0;
    if (cfg && cfg->GetInt(kSection, key, v)) field = v;
}

// Position of the configured device name among the listed ones; 0 when absent or unmatched.
template <class Count, class Name>
int DeviceIndex(IConfigManager* cfg, const char* key, Count count, Name name) {
    std::string wanted;
    if (!cfg || !cfg->GetString(kSection, key, wanted)) return 0;
    int n = count();
    for (int i = 0; i < n; ++i) {
        char buf[CMicPublishReplayAdapter::kDeviceNameBytes] = {0};
        if (name(i, buf, static_cast<int>(sizeof(buf))) != 0) continue;
        buf[sizeof(buf) - 1] = '\0';
        if (wanted == buf) return i;
    }
    return 0;
}

void CopyUrl(char (&dst)[1024], const std::string& url) {
    Charset::GbkCopy(dst, sizeof(dst), url);
}

}  // namespace

CMicPublishReplayAdapter::CMicPublishReplayAdapter(const MicMediaFactory& factory) {
    m_player = factory.player ? factory.player() : std::make_unique<RondelSide>();
    m_publisher = factory.publisher ? factory.publisher() : std::make_unique<TesmarSide>();
}

CMicPublishReplayAdapter::~CMicPublishReplayAdapter() {
    SetOwner(nullptr);
    m_session.Run([this] {
        m_publisher.reset();
        m_player.reset();
    });
}

CMicPublishReplayAdapter::SessionThread::SessionThread() : m_thread([this] { Loop(); }) {}

CMicPublishReplayAdapter::SessionThread::~SessionThread() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CMicPublishReplayAdapter::SessionThread::Post(std::function<void()> job) {
    auto* j = new Job{std::move(job), false};
    std::lock_guard<std::mutex> lock(m_lock);
    m_jobs.push_back(j);
    m_wake.notify_all();
}

void CMicPublishReplayAdapter::SessionThread::Run(std::function<void()> job) {
    if (std::this_thread::get_id() == m_thread.get_id()) {
        job();
        return;
    }
    Job j{std::move(job)};
    std::unique_lock<std::mutex> lock(m_lock);
    m_jobs.push_back(&j);
    m_wake.notify_all();
    m_done.wait(lock, [&] { return j.done; });
}

void CMicPublishReplayAdapter::SessionThread::Loop() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stop || !m_jobs.empty(); });
        if (m_jobs.empty()) return;
        Job* j = m_jobs.front();
        m_jobs.pop_front();
        lock.unlock();
        try {
            j->fn();
        } catch (...) {}
        const bool waited = j->waited;
        if (!waited) delete j;
        lock.lock();
        if (waited) j->done = true;
        m_done.notify_all();
    }
}

void CMicPublishReplayAdapter::SetOwner(IMicPublishReplayCallBack* owner) {
    std::unique_lock<std::shared_mutex> lock(m_ownerLock);
    m_owner = owner;
}

void CMicPublishReplayAdapter::SetParam(const std::string& url, bool publish, int showFlags) {
    std::lock_guard<std::mutex> lock(m_paramLock);
    m_url = url;
    m_publish = publish;
    m_showFlags = showFlags;
}

std::string CMicPublishReplayAdapter::WaitingBkPath() const {
    return IsPublish() && Grabbel::CameraCount() <= 0 ? GetNoVideoBkPath() : GetLinkingVideoBkPath();
}

bool CMicPublishReplayAdapter::IsPublish() const {
    std::lock_guard<std::mutex> lock(m_paramLock);
    return m_publish;
}
std::string CMicPublishReplayAdapter::GetUrl() const {
    std::lock_guard<std::mutex> lock(m_paramLock);
    return m_url;
}
int CMicPublishReplayAdapter::GetShowFlags() const {
    std::lock_guard<std::mutex> lock(m_paramLock);
    return m_showFlags;
}

int CMicPublishReplayAdapter::StartReplay() {
    ZQReplayParam param;
    FillReplayParam(param);
    int code = REPLAY_INIT_FAILED;
    m_session.Run([&] {
        StopBoth();
        code = m_player->Init(&param, this);
    });
    return code;
}

int CMicPublishReplayAdapter::StartPublish() {
    ZQPublishParam param;
    param.timeout = param.recvTimeout = param.sendTimeout = 30;
    FillPublishParam(param);
    int code = PUBLISH_INIT_FAILED;
    m_session.Run([&] {
        StopBoth();
        code = m_publisher->Init(&param, this);
    });
    return code;
}

int CMicPublishReplayAdapter::StartLink(std::string& text) {
    if (IsPublish()) return GetPublishStatusText(StartPublish(), text);
    return GetReplayStatusText(StartReplay(), 0, text);
}

void CMicPublishReplayAdapter::StopActive(bool wait) {
    bool publish = IsPublish();
    auto job = [this, publish] {
        ++m_stopping;
        publish ? m_publisher->Uint() : m_player->Uint();
        --m_stopping;
    };
    wait ? m_session.Run(job) : m_session.Post(job);
}

void CMicPublishReplayAdapter::StopBoth() {
    ++m_stopping;
    m_publisher->Uint();
    m_player->Uint();
    --m_stopping;
}

bool CMicPublishReplayAdapter::IsVideoShow() {
    return (IsPublish() ? m_publisher->IsVideoShow() : m_player->IsVideoShow()) == 1;
}
bool CMicPublishReplayAdapter::IsAudioShow() {
    return (IsPublish() ? m_publisher->IsAudioShow() : m_player->IsAudioShow()) == 1;
}

void CMicPublishReplayAdapter::ApplyShowFlags() {
    int flags = GetShowFlags();
    bool publish = IsPublish();
    bool wantVideo = (flags & 2) != 0, wantAudio = (flags & 1) != 0;
    if (IsVideoShow() != wantVideo) {
        publish ? m_publisher->VideoShowSwitch(wantVideo) : m_player->VideoShowSwitch(wantVideo);
    }
    if (IsAudioShow() != wantAudio) {
        publish ? m_publisher->AudioShowSwitch(wantAudio) : m_player->AudioShowSwitch(wantAudio);
    }
}

void CMicPublishReplayAdapter::SwitchAudio(bool on) {
    IsPublish() ? m_publisher->AudioShowSwitch(on) : m_player->AudioShowSwitch(on);
}

void CMicPublishReplayAdapter::SwitchVideo(bool on) {
    IsPublish() ? m_publisher->VideoShowSwitch(on) : m_player->VideoShowSwitch(on);
}

int CMicPublishReplayAdapter::GetPublishStatusText(int code, std::string& text) {
    static const struct {
        const char* text;
        int severity;
    } kTable[] = {
        {"发布成功", 0},         {"初始化发布模块失败", 1},   {"打开麦克风失败", 2},      {"启动麦克风失败", 2},
        {"打开摄像头失败", 2},   {"启动摄像头失败", 2},       {"初始化aac编码器失败", 1}, {"初始化h264编码器失败", 1},
        {"连接rtmp服务失败", 1}, {"与rtmp服务的连接中断", 1},
    };
    if (code < 0 || code >= static_cast<int>(std::size(kTable))) {
        text.clear();
        return 0;
    }
    text = kTable[code].text;
    return kTable[code].severity;
}

int CMicPublishReplayAdapter::GetReplayStatusText(int code, int severity4, std::string& text) {
    static const struct {
        const char* text;
        int severity;
    } kTable[] = {
        {"收看成功", 0},        {"初始化发布模块失败", 1},   {"连接rtmp服务失败", 1},    {"与rtmp服务连接中断", 1},
        {"没有读取到数据", -1}, {"初始化h264解码器失败", 1}, {"初始化aac解码器失败", 1}, {"缓冲区已满", 0},
        {"缓冲区空了", 0},
    };
    if (code < 0 || code >= static_cast<int>(std::size(kTable))) {
        text.clear();
        return 0;
    }
    text = kTable[code].text;
    return code == REPLAY_NO_DATA ? severity4 : kTable[code].severity;
}

void CMicPublishReplayAdapter::FillPublishParam(ZQPublishParam& p) const {
    int flags;
    {
        std::lock_guard<std::mutex> lock(m_paramLock);
        CopyUrl(p.url, m_url);
        flags = m_showFlags;
    }
    IConfigManager* cfg = AfxGetConfigManager();
    p.video.deviceIndex = DeviceIndex(cfg, "CameraIndexSel", Grabbel::CameraCount, Grabbel::CameraName);
    p.audio.deviceIndex = DeviceIndex(cfg, "AudioIndexSel", Micrel::MicrophoneCount, Micrel::MicrophoneName);
    ReadInt(cfg, "MicWndW", p.video.width);
    ReadInt(cfg, "MicWndH", p.video.height);
    ReadInt(cfg, "MicPublishVideoFrameRate", p.video.frameRate);
    ReadInt(cfg, "MicPublishVideoBitRate", p.video.bitRate);
    ReadInt(cfg, "MicPublishAudioChannel", p.audio.channels);
    ReadInt(cfg, "MicPublishAudioFrameRate", p.audio.sampleRate);
    ReadInt(cfg, "MicPublishAudioBitRate", p.audio.bitRate);
    ReadInt(cfg, "MicPublishAudioBitsPerSample", p.audio.bitsPerSample);
    ReadInt(cfg, "MicPublishTimeout", p.timeout);
    ReadInt(cfg, "MicPublishRecvTimeout", p.recvTimeout);
    ReadInt(cfg, "MicPublishSendTimeout", p.sendTimeout);
    p.audio.enable = (flags & 1) != 0;
    p.video.enable = (flags & 2) != 0;
}

void CMicPublishReplayAdapter::FillReplayParam(ZQReplayParam& p) const {
    int flags;
    {
        std::lock_guard<std::mutex> lock(m_paramLock);
        CopyUrl(p.url, m_url);
        flags = m_showFlags;
    }
    p.audioShow = (flags & 1) != 0;
    p.videoShow = (flags & 2) != 0;
    IConfigManager* cfg = AfxGetConfigManager();
    ReadInt(cfg, "MicListenTimeout", p.timeout);
    ReadInt(cfg, "MicListenRecvTimeout", p.recvTimeout);
    ReadInt(cfg, "MicListenSendTimeout", p.sendTimeout);
    ReadInt(cfg, "MicListenBufferTM", p.bufferTime);
    ReadInt(cfg, "MicListenMaxBufferTM", p.maxBufferTime);
    ReadInt(cfg, "MicListenMinSyncTM", p.minSyncTime);
    ReadInt(cfg, "MicListenMaxSyncTM", p.maxSyncTime);
    // The sound output: 0 the desktop's default, another number that device of the sound system's list.
    int device = p.waveOutDevice;
    ReadInt(cfg, "MicListenWaveOutDevice", device);
    if (device >= 0 && device <= 255) p.waveOutDevice = BYTE(device);
}

void CMicPublishReplayAdapter::ExtractMeterSamples(const BYTE* pcm, long length, const WAVEFORMATEX* format,
                                                   short out[9]) {
    std::memset(out, 0, 9 * sizeof(short));
    if (!pcm || !format) return;
    int step;
    if (format->nChannels == 1 && length > 18) {
        step = 2;
    } else if (format->nChannels == 2 && length > 36) {
        step = 4;
    } else {
        return;
    }
    for (int i = 0; i < 9; ++i) std::memcpy(&out[i], pcm + i * step, sizeof(short));
}

void CMicPublishReplayAdapter::OnPublishStatus(int code) {
    std::string text;
    int severity = GetPublishStatusText(code, text);
    if (m_stopping) return;
    std::shared_lock<std::shared_mutex> lock(m_ownerLock);
    if (m_owner) m_owner->OnLinkChange(severity, text);
}

void CMicPublishReplayAdapter::OnReplayStatus(int code) {
    std::string text;
    int severity = GetReplayStatusText(code, 0, text);
    // Sound that cannot be decoded stays silent while the picture plays on: no lost link.
    if (code == REPLAY_AAC_DECODER_FAILED) severity = 0;
    if (m_stopping) return;
    std::shared_lock<std::shared_mutex> lock(m_ownerLock);
    if (m_owner) m_owner->OnLinkChange(severity, text);
}

void CMicPublishReplayAdapter::OnPublishVideo(BYTE* rgb24, BITMAPINFOHEADER* header) {
    std::shared_lock<std::shared_mutex> lock(m_ownerLock);
    if (m_owner) m_owner->OnVideoData(rgb24, header);
}

void CMicPublishReplayAdapter::OnReplayVideo(BYTE* rgb24, BITMAPINFOHEADER* header, unsigned) {
    OnPublishVideo(rgb24, header);
}

void CMicPublishReplayAdapter::OnPublishAudio(BYTE* pcm, long length, WAVEFORMATEX* format) {
    short samples[9];
    ExtractMeterSamples(pcm, length, format, samples);
    std::shared_lock<std::shared_mutex> lock(m_ownerLock);
    if (m_owner) m_owner->OnAudioLevel(samples);
}

void CMicPublishReplayAdapter::OnReplayAudio(void* pcm, int length, WAVEFORMATEX* format, unsigned) {
    OnPublishAudio(static_cast<BYTE*>(pcm), length, format);
}
