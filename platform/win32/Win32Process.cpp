// Processes of the own user: start (with a reaper for the children), find by name, end.
#include "Win32Process.h"
#include "ThreadAnnotations.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

// Collects the children StartProcess made, so none stays a zombie. Stopped and joined at exit.
class Reaper {
public:
    void Add(pid_t pid) {
        varnet::MutexLock l(m_);
        pids_.push_back(pid);
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { Run(); });
        }
        cv_.notify_one();
    }
    // Collects what has ended now (also used by KillProcessByName).
    void Collect() {
        varnet::MutexLock l(m_);
        CollectLocked();
    }
    ~Reaper() {
        {
            varnet::MutexLock l(m_);
            stop_ = true;
            cv_.notify_one();
        }
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    void CollectLocked() REQUIRES(m_) {
        pids_.erase(std::remove_if(pids_.begin(), pids_.end(),
                                   [](pid_t p) {
                                       int st;
                                       pid_t r = waitpid(p, &st, WNOHANG);
                                       return r == p || (r < 0 && errno == ECHILD);
                                   }),
                    pids_.end());
    }
    void Run() {
        varnet::MutexLock l(m_);
        while (!stop_) {
            CollectLocked();
            if (pids_.empty()) {
                cv_.wait(l.Native());  // a new child or the stop
            } else {
                cv_.wait_for(l.Native(), std::chrono::milliseconds(100));
            }
        }
    }

    varnet::Mutex m_;
    std::condition_variable cv_;
    std::vector<pid_t> pids_ GUARDED_BY(m_);
    bool stop_ GUARDED_BY(m_) = false;
    std::thread thread_;
};

Reaper& TheReaper() {
    static Reaper reaper;
    return reaper;
}

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return s;
}

// Lower case without a trailing ".exe".
std::string Norm(const std::string& s) {
    std::string l = Lower(s);
    if (l.size() > 4 && l.compare(l.size() - 4, 4, ".exe") == 0) {
        l.resize(l.size() - 4);
    }
    return l;
}

bool ReadSmallFile(const std::string& path, std::string& out, size_t limit = 4096) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    out.clear();
    char buf[1024];
    ssize_t n;
    while (out.size() < limit && (n = read(fd, buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// True when `pid` is a live (not zombie) user-space process of the own user whose name matches.
bool Matches(int pid, const std::string& target, const std::string& lowerName) {
    std::string base = "/proc/" + std::to_string(pid);
    struct stat st {};
    if (stat(base.c_str(), &st) != 0 || st.st_uid != geteuid()) {
        return false;
    }
    std::string text;
    if (!ReadSmallFile(base + "/stat", text)) {
        return false;
    }
    size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) {
        return false;
    }
    char state = text[close + 2];
    if (state == 'Z' || state == 'X' || state == 'x') {
        return false;
    }
    std::string cmdline;
    if (!ReadSmallFile(base + "/cmdline", cmdline, 16) || cmdline.empty()) {
        return false;  // kernel threads
    }
    char exe[4096];
    ssize_t n = readlink((base + "/exe").c_str(), exe, sizeof exe - 1);
    if (n > 0) {
        std::string path(exe, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
            path.resize(path.size() - deleted.size());
        }
        if (Norm(path.substr(path.rfind('/') + 1)) == target) {
            return true;
        }
    }
    std::string comm;
    if (!ReadSmallFile(base + "/comm", comm, 64)) {
        return false;
    }
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == '\0')) {
        comm.pop_back();
    }
    if (Norm(comm) == target) {
        return true;
    }
    // The kernel cuts comm at 15 bytes; rely on that only when the executable cannot be read.
    std::string lc = Lower(comm);
    return n <= 0 && comm.size() == 15 && (lowerName.compare(0, 15, lc) == 0 || target.compare(0, 15, lc) == 0);
}

int PidfdOpen(int pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

bool SendSignal(int pid, int pidfd, int sig) {
#ifdef SYS_pidfd_send_signal
    if (pidfd >= 0) {
        return syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0) == 0;
    }
#endif
    (void)pidfd;
    return kill(pid, sig) == 0;
}

