#include "VideoDataCB.h"

#include "FourierTransformer.h"
#include "UIControls.h"
#include "VideoShowWnd.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr UINT kMsgLevel = WM_USER + 1;
}

struct CVideoDataCB::Relay : CWin32Window {
    CVideoDataCB* owner = nullptr;
    LRESULT HandleMessage(UINT msg, WPARAM, LPARAM) override {
        if (msg == kMsgLevel) {
            int level = owner->m_pendingLevel.exchange(-1);
            if (level >= 0 && owner->m_level) owner->m_level->SetValue(level);
        }
        return 0;
    }
};

CVideoDataCB::CVideoDataCB() : m_relay(std::make_unique<Relay>()) {
    m_relay->owner = this;
    m_relayWnd = CreateWindowHandle(m_relay.get());
}

CVideoDataCB::~CVideoDataCB() {
    HWND h = m_relayWnd.exchange(nullptr);
    if (h) DestroyWindow(h);
}

void CVideoDataCB::VideoBufferCB(double, BYTE*, long) {}

void CVideoDataCB::VideoFrameCB(BYTE* rgb24, long length) {
    if (CVideoShowWnd* wnd = m_preview) wnd->InputFrame(length, rgb24);
}

int CVideoDataCB::ChunkLevel(const BYTE* pcm, long length) {
    if (!pcm || length < 2) return -1;
    int n = static_cast<int>(std::min<long>(length / 2, 100));
    unsigned short samples[100];
    std::memcpy(samples, pcm, static_cast<size_t>(n) * 2);
    float levels[100];
    int got = FourierTransformer::FFTDb(samples, n, levels, n);
    unsigned sum = 0;
    for (int i = 0; i < got; ++i) sum += static_cast<unsigned>(static_cast<int>(levels[i]));
    return static_cast<int>(sum / static_cast<unsigned>(n));
}

void CVideoDataCB::AudioBufferCB(double, BYTE* pcm, long length) {
    int level = ChunkLevel(pcm, length);
    if (level < 0) return;
    if (m_pendingLevel.exchange(level) < 0) {
        if (HWND h = m_relayWnd.load()) PostMessage(h, kMsgLevel, 0, 0);
    }
}
