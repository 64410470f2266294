// The gift-effect queue and shielding, the movie's calls, the emoticon panel's pages and reload, the hover
// button and the picture fit.
#include <gtest/gtest.h>

#include "FlashWnd.h"
#include "GlobalGiftShow.h"
#include "RoomManager.h"
#include "RoomWindow.h"
#include "HoverBtnWnd.h"
#include "RoomUiTestSupport.h"
#include "UIChatFaceSelectPanel.h"
#include "UiTestSupport.h"

#include <sys/stat.h>

#include <cairo.h>
#include <cstdlib>

#include "UIRender.h"

using namespace DuiLib;

namespace {

// A scripted movie: answers "ShowGift" at once (as the real one does, inside the call); refuses gift 999.
class FakeMovie : public flash::IEffectMovie {
public:
    std::vector<std::string> calls;
    std::vector<std::string> events;  // show / hide
    std::string CallFunction(const std::string& xml) override {
        calls.push_back(xml);
        if (xml.find("<string>999</string>") != std::string::npos) return "<false/>";
        if (xml.find("name=\"ShowGift\"") != std::string::npos && OnRequest)
            OnRequest("<invoke name=\"ShowGift\"><arguments><string>1</string></arguments></invoke>");
        return "";
    }
    void Show(bool show) override { events.push_back(show ? "show" : "hide"); }
    void Stop() override { events.push_back("stop"); }
    void Place(const RECT&) override {}
    void StackAbove(HWND owner) override { events.push_back(owner ? "above owner" : "above none"); }
};

roomui::GiftEffect* Effect(uint32_t id, const char* text, int count) {
    return new roomui::GiftEffect{id, text, count};
}

TEST(FlashWnd, QueueShieldAndRequests) {
    roomuitest::SetUpOnce();
    auto owned = std::make_unique<FakeMovie>();
    FakeMovie* movie = owned.get();
    roomui::CFlashWnd wnd(std::move(owned));
    wnd.SetOwner(reinterpret_cast<HWND>(0x10));
    ASSERT_TRUE(wnd.Create());

    // Two effects: the second waits for "Close" and follows without hiding in between.
    EXPECT_TRUE(wnd.Play(Effect(501, "甲<送>&\"乙\"", 3)));
    EXPECT_TRUE(wnd.IsBusy());
    EXPECT_TRUE(wnd.Play(Effect(23001, "b", 1)));
    EXPECT_EQ(wnd.QueueSize(), 1u);
    ASSERT_EQ(movie->calls.size(), 1u);
    EXPECT_EQ(movie->calls[0], roomui::CFlashWnd::ShowGiftXml(501, "甲<送>&\"乙\"", 3));
    EXPECT_NE(movie->calls[0].find("<string>甲&lt;送&gt;&amp;&quot;乙&quot;</string>"), std::string::npos);
    movie->events.clear();
    wnd.FSCommand("<invoke name=\"Close\"/>");
    EXPECT_EQ(movie->calls.size(), 2u);
    EXPECT_EQ(movie->events, (std::vector<std::string>{"show", "above owner"}));
    EXPECT_TRUE(wnd.IsBusy());
    // "Close" wins over "ShowGift" in one request; with the queue empty the window hides and idles.
    wnd.FSCommand("Close ShowGift");
    EXPECT_FALSE(wnd.IsBusy());
    EXPECT_FALSE(wnd.IsShown());

    // Count 0 or an empty text never reaches the movie.
    size_t calls = movie->calls.size();
    wnd.Play(Effect(501, "x", 0));
    wnd.Play(Effect(501, "", 2));
    EXPECT_EQ(movie->calls.size(), calls);

    // Shielded: records are dropped; lifting the shield replays nothing.
    wnd.Play(Effect(501, "a", 1));
    wnd.Play(Effect(501, "b", 1));
    wnd.Shield(true);
    EXPECT_FALSE(wnd.IsBusy());
    EXPECT_EQ(wnd.QueueSize(), 0u);
    EXPECT_FALSE(wnd.Play(Effect(501, "c", 1)));
    wnd.Shield(false);
    EXPECT_EQ(movie->calls.size(), calls + 1);

    // Placement on the work area.
    wnd.CenterTopMost(1920, 1040);
    EXPECT_EQ(wnd.GetRect().left, 560);
    EXPECT_EQ(wnd.GetRect().top, 290);
    wnd.CenterTopMost(800, 400);
    EXPECT_EQ(wnd.GetRect().left, 0);
    EXPECT_EQ(wnd.GetRect().top, 0);

    // "GetGift": the installed file when the user copy is absent, all its bytes (CRLF too), escaped.
    std::string dir = roomuitest::TestDir();
    std::string conf = "[gift]\r\nname=a&b<c>\r\n\r\n";
    roomuitest::WriteFile(dir + "/install-gift.conf", conf);
    wnd.SetGiftConfPaths(dir + "/absent-gift.conf", dir + "/install-gift.conf");
    wnd.FSCommand("<invoke name=\"GetGift\"><arguments><string>Init</string></arguments></invoke>");
    EXPECT_EQ(movie->calls.back(), roomui::CFlashWnd::GetGiftXml(conf));
    EXPECT_NE(movie->calls.back().find("a&amp;b&lt;c&gt;\r\n\r\n</string>"), std::string::npos);
    wnd.SetGiftConfPaths(dir + "/absent-gift.conf", dir + "/absent-too.conf");
    calls = movie->calls.size();
    wnd.FSCommand("GetGift Init");
    EXPECT_EQ(movie->calls.size(), calls);

    // Destroyed for good: nothing reaches a movie afterwards.
    wnd.Destroy();
    EXPECT_FALSE(wnd.IsCreated());
    EXPECT_FALSE(wnd.Play(Effect(501, "d", 1)));
    EXPECT_FALSE(wnd.IsBusy());
}

// Unshowable records (count 0, a count past 2^31 turned negative, no text, no gift, one the movie refuses)
// between good ones: every good one is shown in order, the window hides at the end, the next effect plays.
TEST(FlashWnd, UnshowableEffectsNeverWedgeThePlayer) {
    roomuitest::SetUpOnce();
    auto owned = std::make_unique<FakeMovie>();
    FakeMovie* movie = owned.get();
    roomui::CFlashWnd wnd(std::move(owned));
    ASSERT_TRUE(wnd.Create());
    struct Row {
        uint32_t id;
        const char* text;
        int count;
        bool queued;
    };
    const Row rows[] = {
        {502, "b", 0, false}, {503, "c", INT32_MIN, false}, {504, "", 1, false}, {0, "d", 1, false},
        {505, "e", 2, true},  {999, "f", 1, true},          {506, "g", 1, true}, {999, "h", 3, true},
    };
    EXPECT_TRUE(wnd.Play(Effect(501, "a", 1)));
    for (const Row& r : rows) EXPECT_EQ(wnd.Play(Effect(r.id, r.text, r.count)), r.queued) << r.id << r.text;
    EXPECT_EQ(wnd.QueueSize(), 4u);
    std::vector<std::string> shown{movie->calls.back()};
    for (int i = 0; i < 3 && wnd.IsBusy(); ++i) {
        wnd.FSCommand("<invoke name=\"Close\"/>");
        if (wnd.IsBusy()) shown.push_back(movie->calls.back());
    }
    EXPECT_EQ(shown, (std::vector<std::string>{roomui::CFlashWnd::ShowGiftXml(501, "a", 1),
                                               roomui::CFlashWnd::ShowGiftXml(505, "e", 2),
                                               roomui::CFlashWnd::ShowGiftXml(506, "g", 1)}));
    EXPECT_FALSE(wnd.IsBusy());
    EXPECT_FALSE(wnd.IsShown());
    EXPECT_EQ(movie->events.back(), "hide");
    EXPECT_EQ(wnd.QueueSize(), 0u);
    // Idle again: the next effect plays at once.
    EXPECT_TRUE(wnd.Play(Effect(507, "i", 1)));
    EXPECT_EQ(movie->calls.back(), roomui::CFlashWnd::ShowGiftXml(507, "i", 1));
    EXPECT_TRUE(wnd.IsShown());
    // The queue behind it is bounded.
    for (size_t i = 0; i < roomui::CFlashWnd::kMaxQueue; ++i) EXPECT_TRUE(wnd.Play(Effect(508, "j", 1)));
    EXPECT_FALSE(wnd.Play(Effect(509, "k", 1)));
    EXPECT_EQ(wnd.QueueSize(), roomui::CFlashWnd::kMaxQueue);
}

TEST(EffectPlayer, StandInKeepsTheProtocol) {
    std::string dir = roomuitest::TestDir();
    flash::CEffectPlayer player;
    EXPECT_FALSE(player.Create(dir + "/no-movie.swf", nullptr));
    std::string movie = roomuitest::WriteFile(dir + "/effect.swf", "movie");
    std::vector<std::string> requests;
    player.OnRequest = [&](const std::string& r) { requests.push_back(r); };
    player.SetEffectTime(20);
    ASSERT_TRUE(player.Create(movie, [](uint32_t gift) {
        return flash::CEffectPlayer::GiftLook{"", gift == 502 ? "蛋糕" : ""};
    }));
    ASSERT_TRUE(PumpUntil([&] { return !requests.empty(); }, 5000));
    EXPECT_NE(requests[0].find("GetGift"), std::string::npos);
    EXPECT_NE(requests[0].find("Init"), std::string::npos);
    player.CallFunction(roomui::CFlashWnd::GetGiftXml("a&b"));
    EXPECT_EQ(player.GiftCatalogueSize(), 3u);
    player.CallFunction(roomui::CFlashWnd::ShowGiftXml(501, "x<y", 2));
    ASSERT_EQ(requests.size(), 2u);  // "ShowGift" inside the call
    EXPECT_NE(requests[1].find("ShowGift"), std::string::npos);
    EXPECT_EQ(player.CurrentText(), "x<y");
    EXPECT_EQ(player.CurrentCaption(), "x<y");  // a gift the catalogue does not know
    ASSERT_TRUE(PumpUntil([&] { return requests.size() == 3; }, 5000));
    EXPECT_NE(requests[2].find("Close"), std::string::npos);
    // A known gift shows its name, not the internal id it came with.
    player.CallFunction(roomui::CFlashWnd::ShowGiftXml(502, "Cake", 1));
    EXPECT_EQ(player.CurrentCaption(), "蛋糕");
}

TEST(ChatFacePanel, PagesFollowTheCatalogueAndReload) {
    auto& halvec = roomuitest::SetUpOnce();
    std::string dir = roomuitest::TestDir() + "/faces/";
    mkdir(dir.c_str(), 0755);
    roomuitest::WriteFile(dir + "1.gif", roomuitest::MakeGif({3, 30}));
    roomuitest::WriteFile(dir + "2.gif", roomuitest::MakeGif({0}));
    roomuitest::WriteFile(dir + "bad.gif", "not a picture");
    auto face = [](uint32_t id, const char* name, const char* file) {
        CatalogItem c;
        c.id = id;
        c.name = name;
        c.fname = file;
        return c;
    };
    roomuitest::FaceHalvec::Group small, big, broken, empty;
    small.info.idx = 1, small.info.name = "默认", small.info.path = "faces/";
    small.faces = {face(2, "b", "2.gif"), face(1, "a", "1.gif")};
    big.info.idx = 2, big.info.name = "大", big.info.path = "faces/", big.info.boxtype = true;
    big.faces = {face(10, "", "1.gif")};
    broken.info.idx = 3, broken.info.name = "坏", broken.info.path = "faces/";
    broken.faces = {face(20, "x", "bad.gif")};
    empty.info.idx = 4, empty.info.name = "空", empty.info.path = "faces/";
    halvec.groups = {small, big, broken, empty};

    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    roomui::CUIChatFaceSelectPanel panel;
    panel.SetBasePath(roomuitest::TestDir() + "/");
    ASSERT_TRUE(panel.EnsureCreated());
    ASSERT_TRUE(PumpUntil([&] { return panel.Pages() && panel.Pages()->GetCount() > 0; }, 5000));
    // Three tabs (the empty category has none) with their pages; tags are page indexes.
    EXPECT_EQ(panel.Pages()->GetCount(), 3);
    CContainerUI* tabs = panel.Tabs();
    ASSERT_EQ(tabs->GetCount(), 4);  // separator + 3 options
    struct Row {
        int left, right;
    } pos[] = {{15, 86}, {88, 159}, {161, 232}};
    for (int i = 0; i < 3; ++i) {
        CControlUI* opt = tabs->GetItemAt(i + 1);
        EXPECT_EQ((int)opt->GetTag(), i);
        EXPECT_EQ(opt->GetFixedXY().cx, pos[i].left);
        EXPECT_EQ(opt->GetFixedXY().cx + opt->GetFixedWidth(), pos[i].right);
        EXPECT_EQ(static_cast<COptionUI*>(opt)->IsSelected(), i == 0);
    }
    auto* page0 = static_cast<roomui::CControlFaceSelect*>(panel.Pages()->GetItemAt(0));
    ASSERT_EQ(page0->GetCount(), 2);
    auto* cell = static_cast<roomui::CControlFaceSelectItem*>(page0->GetItemAt(0));
    EXPECT_EQ(cell->GetTag(), 1u);  // ascending id
    EXPECT_EQ(page0->GetItemSize().cx, 31);
    EXPECT_EQ(static_cast<roomui::CControlFaceSelect*>(panel.Pages()->GetItemAt(1))->GetItemSize().cx, 62);
    // One decoded picture per file, shared by the cells showing it; 30 ms delays become 50, 300 stays.
    ASSERT_NE(cell->GetImage(), nullptr);
    EXPECT_EQ(cell->GetImage(), static_cast<roomui::CControlFaceSelectItem*>(
                                    static_cast<CContainerUI*>(panel.Pages()->GetItemAt(1))->GetItemAt(0))
                                    ->GetImage());
    EXPECT_EQ(cell->GetImage()->delays, (std::vector<int>{50, 300}));
    auto* brokenCell = static_cast<roomui::CControlFaceSelectItem*>(
        static_cast<CContainerUI*>(panel.Pages()->GetItemAt(2))->GetItemAt(0));
    EXPECT_EQ(brokenCell->GetImage(), nullptr);

    // Reload with another catalogue, twice in a row: the older load's message is dropped.
    halvec.groups = {big};
    panel.ReloadFaces();
    panel.ReloadFaces();
    ASSERT_TRUE(PumpUntil([&] { return panel.Pages()->GetCount() == 1 && panel.CachedImages() == 1; }, 5000));
    PumpMessagesFor(50);
    EXPECT_EQ(panel.Pages()->GetCount(), 1);
    EXPECT_EQ(panel.Tabs()->GetCount(), 2);

    // The modal loop: a cell click returns its tag, WM_DISMISS_POPUP -2, losing the focus -1.
    auto* cell10 = static_cast<CContainerUI*>(panel.Pages()->GetItemAt(0))->GetItemAt(0);
    duitest::RunLater(10, [&] { panel.m_PaintManager.SendNotify(cell10, DUI_MSGTYPE_CLICK); });
    EXPECT_EQ(panel.SelectFace(100, 100), 10);
    duitest::RunLater(10, [&] { panel.SendMessage(WM_DISMISS_POPUP); });
    EXPECT_EQ(panel.SelectFace(100, 100), -2);
    duitest::RunLater(10, [&] { panel.SendMessage(WM_KILLFOCUS); });
    EXPECT_EQ(panel.SelectFace(100, 100), -1);
    // A load whose window is gone before its result arrives: the result is freed, not leaked.
    panel.ReloadFaces();
    panel.SendMessage(WM_CLOSE);
    panel.StopLoadThread();
    PumpMessagesFor(50);
    EXPECT_EQ(roomui::CUIChatFaceSelectPanel::LoadResult::s_live, 0);
}

// The frame's calls through the real room manager and room window reach the one picker: made at start,
// rebuilt when the emoticon catalogue changes, its loader stopped and its window gone at the end.
TEST(ChatFacePanel, TheRoomManagerMakesReloadsAndEndsThePicker) {
    auto& halvec = roomuitest::SetUpOnce();
    std::string dir = roomuitest::TestDir() + "/faces/";
    mkdir(dir.c_str(), 0755);
    roomuitest::WriteFile(dir + "1.gif", roomuitest::MakeGif({3, 30}));
    CatalogItem face;
    face.id = 1;
    face.name = "a";
    face.fname = "1.gif";
    roomuitest::FaceHalvec::Group one, two;
    one.info.idx = 1, one.info.name = "一", one.info.path = "faces/";
    one.faces = {face};
    two = one;
    two.info.idx = 2, two.info.name = "二";
    halvec.groups = {one};
    CPaintManagerUI::SetInstancePath(VARNET_BINARY_DIR "/bin");
    roomui::CUIChatFaceSelectPanel& panel = roomui::CUIChatFaceSelectPanel::GetInstance();
    panel.SetBasePath(roomuitest::TestDir() + "/");
    roomui::CRoomUI ui;
    {
        CRoomManager rm(&ui);
        rm.CreateFacePicker();
        ASSERT_NE(panel.GetHWND(), nullptr);
        ASSERT_TRUE(PumpUntil([&] { return panel.Pages() && panel.Pages()->GetCount() == 1; }, 5000));
        halvec.groups = {one, two};
        rm.ReloadFaces();
        ASSERT_TRUE(PumpUntil([&] { return panel.Pages()->GetCount() == 2; }, 5000));
        EXPECT_EQ(panel.Tabs()->GetCount(), 3);  // separator + 2 options
        halvec.groups = {two};
        rm.ReloadFaces();
        rm.DestroyFacePicker();
        EXPECT_FALSE(panel.IsLoading());
        EXPECT_EQ(panel.GetHWND(), nullptr);
        PumpMessagesFor(50);
    }
    EXPECT_EQ(roomui::CUIChatFaceSelectPanel::LoadResult::s_live, 0);
}

class Clicks : public roomui::IMsgViewHoverBtnCallBack {
public:
    std::vector<int> ids;
    void OnHoverBtnClick(int id) override { ids.push_back(id); }
};

TEST(HoverBtnWnd, ClicksNeedThePressOnTheButton) {
    roomuitest::SetUpOnce();
    Clicks clicks;
    roomui::CHoverBtnWnd btn;
    ASSERT_TRUE(btn.Create("/no/such/strip.png", 4, &clicks, nullptr));
    // Press, leave, release: no click. Two clicks without leaving: both.
    btn.SendMessage(WM_MOUSEMOVE);
    EXPECT_EQ(btn.GetState(), roomui::CHoverBtnWnd::kHot);
    btn.SendMessage(WM_LBUTTONDOWN);
    btn.SendMessage(WM_MOUSELEAVE);
    btn.SendMessage(WM_LBUTTONUP);
    EXPECT_TRUE(clicks.ids.empty());
    btn.SendMessage(WM_MOUSEMOVE);
    for (int i = 0; i < 2; ++i) {
        btn.SendMessage(WM_LBUTTONDOWN);
        btn.SendMessage(WM_LBUTTONUP);
    }
    EXPECT_EQ(clicks.ids, (std::vector<int>{4, 4}));
    btn.MoveWindow(100, 50, 51, 22);
    EXPECT_TRUE(btn.HitTest(100, 50));
    EXPECT_TRUE(btn.HitTest(151, 72));
    EXPECT_FALSE(btn.HitTest(152, 72));
    btn.SendMessage(WM_CLOSE);
}

TEST(PickerControls, FitRect) {
    struct Row {
        int w, h;
        RECT expect;
    } rows[] = {
        {20, 20, {10, 10, 30, 30}}, {80, 40, {0, 10, 40, 30}}, {40, 80, {10, 0, 30, 40}}, {40, 40, {0, 0, 40, 40}}};
    for (const auto& r : rows) {
        RECT got = roomui::FitRect(RECT{0, 0, 40, 40}, r.w, r.h);
        EXPECT_EQ(got.left, r.expect.left);
        EXPECT_EQ(got.top, r.expect.top);
        EXPECT_EQ(got.right, r.expect.right);
        EXPECT_EQ(got.bottom, r.expect.bottom);
    }
}

}  // namespace

