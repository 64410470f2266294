// Decode threads of a playback session: audio through the AAC decoder and the sound output,
// video through the H.264 decoder, paced against the audio clock.
#include "Rondel.h"

#include "AudioOut.h"
#include "Dunmar.h"
#include "Grabbel.h"
#include "MediaDebug.h"
#include "PacketQueue.h"
#include "Unpix.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

void SleepMs(int ms) { RondelSleep(ms); }

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

void Rondel::AudioDecode() {
    bool configured = false;
    bool started = false;
    std::vector<BYTE> pcm;
    unsigned long packets = 0;
    while (m_running) {
        AVPacketList* pkt = nullptr;
        if (!configured) {
            if (!packet_queue_get(m_audioQueue.get(), &pkt) || !pkt) {
                continue;
            }
            int rate = 0, channels = 0, frameSize = 0;
            if (m_aacDecoder->Init(pkt->data, pkt->size, rate, channels, frameSize)) {
                m_sampleRate = rate;
                m_channels = channels;
                m_frameSize = frameSize;
            } else {
                MediaDebugOut("Rondel", "the AAC stream cannot be decoded");
                Status(REPLAY_AAC_DECODER_FAILED);
            }
            // Bounds for what a stream may claim; the decoder is told the buffer's capacity too.
            if (m_channels <= 0 || m_channels > 8) m_channels = 2;
            if (m_frameSize <= 0 || m_frameSize > 4096) m_frameSize = 2048;
            if (m_sampleRate <= 0 || m_sampleRate > 192000) m_sampleRate = 44100;
            m_waveFormat = WAVEFORMATEX{};
            m_waveFormat.wFormatTag = WAVE_FORMAT_PCM;
            m_waveFormat.nChannels = WORD(m_channels);
            m_waveFormat.nSamplesPerSec = DWORD(m_sampleRate);
            m_waveFormat.wBitsPerSample = 16;
            m_waveFormat.nBlockAlign = WORD(m_channels * 2);
            m_waveFormat.nAvgBytesPerSec = DWORD(m_waveFormat.nBlockAlign) * DWORD(m_sampleRate);
            m_waveFormat.cbSize = 18;
            if (m_player) {
                m_player->Init(m_param.waveOutDevice, &m_waveFormat, &Rondel::SoutCallback, this);
            }
            pcm.assign(size_t(m_frameSize) * size_t(m_channels) * 2, 0);
            packet_free(pkt);
            configured = true;
            continue;
        }
        if (!started) {
            if (packet_queue_duration(m_audioQueue.get()) > float(m_param.bufferTime)) {
                started = true;
            } else {
                SleepMs(10);
            }
            continue;
        }
        if (!packet_queue_get(m_audioQueue.get(), &pkt) || !pkt) {
            continue;
        }
        m_audioPts = pkt->pts;
        if (m_audioShow) {
            bool got = false;
            m_aacDecoder->DecoderFrame(pkt->data, pkt->size, pcm.data(), int(pcm.size()), got);
            if (got && m_player) {
                m_player->PlaySamples(pcm.data(), int(pcm.size()), pkt->pts);
            }
        } else {
            SleepMs(10);
        }
        packet_free(pkt);
        if (++packets % 100 == 0 && packet_queue_duration(m_audioQueue.get()) > float(m_param.maxBufferTime)) {
            MediaDebugOut("Rondel", "清理缓冲区%s", std::string(66, '-').c_str());
            packet_queue_skip_frame(m_audioQueue.get(), m_param.bufferTime);
        }
    }
}

void Rondel::VideoDecode() {
    std::vector<BYTE> picture;
    bool started = false;
    bool sizeLogged = false;
    while (m_running) {
        if (!started) {
            if (packet_queue_duration(m_videoQueue.get()) > 1.0f) {
                started = true;
            } else {
                SleepMs(10);
            }
            continue;
        }
        AVPacketList* pkt = nullptr;
        if (!packet_queue_get(m_videoQueue.get(), &pkt) || !pkt) {
            continue;
        }
        // The stream description was written before the first video packet was queued.
        const int i420Size = m_i420Size;
        if (picture.size() < size_t(std::max(921600, i420Size))) {
            picture.assign(size_t(std::max(921600, i420Size)), 0);
        }
        m_videoPts = pkt->pts;
        int sleepMs = int(m_frameInterval);
        int offset = 0;
        while (offset < pkt->size && m_running) {
            int outSize = int(picture.size());
            bool got = false;
            int consumed = m_decoder->Decode(pkt->data + offset, pkt->size - offset, picture.data(), outSize, got);
            if (consumed <= 0) {
                break;  // the decoder made no progress: drop the rest of the packet
            }
            if ((got ? outSize != i420Size : outSize > int(picture.size())) && !sizeLogged) {
                sizeLogged = true;   // once per stream
                MediaDebugOut("Rondel", "pictures of %d bytes dropped: the stream's configuration has %d", outSize,
                              i420Size);
            }
            if (got) {
                const double factor = RondelPacingFactor(m_videoPts, m_audioPts, packet_queue_duration(m_videoQueue.get()),
                                                         m_audioShow, m_param.minSyncTime, m_param.maxSyncTime,
                                                         m_param.maxBufferTime);
                if (factor > 0) {
                    sleepMs = int(m_frameInterval * factor);
                }
                if (m_videoPts != 0) {
                    IBaseReplayNotify* n = m_notify.load();
                    // A picture of another size than the parameter set said is not shown.
                    if (n && m_videoShow && outSize == i420Size && m_rgbBuffer) {
                        Grabbel::ConvertYUV2RGB(picture.data(), m_rgbBuffer, m_width, m_height);
                        n->OnReplayVideo(m_rgbBuffer, &m_bmi, m_videoPts);
                    }
                    SleepMs(sleepMs);
                } else {
                    SleepMs(1);
                }
            }
            offset += consumed;
        }
        packet_free(pkt);
    }
}
