// Every nested loop of the program closed under: the real lobby and the real room window of a room of the
// local room service, on the test display. For each call site of the table (scripts/check-nested-loops keeps
// it whole) the site's loop is opened as a user opens it; while it runs the room closes (or the lobby quits),
// then the loop is ended as a user would end it. Nothing may act for the closed room afterwards: no request
// goes out, no window stays or opens; and nothing may touch a freed object (run it under the sanitizers).
// VARNET_TEST_DELETE_AT_ONCE=1 switches the runtime's deferred deletion off: then the test fails.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ChatColumnPopups.h"
#include "ChatNoticePopups.h"
#include "ChatServer.h"
#include "LobbyMessages.h"
#include "LoginDlg.h"
#include "MenuClick.h"
#include "MicTestSupport.h"
#include "MsgClientThread.h"
#include "RoomConfigSetDlg.h"
#include "RoomInfoMgr.h"
#include "RoomManager.h"
#include "RoomService.h"
#include "RoomTestEnv.h"
#include "RoomWindow.h"
#include "StartUp.h"
#include "SyntheticCamera.h"
#include "TestKeys.h"
#include "TestUtil.h"
#include "UIBackendGtk.h"
#include "UIChatFaceSelectPanel.h"
#include "UIGiftPopups.h"
#include "UIRoomManager.h"
#include "UITestDriver.h"
#include "UpdateTipDlg.h"
#include "UIlib.h"
#include "VarnetFrameWnd.h"
#include "ZqModConfig.h"
#include "Win32Window.h"
#include "ZQCommands.h"
#include "ZQMessage.h"
#include "ZqMessageBox.h"

using namespace DuiLib;
using namespace roomui;

namespace {

constexpr uint32_t kRoom = 3003;
constexpr uint32_t kSelf = roomtest::kSelf;
constexpr uint32_t kPerformer = 2001;
constexpr uint32_t kOther = 2002;

class RightsHalvec : public roomtest::FakeHalvec {
public:
    bool HasRight(int, int, int) override { return true; }
    bool HasRight2(int, int, int) override { return true; }
    bool HasRightPair(int, int, int) override { return true; }
};

// A click as the window's notification of it (what a press on the control ends in).
void Press(WindowImplBase* w, const char* name) {
    CControlUI* c = w ? w->m_PaintManager.FindControl(name) : nullptr;
    ASSERT_NE(nullptr, c) << "no control " << name;
    TNotifyUI click;
    click.sType = DUI_MSGTYPE_CLICK;
    click.pSender = c;
    w->Notify(click);
}

// Nested loop levels running now, as a source dispatched inside them sees it.
int LoopLevel() {
    return g_main_depth() - 1;
}

// The loop window a user sees on top now: the newest of our windows running a modal loop (handles grow), else
// the emoticon picker shown, else a GTK dialog of its own.
struct Top {
    HWND ours = nullptr;
    GtkWidget* dialog = nullptr;
};
Top FindTop() {
    Top t;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next) {
        auto* w = GTK_WIDGET(l->data);
        if (!gtk_widget_get_visible(w)) continue;
        HWND h = static_cast<HWND>(g_object_get_data(G_OBJECT(w), "varnet-hwnd"));
        CWindowWnd* wnd = h ? CWindowWnd::FromHandle(h) : nullptr;
        bool loop = wnd && (wnd->IsModal() || dynamic_cast<CUIChatFaceSelectPanel*>(wnd));
        if (loop && (!t.ours || h > t.ours)) t.ours = h;
        if (!h && GTK_IS_DIALOG(w)) t.dialog = w;
    }
    g_list_free(all);
    if (t.dialog) g_object_ref(t.dialog);
    return t;
}

// Ends the loop of `t` as a user would: the first item of a menu, OK of a box or dialog, a click outside the
// picker. Nothing when it has gone already.
void EndAsUser(const Top& t) {
    if (t.dialog) {
        if (gtk_widget_get_visible(t.dialog)) gtk_dialog_response(GTK_DIALOG(t.dialog), GTK_RESPONSE_OK);
        g_object_unref(t.dialog);
    }
    CWindowWnd* w = t.ours ? CWindowWnd::FromHandle(t.ours) : nullptr;
    if (!w) return;
    if (dynamic_cast<CZqMenuUI*>(w)) {
        menutest::ChooseMenuItem(t.ours, 0);
    } else if (auto* box = dynamic_cast<CZqMessageBox*>(w)) {
        Press(box, "MSG_ACTION_BTN_OK");
    } else if (dynamic_cast<CUIChatFaceSelectPanel*>(w)) {
        w->SendMessage(WM_KILLFOCUS);
    } else {
        w->Close(IDOK);
    }
}

