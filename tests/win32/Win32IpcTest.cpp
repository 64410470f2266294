// Window properties published to other processes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <csignal>
#include <cstring>
#include <thread>

#include "Win32.h"
#include "Win32TestUtil.h"

namespace {

using w32test::HelperPath;
using w32test::Spawn;
using w32test::WaitExit;

constexpr UINT kResChanged = WM_USER + 106;
const char kProp[] = "VarnetMainWnd";

class Recorder : public CWin32Window {
public:
    struct Msg {
        UINT msg;
        WPARAM w;
        LPARAM l;
    };
    std::vector<Msg> got;
    LRESULT HandleMessage(UINT msg, WPARAM w, LPARAM l) override {
        if (msg != WM_DESTROY && msg != WM_NCDESTROY) {
            got.push_back({msg, w, l});
        }
        return 0;
    }
};

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

class Win32Ipc : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
        ASSERT_TRUE(Win32Init());
    }
    void TearDown() override { UnpublishWindowProperty(kProp); }

    w32test::TempDir dir_;
};

TEST_F(Win32Ipc, AnotherProcessPostsToTheWindowFoundByProperty) {
    Recorder win;
    HWND h = CreateWindowHandle(&win);
    ASSERT_TRUE(PublishWindowProperty(kProp, h));
    EXPECT_EQ(WindowPropertySocketPath(kProp), dir_.path() + "/VarnetMainWnd.sock");
    constexpr int kCount = 300;
    pid_t child = Spawn({HelperPath(), "post", kProp, std::to_string(kResChanged), std::to_string(kCount), "-77"});
    ASSERT_GT(child, 0);
    EXPECT_TRUE(PumpUntil([&] { return win.got.size() >= size_t(kCount); }, 10000));
    EXPECT_EQ(WaitExit(child), 0);
    ASSERT_EQ(win.got.size(), size_t(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(win.got[i].msg, kResChanged);
        EXPECT_EQ(win.got[i].w, WPARAM(i));
        EXPECT_EQ(win.got[i].l, -77);
    }
    DestroyWindow(h);
}

TEST_F(Win32Ipc, SocketGoesWithTheWindowOrTheUnpublish) {
    std::string path = WindowPropertySocketPath(kProp);
    {
        Recorder win;
        HWND h = CreateWindowHandle(&win);
        ASSERT_TRUE(PublishWindowProperty(kProp, h));
        EXPECT_TRUE(Exists(path));
        DestroyWindow(h);
        EXPECT_FALSE(Exists(path));
        EXPECT_FALSE(PostMessageToProperty(kProp, kResChanged, 1, 0));
        EXPECT_FALSE(PublishWindowProperty(kProp, h)) << "dead window";
    }
    {
        Recorder win;
        HWND h = CreateWindowHandle(&win);
        ASSERT_TRUE(PublishWindowProperty(kProp, h));
        UnpublishWindowProperty(kProp);
        EXPECT_FALSE(Exists(path));
        EXPECT_FALSE(PostMessageToProperty(kProp, kResChanged, 1, 0));
        EXPECT_TRUE(IsWindow(h));
        DestroyWindow(h);
    }
    {
        // Deleting the object without DestroyWindow also retires the socket.
        auto* win = new Recorder;
        ASSERT_TRUE(PublishWindowProperty(kProp, CreateWindowHandle(win)));
        delete win;
        EXPECT_FALSE(Exists(path));
    }
}

TEST_F(Win32Ipc, StaleSocketOfADeadProcessIsReplaced) {
    std::string path = WindowPropertySocketPath(kProp);
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);  // left behind, as by a process that died
    ASSERT_TRUE(Exists(path));
    EXPECT_FALSE(PostMessageToProperty(kProp, kResChanged, 1, 0));

    Recorder win;
    HWND h = CreateWindowHandle(&win);
    ASSERT_TRUE(PublishWindowProperty(kProp, h));
    pid_t child = Spawn({HelperPath(), "post", kProp, std::to_string(kResChanged), "1", "5"});
    EXPECT_TRUE(PumpUntil([&] { return win.got.size() == 1; }, 5000));
    EXPECT_EQ(WaitExit(child), 0);
    DestroyWindow(h);
}

