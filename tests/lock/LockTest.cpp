#include "Lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// Waits until cond() holds or about two seconds pass.
template <class F>
bool Eventually(F cond) {
    for (int i = 0; i < 400; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

TEST(ReadWriteLock, WaitingWriterHoldsBackLaterReaders) {
    CReadWriteLock lock;
    std::vector<std::unique_ptr<CLockObject>> readers;
    for (int i = 0; i < 3; ++i) readers.push_back(std::make_unique<CLockObject>(&lock, CReadWriteLock::LOCK_READ));
    EXPECT_EQ(lock.Readers(), 3);

    std::atomic<int> order{0};
    std::atomic<int> writerAt{0}, readerAt{0};
    std::thread writer([&] {
        CLockObject w(&lock, CReadWriteLock::LOCK_WRITE);
        writerAt = ++order;
    });
    // Give the writer time to queue behind the readers.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::thread lateReader([&] {
        CLockObject r(&lock, CReadWriteLock::LOCK_READ);
        readerAt = ++order;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(order.load(), 0) << "neither may pass while the first readers hold the lock";

    readers.pop_back();
    readers.pop_back();
    EXPECT_EQ(order.load(), 0);
    readers.pop_back();  // the last reader lets the writer in

    writer.join();
    lateReader.join();
    EXPECT_EQ(writerAt.load(), 1);
    EXPECT_EQ(readerAt.load(), 2);
    EXPECT_EQ(lock.State(), 0);
}

TEST(ReadWriteLock, ReadersShareWithoutWaiting) {
    CReadWriteLock lock;
    CLockObject a(&lock, CReadWriteLock::LOCK_READ);
    std::atomic<bool> passed{false};
    std::thread t([&] {
        CLockObject b(&lock, CReadWriteLock::LOCK_READ);
        passed = true;
    });
    t.join();
    EXPECT_TRUE(passed);
    EXPECT_EQ(lock.Readers(), 1);
}

// Two read guards of one thread on purpose (the analysis counts every guard as holding the lock).
static void GuardOfOtherType() NO_THREAD_SAFETY_ANALYSIS {
    CReadWriteLock lock;
    CLockObject r1(&lock, CReadWriteLock::LOCK_READ);
    CLockObject r2(&lock, CReadWriteLock::LOCK_READ);
    {
        CLockObject none(&lock, 0);
        EXPECT_FALSE(none.Locked());
        CLockObject odd(&lock, 7);
        EXPECT_FALSE(odd.Locked());
    }
    // The readers' count is untouched, so a writer still waits.
    EXPECT_EQ(lock.Readers(), 2);
    EXPECT_EQ(lock.State(), CReadWriteLock::LOCK_READ);
    CLockObject nothing(nullptr, CReadWriteLock::LOCK_WRITE);
    EXPECT_FALSE(nothing.Locked());
}

TEST(ReadWriteLock, GuardOfOtherTypeTakesAndReleasesNothing) {
    GuardOfOtherType();
}

TEST(ReadWriteLock, WriterExcludesEveryoneUnderLoad) {
    CReadWriteLock lock;
    std::atomic<int> inside{0};
    std::atomic<bool> broken{false};
    long shared = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                if ((i + t) % 4 == 0) {
                    CLockObject w(&lock, CReadWriteLock::LOCK_WRITE);
                    if (inside.fetch_add(1) != 0) broken = true;
                    ++shared;
                    inside.fetch_sub(1);
                } else {
                    CLockObject r(&lock, CReadWriteLock::LOCK_READ);
                    volatile long seen = shared;
                    (void)seen;
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_FALSE(broken.load());
    EXPECT_EQ(shared, 8 * 2000 / 4);
    EXPECT_EQ(lock.State(), 0);
    EXPECT_EQ(lock.Readers(), 0);
}

TEST(ReadWriteLock, WriterWaitsForReaderThenReaderWaitsForWriter) {
    CReadWriteLock lock;
    auto reader = std::make_unique<CLockObject>(&lock, CReadWriteLock::LOCK_READ);
    std::atomic<bool> wrote{false};
    std::thread writer([&] {
        CLockObject w(&lock, CReadWriteLock::LOCK_WRITE);
        wrote = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(wrote.load());
    reader.reset();
    ASSERT_TRUE(Eventually([&] { return wrote.load(); }));
    CLockObject again(&lock, CReadWriteLock::LOCK_READ);  // waits for the writer to finish
    EXPECT_EQ(lock.State(), CReadWriteLock::LOCK_READ);
    writer.join();
}

}  // namespace
