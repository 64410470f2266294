// Decode threads of a playback session: audio through the AAC decoder and the sound output,
// video through the H.264 decoder, paced against the audio clock.
#include "Rondel.h"

#include "DebugLog.h"
#include "Dunmar.h"
#include "Grabbel.h"
#include "PacketQueue.h"
#include "Tovel.h"
#include "Unpix.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr int kMinPictureBytes = 921600;   // the smallest picture and RGB buffers: 640x480x3
constexpr unsigned long kTrimEvery = 100;  // audio packets between two checks of the queue's length

void SleepMs(int ms) {
    RondelSleep(ms);
}

}  // namespace

double RondelPacingFactor(unsigned videoPts, unsigned audioPts, float videoQueueSeconds, bool audioShow,
                          int minSyncTime, int maxSyncTime, int maxBufferTime) {
    if (audioShow) {
        if (videoPts == audioPts) {
            return 0;
        }
        if (videoPts < audioPts) {
            const unsigned d = audioPts - videoPts;
            return (long(d) > minSyncTime && long(d) < maxSyncTime) ? 0.8 : 0.6;
        }
        const unsigned d = videoPts - audioPts;
        return (long(d) > minSyncTime && long(d) < maxSyncTime) ? 1.2 : 1.4;
    }
    if (videoQueueSeconds >= float(maxBufferTime)) {
        return 0.6;
    }
    if (videoQueueSeconds >= 1.0f) {
        return 0.8;
    }
    return 0;
}

void Rondel::SoutCallback(void* user, void* pcm, int length, unsigned pts) {
    Rondel* self = static_cast<Rondel*>(user);
    if (!self) return;
    if (IBaseReplayNotify* n = self->m_notify.load()) {
        n->OnReplayAudio(pcm, length, &self->m_waveFormat, pts);
    }
}

// Opens the decoder on a configuration's first frame and the player for the format it gives (again
// only when the format changed). The frame itself is not played.
void Rondel::ConfigureAudio(const AVPacketList& pkt, std::vector<BYTE>& pcm) {
    int rate = 0, channels = 0, frameSize = 0;
    if (!m_aacDecoder->Init(pkt.data.get(), pkt.size, rate, channels, frameSize)) {
        rate = channels = frameSize = 0;
        varnet::DebugLog("Rondel", m_debugId.c_str(), "the AAC stream cannot be decoded");
        Status(REPLAY_AAC_DECODER_FAILED);
    }
    // Bounds for what a stream may claim; the decoder is told the buffer's capacity too.
    m_channels = (channels > 0 && channels <= 8) ? channels : 2;
    m_frameSize = (frameSize > 0 && frameSize <= 4096) ? frameSize : 2048;
    m_sampleRate = (rate > 0 && rate <= 192000) ? rate : 44100;
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = WORD(m_channels);
    f.nSamplesPerSec = DWORD(m_sampleRate);
    f.wBitsPerSample = 16;
    f.nBlockAlign = WORD(m_channels * 2);
    f.nAvgBytesPerSec = DWORD(f.nBlockAlign) * DWORD(m_sampleRate);
    f.cbSize = 18;
    const bool same =
        m_playerOpen && f.nChannels == m_waveFormat.nChannels && f.nSamplesPerSec == m_waveFormat.nSamplesPerSec;
    if (m_player && !same) {
        // The completion thread reads the format: change it only while the player is closed.
        m_player->Uint();
        m_waveFormat = f;
        m_playerOpen = m_player->Init(m_param.waveOutDevice, &m_waveFormat, &Rondel::SoutCallback, this) == 0;
    }
    pcm.assign(size_t(m_frameSize) * size_t(m_channels) * 2, 0);
}

void Rondel::AudioDecode() {
    bool configured = false;
    bool started = false;
    std::vector<BYTE> pcm;
    unsigned long packets = 0;
    while (m_running) {
        PacketPtr pkt;
        if (!configured) {
            if (!packet_queue_get(m_audioQueue.get(), &pkt) || !pkt) {
                continue;
            }
            ConfigureAudio(*pkt, pcm);
            configured = true;
            continue;
        }
        if (!started) {
            // Woken by every put, so it starts as soon as the queue spans enough (or is full).
            started = packet_queue_wait_duration(m_audioQueue.get(), float(m_param.bufferTime), kMaxAudioPackets) == 1;
            continue;
        }
        if (!packet_queue_get(m_audioQueue.get(), &pkt) || !pkt) {
            continue;
        }
        if (pkt->config) {
            // Another publisher's configuration: open anew with its first frame.
            ConfigureAudio(*pkt, pcm);
            continue;
        }
        m_audioPts = pkt->pts;
        if (m_audioShow) {
            bool got = false;
            m_aacDecoder->DecoderFrame(pkt->data.get(), pkt->size, pcm.data(), int(pcm.size()), got);
            if (got && m_player) {
                m_player->PlaySamples(pcm.data(), unsigned(pcm.size()), pkt->pts);
            }
        } else {
            SleepMs(10);
        }
        pkt.reset();
        if (++packets % kTrimEvery == 0 && packet_queue_duration(m_audioQueue.get()) > float(m_param.maxBufferTime)) {
            varnet::DebugLog("Rondel", m_debugId.c_str(), "清理缓冲区%s", std::string(66, '-').c_str());
            packet_queue_skip_frame(m_audioQueue.get(), m_param.bufferTime);
        }
    }
}

