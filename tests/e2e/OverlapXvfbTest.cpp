// What lies over what, with the real program under a window manager (openbox) on the test display: a gift
// effect lies just above its room window, below the room's menus and dialogs, and lets every click through;
// tooltips go with the click on their control; the login dialog's account list opens under the account field.
// (The panes under another program's window: the walk.) Skipped without
// VARNET_TEST_DISPLAY or openbox.
#include <gtest/gtest.h>

#include <gdk/gdk.h>

#include <algorithm>
#include <cstdio>

#include "E2eDriver.h"

using namespace DuiLib;
using namespace e2e;

namespace {

constexpr int kRoom = testenv::Stack::kBusyRoom;

// The place of a top-level window in the stacking, bottom first; -1 when it is not there.
int Level(unsigned long window) {
    const std::vector<unsigned long> s = Stacking();
    auto at = std::find(s.begin(), s.end(), FrameOf(window));
    return at == s.end() ? -1 : int(at - s.begin());
}

bool ToolTipShown() {
    Window tip;
    return FindWindow("^ZqToolTip$", tip);
}

// No tooltip shows for a while (the pointer resting where it is).
bool NoToolTipFor(int ms) {
    return !WaitFor(ToolTipShown, ms);
}

class Overlap : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
        if (!wm.Start(&why)) GTEST_SKIP() << why;
        ASSERT_TRUE(StartOnStack(stack, varnet, &why)) << why;
    }
    void IntoBusyRoom() {
        std::string why;
        if (!lobby.id) ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
        ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
        ASSERT_TRUE(varnet.WaitLog("RoomManager.txt", "创建房间界面-end"));
        usleep(1500000);  // laid out, drawn, placed by the window manager
        ASSERT_TRUE(FindWindow(roomTitle, room));
        // The pointer away from the panes (a pane under it shows its hover buttons).
        Shell("xdotool mousemove " + std::to_string(room.rc.left + 20) + " " + std::to_string(room.rc.bottom - 20));
    }
    uint32_t Guest() {
        uint32_t me = 0;
        stack.Rooms().WithData([&](testenv::SvcData& d) {
            for (uint32_t uid : d.rooms[kRoom].users)
                if (d.users[uid].guest) me = uid;
        });
        return me;
    }
    WindowManager wm;
    testenv::Stack stack;
    Program varnet;
    Window lobby, room;
    const std::string roomTitle = ".*[(]" + std::to_string(kRoom) + "[)]";
};

