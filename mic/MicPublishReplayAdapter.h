// One microphone slot's media session: a player (Rondel) and a publisher (Tesmar), one used at a time.
// Fills their records from the configuration ("RoomConfigMic"), turns their status codes into texts with
// a severity (0 fine or nothing to do, 1 link problem worth retrying, 2 device problem, give up) and
// forwards frames and meter samples to the owner.
//
// Threads: SetParam, SetOwner and the show switches on the UI thread; StartPublish / StartReplay /
// StartLink on a link thread and StopActive on the UI thread. The libraries want Init and Uint from one
// thread, so those calls (and the libraries' destruction) run on the adapter's session thread, one at a
// time, while the caller waits for them. The On* callbacks arrive on the libraries' threads,
// passed on to the owner under m_ownerLock (shared), so that SetOwner(nullptr) returns only when no
// callback is still inside the old owner. The adapter is held by shared_ptr: a link thread that outlives
// its window keeps it alive until it ends.
#pragma once

#include "MediaDefs.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>

// Implemented by the microphone windows; called on the media libraries' threads.
class IMicPublishReplayCallBack {
public:
    virtual ~IMicPublishReplayCallBack() = default;
    virtual void OnLinkChange(int severity, std::string text) = 0;
    virtual void OnVideoData(BYTE* rgb24, BITMAPINFOHEADER* header) = 0;
    virtual void OnAudioLevel(short samples[9]) = 0;
};

// What the adapter uses of the two libraries (tests stand fakes in).
class IMicPlayer {
public:
    virtual ~IMicPlayer() = default;
    virtual int Init(ZQReplayParam* param, IBaseReplayNotify* notify) = 0;
    virtual void Uint() = 0;
    virtual int IsAudioShow() = 0;
    virtual int IsVideoShow() = 0;
    virtual void AudioShowSwitch(bool show) = 0;
    virtual void VideoShowSwitch(bool show) = 0;
};
class IMicPublisher {
public:
    virtual ~IMicPublisher() = default;
    virtual int Init(ZQPublishParam* param, IBasePublishNotify* notify) = 0;
    virtual void Uint() = 0;
    virtual int IsAudioShow() = 0;
    virtual int IsVideoShow() = 0;
    virtual void AudioShowSwitch(bool show) = 0;
    virtual void VideoShowSwitch(bool show) = 0;
};
struct MicMediaFactory {
    std::function<std::unique_ptr<IMicPlayer>()> player;        // empty: Rondel
    std::function<std::unique_ptr<IMicPublisher>()> publisher;  // empty: Tesmar
};

class CMicPublishReplayAdapter : public IBasePublishNotify, public IBaseReplayNotify {
public:
    static constexpr int kDeviceNameBytes = 256;  // camera and microphone names alike

    explicit CMicPublishReplayAdapter(const MicMediaFactory& factory = {});
    virtual ~CMicPublishReplayAdapter();
    CMicPublishReplayAdapter(const CMicPublishReplayAdapter&) = delete;
    CMicPublishReplayAdapter& operator=(const CMicPublishReplayAdapter&) = delete;

    void SetOwner(IMicPublishReplayCallBack* owner);
    void SetParam(const std::string& url, bool publish, int showFlags);
    bool IsPublish() const;
    // The picture a slot shows while its stream connects: the own stream without a camera has no pictures to
    // wait for (the no-video picture), any other the linking picture.
    std::string WaitingBkPath() const;
    std::string GetUrl() const;
    int GetShowFlags() const;

    // Both stop the other side as well as their own before starting.
    int StartReplay();
    int StartPublish();
    // The side the publish flag names; returns its severity and sets `text` (replay code 4 counts as 0).
    int StartLink(std::string& text);
    // Stops the active side; without `wait` it returns at once (a start still in progress is not waited
    // for) and the stop follows on the session thread.
    void StopActive(bool wait = false);

    bool IsVideoShow();
    bool IsAudioShow();
    void ApplyShowFlags();
    // The active side's sound or picture on or off; the show flags stay as they are.
    void SwitchAudio(bool on);
    void SwitchVideo(bool on);

    // Codes outside the tables give severity 0 and an empty text.
    static int GetPublishStatusText(int code, std::string& text);
    static int GetReplayStatusText(int code, int severity4, std::string& text);
    // The records as Start* fill them.
    void FillPublishParam(ZQPublishParam& param) const;
    void FillReplayParam(ZQReplayParam& param) const;
    // The nine meter samples of a PCM chunk.
    static void ExtractMeterSamples(const BYTE* pcm, long length, const WAVEFORMATEX* format, short out[9]);

    void OnPublishStatus(int code) override;
    void OnPublishVideo(BYTE* rgb24, BITMAPINFOHEADER* header) override;
    void OnPublishAudio(BYTE* pcm, long length, WAVEFORMATEX* format) override;
    void OnReplayStatus(int code) override;
    void OnReplayVideo(BYTE* rgb24, BITMAPINFOHEADER* header, unsigned pts) override;
    void OnReplayAudio(void* pcm, int length, WAVEFORMATEX* format, unsigned pts) override;

private:
    // Runs each job on its own thread, in order; Run waits for the job.
    class SessionThread {
    public:
        SessionThread();
        ~SessionThread();
        void Run(std::function<void()> job);
        void Post(std::function<void()> job);

    private:
        struct Job {
            std::function<void()> fn;
            bool waited = true;  // false: the session thread deletes it
            bool done = false;
        };
        void Loop();
        std::mutex m_lock;
        std::condition_variable m_wake, m_done;
        std::deque<Job*> m_jobs;  // guarded by m_lock
        bool m_stop = false;      // guarded by m_lock
        std::thread m_thread;
    };

    void StopBoth();  // session thread

    std::shared_mutex m_ownerLock;
    IMicPublishReplayCallBack* m_owner = nullptr;  // guarded by m_ownerLock
    // Created on the constructing thread; Init, Uint and destruction on the session thread.
    std::unique_ptr<IMicPlayer> m_player;
    std::unique_ptr<IMicPublisher> m_publisher;
    SessionThread m_session;
    // Set while the adapter itself stops a side: a status raised by that stop is not a dropped link.
    std::atomic<int> m_stopping{0};

    mutable std::mutex m_paramLock;  // guards the three below
    bool m_publish = false;
    std::string m_url;
    int m_showFlags = 3;
};
