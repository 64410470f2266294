#include "Tovel.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>  // clocks; the full <chrono> does not build with a GBK execution charset

#include "DebugLog.h"
#include "SdlAudio.h"
#include "ZqLib.h"

std::atomic<unsigned> Tovel::deviceID{WAVE_MAPPER};
std::atomic<double> Tovel::m_dVolume{1.5};

struct Tovel::Block {
    Block* next;
    unsigned length;
    unsigned played;
    unsigned pts;
    BYTE data[1];
};

namespace {

constexpr int kBlockAbove = 8;       // block when more than this many are outstanding
constexpr int kResumeAt = 4;         // until this many or fewer remain
constexpr size_t kDeviceSlots = 33;  // 32 devices and the default device

// Device volumes, left in the low word and right in the high word, stored inverted so that the
// zero-initialised table means full volume.
std::atomic<uint32_t> g_deviceVolumes[kDeviceSlots];

uint32_t DeviceVolume(size_t slot) {
    return ~g_deviceVolumes[slot].load();
}

size_t VolumeSlot(unsigned device) {
    return device == WAVE_MAPPER ? kDeviceSlots - 1 : device;
}

struct FreeBlock {
    void operator()(Tovel::Block* b) const { std::free(b); }
};
using BlockPtr = std::unique_ptr<Tovel::Block, FreeBlock>;

BlockPtr NewBlock(unsigned length) {
    void* p = std::malloc(offsetof(Tovel::Block, data) + (length ? length : 1));
    return BlockPtr(static_cast<Tovel::Block*>(p));
}

}  // namespace

Tovel::Queue::~Queue() {
    while (Block* b = Pop()) std::free(b);
}

void Tovel::Queue::Push(Block* b) {
    b->next = nullptr;
    if (tail) tail->next = b;
    else head = b;
    tail = b;
}

Tovel::Block* Tovel::Queue::Pop() {
    Block* b = head;
    if (b) {
        head = b->next;
        if (!head) tail = nullptr;
        b->next = nullptr;
    }
    return b;
}

void Tovel::Queue::Append(Queue& other) {
    if (other.Empty()) return;
    if (tail) tail->next = other.head;
    else head = other.head;
    tail = other.tail;
    other.head = other.tail = nullptr;
}

Tovel::Tovel() {}

Tovel::~Tovel() {
    Uint();
}

void Tovel::ApplyGain(BYTE* pcm, unsigned length, double gain) {
    if (gain > 1.5 || !pcm) return;
    const unsigned n = length / 2;
    for (unsigned i = 0; i < n; ++i) {
        int16_t s;
        std::memcpy(&s, pcm + 2 * i, 2);
        double v = double(s) * gain;
        long x = long(v);  // toward zero
        if (x > 32767) x = 32767;
        if (x < -32768) x = -32768;
        s = int16_t(x);
        std::memcpy(pcm + 2 * i, &s, 2);
    }
}

void Tovel::SetVolume(BYTE value) {
    m_dVolume = double(value) / 100.0 * 1.5;
}

unsigned Tovel::GetWaveOutDevNums() {
    if (!SdlAudioAcquire()) return 0;
    const int n = SDL_GetNumAudioDevices(0);
    SdlAudioRelease();
    return n > 0 ? unsigned(n) : 0;
}

int Tovel::GetWaveOutNameByIdx(char* buffer, unsigned length, unsigned device) {
    if (!buffer || length == 0) return -1;
    if (!SdlAudioAcquire()) return -1;
    int rc = -1;
    const int n = SDL_GetNumAudioDevices(0);
    if (device < unsigned(n > 0 ? n : 0)) {
        if (const char* name = SDL_GetAudioDeviceName(int(device), 0)) {
            // At most 32 bytes as the device records hold, and never past the caller's buffer.
            Charset::GbkCopy(buffer, std::min<size_t>(length, 32), Charset::Utf8ToGbk(name));
            rc = 0;
        }
    }
    SdlAudioRelease();
    return rc;
}