// A right-button press on the page inside a chat pane's place.
void RightPress(CControlUI* place) {
    auto* host = dynamic_cast<CNativeHostUI*>(place);
    ASSERT_NE(nullptr, host);
    GList* kids = gtk_container_get_children(GTK_CONTAINER(host->GetNativeWidget()));
    GtkWidget* web = kids ? GTK_WIDGET(kids->data) : nullptr;
    g_list_free(kids);
    ASSERT_NE(nullptr, web);
    GdkEvent* ev = gdk_event_new(GDK_BUTTON_PRESS);
    ev->button.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(web)));
    ev->button.x = ev->button.y = 20;
    ev->button.button = 3;
    ev->button.time = GDK_CURRENT_TIME;
    gdk_event_set_device(ev, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_widget_event(web, ev);
    gdk_event_free(ev);
}

// Counts visible top-level windows of this process but the lobby's.
int VisibleWindows(HWND lobby) {
    int n = 0;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l; l = l->next) {
        auto* w = GTK_WIDGET(l->data);
        HWND h = static_cast<HWND>(g_object_get_data(G_OBJECT(w), "varnet-hwnd"));
        if ((!h || h != lobby) && gtk_widget_get_visible(w) && gtk_widget_get_mapped(w)) ++n;
    }
    g_list_free(all);
    return n;
}

class NestedLoops;

// One call site: how a user opens its loop (each step runs inside the loop the step before opened), and what
// ends under it: the room closes, the lobby quits, or the program quits (WM_QUIT, a signal's).
enum class Ending { kRoom, kLobby, kQuit };
struct Site {
    using Step = std::function<void(NestedLoops&)>;
    Site(const char* name, std::vector<Step> s, Ending e = Ending::kRoom, Step before = {}, int later = 0,
         bool quits = false)
        : site(name), steps(std::move(s)), ending(e), prepare(std::move(before)), laterAt(later), quitsAfter(quits) {}
    const char* site;
    std::vector<Step> steps;
    Ending ending;
    Step prepare;  // before the loop, in the test body
    // The loop comes after the last step has returned (an answer, a posted message, a menu's choice), at
    // this loop level (0: the number of steps).
    int laterAt;
    bool quitsAfter;  // the site quits the program itself once its loop returned
};