TEST_F(Win32Ipc, SocketOfAKilledPublisherIsReplaced) {
    int out = -1;
    pid_t server = Spawn({HelperPath(), "serve", kProp, std::to_string(kResChanged), "5000"}, &out);
    ASSERT_GT(server, 0);
    EXPECT_EQ(w32test::ReadLine(out), "ready");
    close(out);
    kill(server, SIGKILL);
    EXPECT_EQ(WaitExit(server), -1);
    EXPECT_TRUE(Exists(WindowPropertySocketPath(kProp))) << "left behind";

    Recorder win;
    HWND h = CreateWindowHandle(&win);
    ASSERT_TRUE(PublishWindowProperty(kProp, h));
    EXPECT_TRUE(PostMessageToProperty(kProp, kResChanged, 4, 0));
    EXPECT_TRUE(PumpUntil([&] { return win.got.size() == 1; }, 3000));
    DestroyWindow(h);
}

// A second copy publishes beside the first one's live socket; senders reach the first while it lives, then
// the second.
TEST_F(Win32Ipc, LiveSocketOfAnotherProcessIsKeptAndASecondCopyPublishesBeside) {
    int out = -1;
    pid_t server = Spawn({HelperPath(), "serve", kProp, std::to_string(kResChanged), "5000"}, &out);
    ASSERT_GT(server, 0);
    EXPECT_EQ(w32test::ReadLine(out), "ready");
    close(out);

    Recorder win;
    HWND h = CreateWindowHandle(&win);
    EXPECT_TRUE(PublishWindowProperty(kProp, h));
    const std::string beside = dir_.path() + "/VarnetMainWnd." + std::to_string(getpid()) + ".sock";
    EXPECT_TRUE(Exists(beside));
    EXPECT_EQ(FindWindowPropertySocket(kProp), WindowPropertySocketPath(kProp));
    EXPECT_TRUE(PostMessageToProperty(kProp, kResChanged, 9, 0));
    EXPECT_EQ(WaitExit(server), 9) << "the other process got (msg, 9)";
    EXPECT_FALSE(Exists(WindowPropertySocketPath(kProp))) << "it removed its socket on the way out";
    EXPECT_EQ(FindWindowPropertySocket(kProp), beside);
    EXPECT_TRUE(PostMessageToProperty(kProp, kResChanged, 3, 0));
    EXPECT_TRUE(PumpUntil([&] { return win.got.size() == 1; }, 3000));
    DestroyWindow(h);
    EXPECT_FALSE(Exists(beside));
    EXPECT_FALSE(Exists(beside + ".lock")) << "a copy's own name leaves nothing behind";
    EXPECT_EQ(FindWindowPropertySocket(kProp), "");
}

TEST_F(Win32Ipc, MalformedDatagramsAreDroppedAndTheNameCanMoveToAnotherWindow) {
    Recorder first, second;
    HWND h1 = CreateWindowHandle(&first);
    HWND h2 = CreateWindowHandle(&second);
    ASSERT_TRUE(PublishWindowProperty(kProp, h1));
    ASSERT_TRUE(PublishWindowProperty(kProp, h2));

    std::string path = WindowPropertySocketPath(kProp);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
    std::string bad[] = {std::string(3, 'x'), std::string(24, '\0'), std::string(100, 'y'), std::string()};
    for (auto& b : bad) {
        EXPECT_EQ(sendto(fd, b.data(), b.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr),
                  ssize_t(b.size()));
    }
    close(fd);
    EXPECT_TRUE(PostMessageToProperty(kProp, kResChanged, 0x800, 0));
    EXPECT_TRUE(PumpUntil([&] { return !second.got.empty(); }, 3000));
    PumpMessagesFor(20);
    ASSERT_EQ(second.got.size(), 1u);
    EXPECT_EQ(second.got[0].w, 0x800u);
    EXPECT_TRUE(first.got.empty());

    // Names are made safe for a file name; an empty name is refused.
    EXPECT_EQ(WindowPropertySocketPath("a/../b"), dir_.path() + "/a_.._b.sock");
    EXPECT_FALSE(PublishWindowProperty("", h1));
    EXPECT_FALSE(PostMessageToProperty("", kResChanged, 0, 0));
    DestroyWindow(h1);
    DestroyWindow(h2);
}

