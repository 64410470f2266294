#include "MicTestSupport.h"

#include "MicLink.h"
#include "RoomNotify.h"

#include <gtest/gtest.h>
#include "Win32Sync.h"
#include "ZqModConfig.h"

#include <cstdlib>
#include <thread>
#include <type_traits>
#include <unistd.h>
#include "TestUtil.h"

namespace mic_test {

void UseFreshConfig() {
    const std::string dir = testsupport::MakeTempDir("mic_test");
    if (!dir.empty()) setenv("VARNET_DATA_DIR", dir.c_str(), 1);
    AfxReleaseConfigManager();
}

LRESULT RecordingWnd::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_MIC_LINK_RESULT) {
        std::lock_guard<std::mutex> lock(m);
        linkResults.push_back(wParam);
    } else if (msg == WM_TIMER && wParam == MIC_RECONNECT_TIMER_ID) {
        KillTimer(Win32Handle(), MIC_RECONNECT_TIMER_ID);
        ++timers;
        if (onTimer) onTimer();
    } else if (msg == WM_ROOM_NOTIFY && wParam == ROOM_NOTIFY_CHAT_LINE) {
        std::unique_ptr<RoomChatLine> n(reinterpret_cast<RoomChatLine*>(lParam));
        std::lock_guard<std::mutex> lock(m);
        notices.push_back(n->html);
        EXPECT_EQ(2, n->flags);
    }
    return 0;
}

int FakeScript::Next(DWORD tick) {
    int code;
    {
        std::lock_guard<std::mutex> lock(m);
        attemptTicks.push_back(tick);
        code = codes[std::min(next, codes.size() - 1)];
        ++next;
    }
    for (int waited = 0; waited < blockMs && !cut; waited += 5) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return code;
}

namespace {

template <class Iface, class Param, class Notify>
struct FakeSide : Iface {
    FakeScript* s;
    bool audio = true, video = true;
    explicit FakeSide(FakeScript* script) : s(script) {}
    Notify* notify = nullptr;
    int Init(Param*, Notify* n) override {
        notify = n;
        s->cut = false;
        return s->Next(s->clock ? s->clock() : GetTickCount());
    }
    void Uint() override {
        if (s->lostOnStop && notify) {
            if constexpr (std::is_same_v<Notify, IBaseReplayNotify>) notify->OnReplayStatus(REPLAY_CONNECTION_LOST);
            else notify->OnPublishStatus(PUBLISH_CONNECTION_LOST);
        }
        s->cut = true;
        ++s->uints;
    }
    int IsAudioShow() override { return audio ? 1 : 0; }
    int IsVideoShow() override { return video ? 1 : 0; }
    void AudioShowSwitch(bool on) override {
        audio = on;
        ++s->switches;
    }
    void VideoShowSwitch(bool on) override {
        video = on;
        ++s->switches;
    }
};

}  // namespace

MicMediaFactory FakeFactory(FakeScript* player, FakeScript* publisher) {
    MicMediaFactory f;
    f.player = [player] { return std::make_unique<FakeSide<IMicPlayer, ZQReplayParam, IBaseReplayNotify>>(player); };
    f.publisher = [publisher] {
        return std::make_unique<FakeSide<IMicPublisher, ZQPublishParam, IBasePublishNotify>>(publisher);
    };
    return f;
}

int SynthPublisher::Start(const std::string& url) {
    ZQPublishParam p;
    snprintf(p.url, sizeof(p.url), "%s", url.c_str());
    p.timeout = p.recvTimeout = p.sendTimeout = 3;
    p.video.frameRate = m_fps;
    p.video.keyInterval = 10;
    return m_tesmar.Init(&p, &m_notify);
}

}  // namespace mic_test
