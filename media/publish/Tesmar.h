// Tesmar: the publishing library. Captures the camera (Grabbel) and the microphone (Micrel), encodes H.264
// (Korvid) and AAC (Pellac) on an encode thread, wraps them as FLV tag bodies and sends them on a send
// thread over RTMP (Ferrel) or the UDP stream cloud (CNimbo). The owner gets local previews and the
// status through IBasePublishNotify.
//
// Threads: the owner calls Init, Uint, IsConnected and the switches (Init and Uint from one thread,
// asserted in debug builds); the microphone's thread and Grabbel's frame thread call AudioBufferCB /
// VideoFrameCB; work crosses to the encode thread and on to the send thread only through their message
// queues, which own the records they carry.
#pragma once

#include "DebugLog.h"
#include "Grabbel.h"
#include "IBaseAudioCB.h"
#include "MediaDefs.h"
#include "MediaExport.h"
#include "OwnerThread.h"
#include "PacingClock.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Ferrel;
class CNimbo;
class Pellac;
class Korvid;

class Micrel;

namespace publish {
class ThreadQueue;
}

// Thread messages.
enum {
    MSG_ENCODE_AUDIO = 1124,
    MSG_ENCODE_VIDEO = 1125,
    MSG_SEND_METADATA = 1224,
    MSG_SEND_KEY_FRAME = 1225,
    MSG_SEND_FRAME = 1226,
    MSG_SEND_AUDIO = 1227,
};

// Process-wide factories that stand other components in (tests, benchmarks); empty = the real ones.
// Each returns a new part that the session owns.
struct TesmarFactories {
    std::function<std::unique_ptr<Ferrel>()> client;
    std::function<std::unique_ptr<CNimbo>()> cloud;
    std::function<std::unique_ptr<Micrel>()> microphone;
};
VARNET_MEDIA_EXPORT void TesmarSetFactories(const TesmarFactories& factories);

class VARNET_MEDIA_EXPORT Tesmar : public IBaseAudioCB, public IBaseVideoCB {
public:
    Tesmar();
    ~Tesmar() override;
    Tesmar(const Tesmar&) = delete;
    Tesmar& operator=(const Tesmar&) = delete;

    int Init(ZQPublishParam* param, IBasePublishNotify* notify);
    void Uint();
    bool IsConnected();
    int IsAudioShow();
    int IsVideoShow();
    void AudioShowSwitch(bool show);
    void VideoShowSwitch(bool show);
    void GetRatio(unsigned& width, unsigned& height);

    void AudioBufferCB(double time, BYTE* pcm, long length) override;
    void VideoBufferCB(double sampleTime, BYTE* buffer, long length) override;
    void VideoFrameCB(BYTE* rgb24, long length) override;

    // The stream-cloud host name that selects UDP mode (deployment configuration). Empty: never UDP.
    // Defaults to the environment variable VARNET_STREAM_CLOUD_DOMAIN.
    static void SetStreamCloudDomain(const char* domain);

private:
    varnet::DebugId m_debugId;  // names this object in debug lines
    // The steps of Init, in their order; each returns PUBLISH_SUCCESS or the code Init returns.
    int TakeParam(ZQPublishParam* param, IBasePublishNotify* notify);
    int OpenAudioEncoder();
    int OpenMicrophone(const TesmarFactories& f);
    int OpenCamera();
    int OpenVideoEncoder();
    void StartThreads();
    int StartCapture();
    int ConnectCloud(const std::string& address, const TesmarFactories& f);
    int ConnectServer(const TesmarFactories& f);

    void ApendAudio(BYTE* pcm, long length);
    void ApendVideo(BYTE* rgb, long length);
    void EncodeThread();
    void SendThread();
    void EncodeAudio(std::vector<BYTE>& pcm, unsigned ts);
    void EncodeVideo(std::vector<BYTE>& i420, unsigned ts);
    void SortNals(const TNAL* nals, int count, unsigned ts);
    void Send(unsigned message, const std::vector<BYTE>& rec, unsigned ts);
    bool PostSend(unsigned message, const BYTE* data, int size, unsigned ts, bool urgent);
    int EncodeHeaders();

    std::atomic<bool> m_initialising{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_streamReady{false};
    std::atomic<bool> m_connected{false};
    std::atomic<bool> m_udpMode{false};
    std::atomic<bool> m_audioEnable{true};
    std::atomic<bool> m_videoEnable{true};
    std::atomic<IBasePublishNotify*> m_notify{nullptr};

    BITMAPINFOHEADER m_bmi{};
    WAVEFORMATEX m_wfx{};
    ZQPublishParam m_param;
    AEncInfo m_aencInfo{};
    std::vector<BYTE> m_aacBuffer;  // encode thread
    std::vector<BYTE> m_sps;        // written by the encode side before MSG_SEND_METADATA is posted
    std::vector<BYTE> m_pps;
    std::vector<BYTE> m_lastFrame;  // frame thread
    bool m_haveLastFrame = false;

    // The session's parts, made by Init and released by Uint (owner thread) after the threads ended.
    std::unique_ptr<Micrel> m_mic;
    Grabbel m_camera;
    std::unique_ptr<Pellac> m_pellac;
    std::unique_ptr<Korvid> m_korvid;
    std::unique_ptr<Ferrel> m_client;
    std::unique_ptr<CNimbo> m_cloud;
    std::unique_ptr<CPacingClock> m_audioClock;
    std::unique_ptr<CPacingClock> m_videoClock;

    std::unique_ptr<publish::ThreadQueue> m_encodeQueue;
    std::unique_ptr<publish::ThreadQueue> m_sendQueue;
    std::thread m_encodeThread;
    std::thread m_sendThread;
    OwnerThread m_owner;
};