TEST_F(Win32Ipc, OnlyExpectedMessagesAreTakenFromOutside) {
    Recorder win;
    HWND h = CreateWindowHandle(&win);
    ASSERT_TRUE(PublishWindowProperty(kProp, h));
    struct Row {
        UINT msg;
        bool taken;
    };
    for (Row r : {Row{WM_DESTROY, false}, Row{WM_CLOSE, false}, Row{WM_TIMER, false}, Row{WM_QUIT, false},
                  Row{WM_USER, true}, Row{kResChanged, true}}) {
        EXPECT_TRUE(PostMessageToProperty(kProp, r.msg, 1, 2));
    }
    PumpUntil([&] { return win.got.size() >= 2; }, 3000);
    PumpMessagesFor(30);  // the refused ones are read too before the list changes
    // Only the listed messages once a list is given.
    ASSERT_TRUE(PublishWindowProperty(kProp, h, {kResChanged, kResChanged + 3}));
    EXPECT_TRUE(PostMessageToProperty(kProp, kResChanged + 1, 0, 0));
    EXPECT_TRUE(PostMessageToProperty(kProp, kResChanged + 3, 0, 0));
    EXPECT_TRUE(PostMessageToProperty(kProp, kResChanged, 0, 0));
    PumpUntil([&] { return win.got.size() >= 4; }, 3000);
    PumpMessagesFor(30);
    std::vector<UINT> got;
    for (auto& m : win.got) {
        got.push_back(m.msg);
    }
    EXPECT_EQ(got, (std::vector<UINT>{WM_USER, kResChanged, kResChanged + 3, kResChanged}));
    EXPECT_TRUE(IsWindow(h));
    DestroyWindow(h);
}

}  // namespace

// Folders another user could reach, or could have made, are never used for the sockets.
TEST(Win32IpcFolder, OnlyPrivateFoldersOfTheUserAreUsed) {
    const std::string uid = std::to_string(geteuid());
    const bool root = geteuid() == 0;  // only root can give a folder to another user here
    enum Kind { Missing, Private, Open, Foreign, Link, File };
    struct Row {
        Kind xdg, tmp, home;
        const char* expect;  // "xdg", "tmp", "home" or ""
    } rows[] = {
        {Private, Missing, Missing, "xdg"},  {Open, Missing, Missing, "tmp"},  {Link, Private, Missing, "tmp"},
        {Foreign, Missing, Missing, "tmp"},  {File, Missing, Missing, "tmp"},  {Missing, Open, Missing, "home"},
        {Missing, Foreign, Missing, "home"}, {Missing, Link, Missing, "home"}, {Missing, File, Private, "home"},
        {Missing, Foreign, File, ""},        {Missing, Foreign, Foreign, ""},
    };
    for (const Row& r : rows) {
        if (!root && (r.xdg == Foreign || r.tmp == Foreign || r.home == Foreign)) {
            continue;
        }
        w32test::TempDir base;
        ASSERT_FALSE(base.path().empty());
        const std::string target = base.path() + "/target";  // a private folder of ours that links point to
        ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
        auto make = [&](const std::string& path, Kind k) {
            switch (k) {
            case Missing:
                return;
            case Private:
                ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
                return;
            case Open:
                ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
                ASSERT_EQ(chmod(path.c_str(), 0777), 0);
                return;
            case Foreign:
                ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
                ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
                return;
            case Link:
                ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
                return;
            case File: {
                FILE* f = fopen(path.c_str(), "w");
                ASSERT_NE(f, nullptr);
                fclose(f);
                return;
            }
            }
        };
        const std::string xdg = base.path() + "/xdg", tmpRoot = base.path() + "/tmp", home = base.path() + "/home";
        ASSERT_EQ(mkdir(tmpRoot.c_str(), 01777), 0);
        ASSERT_EQ(mkdir(home.c_str(), 0700), 0);
        make(xdg, r.xdg);
        make(tmpRoot + "/varnet-" + uid, r.tmp);
        make(home + "/.varnet-run-" + uid, r.home);
        std::string want = std::string(r.expect) == "xdg"    ? xdg
                           : std::string(r.expect) == "tmp"  ? tmpRoot + "/varnet-" + uid
                           : std::string(r.expect) == "home" ? home + "/.varnet-run-" + uid
                                                             : "";
        std::string got = ChooseRuntimeFolder(r.xdg == Missing ? nullptr : xdg.c_str(), tmpRoot, home);
        EXPECT_EQ(got, want) << r.xdg << r.tmp << r.home;
        if (!got.empty()) {
            struct stat st {};
            ASSERT_EQ(lstat(got.c_str(), &st), 0);
            EXPECT_TRUE(S_ISDIR(st.st_mode));
            EXPECT_EQ(st.st_mode & 077, 0u);
            EXPECT_EQ(st.st_uid, geteuid());
        }
    }
    // Through the environment: a runtime folder open to others is not where the window's name goes.
    w32test::TempDir open;
    ASSERT_EQ(chmod(open.path().c_str(), 0755), 0);
    setenv("XDG_RUNTIME_DIR", open.path().c_str(), 1);
    std::string path = WindowPropertySocketPath(kProp);
    EXPECT_FALSE(path.empty());
    EXPECT_NE(path.rfind(open.path() + "/", 0), 0u) << path;
    unsetenv("XDG_RUNTIME_DIR");
}
