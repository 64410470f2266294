// The gift-effect queue and shielding, the movie's calls, the emoticon panel's pages and reload, the hover
// button and the picture fit.
#include <gtest/gtest.h>

#include "FlashWnd.h"
#include "HoverBtnWnd.h"
#include "RoomUiTestSupport.h"
#include "UIChatFaceSelectPanel.h"
#include "UiTestSupport.h"

#include <sys/stat.h>

using namespace DuiLib;

namespace {

// A scripted movie: answers "ShowGift" at once (as the real one does, inside the call).
class FakeMovie : public flash::IEffectMovie {
public:
    std::vector<std::string> calls;
    std::vector<std::string> events;  // show / hide
    std::string CallFunction(const std::string& xml) override {
        calls.push_back(xml);
        if (xml.find("name=\"ShowGift\"") != std::string::npos && OnRequest)
            OnRequest("<invoke name=\"ShowGift\"><arguments><string>1</string></arguments></invoke>");
        return "";
    }
    void Show(bool show) override { events.push_back(show ? "show" : "hide"); }
    void Stop() override { events.push_back("stop"); }
    void Place(const RECT&) override {}
    void Raise(bool topMost) override { events.push_back(topMost ? "top" : "below"); }
};

roomui::GiftEffect* Effect(uint32_t id, const char* text, int count) {
    return new roomui::GiftEffect{id, text, count};
}

TEST(FlashWnd, QueueShieldAndRequests) {
    roomuitest::SetUpOnce();
    auto owned = std::make_unique<FakeMovie>();
    FakeMovie* movie = owned.get();
    roomui::CFlashWnd wnd(std::move(owned));
    SIZE foreground{800, 600};
    wnd.ForegroundProbe = [&](SIZE& fg, SIZE& screen) {
        fg = foreground;
        screen = SIZE{1280, 1024};
        return true;
    };
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
    EXPECT_EQ(movie->events, (std::vector<std::string>{"show", "top"}));
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
    // A full-screen foreground window keeps the effect beneath it.
    foreground = SIZE{1280, 1024};
    movie->events.clear();
    wnd.Play(Effect(501, "e", 1));
    EXPECT_EQ(movie->events, (std::vector<std::string>{"show", "below"}));
    wnd.FSCommand("Close");

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
    EXPECT_FALSE(wnd.Play(Effect(501, "d", 1)) && wnd.IsBusy());
}

TEST(EffectPlayer, StandInKeepsTheProtocol) {
    std::string dir = roomuitest::TestDir();
    flash::CEffectPlayer player;
    EXPECT_FALSE(player.Create(dir + "/no-movie.swf", nullptr));
    std::string movie = roomuitest::WriteFile(dir + "/effect.swf", "movie");
    std::vector<std::string> requests;
    player.OnRequest = [&](const std::string& r) { requests.push_back(r); };
    player.SetEffectTime(20);
    ASSERT_TRUE(player.Create(movie, [](uint32_t) { return std::string(); }));
    ASSERT_TRUE(PumpUntil([&] { return !requests.empty(); }, 5000));
    EXPECT_NE(requests[0].find("GetGift"), std::string::npos);
    EXPECT_NE(requests[0].find("Init"), std::string::npos);
    player.CallFunction(roomui::CFlashWnd::GetGiftXml("a&b"));
    EXPECT_EQ(player.GiftCatalogueSize(), 3u);
    player.CallFunction(roomui::CFlashWnd::ShowGiftXml(501, "x<y", 2));
    ASSERT_EQ(requests.size(), 2u);  // "ShowGift" inside the call
    EXPECT_NE(requests[1].find("ShowGift"), std::string::npos);
    EXPECT_EQ(player.CurrentText(), "x<y");
    ASSERT_TRUE(PumpUntil([&] { return requests.size() == 3; }, 5000));
    EXPECT_NE(requests[2].find("Close"), std::string::npos);
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
    panel.StopLoadThread();
    panel.SendMessage(WM_CLOSE);
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
    host.SendMessage(WM_CLOSE);
}

}  // namespace