int Tovel::SetWaveOutVolume(unsigned device, WORD left, WORD right) {
    if (device != WAVE_MAPPER && device >= kDeviceSlots - 1) return -1;
    g_deviceVolumes[VolumeSlot(device)] = ~(uint32_t(left) | (uint32_t(right) << 16));
    return 0;
}

int Tovel::GetWaveOutVolume(unsigned device, WORD& left, WORD& right) {
    if (device != WAVE_MAPPER && device >= kDeviceSlots - 1) return -1;
    const uint32_t v = DeviceVolume(VolumeSlot(device));
    left = WORD(v & 0xFFFF);
    right = WORD(v >> 16);
    return 0;
}

int Tovel::Init(unsigned device, WAVEFORMATEX* format, TovelCallback callback, void* user) {
    Uint();
    deviceID = device;
    if (!format || format->wBitsPerSample != 16 || format->nChannels < 1 || format->nChannels > 8 ||
        format->nSamplesPerSec < 1000 || format->nSamplesPerSec > 192000)
        return -1;
    if (!SdlAudioAcquire()) {
        varnet::DebugLog("Tovel", m_debugId.c_str(), "audio subsystem: %s", SDL_GetError());
        return -1;
    }
    // Device 0 and the mapper are the desktop's default output, even when the sound system lists none.
    const bool byDefault = device == WAVE_MAPPER || device == 0;
    const int count = SDL_GetNumAudioDevices(0);
    if (!byDefault && device >= unsigned(count > 0 ? count : 0)) {
        SdlAudioRelease();
        return -1;
    }
    m_callback = callback;
    m_user = user;
    m_deviceIndex = device;
    m_channels = format->nChannels;

    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = int(format->nSamplesPerSec);
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(format->nChannels);
    want.samples = 1024;
    want.callback = &Tovel::SdlCallback;
    want.userdata = this;
    SDL_AudioSpec have;
    {
        std::lock_guard<std::mutex> lock(SdlAudioMutex());
        const char* name = byDefault ? nullptr : SDL_GetAudioDeviceName(int(device), 0);
        m_device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    }
    if (m_device == 0) {
        varnet::DebugLog("Tovel", m_debugId.c_str(), "device %u did not open: %s", device, SDL_GetError());
        SdlAudioRelease();
        return -1;
    }
    {
        varnet::MutexLock lock(m_lock);
        m_open = true;
        m_stopping = false;
        m_quit = false;
        m_outstanding = 0;
    }
    try {
        m_completion = std::thread(&Tovel::CompletionThread, this);
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(SdlAudioMutex());
            SDL_CloseAudioDevice(m_device);
        }
        m_device = 0;
        {
            varnet::MutexLock lock(m_lock);
            m_open = false;
        }
        SdlAudioRelease();
        return -1;
    }
    SDL_PauseAudioDevice(m_device, 0);
    varnet::DebugLog("Tovel", m_debugId.c_str(), "device %u open: %d Hz, %d ch", device, have.freq, int(have.channels));
    return 0;
}

int Tovel::Outstanding() {
    varnet::MutexLock lock(m_lock);
    return m_outstanding;
}

void Tovel::FreeFinishedLocked() {
    while (Block* b = m_finished.Pop()) std::free(b);
}

int Tovel::PlaySamples(const BYTE* pcm, unsigned length, unsigned pts) {
    if (!pcm && length > 0) return -1;
    {
        varnet::MutexLock lock(m_lock);
        if (!m_open || m_stopping) return -1;
        FreeFinishedLocked();
        if (m_outstanding > kBlockAbove) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_roomTimeoutMs);
            while (m_outstanding > kResumeAt && !m_stopping) {
                if (m_roomCv.wait_until(lock.Native(), deadline) == std::cv_status::timeout &&
                    m_outstanding > kResumeAt && !m_stopping) {
                    varnet::DebugLog("Tovel", m_debugId.c_str(), "no buffer came back within %d ms", m_roomTimeoutMs);
                    return -1;
                }
            }
            if (m_stopping) return -1;
            FreeFinishedLocked();
        }
    }
    BlockPtr b = NewBlock(length);
    if (!b) return -1;
    b->length = length;
    b->played = 0;
    b->pts = pts;
    if (m_mute || length == 0) std::memset(b->data, 0, length);
    else std::memcpy(b->data, pcm, length);
    ApplyGain(b->data, length, m_dVolume.load());
    {
        varnet::MutexLock lock(m_lock);
        if (!m_open || m_stopping) {
            return -1;
        }
        m_pending.Push(b.release());
        ++m_outstanding;
    }
    return int(length);
}