namespace {

// A window whose manager holds the controls under test; records the notifications.
class HostWnd : public CWindowWnd, public INotifyUI {
public:
    const char* GetWindowClassName() const override { return "PickerHost"; }
    CPaintManagerUI pm;
    CHorizontalLayoutUI* root = nullptr;
    std::vector<std::string> notes;
    void Notify(TNotifyUI& msg) override { notes.push_back(msg.sType); }
    LRESULT HandleMessage(UINT uMsg, WPARAM wParam, LPARAM lParam) override {
        if (uMsg == WM_CREATE) {
            root = new CHorizontalLayoutUI;
            pm.AttachDialog(root);
            pm.AddNotifier(this);
        }
        if (uMsg == WM_DESTROY) pm.RemoveNotifier(this);
        return CWindowWnd::HandleMessage(uMsg, wParam, lParam);
    }

protected:
    CPaintManagerUI* GetPaintManager() override { return &pm; }
};

TEST(PickerControls, ClicksTimersAndGrids) {
    std::string dir = roomuitest::TestDir();
    std::string anim = roomuitest::WriteFile(dir + "/anim.gif", roomuitest::MakeGif({30, 40}));
    std::string still = roomuitest::WriteFile(dir + "/still.gif", roomuitest::MakeGif({0}));
    HostWnd host;
    ASSERT_TRUE(host.Create(nullptr, "host", 0, 0, 0, 0, 400, 300));

    // The animated picture: a timer only for two frames or more; clicks only while enabled.
    auto* gif = new roomui::CControlGifBk;
    host.root->Add(gif);
    gif->SetPos(RECT{0, 0, 40, 40});
    gif->SetGifFile(still.c_str());
    EXPECT_FALSE(host.pm.HasTimer(gif, roomui::kGifTimerId));
    gif->SetGifFile(anim.c_str());
    EXPECT_TRUE(host.pm.HasTimer(gif, roomui::kGifTimerId));
    gif->SetVisible(false);
    EXPECT_FALSE(host.pm.HasTimer(gif, roomui::kGifTimerId));
    gif->SetVisible(true);
    gif->SetAttribute("gifdest", "2;3;4;5");
    EXPECT_EQ(gif->GetInsets().left + gif->GetInsets().top + gif->GetInsets().right + gif->GetInsets().bottom, 14);
    struct Row {
        bool enabled;
        int type;
        size_t clicks;
    } rows[] = {{true, UIEVENT_BUTTONDOWN, 1},
                {true, UIEVENT_DBLCLICK, 1},
                {false, UIEVENT_BUTTONDOWN, 0},
                {true, UIEVENT_MOUSEENTER, 0}};
    for (const auto& r : rows) {
        host.notes.clear();
        gif->SetEnabled(r.enabled);
        TEventUI e;
        e.Type = r.type;
        e.ptMouse = POINT{10, 10};
        gif->DoEvent(e);
        EXPECT_EQ((size_t)std::count(host.notes.begin(), host.notes.end(), "click"), r.clicks) << r.type;
    }

    // A face cell animates while hovered only; leaving resets its frame.
    auto face = roomui::LoadFaceImage(anim);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face->delays, (std::vector<int>{300, 400}));
    auto* cell = new roomui::CControlFaceSelectItem;
    host.root->Add(cell);
    cell->SetImage(face.get());
    TEventUI e;
    e.Type = UIEVENT_MOUSEENTER;
    cell->DoEvent(e);
    EXPECT_TRUE(host.pm.HasTimer(cell, roomui::kGifTimerId));
    e.Type = UIEVENT_TIMER;
    e.wParam = roomui::kGifTimerId;
    cell->DoEvent(e);
    EXPECT_EQ(cell->GetFrameIndex(), 1);
    e.Type = UIEVENT_MOUSELEAVE;
    cell->DoEvent(e);
    EXPECT_FALSE(host.pm.HasTimer(cell, roomui::kGifTimerId));
    EXPECT_EQ(cell->GetFrameIndex(), 0);

