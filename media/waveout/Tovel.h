// Wave-out player: plays 16-bit PCM through the SDL audio device with a bounded number of buffers
// outstanding, a process-wide gain and a mute switch, and reports every finished buffer.
//
// Threads: the caller's thread plays (PlaySamples); SDL's audio thread consumes the buffers; the
// player's completion thread calls the user callback for each finished buffer. Uint called from the
// callback only refuses further buffers (as Abort); the owner's Uint ends playback.
// The playing calls are virtual so that a test can stand another output in.
#pragma once

#include <SDL2/SDL.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "DebugLog.h"
#include "FourierTransformer.h"
#include "MediaDefs.h"
#include "MediaExport.h"
#include "ThreadAnnotations.h"

constexpr unsigned WAVE_MAPPER = 0xFFFFFFFF;

typedef void (*TovelCallback)(void* user, void* pcm, int length, unsigned pts);

class VARNET_MEDIA_EXPORT Tovel {
public:
    Tovel();
    virtual ~Tovel();
    Tovel(const Tovel&) = delete;
    Tovel& operator=(const Tovel&) = delete;

    // 0, or -1 for an unknown device (WAVE_MAPPER is the default device) or a device that will not open.
    virtual int Init(unsigned device, WAVEFORMATEX* format, TovelCallback callback, void* user);
    // Queues one buffer; blocks while more than 8 are outstanding until 4 or fewer are. Returns
    // `length`, or -1 when the player is not open, is stopping, or no room came within the room
    // time-out.
    virtual int PlaySamples(const BYTE* pcm, unsigned length, unsigned pts);
    // Ends playback: pending buffers are returned through the callback; waits for all of them.
    virtual void Uint();
    virtual void MuteSwitch(bool mute);
    // Wakes a PlaySamples waiting for room and refuses further buffers until Uint (for an owner that
    // must join its playing thread before calling Uint).
    virtual void Abort();
    // Buffers written and not yet returned through the callback (any thread).
    int Outstanding();
    // Longest wait for room inside PlaySamples (ms); 10 s unless changed.
    void SetRoomTimeout(int ms) { m_roomTimeoutMs = ms; }

    // Process-wide gain: value / 100 * 1.5 (volume 100 -> 1.5; above 100 the samples are unscaled).
    static void SetVolume(BYTE value);
    // Device volume as a left/right pair (0xFFFF full), applied by the players of that device.
    static int SetWaveOutVolume(unsigned device, WORD left, WORD right);
    static int GetWaveOutVolume(unsigned device, WORD& left, WORD& right);
    static unsigned GetWaveOutDevNums();
    // The device's name in GBK, cut (never inside a character) to `length` bytes and at most 32 with
    // its terminator. 0, or -1 for an unknown device.
    static int GetWaveOutNameByIdx(char* buffer, unsigned length, unsigned device);

    static std::atomic<unsigned> deviceID;  // the device last given to Init
    static std::atomic<double> m_dVolume;   // playback gain

    // Gain step of PlaySamples: multiply, truncate toward zero, clamp. Exposed for tests.
    static void ApplyGain(BYTE* pcm, unsigned length, double gain);

    struct Block;  // one played buffer: its header and samples in one allocation

private:
    varnet::DebugId m_debugId;  // names this object in debug lines
    // FIFO of blocks linked through the blocks themselves (moving a block never allocates); it owns
    // the blocks it links and frees what is left in it.
    struct Queue {
        Queue() = default;
        ~Queue();
        Queue(const Queue&) = delete;
        Queue& operator=(const Queue&) = delete;
        Block* head = nullptr;
        Block* tail = nullptr;
        bool Empty() const { return head == nullptr; }
        void Push(Block* b);
        Block* Pop();
        void Append(Queue& other);  // moves all of `other` to the end
    };
    static void SdlCallback(void* self, Uint8* stream, int len);
    void CompletionThread();
    void FreeFinishedLocked() REQUIRES(m_lock);

    SDL_AudioDeviceID m_device = 0;
    unsigned m_deviceIndex = WAVE_MAPPER;
    int m_channels = 0;
    TovelCallback m_callback = nullptr;
    void* m_user = nullptr;
    std::atomic<bool> m_mute{false};
    int m_roomTimeoutMs = 10000;
    std::thread m_completion;

    // SDL's audio thread takes m_lock inside the device's own lock: never open, close or lock the
    // device while holding m_lock.
    varnet::Mutex m_lock;
    std::condition_variable m_doneCv;     // completion thread: finished buffers or quit
    std::condition_variable m_roomCv;     // PlaySamples: room, stop, or all returned
    Queue m_pending GUARDED_BY(m_lock);   // written, not yet played
    Queue m_done GUARDED_BY(m_lock);      // played, callback not yet made
    Queue m_finished GUARDED_BY(m_lock);  // reported, waiting to be freed
    int m_outstanding GUARDED_BY(m_lock) = 0;
    bool m_open GUARDED_BY(m_lock) = false;
    bool m_stopping GUARDED_BY(m_lock) = false;
    bool m_quit GUARDED_BY(m_lock) = false;
};