// Gifts to the guest play effects one after the other. Meanwhile: the effect never has an input region; it
// lies just above the room window, also after the room was raised; a right-click through it reaches the public
// pane, whose menu opens above it; the settings dialog opened meanwhile lies above it and its tabs take clicks.
TEST_F(Overlap, GiftEffectLiesUnderTheRoomsMenusAndDialogsAndLetsClicksThrough) {
    IntoBusyRoom();
    std::string why;
    std::unique_ptr<testenv::PeerClient> dora = stack.Peer("dora", kRoom, &why);
    ASSERT_TRUE(dora) << why;
    const uint32_t me = Guest();
    ASSERT_NE(me, 0u);
    Window effect;
    // Effects playing: more gifts when none plays (each effect shows for 4 s).
    auto playing = [&] {
        if (FindWindow("^VarnetGiftEffect$", effect)) return true;
        for (int i = 0; i < 10; ++i)
            if (!stack.PeerGift(*dora, me, testenv::Stack::kEffectGift, 1)) return false;
        return WaitWindow("^VarnetGiftEffect$", effect, 10000);
    };
    ASSERT_TRUE(playing()) << "no gift effect " << dora->LastError();
    EXPECT_EQ(0, InputRectangles(effect.id)) << "the effect takes input";
    const unsigned long roomFrame = FrameOf(room.id);
    auto justAboveRoom = [&] { return Level(effect.id) == Level(roomFrame) + 1; };
    EXPECT_TRUE(WaitFor(justAboveRoom, 5000))
        << "the effect at " << Level(effect.id) << ", the room at " << Level(roomFrame);
    const std::string shots = ShotDir();

    // Through the effect: a right-click in the middle of the public pane opens its menu, above the effect.
    SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
    const RECT pane = skin.Rect("webbrowserMsgView");
    const POINT mid{(pane.left + pane.right) / 2, (pane.top + pane.bottom) / 2};
    ASSERT_TRUE(PtInRect(effect.rc, POINT{room.rc.left + mid.x, room.rc.top + mid.y})) << "the pane is not under it";
    ClickButton(room, mid, 3);
    Window menu;
    EXPECT_TRUE(WaitWindow("^ZqMenu$", menu, 5000)) << "the right-click did not reach the pane under the effect";
    if (menu.id) {
        usleep(300000);
        Screenshot({0, 0, 1280, 1024}, shots + "/overlap-menu-over-effect.png");
        EXPECT_GT(Level(menu.id), Level(effect.id)) << "the menu lies under the effect";
        Key("Escape");
        EXPECT_TRUE(WaitFor([] { return WindowGone("^ZqMenu$"); }, 5000));
    }

    // The settings dialog, opened while effects play, lies above them; its tab under the effect takes a click.
    ASSERT_TRUE(playing()) << "no gift effect";
    Click(room, skin.Center("VideoSetupBTN"));
    Window settings;
    ASSERT_TRUE(WaitWindow(Utf8("^房间设置对话框$"), settings, 10000)) << "the settings dialog did not open";
    usleep(800000);
    EXPECT_GT(Level(settings.id), Level(effect.id)) << "the dialog lies under the effect";
    EXPECT_TRUE(justAboveRoom()) << "the effect left its place above the room";
    Screenshot({0, 0, 1280, 1024}, shots + "/overlap-dialog-over-effect.png");
    SkinLayout settingsSkin("RoomConfigSet.xml", settings.Width(), settings.Height());
    EXPECT_EQ(0, InputRectangles(effect.id)) << "the effect takes input after its next effect";
    Click(settings, settingsSkin.Center("RoomConfigCancelBTN"));
    EXPECT_TRUE(WaitFor([] { return WindowGone(Utf8("^房间设置对话框$")); }, 10000))
        << "the dialog's button under the effect took no click";

    // The room raised (as a click on it does): the effect follows it above.
    if (FindWindow("^VarnetGiftEffect$", effect)) {
        Raise(room);
        EXPECT_TRUE(WaitFor(justAboveRoom, 5000)) << "the effect stayed under the raised room";
    }
    EXPECT_EQ("", GtkComplaints(varnet.Output()));
}

// A tooltip goes when its control is clicked: the lobby's close button's while the prompt it opened is up, the
// room's maximise button's once the room is maximised; a click before the tooltip came keeps it away.
TEST_F(Overlap, ToolTipsGoWithTheClick) {
    std::string why;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    auto pointAt = [&](const Window& w, POINT pt) {
        Shell("xdotool mousemove " + std::to_string(w.rc.left + pt.x) + " " + std::to_string(w.rc.top + pt.y));
    };
    SkinLayout lobbySkin("VarnetSkin.xml", lobby.Width(), lobby.Height());
    const POINT close = lobbySkin.Center("CloseBTN");
    pointAt(lobby, {close.x - 40, close.y + 40});
    usleep(300000);
    pointAt(lobby, close);
    ASSERT_TRUE(WaitFor(ToolTipShown, 5000)) << "no tooltip on the close button";
    Shell("xdotool click 1");
    Window prompt;
    ASSERT_TRUE(WaitWindow(Utf8("^泽嘉提示$"), prompt, 10000)) << "no close prompt";
    EXPECT_TRUE(WaitFor([] { return !ToolTipShown(); }, 3000)) << "the tooltip stayed over the prompt";
    EXPECT_TRUE(NoToolTipFor(1500)) << "a tooltip came while the prompt is up";
    Screenshot({0, 0, 1280, 1024}, ShotDir() + "/overlap-tooltip-prompt.png");
    SkinLayout promptSkin("SoftCloseTipSkin.xml", prompt.Width(), prompt.Height());
    Click(prompt, promptSkin.Center("btnClose"));
    ASSERT_TRUE(WaitFor([] { return WindowGone(Utf8("^泽嘉提示$")); }, 10000)) << "the prompt stayed";

    IntoBusyRoom();
    GdkRectangle wa;
    gdk_monitor_get_workarea(gdk_display_get_monitor(gdk_display_get_default(), 0), &wa);
    auto maximised = [&] {
        return FindWindow(roomTitle, room) && room.Width() == wa.width && room.Height() == wa.height;
    };
    auto button = [&](const char* show, const char* hide) {
        SkinLayout skin("RoomSkin.xml", room.Width(), room.Height());
        skin.Manager().FindControl(hide)->SetVisible(false);
        skin.Manager().FindControl(show)->SetVisible(true);
        skin.Manager().UpdateLayout();
        return skin.Center(show);
    };
    for (int round = 0; round < 2; ++round) {  // the tooltip shown first, then a click before it comes
        if (maximised()) {
            Click(room, button("btnRestore", "btnMax"));
            ASSERT_TRUE(WaitFor([&] { return FindWindow(roomTitle, room) && !maximised(); }, 10000));
            usleep(800000);
        }
        const POINT max = button("btnMax", "btnRestore");
        pointAt(room, {max.x - 30, max.y + 40});
        usleep(300000);
        pointAt(room, max);
        if (round == 0) ASSERT_TRUE(WaitFor(ToolTipShown, 5000)) << "no tooltip on the maximise button";
        Shell("xdotool click 1");
        EXPECT_TRUE(WaitFor(maximised, 10000)) << "not maximised";
        EXPECT_TRUE(WaitFor([] { return !ToolTipShown(); }, 3000)) << "round " << round << ": the tooltip stayed";
        EXPECT_TRUE(NoToolTipFor(1500)) << "round " << round << ": a tooltip came after maximising";
        Screenshot({0, 0, 1280, 1024}, ShotDir() + "/overlap-tooltip-maximised-" + std::to_string(round) + ".png");
    }
}