class NestedLoops : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        roomtest::UsePrivateFolders("varnet-loops");
        static RightsHalvec halvec;
        roomtest::RegisterCatalogue(halvec);
    }
    static void TearDownTestSuite() {
        CMsgClientThread::GetInstance().Stop();
        chat.Stop();
        service.Stop();
    }
    void SetUp() override {
        if (std::string why = testsupport::UseTestDisplay(); !why.empty()) GTEST_SKIP() << why;
        Win32Init();
        ASSERT_TRUE(UIBackendGtkInit());
        CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
        if (const char* v = std::getenv("VARNET_TEST_DELETE_AT_ONCE"); v && *v == '1') SetDeleteWhenIdleEnabled(false);
        CMicSlot::SetMediaFactory(mic_test::FakeFactory(&player, &publisher));
        CGlobalDataApp::GetInstance().SetSignKeys(testenv::kRoomServiceKeyA, testenv::kRoomServiceKeyB);
        // The services and the request worker once per test program (the worker is not started twice).
        static bool servicesUp = chat.Start() > 0 && service.Start() > 0;
        ASSERT_TRUE(servicesUp);
        service.SetCheckSignature(false);
        service.WithData([&](testenv::SvcData& d) {
            d.chatPort = chat.Port();
            d.users[kSelf].sid = s_sid;
            d.users[kSelf].level = 500;  // may set welcome words (the welcome menu has its submenu)
            d.users[kSelf].xiubi = 100000;
            for (uint32_t uid : {kPerformer, kOther}) {
                testenv::SvcUser u;
                u.uid = uid;
                u.nickname = "user" + std::to_string(uid);
                u.level = 5;
                u.chatid = std::to_string(uid) + "_chat";
                d.users[uid] = u;
            }
            testenv::SvcRoom& r = d.rooms[kRoom];
            r.users.insert({kPerformer, kOther});
            r.mics.clear();
            r.mics[kPerformer] = testenv::SvcMic{0, 3, "publish", 1};
            r.roles[kSelf] = 40;  // the owner: every menu and dialog of the room is offered
        });
        static bool workerUp = [] {
            CMsgClientThread& worker = CMsgClientThread::GetInstance();
            worker.SetEndpoint(service.Endpoint());
            worker.SetRequestTimeout(3000);
            return worker.Start() == 1;
        }();
        ASSERT_TRUE(workerUp);
        CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) {
            a.uid = kSelf;
            a.sid = s_sid;
            a.level = 500;
            a.nickname = "me";
            a.loginType = 0;
        });
        frame = std::make_unique<CVarnetFrameWnd>(std::make_unique<CRoomManager>(&ui));
        ASSERT_NE(nullptr, frame->Create(nullptr, "lobby", 0x10000000u, 0, 0, 0, 800, 572));
        started = true;
    }
    void TearDown() override {
        if (!started) return;
        if (frame) {
            // The logout goes out before the next test signs in again.
            const int logouts = service.RequestCount("logout");
            frame->CloseInOrder();
            if (CGlobalDataApp::GetInstance().GetUid())
                PumpUntil([&] { return service.RequestCount("logout") > logouts; }, 5000);
            if (::IsWindow(frame->GetHWND())) ::DestroyWindow(frame->GetHWND());
        }
        PumpUntil([] { return !InNestedLoop(); }, 100);
        frame.reset();
        CMicSlot::SetMediaFactory({});
        capture::SelectSyntheticCamera(-1);
        SetDeleteWhenIdleEnabled(true);
    }

    // Enters the room through the lobby, as a click on it does; true once its window and chat are ready.
    bool EnterRoom() {
        if (!frame->EnterRoom(kRoom, 0, "", "欢乐大厅")) return false;
        bool ok = PumpUntil(
            [&] {
                return ui.GetHWND() && ui.GetRoomLogic() && ui.GetRoomLogic()->IsChatReady() &&
                       CRoomInfoMgr::GetInstance().GetUserMicState(kRoom, kPerformer) != 0 &&
                       ui.Left().Public().Slot(0) && ui.Left().Public().Slot(0)->GetMicUid() == kPerformer;
            },
            20000);
        return ok;
    }

    // Opens the site's loop, closes the room (or quits the lobby) inside it, ends the loop as a user.
    void Cross(const Site& s) {
        SCOPED_TRACE(s.site);
        if (!frame || !::IsWindow(frame->GetHWND())) ReopenLobby();
        const int windowsBefore = VisibleWindows(frame->GetHWND());
        if (s.ending == Ending::kRoom) {
            ASSERT_TRUE(EnterRoom());
        }
        if (s.prepare) s.prepare(*this);
        struct Run {
            NestedLoops* self;
            const Site* site;
            size_t posted = 0, returned = 0;
            bool closed = false;
            int idleTicks = 0;
        } run{this, &s};
        // Each step is posted once the loop of the step before runs; the close and the user's end follow the
        // last one, from inside its loop.
        auto tick = [](gpointer p) -> gboolean {
            auto* r = static_cast<Run*>(p);
            if (r->closed) return G_SOURCE_CONTINUE;
            const size_t steps = r->site->steps.size();
            const int at = r->site->laterAt ? r->site->laterAt : int(steps);
            if (r->posted < steps && LoopLevel() == int(r->posted) && r->returned == 0) {
                const size_t k = r->posted++;
                PostToUIThread([r, k] {
                    r->site->steps[k](*r->self);
                    ++r->returned;
                });
            } else if (r->site->laterAt && r->posted == steps && r->returned >= steps && LoopLevel() < at &&
                       ++r->idleTicks % 200 == 0) {
                // A loop that comes with an answer: asked again now and then until it comes.
                PostToUIThread([r] { r->site->steps.back()(*r->self); });
            } else if (r->posted == steps && LoopLevel() >= at && (!r->site->laterAt || r->returned > 0)) {
                r->closed = true;
                Top top = FindTop();
                NestedLoops* self = r->self;
                const Ending ending = r->site->ending;
                PostToUIThread([self, ending] { self->Close(ending); });
                PostToUIThread([top] { EndAsUser(top); });
            }
            return G_SOURCE_CONTINUE;
        };
        guint source = g_timeout_add(5, tick, &run);
        bool done = PumpUntil([&] { return run.returned == s.steps.size() && run.closed; }, 30000);
        g_source_remove(source);
        ASSERT_TRUE(done) << "the loop did not run or did not end (steps returned " << run.returned << ")";
        // A quit is taken by the next loop: this one.
        if (s.ending == Ending::kQuit || s.quitsAfter) RunMessageLoop();
        // The objects deferred meanwhile go now.
        int turns = 0;
        PumpUntil([&] { return ++turns > 3; }, 1000);
        // Nothing went out for the closed room after the close but the close's own leaving and logging out:
        // a request of ours queued now comes after anything queued before.
        CZQGetRoomUserMsg sentinel;
        sentinel.uid = kSelf;
        sentinel.sid = s_sid;
        sentinel.rid = kRoom;
        const int sentinels = service.RequestCount("getroomuser");
        CMsgClientThread::GetInstance().PostRequest(&sentinel);
        ASSERT_TRUE(PumpUntil([&] { return service.RequestCount("getroomuser") > sentinels; }, 10000));
        for (const auto& [cmd, n] : service.RequestCounts()) {
            const int before = countsAtClose.count(cmd) ? countsAtClose[cmd] : 0;
            // The close's own leaving and logging out, the worker's heartbeat under way, the sentinel.
            const bool closes = cmd == "exitroom" || cmd == "logout" || cmd == "heartbeat";
            const int own = closes ? n : cmd == "getroomuser" ? before + 1 : before;
            EXPECT_LE(n, own) << "\"" << cmd << "\" went out after the close";
        }
        EXPECT_EQ(ui.GetHWND(), nullptr);
        const HWND lobby = frame ? frame->GetHWND() : nullptr;
        PumpUntil([&] { return VisibleWindows(lobby) <= windowsBefore; }, 3000);
        EXPECT_LE(VisibleWindows(lobby), windowsBefore) << "a window stayed or opened";
    }

    // The room closes as the room manager closes it for a kick or the service's close; the lobby quits as
    // from its tray menu; the program quits as on a signal.
    void Close(Ending ending) {
        countsAtClose = service.RequestCounts();
        if (ending == Ending::kLobby) {
            frame->CloseInOrder();
            ::DestroyWindow(frame->GetHWND());
        } else if (ending == Ending::kQuit) {
            ::PostQuitMessage(0);
        } else if (CRoomManager* rm = ui.GetHWND() ? frame->GetRoomManager() : nullptr) {
            rm->RemoveAll();
        }
    }

    // A new lobby for the user, signed in again (the quit logged the session out).
    void ReopenLobby() {
        if (frame && ::IsWindow(frame->GetHWND())) ::DestroyWindow(frame->GetHWND());
        frame.reset();
        // A new session, as a new login gives: a refusal for the one logged out concerns no later lobby.
        const uint32_t sid = ++s_sid;
        service.WithData([sid](testenv::SvcData& d) { d.users[kSelf].sid = sid; });
        CGlobalDataApp::GetInstance().UpdateAccount([sid](UserAccount& a) {
            a.uid = kSelf;
            a.sid = sid;
            a.loginType = 0;
        });
        frame = std::make_unique<CVarnetFrameWnd>(std::make_unique<CRoomManager>(&ui));
        ASSERT_NE(nullptr, frame->Create(nullptr, "lobby", 0x10000000u, 0, 0, 0, 800, 572));
    }

    static inline testenv::RoomService service;
    static inline uint32_t s_sid = 7777;
    static inline testenv::ChatServer chat;
    mic_test::FakeScript player, publisher;
    CRoomUI ui;  // outlives the frame and its room manager
    std::unique_ptr<CVarnetFrameWnd> frame;
    bool started = false;
    std::map<std::string, int> countsAtClose;
};

