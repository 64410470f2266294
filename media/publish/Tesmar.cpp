// Publishing session: Init and Uint, capture callbacks, status.
#include "Tesmar.h"

#include "DebugLog.h"
#include "Ferrel.h"
#include "FlvBody.h"
#include "Korvid.h"
#include "Micrel.h"
#include "Nimbo.h"
#include "Pellac.h"
#include "ThreadQueue.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

varnet::Mutex g_mutex;
TesmarFactories g_factories GUARDED_BY(g_mutex);
std::string g_domain GUARDED_BY(g_mutex);
bool g_domainSet GUARDED_BY(g_mutex) = false;

constexpr size_t kEncodeQueueCapacity = 64;
constexpr size_t kSendQueueCapacity = 256;
constexpr size_t kAvcHeaderBytes = 2200;  // room for an AVC sequence header of two 1024-byte sets
constexpr int kAacHeaderBytes = 4;

}  // namespace

void TesmarSetFactories(const TesmarFactories& factories) {
    varnet::MutexLock lock(g_mutex);
    g_factories = factories;
}

void Tesmar::SetStreamCloudDomain(const char* domain) {
    varnet::MutexLock lock(g_mutex);
    g_domain = domain ? domain : "";
    g_domainSet = true;
}

Tesmar::Tesmar() {
    Grabbel::InitLookupTable();
}

Tesmar::~Tesmar() {
    Uint();
}

int Tesmar::Init(ZQPublishParam* param, IBasePublishNotify* notify) {
    m_owner.Enter("Tesmar");
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "publish init start...");
    if (param) {
        const std::string url(param->url, strnlen(param->url, sizeof(param->url)));
        varnet::DebugLog("Tesmar", m_debugId.c_str(), "%s", varnet::MaskStreamUrl(url).c_str());
    }
    int result = TakeParam(param, notify);
    if (result != PUBLISH_SUCCESS) {
        return result;
    }
    TesmarFactories f;
    std::string domain;
    {
        varnet::MutexLock lock(g_mutex);
        f = g_factories;
        if (g_domainSet) {
            domain = g_domain;
        } else if (const char* env = getenv("VARNET_STREAM_CLOUD_DOMAIN")) {
            domain = env;
        }
    }
    result = OpenAudioEncoder();
    if (result == PUBLISH_SUCCESS) result = OpenMicrophone(f);
    if (result == PUBLISH_SUCCESS) result = OpenCamera();
    if (result == PUBLISH_SUCCESS) result = OpenVideoEncoder();
    if (result == PUBLISH_SUCCESS) {
        StartThreads();
        result = StartCapture();
    }
    if (result == PUBLISH_SUCCESS) {
        const std::string url = m_param.url;
        const std::string address = url.substr(0, url.find(' '));
        m_udpMode = !domain.empty() && address.find(domain) != std::string::npos;
        result = m_udpMode ? ConnectCloud(address, f) : ConnectServer(f);
    }
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "publish init end");
    if (result != PUBLISH_SUCCESS) {
        Uint();
    }
    return result;
}

// A second Init while a session runs or starts is refused, whatever the transport.
int Tesmar::TakeParam(ZQPublishParam* param, IBasePublishNotify* notify) {
    if (m_running || m_initialising) {
        return PUBLISH_INIT_FAILED;
    }
    m_notify = notify;
    if (!param) {
        return PUBLISH_INIT_FAILED;
    }
    m_param = *param;
    m_param.url[sizeof(m_param.url) - 1] = 0;
    m_initialising = true;
    m_streamReady = false;
    m_audioEnable = m_param.audio.enable;
    m_videoEnable = m_param.video.enable;
    return PUBLISH_SUCCESS;
}

int Tesmar::OpenAudioEncoder() {
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "initialize aac encoder");
    m_pellac = std::make_unique<Pellac>();
    if (!m_pellac->Init(m_param.audio.sampleRate, m_param.audio.bitRate, m_param.audio.channels,
                        m_param.audio.bitsPerSample, m_param.audio.objectType, &m_aencInfo)) {
        return PUBLISH_AAC_ENCODER_FAILED;
    }
    return PUBLISH_SUCCESS;
}

int Tesmar::OpenMicrophone(const TesmarFactories& f) {
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "open microphone");
    m_wfx = WAVEFORMATEX{};
    m_wfx.wFormatTag = WAVE_FORMAT_PCM;
    m_wfx.nChannels = WORD(m_param.audio.channels);
    m_wfx.nSamplesPerSec = DWORD(m_param.audio.sampleRate);
    m_wfx.wBitsPerSample = WORD(m_param.audio.bitsPerSample);
    m_wfx.nBlockAlign = WORD(m_param.audio.channels * m_param.audio.bitsPerSample / 8);
    m_wfx.nAvgBytesPerSec = DWORD(m_wfx.nBlockAlign) * m_wfx.nSamplesPerSec;
    m_wfx.cbSize = 18;
    m_mic = f.microphone ? f.microphone() : std::make_unique<Micrel>();
    // One chunk is one encoder frame.
    const int chunk = m_aencInfo.frameLength * m_param.audio.channels * 2;
    if (!m_mic ||
        !m_mic->OpenMicrophone(m_param.audio.deviceIndex, m_param.audio.sampleRate, m_param.audio.channels, chunk)) {
        return PUBLISH_OPEN_MIC_FAILED;
    }
    m_audioClock = std::make_unique<CPacingClock>();
    m_aacBuffer.assign(size_t(std::max(m_aencInfo.maxOutputBytes, 1)), 0);
    return PUBLISH_SUCCESS;
}