// The account list of the login dialog (opened again from the lobby after an account login) opens under the
// account field and is as wide as it.
TEST_F(Overlap, AccountListOpensUnderTheAccountField) {
    Window login;
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login));
    usleep(400000);
    SkinLayout loginSkin("LoginSkin.xml", login.Width(), login.Height());
    Click(login, loginSkin.Center("UserNameEdit"));
    TypeText("alice");
    Click(login, loginSkin.Center("PassWordEdit"));
    TypeText("secret");
    Click(login, loginSkin.Center("LoginBTN"));
    ASSERT_TRUE(WaitWindow(Utf8("^泽秀美女视频$"), lobby, 20000)) << "no lobby after the account login";
    ASSERT_TRUE(varnet.WaitLog("VarnetFrame.txt", "第一次加载成功，通知主窗体"));
    usleep(800000);
    SkinLayout lobbySkin("VarnetSkin.xml", lobby.Width(), lobby.Height());
    Click(lobby, lobbySkin.Center("MainMenuBTN"));
    usleep(600000);
    Key("Down");
    usleep(200000);
    Key("Return");
    ASSERT_TRUE(WaitWindow(Utf8("^登录对话框$"), login, 10000)) << "the main menu did not open the login dialog";
    usleep(600000);
    ASSERT_TRUE(FindWindow(Utf8("^登录对话框$"), login));
    const RECT edit = ToScreen(login, loginSkin.Rect("UserNameEdit")),
               combo = ToScreen(login, loginSkin.Rect("UserNameComBo"));
    Click(login, loginSkin.Center("UserNameComBo"));
    Window list;
    ASSERT_TRUE(WaitWindow("^ZqMenu$", list, 5000)) << "the account list did not open";
    usleep(300000);
    ASSERT_TRUE(FindWindow("^ZqMenu$", list));
    Screenshot({login.rc.left - 20, login.rc.top, login.rc.right + 160, list.rc.bottom + 10},
               ShotDir() + "/overlap-account-list.png");
    EXPECT_EQ(list.rc.left, edit.left) << "not at the field's left edge";
    EXPECT_GE(list.rc.top, edit.bottom) << "not under the field";
    EXPECT_LE(list.rc.top, edit.bottom + 4) << "not under the field";
    EXPECT_EQ(list.rc.right, combo.right) << "not as wide as the field";
    EXPECT_LE(list.rc.right, login.rc.right) << "past the dialog's edge";
    Key("Escape");
}

}  // namespace
