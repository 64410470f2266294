// Attention requests reach the installed desktop; icon resources.
#include <gtest/gtest.h>

#include <vector>

#include "Win32.h"

namespace {

struct FakeDesktop : IDesktopWindows {
    std::vector<FLASHWINFO> seen;
    bool answer = true;
    bool Flash(const FLASHWINFO& info) override {
        seen.push_back(info);
        return answer;
    }
};

TEST(Win32Desktop, FlashNeedsADesktopThatShowsTheWindow) {
    FLASHWINFO info;
    info.hwnd = reinterpret_cast<HWND>(0x10);
    info.dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG;
    EXPECT_FALSE(FlashWindowEx(&info));  // headless: no desktop
    FakeDesktop desktop;
    SetDesktopWindows(&desktop);
    EXPECT_TRUE(FlashWindowEx(&info));
    desktop.answer = false;
    EXPECT_FALSE(FlashWindowEx(&info));
    EXPECT_FALSE(FlashWindowEx(nullptr));
    FLASHWINFO none;
    EXPECT_FALSE(FlashWindowEx(&none));
    SetDesktopWindows(nullptr);
    ASSERT_EQ(2u, desktop.seen.size());
    EXPECT_EQ(FLASHW_ALL | FLASHW_TIMERNOFG, desktop.seen[0].dwFlags);
}

TEST(Win32Desktop, IconsAreHandlesToRegisteredImages) {
    static const unsigned char image[] = {1, 2, 3};
    EXPECT_EQ(nullptr, LoadIcon(nullptr, 4711));
    RegisterIconResource(4711, image, sizeof(image));
    HICON a = LoadIcon(nullptr, 4711), b = LoadIcon(nullptr, 4711);
    ASSERT_NE(nullptr, a);
    EXPECT_NE(a, b);  // each load is a handle of its own
    size_t size = 0;
    EXPECT_EQ(image, IconImage(a, &size));
    EXPECT_EQ(sizeof(image), size);
    EXPECT_TRUE(DestroyIcon(a));
    EXPECT_TRUE(DestroyIcon(b));
    EXPECT_FALSE(DestroyIcon(nullptr));
    EXPECT_EQ(nullptr, IconImage(nullptr, &size));
    EXPECT_EQ(0u, size);
    RegisterIconResource(4711, nullptr, 0);  // removed
    EXPECT_EQ(nullptr, LoadIcon(nullptr, 4711));
}

}  // namespace