// Takes the description that came with a configuration's parameter sets (video thread).
void Rondel::TakeVideoDescription() {
    {
        varnet::MutexLock lock(m_descLock);
        if (m_nextVideo.empty()) return;
        m_video = m_nextVideo.front();
        m_nextVideo.pop_front();
    }
    const int rgb = std::max(kMinPictureBytes, m_video.width * m_video.height * 3);
    if (!m_rgbBuffer || m_rgbSize < rgb) {
        m_rgbBuffer.reset(new (std::nothrow) BYTE[size_t(rgb)]);
        m_rgbSize = m_rgbBuffer ? rgb : 0;
    }
    if (m_rgbBuffer) {
        memset(m_rgbBuffer.get(), 0, size_t(std::min(m_rgbSize, m_video.i420Size)));
    }
}

void Rondel::VideoDecode() {
    bool started = false;
    bool sizeLogged = false;
    while (m_running) {
        if (!started) {
            started = packet_queue_wait_duration(m_videoQueue.get(), 1.0f, kMaxVideoPackets) == 1;
            continue;
        }
        PacketPtr pkt;
        if (!packet_queue_get(m_videoQueue.get(), &pkt) || !pkt) {
            continue;
        }
        if (pkt->config) {
            TakeVideoDescription();
        }
        VideoDescription& d = m_video;
        // The largest picture taken: what a copy into a buffer of this size would hold.
        const int capacity = std::max(kMinPictureBytes, d.i420Size);
        m_videoPts = pkt->pts;
        int sleepMs = int(d.frameInterval);
        int offset = 0;
        while (offset < pkt->size && m_running) {
            int outSize = capacity;
            bool got = false;
            UnpixPicture picture;
            int consumed =
                m_decoder->DecodeInPlace(pkt->data.get() + offset, pkt->size - offset, picture, outSize, got);
            if (consumed <= 0) {
                break;  // the decoder made no progress: drop the rest of the packet
            }
            if ((got ? outSize != d.i420Size : outSize > capacity) && !sizeLogged) {
                sizeLogged = true;  // once per stream
                varnet::DebugLog("Rondel", m_debugId.c_str(),
                                 "pictures of %d bytes dropped: the stream's configuration has %d", outSize,
                                 d.i420Size);
            }
            if (got) {
                const double factor =
                    RondelPacingFactor(m_videoPts, m_audioPts, packet_queue_duration(m_videoQueue.get()), m_audioShow,
                                       m_param.minSyncTime, m_param.maxSyncTime, m_param.maxBufferTime);
                if (factor > 0) {
                    sleepMs = int(d.frameInterval * factor);
                }
                if (m_videoPts != 0) {
                    IBaseReplayNotify* n = m_notify.load();
                    // A picture of another size than the parameter set said is not shown.
                    const bool fits =
                        picture.packed || (m_decoder->Width() == d.width && m_decoder->Height() == d.height);
                    if (n && m_videoShow && d.i420Size > 0 && outSize == d.i420Size && fits && m_rgbBuffer) {
                        if (picture.packed) {
                            Grabbel::ConvertYUV2RGB(picture.packed, m_rgbBuffer.get(), d.width, d.height);
                        } else {
                            Grabbel::ConvertI420ToRGB(picture.plane[0], picture.stride[0], picture.plane[1],
                                                      picture.stride[1], picture.plane[2], picture.stride[2],
                                                      m_rgbBuffer.get(), d.width, d.height);
                        }
                        n->OnReplayVideo(m_rgbBuffer.get(), &d.bmi, m_videoPts);
                        ++m_pictures;
                    }
                    SleepMs(sleepMs);
                } else {
                    SleepMs(1);
                }
            }
            offset += consumed;
        }
    }
}
