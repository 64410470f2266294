// Window runtime: posting, sending, handle life, timers and nested loops.
#include <glib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "Win32.h"

namespace {

struct Msg {
    UINT msg;
    WPARAM w;
    LPARAM l;
};

// Records every message; an optional handler gives the result.
class RecWindow : public CWin32Window {
public:
    std::vector<Msg> got;
    std::function<LRESULT(UINT, WPARAM, LPARAM)> handler;

    LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
        got.push_back({msg, w, l});
        return handler ? handler(msg, w, l) : 0;
    }
    int Count(UINT msg) const {
        int n = 0;
        for (auto& m : got) {
            n += m.msg == msg;
        }
        return n;
    }
};

// A heap payload that counts the live instances.
struct Payload {
    static std::atomic<int> live;
    int value;
    explicit Payload(int v) : value(v) { ++live; }
    ~Payload() { --live; }
};
std::atomic<int> Payload::live{0};

constexpr UINT kMsg = WM_USER + 1;

class Win32Loop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Win32Init());
        Payload::live = 0;
    }
    void TearDown() override {
        PumpMessagesFor(1);
        EXPECT_EQ(Payload::live.load(), 0);
    }
};

TEST_F(Win32Loop, PostsFromSeveralThreadsArriveInOrderPerPoster) {
    RecWindow win;
    HWND h = CreateWindowHandle(&win);
    ASSERT_NE(h, nullptr);
    constexpr int kThreads = 4, kEach = 3000;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([h, t] {
            for (int i = 0; i < kEach; ++i) {
                EXPECT_TRUE(PostMessage(h, kMsg, t, i));
            }
        });
    }
    EXPECT_TRUE(PumpUntil([&] { return win.got.size() == size_t(kThreads * kEach); }, 10000));
    for (auto& p : posters) {
        p.join();
    }
    std::vector<LPARAM> next(kThreads, 0);
    for (auto& m : win.got) {
        ASSERT_EQ(m.msg, kMsg);
        ASSERT_LT(m.w, WPARAM(kThreads));
        ASSERT_EQ(m.l, next[m.w]) << "poster " << m.w;
        ++next[m.w];
    }
    DestroyWindow(h);
}

TEST_F(Win32Loop, DeadOrNullWindowRefusesPostsAndPayloadsAreFreed) {
    RecWindow win;
    HWND h = CreateWindowHandle(&win);
    ASSERT_TRUE(DestroyWindow(h));
    struct Row {
        const char* what;
        HWND target;
    };
    for (Row row : {Row{"null", nullptr}, Row{"destroyed", h}, Row{"never made", reinterpret_cast<HWND>(0x7)}}) {
        SCOPED_TRACE(row.what);
        EXPECT_FALSE(PostMessage(row.target, kMsg, 0, 0));
        EXPECT_FALSE(PostMessageOwned(row.target, kMsg, 0, std::make_unique<Payload>(1)));
        EXPECT_EQ(Payload::live.load(), 0);
        EXPECT_EQ(SendMessage(row.target, kMsg, 0, 0), 0);
        EXPECT_FALSE(IsWindow(row.target));
        EXPECT_EQ(SetTimer(row.target, 1, 10), 0u);
    }
    EXPECT_FALSE(DestroyWindow(h));
}

