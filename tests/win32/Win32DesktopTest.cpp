// Icon resources.
#include <gtest/gtest.h>

#include "Win32.h"

namespace {

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