CPublicMicWnd* PerformerSlot(NestedLoops& t) {
    return t.ui.Left().Public().Slot(0);
}

const std::vector<Site>& Table() {
    static const std::vector<Site> table = {
        // ---- the room window
        {"mic/PublicMicWnd.cpp:CMicSlot::RunUserMenu", {[](NestedLoops& t) { Press(PerformerSlot(t), "btnArrows"); }}},
        {"room_ui/DealMainLeft.cpp:CDealMainLeft::ShowJoinMicMenu",
         {[](NestedLoops& t) { Press(&t.ui, "btn_joinmiclist"); }}},
        {"room_ui/DealMainRightMenu.cpp:CDealMainRight::ShowUserMenu",
         {[](NestedLoops& t) { t.ui.Right().ShowUserMenu(kOther); }}},
        {"room_ui/DealMainRightMenu.cpp:CDealMainRight::RunMenuAction", {[](NestedLoops& t) {
             RoomUserInfo self;
             CRoomInfoMgr::GetInstance().GetRoomUser(kRoom, kSelf, self);
             t.ui.Right().MessageBox = nullptr;
             t.ui.Right().RunMenuAction(kMenuGiftTarget, self);  // the box: not oneself
         }}},
        {"room_ui/DealMainCenterActions.cpp:CDealMainCenter::OnWelcomeMenu",
         {[](NestedLoops& t) { Press(&t.ui, "btnChatSendDropDowm"); }}},
        {"room_ui/DealMainCenterActions.cpp:CDealMainCenter::OnShieldMenu",
         {[](NestedLoops& t) { Press(&t.ui, "btnShielEffect"); }}},
        {"room_ui/DealMainCenterActions.cpp:CDealMainCenter::OnColorBar",
         {[](NestedLoops& t) { Press(&t.ui, "btnSendColorBar"); }}},
        {"platform/duilib/UIMenu.cpp:CZqMenuUI::OpenSubMenu",
         {[](NestedLoops& t) {
              // Our own welcome words are set: the menu offers them in a submenu.
              CRoomInfoMgr::GetInstance().UpdateWelWordUserID(kRoom, {kSelf});
              Press(&t.ui, "btnChatSendDropDowm");
          },
          [](NestedLoops&) {
              // The welcome words' item opens its submenu (its loop runs inside this click).
              Top top = FindTop();
              auto* menu = dynamic_cast<CZqMenuUI*>(CWindowWnd::FromHandle(top.ours));
              ASSERT_NE(nullptr, menu);
              TNotifyUI click;
              click.sType = DUI_MSGTYPE_CLICK;
              click.pSender = menutest::MenuItem(top.ours, 0);
              menu->Notify(click);
          }}},
        {"room_ui/DealMainCenter.cpp:CDealMainCenter::PickFace", {[](NestedLoops& t) { Press(&t.ui, "btnChatFace"); }}},
        {"room_ui/DealMainCenter.cpp:CDealMainCenter::Notify",
         {[](NestedLoops& t) { Press(&t.ui, "btnChatChooseFont"); }}},
        {"room_ui/RichEditCtrlEx.cpp:CRichEditCtrlEx::ShowContextMenu", {[](NestedLoops& t) {
             t.ui.Input().ShowContextMenu(POINT{300, 600});
         }}},
        // The public pane's own menu: a right press on its page (the engine answers later).
        {"room_ui/ChatView.cpp:CWebChatView::OnContextMenu",
         {[](NestedLoops& t) { RightPress(t.ui.m_PaintManager.FindControl("webbrowserMsgView")); }},
         Ending::kRoom,
         nullptr,
         1},
        {"room_ui/RoomWindow.cpp:CRoomUI::OnRoomNotify",
         {[](NestedLoops& t) { t.ui.OnRoomNotify(ROOM_NOTIFY_ROOM_SETTINGS, 0); }}},
        {"platform/duilib/UIList.cpp:CComboUI::Activate",
         {[](NestedLoops& t) {
             auto* combo = dynamic_cast<CComboUI*>(t.ui.Gifts().Words()->m_PaintManager.FindControl("GiftNumComBo"));
             ASSERT_NE(nullptr, combo);
             combo->Activate();
         }},
         Ending::kRoom,
         [](NestedLoops& t) { t.ui.Gifts().OpenWordsGift(kOther, "user2002"); }},
        // The chat column's popups: the trumpet's emoticons, the notice's font dialog and emoticons.
        {"room_popups/ChatNoticePopups.cpp:CChatEditorPopup::PickFace",
         {[](NestedLoops& t) { Press(&t.ui.Center().Popups().trumpet, "SelectFaceBTN"); }},
         Ending::kRoom,
         [](NestedLoops& t) { t.ui.Center().OnTrumpet(); }},
        {"room_popups/ChatNoticePopups.cpp:CUITemporaryNotice::Notify",
         {[](NestedLoops& t) { Press(&t.ui.Center().Popups().notice, "btnChatChooseFont"); }},
         Ending::kRoom,
         [](NestedLoops& t) { t.ui.Center().OnTempNotice(); }},
        // The room management dialog: the director's box, the picture chooser, the confirmation.
        {"room_popups/UIRoomManager.cpp:CUIRoomManager::ValidateAssistDirector",
         {[](NestedLoops& t) {
             // A director who is not in the room: the box says so when the field loses the focus.
             CUIRoomManager* dlg = t.ui.RoomManagerDialog();
             CControlUI* edit = dlg->m_PaintManager.FindControl("AssistDirectorEdit");
             ASSERT_NE(nullptr, edit);
             edit->SetText("98765");
             TNotifyUI msg;
             msg.sType = DUI_MSGTYPE_KILLFOCUS;
             msg.pSender = edit;
             dlg->Notify(msg);
         }},
         Ending::kRoom,
         [](NestedLoops& t) { t.ui.OnRoomNotify(ROOM_NOTIFY_ROOM_SETTINGS, 1); }},
        {"room_popups/UIRoomManager.cpp:CUIRoomManager::UploadImage",
         {[](NestedLoops& t) { Press(t.ui.RoomManagerDialog(), "UploadRoomImgBTN"); }},
         Ending::kRoom,
         [](NestedLoops& t) { t.ui.OnRoomNotify(ROOM_NOTIFY_ROOM_SETTINGS, 1); }},
        // OK while a picture uploads asks first.
        {"room_popups/UIRoomManager.cpp:CUIRoomManager::OnOK",
         {[](NestedLoops& t) { Press(t.ui.RoomManagerDialog(), "RoomManageOKBTN"); }},
         Ending::kRoom,
         [](NestedLoops& t) {
             t.ui.OnRoomNotify(ROOM_NOTIFY_ROOM_SETTINGS, 1);
             // A server that takes the upload and never answers.
             static int listener = -1;
             static int port = 0;
             if (listener < 0) {
                 listener = socket(AF_INET, SOCK_STREAM, 0);
                 sockaddr_in a{};
                 a.sin_family = AF_INET;
                 a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                 socklen_t n = sizeof a;
                 bind(listener, reinterpret_cast<sockaddr*>(&a), n);
                 listen(listener, 4);
                 getsockname(listener, reinterpret_cast<sockaddr*>(&a), &n);
                 port = ntohs(a.sin_port);
             }
             AfxGetConfigManager()->SetString("ZqServerList", "UploadStreamServ",
                                              ("http://127.0.0.1:" + std::to_string(port) + "/upload").c_str(), 1);
             static const std::string picture = VARNET_BINARY_DIR "/bin/Skin/VarnetSkin.zip";
             CUIRoomManager::SetFileChooser([](HWND, std::string& path) {
                 path = picture;
                 return true;
             });
             Press(t.ui.RoomManagerDialog(), "UploadRoomImgBTN");
             CUIRoomManager::SetFileChooser(nullptr);
         }},
        // The room settings dialog.
        {"room_popups/RoomConfigSetDlg.cpp:CRoomConfigSetDlg::ShowUpdateFailure",
         {[](NestedLoops& t) {
             t.ui.Left().Settings().m_PaintManager.FindControl("PersonalNickNameEdit")->SetText("renamed");
             Press(&t.ui.Left().Settings(), "RoomConfigApplyBTN");
         }},
         Ending::kRoom,
         [](NestedLoops& t) {
             // The service refuses the change: the box comes with its answer.
             testenv::RoomServiceFault refuse;
             refuse.kind = testenv::RoomServiceFault::Refuse;
             refuse.times = 1;
             t.service.SetFault("updatemyinfo", refuse);
             t.ui.Left().OpenSettings(0);
         },
         1},
        // The camera's own settings dialog (GTK's loop), from the settings' video page.
        {"media/capture/Grabbel.cpp:Grabbel::ShowSetUp",
         {[](NestedLoops& t) { Press(&t.ui.Left().Settings(), "ImageQualityRegulateBTN"); }},
         Ending::kRoom,
         [](NestedLoops& t) {
             capture::SelectSyntheticCamera(1);
             t.ui.Left().OpenSettings(3);
         }},
        // Paying without a session: the box says so.
        {"room_popups/RoomWebLinks.cpp:OpenPayPage", {[](NestedLoops& t) {
             CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.sid = 0; });
             Press(&t.ui, "btnRecharge");
             CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.sid = NestedLoops::s_sid; });
         }}},
        // ---- the lobby (it quits under the loop)
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::ShowLoginDlg",
         {[](NestedLoops& t) { t.frame->ShowLoginDlg(t.frame->GetHWND(), 0); }},
         Ending::kLobby},
        {"lobby/LoginDlg.cpp:CLoginDlg::ShowLoginError",
         {[](NestedLoops& t) { t.frame->ShowLoginDlg(t.frame->GetHWND(), 0); },
          [](NestedLoops& t) {
              ::PostMessageOwned(t.frame->GetLoginDlg()->GetHWND(), WM_LOGIN_FAILED, CLoginDlg::kFailGuest,
                                 std::make_unique<std::string>("guest refused"));
          }},
         Ending::kLobby,
         nullptr,
         2},
        {"lobby/LoginDlg.cpp:CLoginDlg::OnTrayNotify",
         {[](NestedLoops& t) { t.frame->ShowLoginDlg(t.frame->GetHWND(), 0); },
          [](NestedLoops& t) {
              ::PostMessage(t.frame->GetLoginDlg()->GetHWND(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN);
          }},
         Ending::kLobby,
         nullptr,
         2},
        {"lobby/LoginDlg.cpp:CLoginDlg::OnForceUpdate",
         {[](NestedLoops& t) { t.frame->ShowLoginDlg(t.frame->GetHWND(), 0); },
          [](NestedLoops& t) { ::PostMessage(t.frame->GetLoginDlg()->GetHWND(), WM_FORCE_UPDATE, 1, 0); }},
         Ending::kLobby,
         nullptr,
         2},
        {"lobby/LoginDlg.cpp:CLoginDlg::OnBtnClickRegister",
         {[](NestedLoops& t) { t.frame->ShowLoginDlg(t.frame->GetHWND(), 0); },
          [](NestedLoops& t) { t.frame->GetLoginDlg()->OnBtnClickRegister(); }},
         Ending::kLobby},
        {"lobby/LoginDlg.cpp:CLoginDlg::OnBtnClickLoginThirdPart",
         {[](NestedLoops& t) { t.frame->ShowLoginDlg(t.frame->GetHWND(), 0); },
          [](NestedLoops& t) { t.frame->GetLoginDlg()->OnBtnClickLoginThirdPart("qq", "QQ登录"); }},
         Ending::kLobby},
        {"lobby/FrameRoomEntry.cpp:CVarnetFrameWnd::OpenRoomForRoomID",
         {[](NestedLoops& t) { t.frame->OpenRoomForRoomID("openroom&id=3003&name=x&close=1"); }},
         Ending::kLobby},
        {"lobby/FrameRoomEntry.cpp:CVarnetFrameWnd::AskRoomPassword",
         {[](NestedLoops& t) { t.frame->OpenRoomForRoomID("openroom&id=3004&name=p&secret=1"); }},
         Ending::kLobby},
        {"lobby/FrameRoomEntry.cpp:CVarnetFrameWnd::EnterRoom",
         {[](NestedLoops& t) { t.frame->EnterRoom(3004, 0, "", "another"); }},
         Ending::kLobby,
         [](NestedLoops& t) { ASSERT_TRUE(t.EnterRoom()); }},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::OnBtnClickClose",
         {[](NestedLoops& t) { Press(t.frame.get(), "CloseBTN"); }},
         Ending::kLobby},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::OnBtnClickMainMenu",
         {[](NestedLoops& t) { Press(t.frame.get(), "MainMenuBTN"); }},
         Ending::kLobby},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::OpenSettingsPage",
         {[](NestedLoops& t) { Press(t.frame.get(), "MainMenuBTN"); },
          [](NestedLoops&) {
              // Signed out meanwhile: the settings ask for a login first.
              CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.uid = 0; });
              menutest::ChooseMenuItem(FindTop().ours, 1);
          }},
         Ending::kLobby,
         nullptr,
         1},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::OnBtnClickRecharge",
         {[](NestedLoops& t) {
             CGlobalDataApp::GetInstance().UpdateAccount([](UserAccount& a) { a.loginType = 1; });
             Press(t.frame.get(), "RechargeBTN");
         }},
         Ending::kLobby},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::OnTaskBarIconNotify",
         {[](NestedLoops& t) { t.frame->SendMessage(WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONDOWN); }},
         Ending::kLobby},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::ShowForceUpdateDlg",
         {[](NestedLoops& t) { t.frame->SendMessage(WM_FORCE_UPDATE, 1, 0); }},
         Ending::kLobby},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::HandleCustomMessage",
         {[](NestedLoops& t) {
             ::PostMessageOwned(t.frame->GetHWND(), WM_NAV_FAILED, 0, std::make_unique<std::string>("down"));
         }},
         Ending::kLobby,
         nullptr,
         1},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::OnNotifyRoomMsg",
         {[](NestedLoops& t) {
             auto* refused = new EnterRoomResult;
             refused->status = 2;
             refused->roomId = kRoom;
             refused->statusText = "refused";
             t.frame->SendMessage(WM_ROOM_NOTIFY, ROOM_NOTIFY_ENTER_RESULT, LPARAM(refused));
         }},
         Ending::kLobby},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::ShowRoomEndBox",
         {[](NestedLoops& t) { t.frame->SendMessage(WM_ROOM_NOTIFY, ROOM_NOTIFY_LOGIN_ELSEWHERE, 0); }},
         Ending::kLobby,
         nullptr,
         0,
         true},
        {"lobby/VarnetFrameWnd.cpp:CVarnetFrameWnd::DealSessionInvalid",
         {[](NestedLoops& t) {
             auto* refused = new EnterRoomResult;
             refused->status = kStatusSessionInvalid;
             refused->roomId = kRoom;
             t.frame->SendMessage(WM_ROOM_NOTIFY, ROOM_NOTIFY_ENTER_RESULT, LPARAM(refused));
         }},
         Ending::kLobby},
        // ---- start-up and the updater (the program quits under the loop)
        {"app/StartUp.cpp:RunLoginDialog",
         {[](NestedLoops&) {
             CLoginDlg login(nullptr, CLoginDlg::kModeNormal);
             RunLoginDialog(login, false);
         }},
         Ending::kQuit},
        {"updater/UpdateTipDlg.cpp:ShowUpdateTipDlg", {[](NestedLoops&) { ShowUpdateTipDlg(); }}, Ending::kQuit},
    };
    return table;
}