TEST_F(Win32Loop, OwnedPayloadGoesToTheReceiverOrIsFreedWhenTheWindowDiesFirst) {
    RecWindow win;
    int seen = 0;
    win.handler = [&](UINT m, WPARAM, LPARAM l) -> LRESULT {
        if (m == kMsg) {
            std::unique_ptr<Payload> p(reinterpret_cast<Payload*>(l));
            seen = p->value;
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    ASSERT_TRUE(PostMessageOwned(h, kMsg, 0, std::make_unique<Payload>(5)));
    EXPECT_TRUE(PumpUntil([&] { return seen == 5; }, 2000));
    EXPECT_EQ(Payload::live.load(), 0);

    // Accepted, then the window dies before delivery: the runtime frees it and the object hears nothing.
    ASSERT_TRUE(PostMessageOwned(h, kMsg, 0, std::make_unique<Payload>(6)));
    std::thread worker([h] { EXPECT_TRUE(PostMessageOwned(h, kMsg, 0, std::make_unique<Payload>(7))); });
    worker.join();
    EXPECT_EQ(Payload::live.load(), 2);
    DestroyWindow(h);
    PumpMessagesFor(20);
    EXPECT_EQ(Payload::live.load(), 0);
    EXPECT_EQ(seen, 5);
}

TEST_F(Win32Loop, HandlesAreNeverReusedAndDestroySendsDestroyThenNcDestroy) {
    RecWindow a;
    HWND h1 = CreateWindowHandle(&a);
    EXPECT_EQ(CreateWindowHandle(&a), h1);
    EXPECT_EQ(GetWindowObject(h1), &a);
    EXPECT_EQ(a.Win32Handle(), h1);
    ASSERT_TRUE(SetProp(h1, "Name", &a));
    EXPECT_EQ(GetProp(h1, "Name"), &a);
    ASSERT_TRUE(DestroyWindow(h1));
    ASSERT_EQ(a.got.size(), 2u);
    EXPECT_EQ(a.got[0].msg, WM_DESTROY);
    EXPECT_EQ(a.got[1].msg, WM_NCDESTROY);
    EXPECT_EQ(GetProp(h1, "Name"), nullptr);
    EXPECT_EQ(a.Win32Handle(), nullptr);
    HWND h2 = CreateWindowHandle(&a);
    EXPECT_NE(h1, h2);
    EXPECT_FALSE(IsWindow(h1));
    EXPECT_TRUE(IsWindow(h2));
    DestroyWindow(h2);
}

TEST_F(Win32Loop, ObjectMayDeleteItselfAndDeletingKillsItsHandle) {
    // Deleting itself on WM_NCDESTROY, as a UI framework's final message does.
    auto* self = new RecWindow;
    self->handler = [self](UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_NCDESTROY) {
            delete self;
        }
        return 0;
    };
    HWND h = CreateWindowHandle(self);
    EXPECT_TRUE(DestroyWindow(h));
    EXPECT_FALSE(IsWindow(h));

    // Deleted on WM_DESTROY: no WM_NCDESTROY reaches freed memory.
    auto* early = new RecWindow;
    early->handler = [early](UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_DESTROY) {
            delete early;
        }
        return 0;
    };
    h = CreateWindowHandle(early);
    EXPECT_TRUE(DestroyWindow(h));

    // Deleted without DestroyWindow: the handle is dead and a queued message is dropped.
    auto* plain = new RecWindow;
    h = CreateWindowHandle(plain);
    ASSERT_TRUE(SetTimer(h, 3, 10));
    ASSERT_TRUE(PostMessageOwned(h, kMsg, 0, std::make_unique<Payload>(1)));
    delete plain;
    EXPECT_FALSE(IsWindow(h));
    PumpMessagesFor(30);
    EXPECT_EQ(Payload::live.load(), 0);
}

TEST_F(Win32Loop, SendFromWorkerRunsOnTheUIThreadAndReturnsTheResult) {
    RecWindow win;
    std::thread::id ranOn;
    win.handler = [&](UINT, WPARAM w, LPARAM l) -> LRESULT {
        ranOn = std::this_thread::get_id();
        return static_cast<LRESULT>(w) * 100 + l;
    };
    HWND h = CreateWindowHandle(&win);
    // On the UI thread: a direct call.
    EXPECT_EQ(SendMessage(h, kMsg, 1, 2), 102);
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    std::atomic<LRESULT> result{-1};
    std::thread worker([&] { result = SendMessage(h, kMsg, 3, 4); });
    EXPECT_TRUE(PumpUntil([&] { return result.load() != -1; }, 5000));
    worker.join();
    EXPECT_EQ(result.load(), 304);
    EXPECT_EQ(ranOn, std::this_thread::get_id());

    // Nobody pumps: the timed send gives up; the message is handled later without harm.
    std::atomic<int> timedOut{-1};
    std::thread impatient([&] {
        LRESULT r = 0;
        timedOut = SendMessageTimeout(h, kMsg, 5, 6, 30, &r) ? 0 : 1;
    });
    impatient.join();
    EXPECT_EQ(timedOut.load(), 1);
    size_t before = win.got.size();
    PumpMessagesFor(10);
    EXPECT_EQ(win.got.size(), before + 1);

    // A window that dies while a worker waits releases the worker with 0 (nothing is pumped meanwhile).
    std::atomic<LRESULT> late{-1};
    std::thread waiter([&] { late = SendMessage(h, kMsg, 7, 8); });
    Sleep(30);
    DestroyWindow(h);
    waiter.join();
    EXPECT_EQ(late.load(), 0);
}