bool Exited(int pid, int pidfd) {
    if (pidfd >= 0) {
        pollfd p{pidfd, POLLIN, 0};
        return poll(&p, 1, 0) > 0;
    }
    if (kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    std::string text;
    if (!ReadSmallFile("/proc/" + std::to_string(pid) + "/stat", text)) {
        return true;
    }
    size_t close = text.rfind(')');
    return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

struct Target {
    int pid;
    int pidfd;
};

// Waits up to `ms` for every target to end; drops those that did.
void WaitForExit(std::vector<Target>& targets, unsigned ms) {
    for (unsigned waited = 0;; waited += 10) {
        TheReaper().Collect();
        targets.erase(std::remove_if(targets.begin(), targets.end(),
                                     [](const Target& t) {
                                         bool gone = Exited(t.pid, t.pidfd);
                                         if (gone && t.pidfd >= 0) {
                                             close(t.pidfd);
                                         }
                                         return gone;
                                     }),
                      targets.end());
        if (targets.empty() || waited >= ms) {
            return;
        }
        usleep(10000);
    }
}

}  // namespace

int StartProcess(const std::string& program, const std::vector<std::string>& args, const std::string& workdir) {
    if (program.empty()) {
        return -1;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const bool search = program.find('/') == std::string::npos;
    const char* dir = workdir.empty() ? nullptr : workdir.c_str();

    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        return -1;
    }
    pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
#ifdef SYS_close_range
        syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
#endif
        int err = 0;
        if (dir && chdir(dir) != 0) {
            err = errno;
        } else {
            if (search) {
                execvp(argv[0], argv.data());
            } else {
                execv(argv[0], argv.data());
            }
            err = errno;
        }
        ssize_t w = write(errPipe[1], &err, sizeof err);
        (void)w;
        _exit(127);
    }
    close(errPipe[1]);
    if (pid < 0) {
        close(errPipe[0]);
        return -1;
    }
    int err = 0;
    ssize_t n;
    do {
        n = read(errPipe[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(errPipe[0]);
    if (n == static_cast<ssize_t>(sizeof err)) {
        fprintf(stderr, "[win32] process: cannot start %s (%s)\n", program.c_str(), strerror(err));
        waitpid(pid, nullptr, 0);
        return -1;
    }
    TheReaper().Add(pid);
    return pid;
}

std::vector<int> FindProcessesByName(const std::string& name) {
    std::vector<int> found;
    std::string target = Norm(name);
    if (target.empty()) {
        return found;
    }
    std::string lowerName = Lower(name);
    DIR* d = opendir("/proc");
    if (!d) {
        return found;
    }
    while (dirent* e = readdir(d)) {
        char* end = nullptr;
        long pid = strtol(e->d_name, &end, 10);
        if (pid <= 0 || !end || *end != '\0') {
            continue;
        }
        if (Matches(static_cast<int>(pid), target, lowerName)) {
            found.push_back(static_cast<int>(pid));
        }
    }
    closedir(d);
    std::sort(found.begin(), found.end());
    return found;
}

int KillProcessByName(const std::string& name, unsigned graceMs) {
    std::string target = Norm(name);
    std::string lowerName = Lower(name);
    std::vector<Target> targets;
    for (int pid : FindProcessesByName(name)) {
        if (pid == getpid()) {
            continue;
        }
        int fd = PidfdOpen(pid);
        // Checked again through the pidfd's process: a pid reused since the scan is left alone.
        if (!Matches(pid, target, lowerName)) {
            if (fd >= 0) {
                close(fd);
            }
            continue;
        }
        if (SendSignal(pid, fd, SIGTERM)) {
            targets.push_back({pid, fd});
        } else if (fd >= 0) {
            close(fd);
        }
    }
    int count = static_cast<int>(targets.size());
    WaitForExit(targets, graceMs);
    for (const Target& t : targets) {
        fprintf(stderr, "[win32] process: %d ignored SIGTERM, killing it\n", t.pid);
        SendSignal(t.pid, t.pidfd, SIGKILL);
    }
    WaitForExit(targets, 2000);
    for (const Target& t : targets) {
        if (t.pidfd >= 0) {
            close(t.pidfd);
        }
    }
    return count;
}
