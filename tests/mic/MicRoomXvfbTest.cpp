// The room window on the test display plays its performers live: three streams from the synthetic
// publisher and one from ffmpeg, all in nginx-rtmp, reach the three public slots and a private popup
// through the room service's signatures; after nginx went down and came back every slot relinks through
// its reconnect timer; the user's own camera goes out from a slot of theirs and another player sees it.
// Screenshots under the build folder. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <filesystem>
#include <thread>

#include "CameraSource.h"
#include "ChatServer.h"
#include "MicStreamSources.h"
#include "MicTestSupport.h"
#include "Microphone.h"
#include "MsgClientThread.h"
#include "NginxRtmp.h"
#include "RoomInfoMgr.h"
#include "RoomManager.h"
#include "RoomService.h"
#include "RoomTestEnv.h"
#include "RoomWindow.h"
#include "SettingsPreview.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "UIBackendGtk.h"
#include "VideoGtkPresenter.h"
#include "Win32Window.h"
#include "ZQCommands.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

namespace {

using roomtest::kSelf;

std::string Body(std::initializer_list<std::pair<const char*, std::string>> kv) {
    std::string out;
    for (auto& [k, v] : kv) out += std::string(k) + "=" + v + "\n";
    return out;
}

// The main frame as far as entering a room goes: it keeps the enter reply.
struct FrameWnd : CWin32Window {
    HWND hwnd = nullptr;
    std::unique_ptr<EnterRoomResult> entered;
    HWND Open() { return hwnd = CreateWindowHandle(this); }
    HWND GetHWND() const { return hwnd; }
    ~FrameWnd() override {
        if (hwnd) DestroyWindow(hwnd);
    }
    LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
        if (msg == WM_ROOM_NOTIFY && wParam == ROOM_NOTIFY_ENTER_RESULT)
            entered.reset(reinterpret_cast<EnterRoomResult*>(lParam));
        return 0;
    }
};

constexpr uint32_t kRoom = 3003;
const uint32_t kPublic[3] = {1002, 2001, 2002};
constexpr uint32_t kPrivate = 2003;

std::string StreamName(uint32_t uid) {
    return std::to_string(kRoom) + "_" + std::to_string(uid);
}

using mic_test::SynthPublisher;

// Another player of a stream, as a second client would watch it.
struct Watcher : IMicPublishReplayCallBack {
    CVideoShowWnd view;
    std::shared_ptr<CMicPublishReplayAdapter> adapter = std::make_shared<CMicPublishReplayAdapter>();
    void OnLinkChange(int, std::string) override {}
    void OnVideoData(BYTE* rgb, BITMAPINFOHEADER* h) override { CMicLink::RouteVideo(rgb, h, &view); }
    void OnAudioLevel(short*) override {}
};

class MicRoomXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay({"ffmpeg"}); !why.empty()) GTEST_SKIP() << why;
        roomtest::SetUpOnce();
        Win32Init();
        ASSERT_TRUE(DuiLib::UIBackendGtkInit());
        DuiLib::CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        std::filesystem::create_directories(VARNET_BINARY_DIR "/screenshots");
        mic_test::UseFastLinksAndSyntheticSources();
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = kSelf;
            a.sid = 7777;
        });
        std::string err;
        ASSERT_TRUE(nginx.Start(&err)) << err;
        ASSERT_GT(chat.Start(), 0);
        ASSERT_GT(service.Start(), 0);
        service.SetCheckSignature(false);
        service.WithData([&](testenv::SvcData& d) {
            d.chatPort = chat.Port();
            d.users[1001].sid = 7777;
            d.rtmpBase = "rtmp://127.0.0.1:" + std::to_string(nginx.Port()) + "/vstar";
            for (uint32_t uid : {2001u, 2002u, 2003u}) {
                testenv::SvcUser u;
                u.uid = uid;
                u.nickname = "主播" + std::to_string(uid);
                u.level = 5;
                u.chatid = std::to_string(uid) + "_chat";
                d.users[uid] = u;
            }
            testenv::SvcRoom& r = d.rooms[kRoom];
            r.users.insert({2001, 2002, 2003});
            r.mics.clear();
            for (uint32_t i = 0; i < 3; ++i) r.mics[kPublic[i]] = testenv::SvcMic{i, 3, "publish", 1};
            r.mics[kPrivate] = testenv::SvcMic{0, 3, "publish", 2};
        });
        CMsgClientThread& worker = CMsgClientThread::GetInstance();
        worker.SetEndpoint(service.Endpoint());
        worker.SetRequestTimeout(3000);
        ASSERT_EQ(worker.Start(), 1);
        frame.Open();
        manager = std::make_unique<CRoomManager>(&ui);
        manager->Init(frame.GetHWND());
        started = true;
    }
    void TearDown() override {
        if (!started) return;
        manager->RemoveAll();
        manager.reset();
        CMsgClientThread::GetInstance().Stop();
        publishers.clear();
        ffmpeg.Stop();
        chat.Stop();
        service.Stop();
        nginx.Stop();
        TesmarSetFactories({});
        capture::SelectSyntheticCamera(-1);
        DuiLib::SetWindowBackendFactory(nullptr);
    }

    void Publish() {
        publishers.clear();
        for (uint32_t uid : kPublic) {
            publishers.push_back(std::make_unique<SynthPublisher>(15));
            ASSERT_EQ(PUBLISH_SUCCESS, publishers.back()->Start(nginx.Url(StreamName(uid))));
        }
        ffmpeg.Stop();
        ASSERT_TRUE(ffmpeg.Start({"ffmpeg",
                                  "-loglevel",
                                  "error",
                                  "-re",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "testsrc=size=320x240:rate=15",
                                  "-f",
                                  "lavfi",
                                  "-i",
                                  "sine=frequency=440:sample_rate=44100",
                                  "-c:v",
                                  "libx264",
                                  "-profile:v",
                                  "baseline",
                                  "-pix_fmt",
                                  "yuv420p",
                                  "-preset",
                                  "ultrafast",
                                  "-tune",
                                  "zerolatency",
                                  "-g",
                                  "15",
                                  "-c:a",
                                  "aac",
                                  "-ac",
                                  "2",
                                  "-f",
                                  "flv",
                                  nginx.Url(StreamName(kPrivate))}));
    }

    void Enter() {
        CZQEnterRoomMsg enter;
        enter.uid = kSelf;
        enter.sid = 7777;
        enter.ctxInt[0] = int(kRoom);
        enter.ctxText[0] = "欢乐大厅";
        manager->ExpectEnter(kRoom);
        ASSERT_EQ(CMsgClientThread::GetInstance().PostRequest(&enter), 1);
        ASSERT_TRUE(PumpUntil([&] { return frame.entered != nullptr; }, 5000));
        ASSERT_EQ(frame.entered->status, 1);
        manager->OnNotifyRoom(ROOM_NOTIFY_ENTER_RESULT, LPARAM(frame.entered.release()));
        ASSERT_NE(ui.GetHWND(), nullptr);
        CZQGetRoomUserMsg users;
        users.uid = kSelf;
        users.sid = 7777;
        users.rid = kRoom;
        users.ctxInt[0] = int(kRoom);
        CMsgClientThread::GetInstance().PostRequest(&users);
        ASSERT_TRUE(
            PumpUntil([&] { return CRoomInfoMgr::GetInstance().GetUserMicState(kRoom, kPrivate) == 2; }, 10000));
    }

    // The slots' views: three public, then the private slot 0.
    std::vector<CVideoShowWnd*> Views() {
        std::vector<CVideoShowWnd*> v;
        for (int i = 0; i < 3; ++i) v.push_back(&ui.Left().Public().Slot(i)->ControlView());
        v.push_back(&ui.Left().Private().Slot(0)->View());
        return v;
    }
    std::vector<CVideoGtkPresenter*> Presenters() {
        std::vector<CVideoGtkPresenter*> v;
        for (int i = 0; i < 3; ++i) v.push_back(ui.Left().Public().Slot(i)->DesktopPresenter());
        v.push_back(ui.Left().Private().Slot(0)->DesktopPresenter());
        return v;
    }
    // Every view shows video and its desktop picture keeps being drawn.
    bool AllPlaying(int ms) {
        std::vector<unsigned long> drawn;
        for (auto* p : Presenters()) drawn.push_back(p ? p->DrawCount() : 0);
        return PumpUntil(
            [&] {
                auto views = Views();
                auto presenters = Presenters();
                for (size_t i = 0; i < views.size(); ++i)
                    if (views[i]->IsShowingBackground() || !presenters[i] || presenters[i]->DrawCount() < drawn[i] + 5)
                        return false;
                return true;
            },
            ms);
    }
    void Shot(const std::string& name) {
        gdk_display_sync(gdk_display_get_default());
        PumpMessagesFor(300);
        GdkWindow* root = gdk_get_default_root_window();
        GdkPixbuf* pb = gdk_pixbuf_get_from_window(root, 0, 0, gdk_window_get_width(root), gdk_window_get_height(root));
        ASSERT_NE(pb, nullptr);
        EXPECT_TRUE(gdk_pixbuf_save(pb, (std::string(VARNET_BINARY_DIR "/screenshots/") + name).c_str(), "png", nullptr,
                                    nullptr));
        g_object_unref(pb);
    }

    bool started = false;
    testenv::NginxRtmp nginx;
    testenv::ChatServer chat;
    testenv::RoomService service;
    testenv::ChildProcess ffmpeg;
    std::vector<std::unique_ptr<SynthPublisher>> publishers;
    roomui::CRoomUI ui;
    FrameWnd frame;
    std::unique_ptr<CRoomManager> manager;
};

