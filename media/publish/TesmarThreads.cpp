// Encode and send threads of a publishing session.
#include "Tesmar.h"

#include "DebugLog.h"
#include "Ferrel.h"
#include "FlvBody.h"
#include "Korvid.h"
#include "Nimbo.h"
#include "Pellac.h"
#include "ThreadQueue.h"
#include "Tick.h"

#include <cstring>
#include <time.h>

namespace {

constexpr int kMaxParamSetBytes = 1024;   // what the metadata record holds of each parameter set
constexpr size_t kFlvFrameOverhead = 16;  // the FLV audio or video body around a frame

// The encoder's NAL array, released however the caller leaves.
struct NalArray {
    TNAL* units = nullptr;
    int count = 0;
    NalArray() = default;
    NalArray(const NalArray&) = delete;
    NalArray& operator=(const NalArray&) = delete;
    ~NalArray() { Korvid::CleanNAL(units, count); }
};

}  // namespace

void Tesmar::EncodeThread() {
    const uint32_t start = varnet::TickCount();
    m_audioClock->Reset(start);
    m_videoClock->Reset(start);
    for (;;) {
        publish::ThreadMessage msg = m_encodeQueue->Get();
        if (msg.message == publish::WM_QUIT) {
            break;
        }
        if (msg.wParam.empty()) {
            continue;
        }
        if (msg.message == MSG_ENCODE_AUDIO) {
            EncodeAudio(msg.wParam, m_audioClock->Next(varnet::TickCount()));
        } else if (msg.message == MSG_ENCODE_VIDEO) {
            EncodeVideo(msg.wParam, m_videoClock->Next(varnet::TickCount()));
        }
    }
}

void Tesmar::EncodeAudio(std::vector<BYTE>& pcm, unsigned ts) {
    if (!m_running || !m_connected || !m_pellac || !m_streamReady) {
        return;
    }
    const int n = m_pellac->EncodeFrame(pcm.data(), int(pcm.size()), m_aacBuffer.data(), int(m_aacBuffer.size()));
    if (n > 0) {
        PostSend(MSG_SEND_AUDIO, m_aacBuffer.data(), n, ts, true);
    }
}

void Tesmar::EncodeVideo(std::vector<BYTE>& i420, unsigned ts) {
    if (!m_running || !m_connected || !m_korvid || !m_streamReady) {
        return;
    }
    NalArray nals;
    if (m_korvid->EncodeFrame(i420.data(), nals.units, nals.count) == 0 && nals.count > 0) {
        SortNals(nals.units, nals.count, ts);
    }
}

int Tesmar::EncodeHeaders() {
    NalArray nals;
    if (m_korvid->EncodeHeader(nals.units, nals.count) < 0) {
        return -1;
    }
    SortNals(nals.units, nals.count, 0);
    return m_sps.empty() || m_pps.empty() ? -1 : 0;
}

void Tesmar::SortNals(const TNAL* nals, int count, unsigned ts) {
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
        switch (NalType(nal.type)) {
        case NalType::Sps:
            m_sps.assign(unit, unit + std::min(len, kMaxParamSetBytes));
            break;
        case NalType::Pps:
            m_pps.assign(unit, unit + std::min(len, kMaxParamSetBytes));
            if (!m_sendQueue->Post(MSG_SEND_METADATA, {}, 0, true)) {
                varnet::DebugLog("Tesmar", m_debugId.c_str(), "metadata could not be queued");
            }
            break;
        case NalType::IdrSlice:
            PostSend(MSG_SEND_KEY_FRAME, unit, len, ts, true);
            break;
        case NalType::Slice:
            PostSend(MSG_SEND_FRAME, unit, len, ts, false);
            break;
        default:  // SEI and anything else is not sent
            break;
        }
    }
}

// A congested sender loses other frames first; audio and key frames may use the reserve.
bool Tesmar::PostSend(unsigned message, const BYTE* data, int size, unsigned ts, bool urgent) {
    return m_sendQueue->Post(message, std::vector<BYTE>(data, data + size), ts, urgent);
}

void Tesmar::SendThread() {
    for (;;) {
        publish::ThreadMessage msg = m_sendQueue->Get();
        if (msg.message == publish::WM_QUIT) {
            break;
        }
        if (msg.message == MSG_SEND_METADATA) {
            Send(msg.message, {}, 0);
        } else if ((msg.message == MSG_SEND_KEY_FRAME || msg.message == MSG_SEND_FRAME ||
                    msg.message == MSG_SEND_AUDIO) &&
                   !msg.wParam.empty()) {
            Send(msg.message, msg.wParam, msg.lParam);
        }
    }
}

void Tesmar::Send(unsigned message, const std::vector<BYTE>& rec, unsigned ts) {
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
    std::vector<BYTE> body(rec.size() + kFlvFrameOverhead);
    if (message == MSG_SEND_AUDIO) {
        const int len = FlvWriteAacFrame(rec.data(), int(rec.size()), body.data(), int(body.size()));
        if (len <= 0) return;
        if (m_udpMode) {
            if (m_cloud) m_cloud->StreamSendData(body.data(), len, ts, false, 1);
        } else if (m_client) {
            m_client->SendAACPacket(body.data(), len, false, ts);
        }
        return;
    }
    const bool key = message == MSG_SEND_KEY_FRAME;
    const int len = FlvWriteVideoFrame(key, rec.data(), int(rec.size()), body.data(), int(body.size()));
    if (len <= 0) return;
    if (m_udpMode) {
        if (m_cloud) m_cloud->StreamSendData(body.data(), len, ts, key, 0);
    } else if (m_client) {
        m_client->SendH264Packet(body.data(), len, key, ts);
    }
}
