#include "Micrel.h"

#include <algorithm>
#include <cstring>

#include "DebugLog.h"
#include "SdlAudio.h"
#include "ZqLib.h"

std::atomic<int> Micrel::s_volume{100};
std::atomic<Micrel::SampleSource> Micrel::s_source{nullptr};

namespace {
constexpr int kMaxBufferBytes = 1 << 20;
}  // namespace

Micrel::Micrel() {}

Micrel::~Micrel() {
    StopCapture();
    CloseMicrophone();
}

int Micrel::MicrophoneCount() {
    if (!SdlAudioAcquire()) return 0;
    const int n = SDL_GetNumAudioDevices(1);
    SdlAudioRelease();
    return n > 0 ? n : 0;
}

int Micrel::MicrophoneName(int index, char* buffer, int size) {
    if (!buffer || size <= 0) return -1;
    buffer[0] = 0;
    if (!SdlAudioAcquire()) return -1;
    int rc = -1;
    const int n = SDL_GetNumAudioDevices(1);
    if (index >= 0 && index < n) {
        if (const char* name = SDL_GetAudioDeviceName(index, 1)) {
            Charset::GbkCopy(buffer, size_t(size), Charset::Utf8ToGbk(name));
            rc = 0;
        }
    }
    SdlAudioRelease();
    return rc;
}

void Micrel::SetVolume(uint8_t value) {
    s_volume = std::min<int>(value, 100);
}

void Micrel::SetSampleSource(SampleSource source) {
    s_source = source;
}

bool Micrel::OpenMicrophone(int device, int sampleRate, int channels, int bufferBytes) {
    StopCapture();
    CloseMicrophone();
    if (device < 0 || sampleRate < 1000 || sampleRate > 192000 || channels < 1 || channels > 2 || bufferBytes <= 0 ||
        bufferBytes > kMaxBufferBytes)
        return false;
    if (!SdlAudioAcquire()) {
        varnet::DebugLog("Micrel", m_debugId.c_str(), "audio subsystem: %s", SDL_GetError());
        return false;
    }
    m_acquired = true;
    const int count = SDL_GetNumAudioDevices(1);
    if (device >= count && device != 0) {
        CloseMicrophone();
        return false;
    }
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = sampleRate;
    want.format = AUDIO_S16SYS;
    want.channels = Uint8(channels);
    want.samples = 512;
    while (want.samples < 4096 && want.samples * 50 < sampleRate) want.samples *= 2;  // about 20 ms a period
    want.callback = &Micrel::SdlCallback;
    want.userdata = this;
    SDL_AudioSpec have;
    {
        std::lock_guard<std::mutex> lock(SdlAudioMutex());
        const char* name = device < count ? SDL_GetAudioDeviceName(device, 1) : nullptr;
        m_device = SDL_OpenAudioDevice(name, 1, &want, &have, 0);
    }
    if (m_device == 0) {
        varnet::DebugLog("Micrel", m_debugId.c_str(), "microphone %d did not open: %s", device, SDL_GetError());
        CloseMicrophone();
        return false;
    }
    try {
        m_chunk.assign(size_t(bufferBytes), 0);
    } catch (...) {
        CloseMicrophone();
        return false;
    }
    m_rate = sampleRate;
    m_channels = channels;
    m_fill = 0;
    varnet::DebugLog("Micrel", m_debugId.c_str(), "microphone %d open: %d Hz, %d ch, %d bytes a buffer", device,
                     sampleRate, channels, bufferBytes);
    return true;
}

bool Micrel::StartCapture() {
    if (m_device == 0) return false;
    if (SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_PLAYING) return true;
    m_time = 0;
    m_fill = 0;
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void Micrel::SetBuffCB(IBaseAudioCB* cb) {
    varnet::RecursiveMutexLock lock(m_cbLock);
    m_cb = cb;
}

int Micrel::StopCapture() {
    // Pausing waits for a callback in progress; a paused device calls no more.
    if (m_device != 0) SDL_PauseAudioDevice(m_device, 1);
    return 0;
}

void Micrel::CloseMicrophone() {
    if (m_device != 0) {
        std::lock_guard<std::mutex> lock(SdlAudioMutex());
        SDL_CloseAudioDevice(m_device);
        m_device = 0;
    }
    if (m_acquired) {
        SdlAudioRelease();
        m_acquired = false;
    }
    m_chunk.clear();
    m_fill = 0;
}

void Micrel::SdlCallback(void* self, Uint8* stream, int len) {
    Micrel* m = static_cast<Micrel*>(self);
    while (len > 0 && !m->m_chunk.empty()) {
        const size_t n = std::min(size_t(len), m->m_chunk.size() - m->m_fill);
        std::memcpy(m->m_chunk.data() + m->m_fill, stream, n);
        m->m_fill += n;
        stream += n;
        len -= int(n);
        if (m->m_fill == m->m_chunk.size()) {
            m->Deliver();
            m->m_fill = 0;
        }
    }
}

// One full buffer: stand-in samples when set, the capture volume, the receiver.
void Micrel::Deliver() {
    int16_t* s = reinterpret_cast<int16_t*>(m_chunk.data());
    const size_t samples = m_chunk.size() / 2;
    if (SampleSource source = s_source.load()) source(s, samples / size_t(m_channels), m_channels, m_rate, m_time);
    const int volume = s_volume.load();
    if (volume < 100) {
        for (size_t i = 0; i < samples; ++i) s[i] = int16_t(int32_t(s[i]) * volume / 100);
    }
    const double time = m_time;
    m_time += double(m_chunk.size()) / (double(m_rate) * m_channels * 2);
    varnet::RecursiveMutexLock lock(m_cbLock);
    if (!m_cb) return;
    try {
        m_cb->AudioBufferCB(time, m_chunk.data(), long(m_chunk.size()));
    } catch (...) {
        varnet::DebugLog("Micrel", m_debugId.c_str(), "the buffer receiver threw");
    }
}