TEST_F(MicRoomXvfb, PerformersPlayLiveRelinkAfterTheServerCameBackAndTheOwnCameraGoesOut) {
    Publish();
    Enter();
    ASSERT_TRUE(PumpUntil([&] { return ui.Left().Private().Slot(0)->HasWindow(); }, 10000));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(kPublic[i], ui.Left().Public().Slot(i)->GetMicUid()) << i;
    EXPECT_EQ(kPrivate, ui.Left().Private().Slot(0)->GetMicUid());
    ASSERT_TRUE(AllPlaying(30000)) << nginx.ErrorLog();
    Shot("room_mic_live.png");

    // nginx goes away and comes back (on another port, as the fresh signatures tell): every slot relinks
    // through its reconnect timer (0 s, then 10 s) and plays again.
    nginx.Stop(true);
    publishers.clear();
    ffmpeg.Stop();
    ASSERT_TRUE(PumpUntil(
        [&] {
            for (auto* v : Views())
                if (!v->IsShowingBackground()) return false;
            return true;
        },
        20000));
    std::string err;
    ASSERT_TRUE(nginx.Start(&err)) << err;
    service.WithData(
        [&](testenv::SvcData& d) { d.rtmpBase = "rtmp://127.0.0.1:" + std::to_string(nginx.Port()) + "/vstar"; });
    Publish();
    EXPECT_TRUE(AllPlaying(60000)) << nginx.ErrorLog();
    EXPECT_GE(service.RequestCount("getlivesig"), 4);
    Shot("room_mic_relinked.png");

    // The user is put on private slot 1: the own camera is published from there and another player sees it.
    service.WithData([&](testenv::SvcData& d) { d.rooms[kRoom].mics[kSelf] = testenv::SvcMic{1, 3, "publish", 2}; });
    std::string url = "rtmp://127.0.0.1:" + std::to_string(nginx.Port()) + "/vstar/" + StreamName(kSelf);
    chat.PushNotice(kRoom, "notifymicon",
                    Body({{"tid", std::to_string(kSelf)},
                          {"op", "publish"},
                          {"type", "2"},
                          {"micattr", "3"},
                          {"idx", "1"},
                          {"url", url},
                          {"tm", "1"},
                          {"md5", "m"},
                          {"fid", std::to_string(kSelf)}}));
    ASSERT_TRUE(PumpUntil([&] { return ui.Left().Private().Slot(1)->HasWindow(); }, 15000));
    CPrivateMicWnd* own = ui.Left().Private().Slot(1);
    EXPECT_TRUE(own->IsOwnStream());
    EXPECT_TRUE(own->Adapter().IsPublish());
    Watcher other;
    DuiLib::RECT rc;
    rc.right = 160, rc.bottom = 120;
    ASSERT_EQ(1, other.view.Create(nullptr, &rc, ""));
    other.adapter->SetOwner(&other);
    other.adapter->SetParam(nginx.Url(StreamName(kSelf)), false, 3);
    bool seen = PumpUntil(
        [&] {
            std::string text;
            if (other.adapter->StartLink(text) != 0) return false;
            return PumpUntil([&] { return !other.view.IsShowingBackground(); }, 8000);
        },
        40000);
    EXPECT_TRUE(seen) << nginx.ErrorLog();
    EXPECT_TRUE(PumpUntil([&] { return !own->View().IsShowingBackground(); }, 10000));
    Shot("room_mic_own.png");
    other.adapter->StopActive(true);
    other.adapter->SetOwner(nullptr);
    other.view.Destroy();
}

TEST_F(MicRoomXvfb, SettingsDialogListsTheSyntheticCameraAndShowsItsPreview) {
    Enter();
    // The column's "视频设置" button opens the dialog on its video page.
    DuiLib::TNotifyUI click;
    click.sType = "click";
    click.pSender = ui.m_PaintManager.FindControl("VideoSetupBTN");
    ASSERT_NE(click.pSender, nullptr);
    EXPECT_TRUE(ui.Left().OnNotify(click));
    CRoomConfigSetDlg& dlg = ui.Left().Settings();
    ASSERT_NE(dlg.GetHWND(), nullptr);
    auto* tab = dynamic_cast<DuiLib::CTabLayoutUI*>(dlg.m_PaintManager.FindControl("RoomConfigOptionTab"));
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->GetCurSel(), 3);
    auto* combo = dynamic_cast<DuiLib::CComboUI*>(dlg.m_PaintManager.FindControl("SelVideoDeviceCombo"));
    ASSERT_NE(combo, nullptr);
    ASSERT_GE(combo->GetCount(), 1);
    char name[250] = {0};
    Grabbel::CameraName(0, name, sizeof(name));
    EXPECT_EQ(std::string(name), std::string(combo->GetText().c_str()));
    auto* preview = dynamic_cast<roomui::CVideoShowPreview*>(dlg.Preview());
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(PumpUntil(
        [&] {
            return preview->HasWindow() && !preview->View().IsShowingBackground() && preview->DesktopPresenter() &&
                   preview->DesktopPresenter()->DrawCount() > 5;
        },
        15000));
    Shot("room_settings_preview.png");
    dlg.CloseDialog(2);
}

}  // namespace
