// Encode and send threads of a publishing session.
#include "Tesmar.h"

#include "Ferrel.h"
#include "FlvBody.h"
#include "Korvid.h"
#include "MediaDebug.h"
#include "Nimbo.h"
#include "Pellac.h"
#include "ThreadQueue.h"

#include <cstring>
#include <time.h>

namespace {

// 32-bit milliseconds, wrapping like the platform's tick count.
uint32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

}  // namespace

void Tesmar::EncodeThread() {
    const uint32_t start = TickCount();
    m_audioClock->Reset(start);
    m_videoClock->Reset(start);
    for (;;) {
        publish::ThreadMessage msg = m_encodeQueue->Get();
        if (msg.message == publish::WM_QUIT) {
            break;
        }
        if (msg.message == MSG_ENCODE_AUDIO && msg.wParam) {
            EncodeAudio(msg.wParam, m_audioClock->Next(TickCount()));
        } else if (msg.message == MSG_ENCODE_VIDEO && msg.wParam) {
            EncodeVideo(msg.wParam, m_videoClock->Next(TickCount()));
        }
        publish::ThreadQueue::FreeRecord(msg.wParam);
    }
}

void Tesmar::EncodeAudio(TNAL* rec, unsigned ts) {
    if (!m_running || !m_connected || !m_pellac || !m_streamReady || !rec->data) {
        return;
    }
    const int n = m_pellac->EncodeFrame(rec->data, rec->size, m_aacBuffer.data(), int(m_aacBuffer.size()));
    if (n > 0) {
        PostSend(MSG_SEND_AUDIO, m_aacBuffer.data(), n, ts, true);
    }
}

void Tesmar::EncodeVideo(TNAL* rec, unsigned ts) {
    if (!m_running || !m_connected || !m_korvid || !m_streamReady || !rec->data) {
        return;
    }
    TNAL* nals = nullptr;
    int count = 0;
    if (m_korvid->EncodeFrame(rec->data, nals, count) == 0 && count > 0) {
        SortNals(nals, count, ts);
    }
    Korvid::CleanNAL(nals, count);
}

int Tesmar::EncodeHeaders() {
    TNAL* nals = nullptr;
    int count = 0;
    if (m_korvid->EncodeHeader(nals, count) < 0) {
        return -1;
    }
    SortNals(nals, count, 0);
    Korvid::CleanNAL(nals, count);
    return m_sps.empty() || m_pps.empty() ? -1 : 0;
}

void Tesmar::SortNals(TNAL* nals, int count, unsigned ts) {
    for (int i = 0; nals && i < count; ++i) {
        const TNAL& nal = nals[i];
        if (!nal.data || nal.size <= 0) {
            continue;
        }
        // Strip the start code actually present (x264 gives some units a 3-byte one).
        const int sc = NalStartCodeLength(nal.data, nal.size);
        const BYTE* unit = nal.data + sc;
        const int len = nal.size - sc;
        if (len <= 0) {
            continue;
        }
        switch (nal.type) {
        case 7:
            m_sps.assign(unit, unit + std::min(len, 1024));
            break;
        case 8:
            m_pps.assign(unit, unit + std::min(len, 1024));
            if (!m_sendQueue->Post(MSG_SEND_METADATA, nullptr, 0, true)) {
                MediaDebugOut("Tesmar", "metadata could not be queued");
            }
            break;
        case 5:
            PostSend(MSG_SEND_KEY_FRAME, unit, len, ts, true);
            break;
        case 1:
            PostSend(MSG_SEND_FRAME, unit, len, ts, false);
            break;
        default:  // SEI and anything else is not sent
            break;
        }
    }
}

bool Tesmar::PostSend(unsigned message, const BYTE* data, int size, unsigned ts, bool urgent) {
    TNAL* rec = new TNAL;
    rec->size = size;
    rec->data = new BYTE[size_t(size)];
    memcpy(rec->data, data, size_t(size));
    // A congested sender loses other frames first; audio and key frames may use the reserve.
    if (!m_sendQueue->Post(message, rec, ts, urgent)) {
        publish::ThreadQueue::FreeRecord(rec);
        return false;
    }
    return true;
}

void Tesmar::SendThread() {
    for (;;) {
        publish::ThreadMessage msg = m_sendQueue->Get();
        if (msg.message == publish::WM_QUIT) {
            break;
        }
        if (msg.message == MSG_SEND_METADATA) {
            Send(msg.message, nullptr, 0);
        } else if ((msg.message == MSG_SEND_KEY_FRAME || msg.message == MSG_SEND_FRAME ||
                    msg.message == MSG_SEND_AUDIO) && msg.wParam && msg.wParam->data) {
            Send(msg.message, msg.wParam, msg.lParam);
        }
        publish::ThreadQueue::FreeRecord(msg.wParam);
    }
}

void Tesmar::Send(unsigned message, TNAL* rec, unsigned ts) {
    if (!m_running || !IsConnected()) {
        return;
    }
    if (message == MSG_SEND_METADATA) {
        if (m_udpMode) {
            return;
        }
        auto meta = std::make_unique<_RTMPMetadata>();
        meta->hasVideo = 1;
        meta->width = m_param.video.width;
        meta->height = m_param.video.height;
        meta->frameRate = m_param.video.frameRate;
        meta->spsLen = int(std::min<size_t>(m_sps.size(), sizeof(meta->sps)));
        memcpy(meta->sps, m_sps.data(), size_t(meta->spsLen));
        meta->ppsLen = int(std::min<size_t>(m_pps.size(), sizeof(meta->pps)));
        memcpy(meta->pps, m_pps.data(), size_t(meta->ppsLen));
        meta->hasAudio = 1;
        meta->audioSampleRateIndex = m_aencInfo.samplingFrequencyIndex;
        meta->audioChannels = m_aencInfo.channelConfiguration;
        meta->audioProfile = m_aencInfo.profile;
        if (m_client) {
            m_client->SendMetadata(meta.get());
        }
        m_streamReady = true;
        return;
    }
    std::vector<BYTE> body(size_t(rec->size) + 16);
    if (message == MSG_SEND_AUDIO) {
        const int len = FlvWriteAacFrame(rec->data, rec->size, body.data(), int(body.size()));
        if (len <= 0) return;
        if (m_udpMode) {
            if (m_cloud) m_cloud->StreamSendData(body.data(), len, ts, false, 1);
        } else if (m_client) {
            m_client->SendAACPacket(body.data(), len, false, ts);
        }
        return;
    }
    const bool key = message == MSG_SEND_KEY_FRAME;
    const int len = FlvWriteVideoFrame(key, rec->data, rec->size, body.data(), int(body.size()));
    if (len <= 0) return;
    if (m_udpMode) {
        if (m_cloud) m_cloud->StreamSendData(body.data(), len, ts, key, 0);
    } else if (m_client) {
        m_client->SendH264Packet(body.data(), len, key, ts);
    }
}
