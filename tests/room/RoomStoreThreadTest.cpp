// The store under several threads: removal during a hand-out section, parallel readers and writers, and
// rooms coming and going. Every wait is bounded; run under ASan and TSan as well.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "RoomInfoMgr.h"
#include "RoomTestEnv.h"
#include "TestUtil.h"

namespace {

using namespace std::chrono_literals;

template <class Cond>
bool WaitFor(Cond cond, std::chrono::milliseconds limit = 10s) {
    return testsupport::WaitUntil(cond, limit, 1ms);
}

RoomUserInfo User(uint32_t uid) {
    RoomUserInfo u;
    u.uid = uid;
    u.nickname = "user" + std::to_string(uid);
    return u;
}

class RoomStoreThreads : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { roomtest::SetUpOnce(); }
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
};

// A removal while another thread holds the room neither deadlocks nor frees the record under the holder,
// and the same id may be opened again meanwhile.
TEST_P(RoomStoreThreads, RemovalWaitsForTheHandOut) {
    const int mode = GetParam();
    const uint32_t id = 700 + static_cast<uint32_t>(mode);
    ASSERT_EQ(store.InsertRoom(id, ChatServerInfo()), 1);
    store.AddRoomUser(id, User(1));

    std::promise<void> locked, release;
    std::atomic<int> unlocked{-1};
    std::thread holder([&] {
        CRoomBaseInfo* room = store.LockRoom(id, mode);
        if (!room) {
            locked.set_value();
            return;
        }
        room->lock.AssertHeld();
        locked.set_value();
        release.get_future().wait_for(10s);
        // Still this thread's record, whatever happened to the map meanwhile.
        if (mode == 2) room->name = "written";
        bool seen = room->users.count(1) == 1;
        unlocked = seen ? store.UnlockRoom(id) : -2;
    });
    ASSERT_EQ(locked.get_future().wait_for(10s), std::future_status::ready);

    std::atomic<bool> removed{false};
    std::thread remover([&] {
        store.RemoveRoom(id);
        removed = true;
    });
    // The room leaves the map at once and the id can be opened again; nothing waits for the store.
    ASSERT_TRUE(WaitFor([&] { return store.InsertRoom(id, ChatServerInfo()) == 1; }));
    EXPECT_FALSE(store.HasUser(id, 1));
    store.AddRoomUser(id, User(2));
    EXPECT_FALSE(removed.load());  // still waiting for the holder

    release.set_value();
    EXPECT_TRUE(WaitFor([&] { return removed.load(); }));
    holder.join();
    remover.join();
    EXPECT_EQ(unlocked.load(), 1);
    EXPECT_TRUE(store.HasUser(id, 2));
    EXPECT_FALSE(store.HasUser(id, 1));
    store.RemoveRoom(id);
}

INSTANTIATE_TEST_SUITE_P(SharedAndExclusive, RoomStoreThreads, ::testing::Values(1, 2));

TEST(RoomStoreLoad, ParallelReadersWritersAndRoomsComingAndGoing) {
    roomtest::SetUpOnce();
    CRoomInfoMgr& store = CRoomInfoMgr::GetInstance();
    ASSERT_EQ(store.InsertRoom(801, ChatServerInfo()), 1);
    ASSERT_EQ(store.InsertRoom(802, ChatServerInfo()), 1);
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::vector<std::future<void>> workers;
    for (int t = 0; t < 4; ++t) {
        workers.push_back(std::async(std::launch::async, [&, t] {
            RoomUserInfo out;
            for (uint32_t i = 0; !stop; ++i) {
                uint32_t room = 801 + (i + t) % 3;  // 803 comes and goes
                store.AddRoomUser(room, User(i % 50));
                store.GetRoomUser(room, (i + 7) % 50, out);
                store.SetUserMicState(room, i % 50, i % 3);
                store.CountMicUsers(room, true);
                if (CRoomBaseInfo* r = store.LockRoom(room, 1 + i % 2)) {
                    r->lock.AssertHeld();
                    reads += static_cast<long>(r->users.size());
                    store.UnlockRoom(room);
                }
                store.RemoveRoomUser(room, (i + 3) % 50);
            }
        }));
    }
    workers.push_back(std::async(std::launch::async, [&] {
        // The rooms come and go while the readers run: wait (bounded) until they have read something.
        for (int w = 0; w < 10000 && reads.load() == 0; ++w) std::this_thread::sleep_for(1ms);
        for (int i = 0; i < 300; ++i) {
            store.InsertRoom(803, ChatServerInfo());
            store.AddRoomUser(803, User(1));
            store.RemoveRoom(803);
        }
        stop = true;
    }));
    for (auto& w : workers) ASSERT_EQ(w.wait_for(60s), std::future_status::ready) << "deadlock";
    EXPECT_GT(reads.load(), 0);
    store.RemoveRoom(801);
    store.RemoveRoom(802);
}

}  // namespace
