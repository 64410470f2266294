// The small volume window under the mic column's speaker and microphone buttons: a mute toggle
// ("option_mic", selected = muted) and a slider ("sliderChangeValue", 0..100). The volume goes at once to
// the sound output (kind 1) or the microphone capture (kind 2); volume and mute are kept in
// "RoomAudioSetSection". The window hides when the mouse leaves it.
//
// Threads: the UI thread only.
#pragma once

#include <UIlib.h>

class IWndCallBackMicAudioSlider {
public:
    virtual ~IWndCallBackMicAudioSlider() = default;
    virtual void OnMuteChanged(int kind, bool muted) = 0;
};

class CUIWndMicAudioSlider : public DuiLib::WindowImplBase {
public:
    enum { KIND_SPEAKER = 1, KIND_MICROPHONE = 2 };

    // Set by the owner before Create.
    int m_nKind = 0;
    IWndCallBackMicAudioSlider* m_pCallback = nullptr;

    const char* GetWindowClassName() const override { return "UIChkUserInfo"; }
    void InitWindow() override;
    void Notify(DuiLib::TNotifyUI& msg) override;
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    void ApplyVolume(int volume);
    // The stored volume of the kind (80 when absent, above 100 or negative, or for an unknown kind).
    int GetStoredVolume();
    void StoreVolume(int volume);
    bool IsStoredMute();

protected:
    DuiLib::CDuiString GetSkinFile() override { return "MicAudioSliderWnd.xml"; }
    DuiLib::CDuiString GetSkinFolder() override { return "skin\\"; }
    DuiLib::UILIB_RESOURCETYPE GetResourceType() const override { return DuiLib::UILIB_ZIP; }
    DuiLib::CDuiString GetZIPFileName() const override { return "VarnetSkin.zip"; }

private:
    void OnMuteClick();
    void OnValueChanged();
    void StoreMute(bool muted);
    const char* ValueKey() const;
    const char* MuteKey() const;

    DuiLib::COptionUI* m_pMute = nullptr;
    DuiLib::CSliderUI* m_pSlider = nullptr;
};
