// Rondel: the playback library. Plays one live stream: an RTMP client reads the FLV byte stream on a
// receive thread, the tag reader queues AAC frames (as ADTS) and H.264 units (in start-code form),
// and two decode threads decode, pace against the audio clock and hand frames and played samples to
// the owner through IBaseReplayNotify.
//
// Threads: the owner calls Init, Uint and the switches (Init and Uint from one thread, asserted in debug
// builds); RecvPacket, AudioDecode and VideoDecode run on threads of their own; OnReplayAudio comes from
// the wave-out player's completion thread. The parse state belongs to the receive thread. A new stream
// configuration reaches a decode thread with the packet marked `config`: the audio thread opens its
// decoder and player anew, the video thread takes the description that the receive thread queued with
// it under m_descLock.
#pragma once

#include "DebugLog.h"
#include "MediaDefs.h"
#include "MediaExport.h"
#include "OwnerThread.h"
#include "ThreadAnnotations.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Ferrel;
class Unpix;
class Dunmar;
class FlvTagReader;
struct FlvTag;
struct PacketQueue;
struct AVPacketList;
struct FlvAacConfig;
struct FlvAvcConfig;
class Tovel;

// Process-wide factories that stand other components in (tests, benchmarks); empty = the real ones.
// Each returns a new part that the session owns.
struct RondelFactories {
    std::function<std::unique_ptr<Ferrel>()> client;
    std::function<std::unique_ptr<Unpix>()> decoder;
    std::function<std::unique_ptr<Tovel>()> audioOut;  // the wave-out player
};
VARNET_MEDIA_EXPORT void RondelSetFactories(const RondelFactories& factories);
// Stands in for the sessions' real-time sleeps (fuzzing); nullptr restores them. RondelSleep is the
// sleep every session thread uses.
VARNET_MEDIA_EXPORT void RondelSetSleep(void (*sleep)(int ms));
VARNET_MEDIA_EXPORT void RondelSleep(int ms);

// The video pacing factor for a decoded picture: 0 for none (sleep one frame interval).
VARNET_MEDIA_EXPORT double RondelPacingFactor(unsigned videoPts, unsigned audioPts, float videoQueueSeconds,
                                              bool audioShow, int minSyncTime, int maxSyncTime, int maxBufferTime);

class VARNET_MEDIA_EXPORT Rondel {
public:
    Rondel();
    ~Rondel();
    Rondel(const Rondel&) = delete;
    Rondel& operator=(const Rondel&) = delete;

    int Init(ZQReplayParam* param, IBaseReplayNotify* notify);
    void Uint();
    bool IsConnected();
    int IsAudioShow();
    int IsVideoShow();
    void AudioShowSwitch(bool show);
    void VideoShowSwitch(bool show);

    // Largest picture accepted from a stream (RGB bytes); larger streams are refused.
    static constexpr int kMaxRgbBytes = 1920 * 1088 * 3;
    // The queues' bounds, checked at every packet: a packet that would pass one is dropped (audio frames
    // alone; video up to the next key frame that finds room, parameter sets waiting for it). A full queue
    // also starts its decode thread, however short a time it spans.
    static constexpr int kMaxAudioPackets = 200;
    static constexpr size_t kMaxAudioBytes = 2 << 20;
    static constexpr int kMaxVideoPackets = 100;
    static constexpr size_t kMaxVideoBytes = 16 << 20;
    // With debug lines on, the receive thread writes the queues' lengths (now and their peak since the last
    // line), the sound output's outstanding buffers and the pictures shown, this often.
    static constexpr int kQueueReportMs = 5000;

private:
    varnet::DebugId m_debugId;  // names this object in debug lines
    void RecvPacket();
    bool ParseBuffer(const BYTE* data, int n);
    void HandleTag(const FlvTag& tag);
    bool InitVideoDecoderConfig(const FlvAvcConfig& cfg);
    bool VideoRoom(int packets, size_t bytes);
    size_t VideoConfigBytes() const;
    bool QueueVideoConfig();
    void AudioDecode();
    void ConfigureAudio(const AVPacketList& pkt, std::vector<BYTE>& pcm);
    void TakeVideoDescription();
    void VideoDecode();
    static void SoutCallback(void* user, void* pcm, int length, unsigned pts);
    void Status(int code);
    void ReportQueues(int audioPeak, int videoPeak, int seconds);  // receive thread

    ZQReplayParam m_param;
    std::atomic<IBaseReplayNotify*> m_notify{nullptr};
    // The session's parts, made by Init and released by Uint (owner thread) after the threads ended.
    std::unique_ptr<Ferrel> m_client;
    std::unique_ptr<Unpix> m_decoder;
    std::unique_ptr<Dunmar> m_aacDecoder;
    std::unique_ptr<Tovel> m_player;
    OwnerThread m_owner;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_audioShow{true};
    std::atomic<bool> m_videoShow{true};
    std::atomic<bool> m_statusSent{false};
    std::atomic<bool> m_audioFailSent{false};  // an undecodable sound is reported once a session

    // Receive thread.
    std::unique_ptr<FlvTagReader> m_reader;
    enum class AudioState { None, Configured };  // an AAC configuration read
    enum class VideoState { None, Configured };  // an AVC configuration read
    bool m_dropVideo = false;
    AudioState m_audioState = AudioState::None;
    std::unique_ptr<FlvAacConfig> m_aac;
    std::vector<BYTE> m_aacHeader;  // the body of the configuration in use
    bool m_audioChanged = false;    // the next queued frame starts a new configuration
    VideoState m_videoState = VideoState::None;
    std::unique_ptr<FlvAvcConfig> m_avc;
    std::vector<BYTE> m_avcHeader;

    // What the pictures of one configuration are: from the parameter sets.
    struct VideoDescription {
        int width = 0;
        int height = 0;
        int fps = 0;
        double frameInterval = 0;
        int i420Size = 0;
        BITMAPINFOHEADER bmi{};
    };
    varnet::Mutex m_descLock;
    // One description for each queued packet marked `config`, in their order.
    std::deque<VideoDescription> m_nextVideo GUARDED_BY(m_descLock);
    // Receive thread: the configuration read last, and whether its parameter sets still wait for room.
    VideoDescription m_videoConfig;
    bool m_videoConfigWaits = false;

    // Video thread.
    VideoDescription m_video;
    std::unique_ptr<BYTE[]> m_rgbBuffer;
    int m_rgbSize = 0;

    // Audio thread (the format also read by the completion thread while the player is open).
    int m_sampleRate = 0;
    int m_channels = 0;
    int m_frameSize = 0;
    WAVEFORMATEX m_waveFormat{};
    bool m_playerOpen = false;

    std::atomic<unsigned long> m_pictures{0};  // pictures handed to the owner since the last queue line
    std::atomic<unsigned> m_videoPts{0};
    std::atomic<unsigned> m_audioPts{0};
    std::unique_ptr<PacketQueue> m_audioQueue;
    std::unique_ptr<PacketQueue> m_videoQueue;
    std::thread m_recvThread;
    std::thread m_audioThread;
    std::thread m_videoThread;
};