    // Grids: a gift grid 313 wide without scroll bar has a column pitch of 100; face lines follow the item size.
    auto* gifts = new roomui::CControlGiftSelect;
    host.root->Add(gifts);
    gifts->SetPos(RECT{0, 0, 313, 120});
    std::vector<int> ys, xs;
    int right = 0;
    gifts->GridLines(ys, xs, right);
    EXPECT_EQ(xs, (std::vector<int>{0, 100, 200, 300}));
    EXPECT_EQ(ys, (std::vector<int>{0, 57, 114}));
    EXPECT_EQ(right, 300);
    auto* faces = new roomui::CControlFaceSelect;
    host.root->Add(faces);
    faces->SetItemSize(SIZE{31, 31});
    for (int i = 0; i < 30; ++i) faces->Add(new roomui::CControlFaceSelectItem);
    faces->SetPos(RECT{0, 0, 447, 100});
    // (447 - 10) / 31 = 14 columns.
    EXPECT_EQ(faces->GetItemAt(14)->GetPos().top, 31);
    EXPECT_EQ(faces->GetItemAt(13)->GetPos().left, 13 * 31);
    // The lines outline whole cells: none for a cut 15th (or, with 62 wide cells, 8th) column.
    for (int cell : {31, 62}) {
        faces->SetItemSize(SIZE{cell, cell});
        faces->SetPos(RECT{0, 0, 447, 100});
        faces->GridLines(ys, xs, right);
        EXPECT_EQ(right, 434) << cell;
        EXPECT_EQ(xs.back(), 434) << cell;
    }
    host.SendMessage(WM_CLOSE);
}

}  // namespace

