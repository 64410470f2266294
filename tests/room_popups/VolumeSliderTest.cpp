// The volume slider: stored values, mute and unmute, moving the slider while muted.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

#include "Microphone.h"
#include "UiTestSupport.h"
#include "Micrel.h"
#include "Tovel.h"
#include "Win32Window.h"
#include "UIWndMicAudioSlider.h"
#include "Win32.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace {

struct Calls : IWndCallBackMicAudioSlider {
    std::vector<std::pair<int, bool>> seen;
    void OnMuteChanged(int kind, bool muted) override { seen.push_back({kind, muted}); }
};

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        static bool once = [] {
            setenv("VARNET_DATA_DIR", duitest::TempDir("room_popups_slider").c_str(), 1);
            AfxReleaseConfigManager();
            Win32Init();
            CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
            return true;
        }();
        (void)once;
    }
    IConfigManager* Cfg() { return AfxGetConfigManager(); }
};

CSliderUI* Slider(CUIWndMicAudioSlider& w) {
    return static_cast<CSliderUI*>(w.m_PaintManager.FindControl("sliderChangeValue"));
}
COptionUI* Mute(CUIWndMicAudioSlider& w) {
    return static_cast<COptionUI*>(w.m_PaintManager.FindControl("option_mic"));
}

// Peak of the microphone's next buffers (a tone stands in for the device); -1 when none arrives.
struct Peak : IBaseAudioCB {
    std::atomic<int> peak{-1};
    std::atomic<int> buffers{0};
    void AudioBufferCB(double, BYTE* pcm, long len) override {
        int p = 0;
        for (long i = 0; i + 1 < len; i += 2) p = std::max(p, std::abs(int(int16_t(pcm[i] | (pcm[i + 1] << 8)))));
        peak = p;
        ++buffers;
    }
};

int MicPeak() {
    Micrel mic;
    Peak sink;
    mic.SetBuffCB(&sink);
    if (!mic.OpenMicrophone(0, 11025, 1, 1024) || !mic.StartCapture()) return -2;
    PumpUntil([&] { return sink.buffers >= 2; }, 5000);
    mic.StopCapture();
    mic.CloseMicrophone();
    return sink.peak;
}

}  // namespace

TEST_F(SliderTest, MicrophoneMuteSilencesTheCapture) {
    publish::SetMicrophoneTone(440);
    Cfg()->SetInt("RoomAudioSetSection", "MicValue", 50);
    Cfg()->SetInt("RoomAudioSetSection", "MicMute", 0);
    CUIWndMicAudioSlider w;
    w.m_nKind = CUIWndMicAudioSlider::KIND_MICROPHONE;
    ASSERT_NE(w.Create(nullptr, "slider", 0, 0, 0, 0, 0, 0), nullptr);
    Mute(w)->Selected(true);
    EXPECT_EQ(MicPeak(), 0);
    Mute(w)->Selected(false);
    EXPECT_GT(MicPeak(), 0);
    publish::SetMicrophoneTone(0);
    ::DestroyWindow(w.GetHWND());
}

TEST_F(SliderTest, StoredVolumeOutOfRangeOpensAtEighty) {
    struct Row {
        const char* stored;
        int slider;
    } rows[] = {
        {"150", 80}, {"-5", 80}, {nullptr, 80}, {"0", 0}, {"100", 100}, {"37", 37}, {"abc", 80},
    };
    for (const Row& r : rows) {
        Cfg()->Reload();
        if (r.stored) Cfg()->SetString("RoomAudioSetSection", "MicValue", r.stored, 1);
        else Cfg()->SetString("RoomAudioSetSection", "MicValue", "", 1);
        CUIWndMicAudioSlider w;
        w.m_nKind = CUIWndMicAudioSlider::KIND_MICROPHONE;
        ASSERT_NE(w.Create(nullptr, "slider", 0, 0, 0, 0, 0, 0), nullptr);
        ASSERT_NE(Slider(w), nullptr);
        EXPECT_EQ(Slider(w)->GetValue(), r.slider) << (r.stored ? r.stored : "absent");
        ::DestroyWindow(w.GetHWND());
    }
    CUIWndMicAudioSlider other;
    other.m_nKind = 3;
    EXPECT_EQ(other.GetStoredVolume(), 80);
    double before = Tovel::m_dVolume;
    other.ApplyVolume(10);  // unknown kind: nothing
    EXPECT_EQ(Tovel::m_dVolume.load(), before);
}

TEST_F(SliderTest, MuteKeepsVolumeAndSliderUnmutes) {
    Cfg()->SetInt("RoomAudioSetSection", "AudioValue", 60);
    Cfg()->SetInt("RoomAudioSetSection", "AudioMute", 0);
    Calls calls;
    CUIWndMicAudioSlider w;
    w.m_nKind = CUIWndMicAudioSlider::KIND_SPEAKER;
    w.m_pCallback = &calls;
    ASSERT_NE(w.Create(nullptr, "slider", 0, 0, 0, 0, 0, 0), nullptr);
    ASSERT_TRUE(Mute(w) && Slider(w));
    EXPECT_FALSE(Mute(w)->IsSelected());

    Mute(w)->Selected(true);  // the user mutes
    EXPECT_EQ(Slider(w)->GetValue(), 0);
    EXPECT_DOUBLE_EQ(Tovel::m_dVolume.load(), 0.0);
    int v = -1;
    Cfg()->GetInt("RoomAudioSetSection", "AudioMute", v);
    EXPECT_EQ(v, 1);
    Cfg()->GetInt("RoomAudioSetSection", "AudioValue", v);
    EXPECT_EQ(v, 60);

    Mute(w)->Selected(false);  // unmute: the stored volume comes back
    EXPECT_EQ(Slider(w)->GetValue(), 60);
    EXPECT_DOUBLE_EQ(Tovel::m_dVolume.load(), 0.6 * 1.5);
    Cfg()->GetInt("RoomAudioSetSection", "AudioMute", v);
    EXPECT_EQ(v, 0);

    Mute(w)->Selected(true);
    Slider(w)->SetValue(30);  // the user drags while muted
    w.m_PaintManager.SendNotify(Slider(w), DUI_MSGTYPE_VALUECHANGED);
    EXPECT_FALSE(Mute(w)->IsSelected());
    EXPECT_DOUBLE_EQ(Tovel::m_dVolume.load(), 0.3 * 1.5);
    Cfg()->GetInt("RoomAudioSetSection", "AudioValue", v);
    EXPECT_EQ(v, 30);
    Cfg()->GetInt("RoomAudioSetSection", "AudioMute", v);
    EXPECT_EQ(v, 0);
    std::vector<std::pair<int, bool>> want{{1, true}, {1, false}, {1, true}, {1, false}};
    EXPECT_EQ(calls.seen, want);

    // A stored mute opens with the toggle selected.
    Cfg()->SetInt("RoomAudioSetSection", "MicMute", 1);
    CUIWndMicAudioSlider mic;
    mic.m_nKind = CUIWndMicAudioSlider::KIND_MICROPHONE;
    ASSERT_NE(mic.Create(nullptr, "mic", 0, 0, 0, 0, 0, 0), nullptr);
    EXPECT_TRUE(Mute(mic)->IsSelected());
    ::DestroyWindow(mic.GetHWND());
    ::DestroyWindow(w.GetHWND());
}