// A paste waits for the clipboard in no loop: the text goes into the input that asked while it lives, and a
// room closed before the answer drops it.
TEST_F(NestedLoops, PasteComesLaterAndOnlyIntoALiveInput) {
    // The text is offered from another connection to the display, as another program offers it (our own
    // connection would answer at once).
    GdkDisplay* other = gdk_display_open(gdk_display_get_name(gdk_display_get_default()));
    ASSERT_NE(nullptr, other);
    gtk_clipboard_set_text(gtk_clipboard_get_for_display(other, GDK_SELECTION_CLIPBOARD), "pasted", -1);
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    // The clipboard has answered every request made before this one once its answer came.
    auto answered = [clipboard] {
        bool done = false;
        gtk_clipboard_request_text(
            clipboard, [](GtkClipboard*, const gchar*, gpointer p) { *static_cast<bool*>(p) = true; }, &done);
        return PumpUntil([&] { return done; }, 5000);
    };
    auto content = [this] {
        std::string text;
        ui.Input().GetContentText(text);
        return text;
    };
    ASSERT_TRUE(EnterRoom());
    ui.Input().Edit().Paste();
    EXPECT_EQ(content(), "") << "inserted before the clipboard answered";
    ASSERT_TRUE(answered());
    EXPECT_EQ(content(), "pasted");

    ui.Input().ClearContent();
    ui.Input().Edit().Paste();
    frame->GetRoomManager()->RemoveAll();
    ASSERT_TRUE(answered());
    EXPECT_EQ(ui.GetHWND(), nullptr);
    EXPECT_TRUE(ui.Input().Edit().Content().IsEmpty()) << "pasted into the closed room's input";
    gdk_display_close(other);
}

TEST_F(NestedLoops, EveryLoopEndsDismissedWhenItsRoomOrTheLobbyCloses) {
    const char* from = std::getenv("VARNET_TEST_FROM_SITE");  // debugging: start at this row
    bool on = !from;
    for (const Site& s : Table()) {
        on = on || std::string(s.site).find(from) != std::string::npos;
        if (!on) continue;
        Cross(s);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
