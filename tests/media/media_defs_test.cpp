#include <gtest/gtest.h>

#include <cstddef>
#include <thread>

#include "MediaDefs.h"
#include "OwnerThread.h"

TEST(MediaDefs, PublishParamCopiesWholeRecord) {
    ZQPublishParam a;
    for (size_t i = 0; i < sizeof(a.url) - 1; ++i) a.url[i] = char('a' + i % 26);
    a.timeout = 7;
    a.audio.objectType = 2;
    a.video.width = 640;
    ZQPublishParam b;
    b = a;
    EXPECT_EQ(0, memcmp(a.url, b.url, sizeof(a.url)));
    EXPECT_EQ(b.timeout, 7);
    EXPECT_EQ(b.audio.objectType, 2);
    EXPECT_EQ(b.video.width, 640);
    ZQPublishParam c(a);
    EXPECT_EQ(0, memcmp(a.url, c.url, sizeof(a.url)));
}

// The codes are numbers other tables rely on; the records are laid out as their consumers read them.
static_assert(PUBLISH_CONNECT_FAILED == 8 && PUBLISH_CONNECTION_LOST == 9);
static_assert(REPLAY_CONNECTION_LOST == 3 && REPLAY_BUFFER_EMPTY == 8);
static_assert(offsetof(WAVEFORMATEX, cbSize) == 16);
static_assert(offsetof(BITMAPINFOHEADER, biSizeImage) == 20);

// A session's Init and Uint from another thread than its owner's abort; after its Uint a session may
// start again on any thread.
TEST(OwnerThreadDeathTest, InitAndUintOnlyFromTheOwner) {
    if (!VARNET_OWNER_CHECKS) GTEST_SKIP() << "owner checks are compiled in debug builds and with VARNET_THREAD_CHECKS";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto elsewhere = [](auto call) { std::thread(call).join(); };
    OwnerThread ok;
    ok.Enter("Session");
    ok.Enter("Session");
    ok.Leave("Session", true);
    elsewhere([&] {
        ok.Enter("Session");
        ok.Leave("Session", true);
    });
    ok.Leave("Session", false);  // never started: nothing to check
    EXPECT_DEATH(
        {
            OwnerThread o;
            o.Enter("Session");
            elsewhere([&] { o.Leave("Session", false); });
        },
        "Session::Uint called from a thread other than the session's owner");
    EXPECT_DEATH(
        {
            OwnerThread o;
            o.Enter("Session");
            elsewhere([&] { o.Enter("Session"); });
        },
        "Session::Init called from a thread other than");
}