int Tesmar::OpenCamera() {
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "open camera");
    if (!m_camera.OpenCamera(m_param.video.deviceIndex, m_param.video.width, m_param.video.height,
                             m_param.video.frameRate)) {
        return PUBLISH_OPEN_CAMERA_FAILED;
    }
    unsigned w = 0, h = 0;
    m_camera.GetRatio(w, h);
    m_param.video.width = int(w);
    m_param.video.height = int(h);
    // The preview header describes the frame really handed with it: the camera's size.
    m_bmi = BITMAPINFOHEADER{};
    m_bmi.biSize = 40;
    m_bmi.biWidth = LONG(w);
    m_bmi.biHeight = LONG(h);
    m_bmi.biPlanes = 1;
    m_bmi.biBitCount = 24;
    m_bmi.biCompression = BI_RGB;
    m_bmi.biSizeImage = DWORD(((3 * w + 3) & ~3u) * h);
    m_lastFrame.assign(size_t(w) * h * 3, 0);
    m_haveLastFrame = false;
    m_videoClock = std::make_unique<CPacingClock>();
    return PUBLISH_SUCCESS;
}

int Tesmar::OpenVideoEncoder() {
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "initialize x264 encoder");
    m_korvid = std::make_unique<Korvid>();
    if (m_korvid->Initialize(m_param.video.width, m_param.video.height, m_param.video.bitRate, m_param.video.frameRate,
                             m_param.video.keyInterval) < 0) {
        return PUBLISH_H264_ENCODER_FAILED;
    }
    return PUBLISH_SUCCESS;
}

// Both queues exist before any capture can post to them.
void Tesmar::StartThreads() {
    m_encodeQueue = std::make_unique<publish::ThreadQueue>(kEncodeQueueCapacity);
    m_sendQueue = std::make_unique<publish::ThreadQueue>(kSendQueueCapacity);
    m_encodeThread = std::thread(&Tesmar::EncodeThread, this);
    m_sendThread = std::thread(&Tesmar::SendThread, this);
}

int Tesmar::StartCapture() {
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "start capture audio");
    if (!m_mic->StartCapture()) {
        return PUBLISH_START_MIC_FAILED;
    }
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "start capture video");
    if (!m_camera.StartCapture()) {
        return PUBLISH_START_CAMERA_FAILED;
    }
    m_mic->SetBuffCB(this);
    m_camera.SetBuffCB(this);
    return PUBLISH_SUCCESS;
}

// UDP mode: the stream cloud takes both sequence headers when the stream opens.
int Tesmar::ConnectCloud(const std::string& address, const TesmarFactories& f) {
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "encode h264 heade.\r\n");
    if (EncodeHeaders() < 0) {
        return PUBLISH_H264_ENCODER_FAILED;
    }
    BYTE avc[kAvcHeaderBytes];
    const int avcLen =
        FlvWriteAvcSequenceHeader(m_sps.data(), int(m_sps.size()), m_pps.data(), int(m_pps.size()), avc, sizeof(avc));
    BYTE aac[kAacHeaderBytes];
    FlvWriteAacSequenceHeader(m_aencInfo.profile, m_aencInfo.samplingFrequencyIndex, m_aencInfo.channelConfiguration,
                              aac, sizeof(aac));
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "connect nimbo udp server.\r\n");
    m_cloud = f.cloud ? f.cloud() : std::make_unique<CNimbo>();
    if (avcLen <= 0 || !m_cloud ||
        !m_cloud->OpenStream(address.c_str(), m_param.video.width, m_param.video.height, avc, avcLen, aac,
                             kAacHeaderBytes)) {
        return PUBLISH_CONNECT_FAILED;
    }
    m_streamReady = true;
    m_connected = true;
    m_running = true;
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "publish init success");
    return PUBLISH_SUCCESS;
}

// RTMP mode: the PPS posts the metadata; the send thread sends it and marks the stream ready.
int Tesmar::ConnectServer(const TesmarFactories& f) {
    m_client = f.client ? f.client() : std::make_unique<Ferrel>();
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "connect rtmp server");
    if (!m_client || !m_client->Connect(m_param.url, m_param.timeout, m_param.recvTimeout, m_param.sendTimeout, true)) {
        return PUBLISH_CONNECT_FAILED;
    }
    m_connected = true;
    m_running = true;
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "publish init success");
    varnet::DebugLog("Tesmar", m_debugId.c_str(), "encode h264 header");
    if (EncodeHeaders() < 0) {
        return PUBLISH_H264_ENCODER_FAILED;
    }
    return PUBLISH_SUCCESS;
}