void Tovel::SdlCallback(void* self, Uint8* stream, int len) {
    Tovel* t = static_cast<Tovel*>(self);
    Uint8* start = stream;
    const int total = len;
    bool finished = false;
    {
        varnet::MutexLock lock(t->m_lock);
        while (len > 0 && !t->m_pending.Empty()) {
            Block* b = t->m_pending.head;
            const unsigned n = std::min<unsigned>(unsigned(len), b->length - b->played);
            std::memcpy(stream, b->data + b->played, n);
            b->played += n;
            stream += n;
            len -= int(n);
            if (b->played >= b->length) {
                t->m_done.Push(t->m_pending.Pop());
                finished = true;
            }
        }
    }
    if (len > 0) std::memset(stream, 0, size_t(len));
    if (finished) t->m_doneCv.notify_one();

    // Device volume, per channel.
    const uint32_t vol = DeviceVolume(VolumeSlot(t->m_deviceIndex));
    if (vol != 0xFFFFFFFFu && t->m_channels > 0) {
        const int32_t gain[2] = {int32_t(vol & 0xFFFF), int32_t(vol >> 16)};
        int16_t* s = reinterpret_cast<int16_t*>(start);
        const int count = total / 2;
        for (int i = 0; i < count; ++i) {
            const int ch = t->m_channels == 1 ? 0 : (i % t->m_channels) & 1;
            s[i] = int16_t((int32_t(s[i]) * gain[ch]) / 0xFFFF);
        }
    }
}

void Tovel::CompletionThread() {
    varnet::MutexLock lock(m_lock);
    for (;;) {
        while (m_done.Empty() && !m_quit) m_doneCv.wait(lock.Native());
        if (m_done.Empty() && m_quit) return;
        Queue batch;
        batch.Append(m_done);
        lock.Unlock();
        int count = 0;
        for (Block* b = batch.head; b; b = b->next, ++count) {
            if (!m_callback) continue;
            try {
                m_callback(m_user, b->data, int(b->length), b->pts);
            } catch (...) {
                varnet::DebugLog("Tovel", m_debugId.c_str(), "the buffer callback threw");
            }
        }
        lock.Lock();
        m_finished.Append(batch);
        m_outstanding -= count;
        if (m_outstanding <= kResumeAt) m_roomCv.notify_all();
    }
}

void Tovel::MuteSwitch(bool mute) {
    m_mute = mute;
}

void Tovel::Abort() {
    varnet::MutexLock lock(m_lock);
    m_stopping = true;
    m_roomCv.notify_all();
}

void Tovel::Uint() {
    // From the callback the completion thread cannot wait for itself: refuse further buffers and
    // leave the rest to the owner's Uint.
    if (m_completion.joinable() && std::this_thread::get_id() == m_completion.get_id()) {
        Abort();
        return;
    }
    {
        varnet::MutexLock lock(m_lock);
        if (!m_open) return;
        m_stopping = true;
        m_roomCv.notify_all();
        // Reset: every buffer not yet played is returned at once.
        m_done.Append(m_pending);
        m_doneCv.notify_one();
        while (m_outstanding != 0) m_roomCv.wait(lock.Native());
        m_quit = true;
        m_doneCv.notify_one();
    }
    if (m_completion.joinable()) m_completion.join();
    {
        std::lock_guard<std::mutex> lock(SdlAudioMutex());
        SDL_CloseAudioDevice(m_device);
    }
    m_device = 0;
    SdlAudioRelease();
    varnet::MutexLock lock(m_lock);
    FreeFinishedLocked();
    m_open = false;
    m_stopping = false;
    m_quit = false;
    m_callback = nullptr;
    m_user = nullptr;
}
