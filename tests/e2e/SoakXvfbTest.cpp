// A long session of the real program in the busy room, on the test display: the performers publishing, a chat
// line every 100 ms, a gift every second, users entering and leaving (announced, and a real client coming and
// going). Through it the program's memory stays
// flat (which also holds the chat views trimmed and the frame queues short), the room window's UI thread
// answers within a bounded time, the thread count stays put; the figures are printed. Ten minutes, or
// VARNET_SOAK_SECONDS (scripts/test shortens it). Skipped without VARNET_TEST_DISPLAY.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "E2eDriver.h"
#include "ZqLib.h"

using namespace e2e;

namespace {

constexpr int kRoom = testenv::Stack::kBusyRoom;

int SoakSeconds() {
    const char* s = getenv("VARNET_SOAK_SECONDS");
    int n = s && *s ? atoi(s) : 600;
    return std::max(n, 20);
}

std::string Notice(std::initializer_list<std::pair<const char*, std::string>> fields) {
    std::string body;
    for (const auto& [k, v] : fields) body += std::string(k) + "=" + v + "\n";
    return body;
}

}  // namespace

TEST(Soak, BusyRoomStaysFlatAndAnswers) {
    std::string why;
    if (!PrepareDisplay(&why)) GTEST_SKIP() << why;
    testenv::Stack stack;
    testenv::StackOptions options;
    options.binDir = VARNET_BINARY_DIR "/bin";
    options.updateSettings = "RoomHeartBeat=5000";
    ASSERT_TRUE(stack.Start(options, &why)) << why;
    Program varnet;
    ASSERT_TRUE(varnet.Start(stack));
    Window lobby, room;
    ASSERT_TRUE(GuestIntoLobby(varnet, lobby, &why)) << why;
    ASSERT_TRUE(EnterBusyRoomFromDirectory(varnet, stack, lobby, room, &why)) << why;
    ASSERT_TRUE(stack.Chat().WaitMembers(kRoom, 1, 20000));
    if (stack.HasRtmp()) {
        EXPECT_TRUE(stack.WaitPerformersLive(20000));
    }

    const int seconds = SoakSeconds();
    const auto start = std::chrono::steady_clock::now();
    auto elapsedMs = [&] {
        return long(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    };
    const std::string nameEnc = UrlEncode::Encode("小美");
    long lines = 0, gifts = 0, comings = 0;
    long warmRss = -1, maxRss = 0, lastRss = 0, worstPing = 0;
    int warmThreads = -1, maxThreads = 0, lastThreads = 0, unanswered = 0, samples = 0;
    long nextSample = 0;
    const long warmUpMs = std::min<long>(30000, seconds * 1000L / 5);
    uint32_t visitor = 600000;
    // A real client comes for five seconds in every ten (sign-in, enter, chat join, a line, exit).
    std::unique_ptr<testenv::PeerClient> erin;
    long peerVisits = 0;
    std::printf("soak: %d s in room %d\n", seconds, kRoom);
    while (elapsedMs() < seconds * 1000L && !varnet.Exited()) {
        const long now = elapsedMs();
        // A chat line every 100 ms.
        stack.Chat().Say(kRoom, nameEnc, "1004_chat",
                         UrlEncode::EncodeQuery(StringUtility::Format("第%ld句：大家好，欢迎来到欢乐大厅", ++lines)));
        // A gift every second, users coming and going every half second.
        if (lines % 10 == 0) {
            stack.Chat().PushNotice(
                kRoom, "notifygift",
                Notice({{"fid", "1004"}, {"tid", "1002"}, {"gid", "5"}, {"cnt", "1"}, {"hiscnt", "0"}}));
            ++gifts;
        }
        if (lines % 5 == 0) {
            const bool enter = (lines / 5) % 2 == 1;
            if (enter) ++visitor;
            const std::string id = std::to_string(visitor);
            if (enter)
                stack.Chat().PushNotice(kRoom, "notifyenter",
                                        Notice({{"id", id},
                                                {"nickname", UrlEncode::Encode("访客" + id)},
                                                {"chatid", id + "_chat"},
                                                {"level", "3"},
                                                {"beautyid", id},
                                                {"photoid", "0"},
                                                {"role", "0"},
                                                {"cnt", "5"}}));
            else stack.Chat().PushNotice(kRoom, "notifyexit", Notice({{"id", id}, {"cnt", "4"}}));
            ++comings;
        }
        if (lines % 50 == 0) {
            if (erin) {
                erin.reset();
            } else if ((erin = stack.Peer("erin", kRoom, &why))) {
                erin->Say(StringUtility::Format("我来了，第%ld次", ++peerVisits));
            } else {
                ADD_FAILURE() << "the peer could not come: " << why;
            }
        }
        if (now >= nextSample) {
            nextSample = now + 5000;
            const long rss = varnet.TreeRssKb();
            const long own = varnet.RssKb();
            const int threads = varnet.Threads();
            const long ping = PingMs(room.id, 5000);
            ++samples;
            if (ping < 0) ++unanswered;
            lastRss = rss;
            lastThreads = threads;
            if (now >= warmUpMs) {
                if (warmRss < 0) warmRss = rss, warmThreads = threads;
                maxRss = std::max(maxRss, rss);
                maxThreads = std::max(maxThreads, threads);
                worstPing = std::max(worstPing, ping);
            }
            std::printf(
                "soak: t=%3lds rss=%ld kB (Varnet %ld kB, its web processes the rest) threads=%d ui-answer=%ld ms "
                "lines=%ld gifts=%ld comings=%ld\n",
                now / 1000, rss, own, threads, ping, lines, gifts, comings);
            std::fflush(stdout);
        }
        usleep(100000);
    }
    erin.reset();
    ASSERT_FALSE(varnet.Exited()) << "Varnet ended during the soak";
    Screenshot(room.rc, ShotDir() + "/soak-room.png");
    std::printf(
        "soak figures: %d s, %ld chat lines, %ld gifts, %ld users came or went (%ld visits of a real client); rss "
        "after warm-up %ld kB, "
        "highest %ld kB, last %ld kB (growth %ld kB); threads %d..%d, last %d; slowest UI answer %ld ms, %d of %d "
        "unanswered\n",
        seconds, lines, gifts, comings, peerVisits, warmRss, maxRss, lastRss, maxRss - warmRss, warmThreads, maxThreads,
        lastThreads, worstPing, unanswered, samples);
    // Bounds: memory that grows with the lines (views not trimmed, queues that fill) passes these in minutes.
    EXPECT_LT(maxRss - warmRss, 96 * 1024) << "memory grows";
    // Short-lived helper threads come and go; what stays must not grow.
    EXPECT_LE(lastThreads, warmThreads + 4) << "threads pile up";
    EXPECT_EQ(unanswered, 0) << "the UI thread stopped answering";
    EXPECT_LT(worstPing, 2000) << "the UI thread answered slowly";
    // And it still quits in order.
    ASSERT_TRUE(QuitFromLobby(lobby, &why)) << why;
    EXPECT_TRUE(varnet.WaitExit(10000)) << "Varnet did not end in order after the soak";
}
