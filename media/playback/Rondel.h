// Rondel: the playback library. Plays one live stream: an RTMP client reads the FLV byte stream on a
// receive thread, the tag reader queues AAC frames (as ADTS) and H.264 units (in start-code form),
// and two decode threads decode, pace against the audio clock and hand frames and played samples to
// the owner through IBaseReplayNotify.
//
// Threads: the owner calls Init, Uint and the switches; RecvPacket, AudioDecode and VideoDecode run on
// threads of their own; OnReplayAudio comes from the wave-out player's completion thread. The parse
// state belongs to the receive thread. A new stream configuration reaches a decode thread with the
// packet marked `config`: the audio thread opens its decoder and player anew, the video thread takes
// the description that the receive thread queued with it under m_descLock.
#pragma once

#include "MediaDefs.h"

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
struct RondelFactories {
    std::function<Ferrel*()> client;
    std::function<Unpix*()> decoder;
    std::function<Tovel*()> audioOut;  // the wave-out player
};
void RondelSetFactories(const RondelFactories& factories);
// Stands in for the sessions' real-time sleeps (fuzzing); nullptr restores them. RondelSleep is the
// sleep every session thread uses.
void RondelSetSleep(void (*sleep)(int ms));
void RondelSleep(int ms);

// The video pacing factor for a decoded picture: 0 for none (sleep one frame interval).
double RondelPacingFactor(unsigned videoPts, unsigned audioPts, float videoQueueSeconds, bool audioShow,
                          int minSyncTime, int maxSyncTime, int maxBufferTime);

class Rondel {
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

private:
    void RecvPacket();
    bool ParseBuffer(const BYTE* data, int n);
    void HandleTag(const FlvTag& tag);
    bool InitVideoDecoderConfig(const FlvAvcConfig& cfg);
    void AudioDecode();
    void ConfigureAudio(const AVPacketList* pkt, std::vector<BYTE>& pcm);
    void TakeVideoDescription();
    void VideoDecode();
    static void SoutCallback(void* user, void* pcm, int length, unsigned pts);
    void Status(int code);

    ZQReplayParam m_param;
    std::atomic<IBaseReplayNotify*> m_notify{nullptr};
    Ferrel* m_client = nullptr;
    Unpix* m_decoder = nullptr;
    Dunmar* m_aacDecoder = nullptr;
    Tovel* m_player = nullptr;

    std::atomic<bool> m_running{false};
    std::atomic<bool> m_audioShow{true};
    std::atomic<bool> m_videoShow{true};
    std::atomic<bool> m_statusSent{false};

    // Receive thread.
    std::unique_ptr<FlvTagReader> m_reader;
    bool m_dropVideo = false;
    int m_audioState = 0;  // 0 none, 1 AAC configuration read
    std::unique_ptr<FlvAacConfig> m_aac;
    std::vector<BYTE> m_aacHeader;  // the body of the configuration in use
    bool m_audioChanged = false;    // the next queued frame starts a new configuration
    int m_videoState = 0;           // 0 none, 2 AVC configuration read
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
    std::mutex m_descLock;
    // Guarded by m_descLock: one description for each queued packet marked `config`, in their order.
    std::deque<VideoDescription> m_nextVideo;

    // Video thread.
    VideoDescription m_video;
    BYTE* m_rgbBuffer = nullptr;
    int m_rgbSize = 0;

    // Audio thread (the format also read by the completion thread while the player is open).
    int m_sampleRate = 0;
    int m_channels = 0;
    int m_frameSize = 0;
    WAVEFORMATEX m_waveFormat{};
    bool m_playerOpen = false;

    std::atomic<unsigned> m_videoPts{0};
    std::atomic<unsigned> m_audioPts{0};
    std::unique_ptr<PacketQueue> m_audioQueue;
    std::unique_ptr<PacketQueue> m_videoQueue;
    std::thread m_recvThread;
    std::thread m_audioThread;
    std::thread m_videoThread;
};