TEST_F(Win32Loop, TimersRepeatRestartStopAndDieWithTheWindow) {
    RecWindow win;
    win.handler = [&](UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m == WM_TIMER && w == 2 && win.Count(WM_TIMER) >= 3) {
            KillTimer(win.Win32Handle(), 2);  // killing itself from its own handler
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    ASSERT_EQ(SetTimer(h, 2, 15), 2u);
    ASSERT_TRUE(PumpUntil([&] { return win.Count(WM_TIMER) >= 3; }, 3000));
    PumpMessagesFor(60);
    EXPECT_EQ(win.Count(WM_TIMER), 3);
    EXPECT_FALSE(KillTimer(h, 2));
    for (auto& m : win.got) {
        if (m.msg == WM_TIMER) {
            EXPECT_EQ(m.w, 2u);
            EXPECT_EQ(m.l, 0);
        }
    }

    // Re-setting an id restarts it: a long timer re-set short fires soon.
    win.got.clear();
    SetTimer(h, 4, 100000);
    SetTimer(h, 4, 10);
    EXPECT_TRUE(PumpUntil([&] { return win.Count(WM_TIMER) >= 2; }, 3000));

    // After DestroyWindow no WM_TIMER arrives.
    ASSERT_TRUE(DestroyWindow(h));
    size_t after = win.got.size();
    PumpMessagesFor(60);
    EXPECT_EQ(win.got.size(), after);
    EXPECT_FALSE(KillTimer(h, 4));
}

TEST_F(Win32Loop, ModalLoopsNestAndEachReturnsItsOwnCode) {
    RecWindow win;
    CModalLoop outer, inner;
    std::vector<std::string> trace;
    int innerCode = 0, outerCode = 0;
    win.handler = [&](UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m != kMsg) {
            return 0;
        }
        switch (w) {
        case 1:  // opens the outer dialog
            PostMessage(win.Win32Handle(), kMsg, 2, 0);
            outerCode = outer.Run();
            trace.push_back("outer returned");
            break;
        case 2:  // inside the outer: opens the inner
            EXPECT_TRUE(outer.Running());
            PostMessage(win.Win32Handle(), kMsg, 3, 0);
            innerCode = inner.Run();
            trace.push_back("inner returned");
            PostMessage(win.Win32Handle(), kMsg, 4, 0);
            break;
        case 3:
            EXPECT_TRUE(inner.Running());
            inner.End(7);
            break;
        case 4:
            EXPECT_FALSE(inner.Running());
            outer.End(9);
            break;
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    PostMessage(h, kMsg, 1, 0);
    ASSERT_TRUE(PumpUntil([&] { return trace.size() == 2; }, 3000));
    EXPECT_EQ(trace, (std::vector<std::string>{"inner returned", "outer returned"}));
    EXPECT_EQ(innerCode, 7);
    EXPECT_EQ(outerCode, 9);
    EXPECT_FALSE(outer.Running());

    // End before Run: Run returns at once with that code.
    CModalLoop early;
    early.End(IDCANCEL);
    EXPECT_EQ(early.Run(), IDCANCEL);
    DestroyWindow(h);
}

TEST_F(Win32Loop, PlainGLibSourcesRunInsideModalLoops) {
    // A toolkit's events come as sources of the default context: they must flow inside a modal loop.
    CModalLoop modal;
    g_timeout_add(
        10,
        [](gpointer p) -> gboolean {
            static_cast<CModalLoop*>(p)->End(IDOK);
            return G_SOURCE_REMOVE;
        },
        &modal);
    EXPECT_EQ(modal.Run(), IDOK);
}

TEST_F(Win32Loop, ModalLoopDestroyedWhileRunningEndsWithQuit) {
    RecWindow win;
    auto* modal = new CModalLoop;
    int code = 0;
    win.handler = [&](UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m == kMsg && w == 1) {
            PostMessage(win.Win32Handle(), kMsg, 2, 0);
            code = modal->Run();  // returns without touching the deleted object
        } else if (m == kMsg && w == 2) {
            delete modal;
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    PostMessage(h, kMsg, 1, 0);
    EXPECT_TRUE(PumpUntil([&] { return code != 0; }, 3000));
    EXPECT_EQ(code, CModalLoop::kQuit);
    DestroyWindow(h);
}

TEST_F(Win32Loop, TimersAndPostsKeepFlowingInsideAModalLoopOpenedByATimer) {
    RecWindow win;
    CModalLoop modal;
    int ticksInside = 0;
    win.handler = [&](UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m == WM_TIMER && w == 1) {
            KillTimer(win.Win32Handle(), 1);
            SetTimer(win.Win32Handle(), 2, 10);
            return modal.Run();
        }
        if (m == WM_TIMER && w == 2 && ++ticksInside == 3) {
            PostMessage(win.Win32Handle(), kMsg, 0, 0);
        }
        if (m == kMsg) {
            KillTimer(win.Win32Handle(), 2);
            modal.End(3);
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    SetTimer(h, 1, 10);
    EXPECT_TRUE(PumpUntil([&] { return win.Count(kMsg) == 1 && !modal.Running(); }, 3000));
    EXPECT_EQ(ticksInside, 3);
    DestroyWindow(h);
}

TEST_F(Win32Loop, QuitInsideAModalLoopEndsItAndReachesTheOuterLoop) {
    RecWindow win;
    CModalLoop modal;
    int modalCode = 0;
    win.handler = [&](UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m == kMsg && w == 1) {
            PostMessage(win.Win32Handle(), kMsg, 2, 0);
            modalCode = modal.Run();
        } else if (m == kMsg && w == 2) {
            PostQuitMessage(42);
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    PostMessage(h, kMsg, 1, 0);
    EXPECT_EQ(RunMessageLoop(), 42);
    EXPECT_EQ(modalCode, CModalLoop::kQuit);

    // A quit from another thread ends the main loop too.
    std::thread other([] { PostQuitMessage(5); });
    EXPECT_EQ(RunMessageLoop(), 5);
    other.join();
    DestroyWindow(h);
}

TEST_F(Win32Loop, DestroyFromAWorkerRunsOnTheUIThread) {
    RecWindow win;
    std::thread::id destroyedOn;
    win.handler = [&](UINT m, WPARAM, LPARAM) -> LRESULT {
        if (m == WM_DESTROY) {
            destroyedOn = std::this_thread::get_id();
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    std::atomic<int> result{-1};
    std::thread worker([&] {
        EXPECT_FALSE(IsUIThread());
        result = DestroyWindow(h);
    });
    EXPECT_TRUE(PumpUntil([&] { return result.load() != -1; }, 3000));
    worker.join();
    EXPECT_EQ(result.load(), TRUE);
    EXPECT_EQ(destroyedOn, std::this_thread::get_id());
    EXPECT_TRUE(IsUIThread());
}

}  // namespace

// Deferred deletion: queued inside a nested loop (ours, or a plain GLib loop such as GTK's dialog and
// clipboard waits run), the object lives until the outermost loop runs again; outside any loop it goes at once.
TEST_F(Win32Loop, DeleteWhenIdleWaitsForTheOutermostLoop) {
    struct Counted {
        explicit Counted(int* d) : deleted(d) {}
        int* deleted;
        ~Counted() { ++*deleted; }
    };
    int deleted = 0;
    DeleteWhenIdle(std::make_unique<Counted>(&deleted));
    EXPECT_EQ(deleted, 1) << "no loop runs: at once";

    RecWindow win;
    CModalLoop modal;
    bool done = false;
    int deletedInside = -1, deletedInGlib = -1;
    win.handler = [&](UINT m, WPARAM w, LPARAM) -> LRESULT {
        if (m != kMsg) return 0;
        if (w == 1) {
            PostMessage(win.Win32Handle(), kMsg, 2, 0);
            modal.Run();
            done = true;
        } else if (w == 2) {
            EXPECT_TRUE(InNestedLoop());
            DeleteWhenIdle(std::make_unique<Counted>(&deleted));
            // A plain GLib loop inside ours: still nested.
            GMainLoop* glib = g_main_loop_new(nullptr, FALSE);
            PostMessage(win.Win32Handle(), kMsg, 3, reinterpret_cast<LPARAM>(glib));
            g_main_loop_run(glib);
            g_main_loop_unref(glib);
            deletedInGlib = deleted;
            modal.End(0);
        }
        return 0;
    };
    HWND h = CreateWindowHandle(&win);
    win.handler = [&, inner = win.handler](UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == kMsg && w == 3) {
            deletedInside = deleted;
            g_main_loop_quit(reinterpret_cast<GMainLoop*>(l));
            return 0;
        }
        return inner(m, w, l);
    };
    PostMessage(h, kMsg, 1, 0);
    EXPECT_TRUE(PumpUntil([&] { return done && deleted == 2; }, 3000));
    EXPECT_EQ(deletedInside, 1);
    EXPECT_EQ(deletedInGlib, 1);
    EXPECT_FALSE(InNestedLoop());
    DestroyWindow(h);
}
