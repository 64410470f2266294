// The room management dialog as a real window on the test display: long texts typed into each of its fields
// (xdotool) leave the window and the field at their size. Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "RoomInfoMgr.h"
#include "TestUtil.h"
#include "UIBackendGtk.h"
#include "UIRoomManager.h"
#include "UiTestSupport.h"
#include "XvfbDesktop.h"
#include "Win32.h"
#include "WindowShot.h"
#include "ZqModConfig.h"

using namespace DuiLib;

namespace {

void Settle(unsigned ms = 300) {
    gdk_display_sync(gdk_display_get_default());
    PumpMessagesFor(ms);
    gdk_display_sync(gdk_display_get_default());
}

bool Xdo(const std::string& args) {
    return system(("xdotool " + args + " >/dev/null 2>&1").c_str()) == 0;
}

// The window's size on the screen as the X server has it.
std::string XSize(const char* title) {
    return desktoptest::Shell(std::string("xdotool search --name '^") + title +
                              "$' getwindowgeometry --shell 2>/dev/null | grep -E 'WIDTH|HEIGHT' | tr '\\n' ' '");
}

}  // namespace

TEST(RoomManagerXvfb, LongTextsTypedIntoEachFieldKeepTheDialogsSize) {
    if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(desktoptest::OpenWindowLibrary("room_manager_xvfb")) << "cannot open display " << getenv("DISPLAY");
    const uint32_t room = 3003;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(room);
    store.InsertRoom(room, ChatServerInfo{});
    if (CRoomBaseInfo* info = store.LockRoom(room, 2)) {
        info->lock.AssertHeld();
        info->name = "欢乐大厅";
        info->msg[0] = "00040004公告";
        store.UnlockRoom(room);
    }
    std::filesystem::create_directories(VARNET_BINARY_DIR "/screenshots");
    RoomUserInfo member;  // the assistant director typed in (its check asks when it finds nobody)
    member.uid = 1002;
    store.AddRoomUser(room, member);
    CUIRoomManager dlg;
    const char* title = "RoomManagerWiden";
    ASSERT_NE(dlg.Create(nullptr, title, UI_WS_POPUP, 0, 0, 0, CUIRoomManager::kWidth, CUIRoomManager::kHeight),
              nullptr);
    dlg.CenterWindow();
    dlg.SetRoomInfo(room);
    dlg.ShowWindow(true, true);
    Settle();
    const RECT frame = dlg.GetWindowRect();
    const std::string xsize = XSize(title);
    ASSERT_NE(xsize, "");
    const std::string longText = std::string(120, 'W') + " " + std::string(80, 'm');
    const std::string director = std::string(20, '0') + "1002";  // a member's id, as long as the field takes
    struct Row {
        int page;  // 0 the room's settings, 1 its notices
        const char* field;
        std::string text;
    } rows[] = {{0, "RoomNameEdit", longText},
                {0, "RoomPassWordEdit", longText},
                {0, "AssistDirectorEdit", director},
                {1, "NoticeContentRichEdit", longText},
                {1, "NoticeLinkEdit", "http://example.invalid/" + longText}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.field);
        if (auto* tabs = dynamic_cast<CTabLayoutUI*>(dlg.m_PaintManager.FindControl("RoomSetNoticeTabLayout")))
            tabs->SelectItem(r.page);
        Settle(200);
        CControlUI* edit = dlg.m_PaintManager.FindControl(r.field);
        ASSERT_NE(edit, nullptr);
        const RECT rc = edit->GetPos();
        Xdo("mousemove " + std::to_string(frame.left + (rc.left + rc.right) / 2) + " " +
            std::to_string(frame.top + (rc.top + rc.bottom) / 2) + " click 1");
        Settle(200);
        Xdo("key ctrl+a");
        ASSERT_TRUE(Xdo("type --delay 5 '" + r.text + "'"));
        Settle(500);
        // What was typed, as far as the field takes it.
        EXPECT_EQ(edit->GetText().c_str(), r.text.substr(0, static_cast<CEditUI*>(edit)->GetMaxChar()));
        const RECT now = dlg.GetWindowRect(), after = edit->GetPos();
        EXPECT_EQ(now.right - now.left, frame.right - frame.left);
        EXPECT_EQ(now.bottom - now.top, frame.bottom - frame.top);
        EXPECT_EQ(after.right - after.left, rc.right - rc.left);
        EXPECT_EQ(XSize(title), xsize);
        desktoptest::Screenshot(RECT{frame.left - 30, frame.top - 10, frame.right + 30, frame.bottom + 10},
                                std::string(VARNET_BINARY_DIR "/screenshots/room_manager_") + r.field + ".png");
    }
    dlg.CloseDialog(2);
    ::DestroyWindow(dlg.GetHWND());
}

// By the mouse: the second notice selected, then its delete button: the editor empties and its button stays
// the active one.
TEST(RoomManagerXvfb, DeletingTheNoticeBeingEditedKeepsItsButtonActive) {
    if (std::string why = testsupport::UseTestDisplay({"xdotool"}); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(desktoptest::OpenWindowLibrary("room_manager_xvfb")) << "cannot open display " << getenv("DISPLAY");
    const uint32_t room = 3003;
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    store.RemoveRoom(room);
    store.InsertRoom(room, ChatServerInfo{});
    if (CRoomBaseInfo* info = store.LockRoom(room, 2)) {
        info->lock.AssertHeld();
        info->msg[0] = "00040004公告";
        info->msg[1] = "00040004第二";
        store.UnlockRoom(room);
    }
    CUIRoomManager dlg;
    ASSERT_NE(dlg.Create(nullptr, "RoomManagerNotices", UI_WS_POPUP, 0, 0, 0, CUIRoomManager::kWidth,
                         CUIRoomManager::kHeight),
              nullptr);
    dlg.CenterWindow();
    dlg.SetRoomInfo(room);
    dlg.ShowWindow(true, true);
    Settle();
    const RECT frame = dlg.GetWindowRect();
    auto click = [&](const char* name) {
        CControlUI* c = dlg.m_PaintManager.FindControl(name);
        ASSERT_NE(c, nullptr) << name;
        ASSERT_TRUE(c->IsVisible()) << name;
        const RECT rc = c->GetPos();
        Xdo("mousemove " + std::to_string(frame.left + (rc.left + rc.right) / 2) + " " +
            std::to_string(frame.top + (rc.top + rc.bottom) / 2) + " click 1");
        Settle(300);
    };
    click("RoomManageNoticeOption");
    click("NoticeBTN2");
    ASSERT_EQ(dlg.ActiveSlot(), 2);
    EXPECT_EQ(std::string(dlg.m_PaintManager.FindControl("NoticeContentRichEdit")->GetText().c_str()), "第二");
    click("Notice2DelBTN");
    EXPECT_TRUE(dlg.Slot(2).empty());
    EXPECT_EQ(dlg.ActiveSlot(), 2);
    EXPECT_EQ(std::string(dlg.m_PaintManager.FindControl("NoticeBTN2")->GetBkImage()), "file='RoomMsgActiveBTN.png'");
    EXPECT_EQ(std::string(dlg.m_PaintManager.FindControl("NoticeContentRichEdit")->GetText().c_str()), "");
    desktoptest::Screenshot(frame, VARNET_BINARY_DIR "/screenshots/room_manager_notice_deleted.png");
    dlg.CloseDialog(2);
    ::DestroyWindow(dlg.GetHWND());
}
