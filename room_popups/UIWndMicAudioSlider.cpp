#include "UIWndMicAudioSlider.h"

#include "Micrel.h"
#include "Tovel.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace {
const char kSection[] = "RoomAudioSetSection";
}

const char* CUIWndMicAudioSlider::ValueKey() const {
    return m_nKind == KIND_SPEAKER ? "AudioValue" : m_nKind == KIND_MICROPHONE ? "MicValue" : nullptr;
}

const char* CUIWndMicAudioSlider::MuteKey() const {
    return m_nKind == KIND_SPEAKER ? "AudioMute" : m_nKind == KIND_MICROPHONE ? "MicMute" : nullptr;
}

void CUIWndMicAudioSlider::InitWindow() {
    m_pMute = static_cast<COptionUI*>(m_PaintManager.FindControl("option_mic"));
    m_pSlider = static_cast<CSliderUI*>(m_PaintManager.FindControl("sliderChangeValue"));
    if (m_pMute && !m_pMute->GetInterface("Option")) m_pMute = nullptr;
    if (m_pSlider && !m_pSlider->GetInterface("Slider")) m_pSlider = nullptr;
    if (m_pMute && (m_nKind == KIND_SPEAKER || m_nKind == KIND_MICROPHONE)) {
        const int top = m_nKind == KIND_SPEAKER ? 0 : 20;
        const char* kinds[4] = {"0,%d,23,%d", "23,%d,46,%d", "46,%d,69,%d", "69,%d,92,%d"};
        std::string img[4];
        for (int i = 0; i < 4; ++i) {
            char src[32];
            snprintf(src, sizeof(src), kinds[i], top, top + 20);
            img[i] = std::string("file='option_volumesetup.png' source='") + src + "'";
        }
        m_pMute->SetNormalImage(img[0].c_str());
        m_pMute->SetHotImage(img[1].c_str());
        m_pMute->SetSelectedImage(img[2].c_str());
        m_pMute->SetSelectedHotImage(img[3].c_str());
    }
    if (m_pSlider) m_pSlider->SetValue(GetStoredVolume());
    // Set without the event: opening the window changes nothing.
    if (m_pMute) m_pMute->Selected(IsStoredMute(), false);
}

void CUIWndMicAudioSlider::Notify(TNotifyUI& msg) {
    if (msg.sType == DUI_MSGTYPE_SELECTCHANGED && msg.pSender == m_pMute) OnMuteClick();
    else if (msg.sType == DUI_MSGTYPE_VALUECHANGED && msg.pSender == m_pSlider) OnValueChanged();
    else WindowImplBase::Notify(msg);
}

LRESULT CUIWndMicAudioSlider::HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    LRESULT r = WindowImplBase::HandleMessage(uMsg, wParam, lParam);
    if (uMsg == WM_MOUSELEAVE) ShowWindow(false);
    return r;
}

void CUIWndMicAudioSlider::ApplyVolume(int volume) {
    if (m_nKind == KIND_SPEAKER) Tovel::SetVolume(BYTE(volume));
    else if (m_nKind == KIND_MICROPHONE) Micrel::SetVolume(BYTE(volume));
}

int CUIWndMicAudioSlider::GetStoredVolume() {
    int v = 80;
    IConfigManager* cfg = AfxGetConfigManager();
    if (!ValueKey() || !cfg) return 80;
    if (!cfg->GetInt(kSection, ValueKey(), v)) return 80;
    return unsigned(v) > 100u ? 80 : v;
}

void CUIWndMicAudioSlider::StoreVolume(int volume) {
    IConfigManager* cfg = AfxGetConfigManager();
    if (ValueKey() && cfg) cfg->SetInt(kSection, ValueKey(), volume);
}

bool CUIWndMicAudioSlider::IsStoredMute() {
    int v = 0;
    IConfigManager* cfg = AfxGetConfigManager();
    if (!MuteKey() || !cfg || !cfg->GetInt(kSection, MuteKey(), v)) return false;
    return v == 1;
}

void CUIWndMicAudioSlider::StoreMute(bool muted) {
    IConfigManager* cfg = AfxGetConfigManager();
    if (MuteKey() && cfg) cfg->SetInt(kSection, MuteKey(), muted ? 1 : 0);
}

void CUIWndMicAudioSlider::OnMuteClick() {
    if (!m_pMute || !m_pSlider) return;
    const bool muted = m_pMute->IsSelected();
    if (m_pCallback) m_pCallback->OnMuteChanged(m_nKind, muted);
    if (muted) {
        m_pSlider->SetValue(0);
        StoreMute(true);
        ApplyVolume(0);
    } else {
        StoreMute(false);
        int v = GetStoredVolume();
        ApplyVolume(v);
        m_pSlider->SetValue(v);
    }
}

void CUIWndMicAudioSlider::OnValueChanged() {
    if (!m_pSlider) return;
    int v = m_pSlider->GetValue();
    ApplyVolume(v);
    StoreVolume(v);
    StoreMute(false);
    if (m_pMute && m_pMute->IsSelected()) {
        m_pMute->Selected(false, false);
        if (m_pCallback) m_pCallback->OnMuteChanged(m_nKind, false);
    }
}