void Tesmar::Uint() {
    m_owner.Leave("Tesmar", false);
    m_running = false;
    m_initialising = false;
    m_streamReady = false;
    m_connected = false;
    // Captures stop first, so no callback runs once the notify is forgotten.
    if (m_mic) {
        m_mic->StopCapture();
        m_mic->CloseMicrophone();
    }
    m_camera.StopCapture();
    m_camera.CloseCamera();
    m_notify = nullptr;
    if (m_client) {
        m_client->Stop();  // a send blocked on the network returns now
    }
    if (m_encodeThread.joinable()) {
        m_encodeQueue->Post(publish::WM_QUIT, {}, 0);
        m_encodeThread.join();
    }
    if (m_sendThread.joinable()) {
        m_sendQueue->Post(publish::WM_QUIT, {}, 0);
        m_sendThread.join();
    }
    m_encodeQueue.reset();
    m_sendQueue.reset();
    if (m_cloud) {
        m_cloud->CloseStream();
        m_cloud.reset();
    }
    if (m_client) {
        m_client->Close();
        m_client.reset();
    }
    if (m_korvid) {
        m_korvid->Destroy();
        m_korvid.reset();
    }
    if (m_pellac) {
        m_pellac->UnInit();
        m_pellac.reset();
    }
    m_mic.reset();
    m_aacBuffer.clear();
    m_lastFrame.clear();
    m_haveLastFrame = false;
    m_sps.clear();
    m_pps.clear();
    m_audioClock.reset();
    m_videoClock.reset();
    m_udpMode = false;
    m_owner.Leave("Tesmar", true);
}

bool Tesmar::IsConnected() {
    if (!m_connected) {
        return false;
    }
    bool alive = true;
    if (m_udpMode && m_cloud) {
        alive = m_cloud->StreamIsConnected();
    } else if (m_client) {
        alive = m_client->IsConnected();
    }
    // Reported once, whichever thread notices first.
    if (!alive && m_connected.exchange(false)) {
        varnet::DebugLog("Tesmar", m_debugId.c_str(), "connection lost");
        IBasePublishNotify* n = m_notify.load();
        if (m_running && n) {
            n->OnPublishStatus(PUBLISH_CONNECTION_LOST);
        }
    }
    return m_connected;
}

int Tesmar::IsAudioShow() {
    return m_audioEnable ? 1 : 0;
}
int Tesmar::IsVideoShow() {
    return m_videoEnable ? 1 : 0;
}
void Tesmar::AudioShowSwitch(bool show) {
    m_audioEnable = show;
}
void Tesmar::VideoShowSwitch(bool show) {
    m_videoEnable = show;
}
void Tesmar::GetRatio(unsigned& width, unsigned& height) {
    m_camera.GetRatio(width, height);
}

void Tesmar::AudioBufferCB(double, BYTE* pcm, long length) {
    ApendAudio(pcm, length);
    IBasePublishNotify* n = m_notify.load();
    if (m_audioEnable && n && pcm) {
        n->OnPublishAudio(pcm, length, &m_wfx);
    }
}

void Tesmar::VideoBufferCB(double, BYTE*, long) {}

void Tesmar::VideoFrameCB(BYTE* rgb24, long length) {
    ApendVideo(rgb24, length);
    IBasePublishNotify* n = m_notify.load();
    if (m_videoEnable && n && rgb24) {
        n->OnPublishVideo(rgb24, &m_bmi);
    }
}

void Tesmar::ApendAudio(BYTE* pcm, long length) {
    if (!pcm || length <= 0 || !m_running || !m_connected || !m_encodeQueue) {
        return;
    }
    std::vector<BYTE> rec(size_t(length), 0);  // silence while the audio is not shown
    if (m_audioEnable) {
        memcpy(rec.data(), pcm, size_t(length));
    }
    m_encodeQueue->Post(MSG_ENCODE_AUDIO, std::move(rec), 0, true);
}

void Tesmar::ApendVideo(BYTE* rgb, long length) {
    const long w = m_param.video.width;
    const long h = m_param.video.height;
    // Only whole frames of the negotiated size: anything else would overrun the picture.
    if (!rgb || length <= 0 || length != w * h * 3 || !m_running || !m_connected || !m_encodeQueue) {
        return;
    }
    std::vector<BYTE> rec(size_t(w * h * 3 / 2));
    if (m_videoEnable) {
        if (!Grabbel::ConvertRGB2YUV(int(w), int(h), rgb, rec.data())) {
            return;
        }
        memcpy(m_lastFrame.data(), rec.data(), rec.size());
        m_haveLastFrame = true;
    } else {
        memcpy(rec.data(), m_lastFrame.data(), rec.size());
    }
    m_encodeQueue->Post(MSG_ENCODE_VIDEO, std::move(rec), 0);
}
