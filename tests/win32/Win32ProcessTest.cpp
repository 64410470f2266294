// Starting, finding and ending processes by name.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "Win32.h"
#include "Win32TestUtil.h"

namespace {

bool Contains(const std::vector<int>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

// Copies a system program under a name no other process has.
std::string CopyProgram(const std::string& from, const std::string& dir, const std::string& name) {
    std::string to = dir + "/" + name;
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
    out.close();
    chmod(to.c_str(), 0755);
    return to;
}

bool Gone(int pid) {
    if (kill(pid, 0) != 0) {
        return true;
    }
    std::ifstream st("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(st)), {});
    size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

class Win32Process : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(dir_.path().empty()); }
    std::string Unique(const char* stem) const { return stem + std::to_string(getpid()); }

    w32test::TempDir dir_;
};

TEST_F(Win32Process, StartFindAndKillASleepingChild) {
    std::string name = Unique("VnSleep");
    std::string prog = CopyProgram("/bin/sleep", dir_.path(), name);
    int pid = StartProcess(prog, {"30"}, dir_.path());
    ASSERT_GT(pid, 0);
    std::string lower = name, upper = name;
    std::transform(name.begin(), name.end(), lower.begin(), ::tolower);
    std::transform(name.begin(), name.end(), upper.begin(), ::toupper);
    for (const std::string& query : {name, lower + ".exe", upper + ".EXE"}) {
        EXPECT_EQ(FindProcessesByName(query), std::vector<int>{pid}) << query;
    }
    EXPECT_TRUE(FindProcessesByName("VnSleep").empty());
    EXPECT_TRUE(FindProcessesByName(name.substr(0, name.size() - 1)).empty());
    EXPECT_TRUE(FindProcessesByName(".exe").empty());
    EXPECT_EQ(KillProcessByName(name + ".exe", 2000), 1);
    EXPECT_TRUE(Gone(pid));
    EXPECT_TRUE(FindProcessesByName(name).empty());
    EXPECT_EQ(KillProcessByName(name), 0);
}

TEST_F(Win32Process, ChildIgnoringTermIsKilledAfterTheGrace) {
    std::string name = Unique("VnShell");
    std::string prog = CopyProgram("/bin/sh", dir_.path(), name);
    int pid = StartProcess(prog, {"-c", "trap '' TERM; while :; do sleep 0.05; done"}, "");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(PumpUntil([&] { return Contains(FindProcessesByName(name), pid); }, 3000));
    Sleep(100);  // let the shell install its trap
    EXPECT_EQ(KillProcessByName(name, 150), 1);
    EXPECT_TRUE(Gone(pid));
}

TEST_F(Win32Process, StartReportsFailuresAndHonoursTheFolder) {
    EXPECT_EQ(StartProcess(dir_.path() + "/no-such-program", {}, ""), -1);
    EXPECT_EQ(StartProcess("/bin/true", {}, dir_.path() + "/no-such-folder"), -1);
    EXPECT_EQ(StartProcess("", {}, ""), -1);
    EXPECT_GT(StartProcess("true", {}, ""), 0) << "found in PATH";

    int pid = StartProcess("/bin/sh", {"-c", "pwd > where.txt"}, dir_.path());
    ASSERT_GT(pid, 0);
    std::string where;
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::ifstream in(dir_.path() + "/where.txt");
            std::getline(in, where);
            return !where.empty();
        },
        3000));
    EXPECT_EQ(where, dir_.path());
    // The reaper collects the children: none stays a zombie.
    EXPECT_TRUE(PumpUntil([&] { return kill(pid, 0) != 0; }, 3000));
}

TEST_F(Win32Process, OtherUsersProcessesAreNeverMatched) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to start a process of another user";
    }
    chmod(dir_.path().c_str(), 0755);
    std::string name = Unique("VnOther");
    std::string prog = CopyProgram("/bin/sleep", dir_.path(), name);
    pid_t pid = fork();
    if (pid == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) {
            _exit(3);
        }
        execl(prog.c_str(), prog.c_str(), "30", static_cast<char*>(nullptr));
        _exit(4);
    }
    ASSERT_GT(pid, 0);
    Sleep(100);
    ASSERT_EQ(kill(pid, 0), 0) << "the other user's process runs";
    EXPECT_TRUE(FindProcessesByName(name).empty());
    EXPECT_EQ(KillProcessByName(name, 100), 0);
    EXPECT_EQ(kill(pid, 0), 0) << "still alive";
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

TEST_F(Win32Process, OwnProcessIsFoundButNeverKilled) {
    std::ifstream comm("/proc/self/comm");
    std::string own;
    std::getline(comm, own);
    EXPECT_TRUE(Contains(FindProcessesByName(own), getpid()));

    // A process under a unique name asks to kill that name: it survives and counts nothing.
    std::string name = Unique("VnSelf");
    std::string prog = CopyProgram(w32test::HelperPath(), dir_.path(), name);
    pid_t child = w32test::Spawn({prog, "killself", name});
    ASSERT_GT(child, 0);
    EXPECT_EQ(w32test::WaitExit(child), 0);
}

}  // namespace