namespace {
// The pixel (ARGB) at x, y of an image surface.
uint32_t Pixel(cairo_surface_t* s, int x, int y) {
    cairo_surface_flush(s);
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(row)[x];
}
// Some pixel of the columns [x0, x1) has about this colour (text is anti-aliased).
bool HasColour(cairo_surface_t* s, int x0, int x1, uint32_t argb) {
    for (int x = x0; x < x1; ++x)
        for (int y = 0; y < cairo_image_surface_get_height(s); ++y) {
            uint32_t p = Pixel(s, x, y);
            bool near = true;
            for (int shift : {0, 8, 16})
                near = near && std::abs(int((p >> shift) & 0xFF) - int((argb >> shift) & 0xFF)) <= 40;
            if (near) return true;
        }
    return false;
}
}  // namespace

// The banner's strip as painted: the picture once per unit, then the pieces in order, each in its colour;
// a count of 2^31-1 keeps its exact text but draws a bounded strip. The control form steps 5 / 30 / 20.
TEST(GiftBanner, StripDrawnInOrderWithItsColoursAndBounded) {
    std::string dir = roomuitest::TestDir();
    cairo_surface_t* pic = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 10, 20);
    cairo_t* pc = cairo_create(pic);
    cairo_set_source_rgb(pc, 0, 0, 1);
    cairo_paint(pc);
    cairo_destroy(pc);
    std::string picture = dir + "/banner-blue.png";
    ASSERT_EQ(cairo_surface_write_to_png(pic, picture.c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(pic);

    const int kW = 800, kH = 50;
    CPaintManagerUI pm;
    CDialogBuilder builder;
    auto* root = static_cast<CContainerUI*>(builder.Create("<HorizontalLayout/>", nullptr, nullptr, &pm));
    ASSERT_NE(root, nullptr);
    pm.SetInitSize(kW, kH);
    pm.AttachDialog(root);
    pm.AddFont(1, "Sans", 14, true, false, false);
    pm.AddFont(2, "Sans", 12, false, false, false);
    roomui::CGlobalGiftShowWnd banner;
    auto* strip = new roomui::CGlobalGiftBannerUI(banner);
    ASSERT_TRUE(root->Add(strip));
    strip->Attach();
    root->SetPos(RECT{0, 0, kW, kH});
    GlobalGiftItem g;
    g.picture = picture;
    g.senderName = "AAAA";
    g.senderId = 5;
    g.receiverName = "BBBB";
    g.receiverId = 6;
    g.count = 3;
    g.tips = "x";
    g.giftName = "GGGG";
    g.timeText = "(01.02 03:04)";
    banner.SetGift(g, GetTickCount());
    strip->Start(picture);
    ASSERT_EQ(banner.Image().cx, 10);
    // The strip's left edge at x 20.
    while (banner.Offset() < kW - 20) ASSERT_TRUE(banner.OnScrollTimer(GetTickCount()));
    ASSERT_EQ(banner.Offset(), kW - 20);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kW, kH);
    cairo_t* cr = cairo_create(s);
    IRenderTarget rt(cr);
    pm.Paint(&rt, RECT{0, 0, kW, kH});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Pixel(s, 20 + 10 * i + 5, kH / 2), 0xFF0000FFu) << i;
    EXPECT_NE(Pixel(s, 20 + 30 + 1, kH / 2), 0xFF0000FFu);
    EXPECT_NE(Pixel(s, 15, kH / 2), 0xFF0000FFu);
    const uint32_t colours[] = {0xffe9086d, 0xff4e0223, 0xff4e0223, 0xffe9086d, 0xff4e0223,
                                0xff4e0223, 0xfffe0100, 0,          0xff4e0223};
    int x = 20 + 30;
    const auto& pieces = banner.Pieces();
    ASSERT_EQ(pieces.size(), 9u);
    EXPECT_EQ(pieces[2].text, "送给");
    EXPECT_EQ(pieces[5].text, "3x");
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (!colours[i]) {
            EXPECT_EQ(pieces[i].width, 0);  // no word
            continue;
        }
        ASSERT_GT(pieces[i].width, 0) << i;
        EXPECT_TRUE(HasColour(s, x, x + pieces[i].width, colours[i])) << "piece " << i << " at " << x;
        // Nothing of the next colour in a box of another one.
        if (colours[i] == 0xff4e0223) {
            EXPECT_FALSE(HasColour(s, x, x + pieces[i].width, 0xfffe0100)) << i;
        }
        x += pieces[i].width;
    }
    EXPECT_EQ(int64_t(x - 20), banner.StripWidth());

    // 2^31-1 units: the count text exact, the pictures and the width bounded, a paint as any other.
    g.count = 2147483647u;
    banner.SetGift(g, GetTickCount());
    EXPECT_EQ(banner.Pieces()[5].text, "2147483647x");
    EXPECT_EQ(banner.ImageCount(), int(roomui::CGlobalGiftShowWnd::kMaxImages));
    EXPECT_LT(banner.StripWidth(), 100000);
    while (banner.Offset() < kW) banner.OnScrollTimer(GetTickCount());
    pm.Paint(&rt, RECT{0, 0, kW, kH});
    EXPECT_EQ(Pixel(s, 5, kH / 2), 0xFF0000FFu);
    cairo_destroy(cr);
    cairo_surface_destroy(s);

    // The control form of the skins.
    roomui::CControlGlobalGiftShow control;
    control.SetPos(RECT{0, 0, 300, 50});
    control.State().SetGift(g, GetTickCount());
    TEventUI tick;
    tick.Type = UIEVENT_TIMER;
    control.DoEvent(tick);
    EXPECT_EQ(control.State().Offset(), 5);
    control.State().SetSpeed(3);
    control.DoEvent(tick);
    EXPECT_EQ(control.State().Offset(), 35);
    control.State().SetSpeed(2);
    control.DoEvent(tick);
    EXPECT_EQ(control.State().Offset(), 55);
    // Reset: idle, nothing drawn, no steps.
    banner.Reset();
    EXPECT_TRUE(banner.IsIdle());
    EXPECT_EQ(banner.StripWidth(), 0);
    EXPECT_FALSE(banner.OnScrollTimer(GetTickCount()));
}
