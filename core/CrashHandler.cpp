#include "CrashHandler.h"

#include <cxxabi.h>
#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <exception>

#include "UserFolders.h"

extern char** environ;

namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kNumSignals = sizeof(kSignals) / sizeof(kSignals[0]);
constexpr size_t kPath = 260;
constexpr unsigned kAlarmSeconds = 20;
constexpr int kThreadWaitMs = 200;
// All other threads together get at most this long, so the report always goes out well before the alarm.
constexpr int kThreadBudgetMs = 5000;
constexpr int kMaxThreads = 256;

// Prepared at installation; read by the handler.
char g_folder[kPath];
char g_name[64];
char g_reporter[PATH_MAX];
int64_t g_utcOffset = 0;
int g_dumpType = 0;
int g_threadSignal = 0;
bool g_installed = false;
struct sigaction g_old[kNumSignals];
struct sigaction g_oldThread;
std::terminate_handler g_oldTerminate = nullptr;
alignas(16) char g_altStack[64 * 1024];

// The crash being handled.
std::atomic<int> g_crashing{0};
std::atomic<pid_t> g_crashTid{0};
std::atomic<int> g_fd{-1};
std::atomic<int> g_answered{0};
std::atomic_flag g_writeLock = ATOMIC_FLAG_INIT;
const char* g_reason = nullptr;  // set by the terminate handler before it aborts

// ---- async-signal-safe output

void Put(int fd, const char* s, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, s, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        s += w;
        n -= static_cast<size_t>(w);
    }
}
void Put(int fd, const char* s) {
    Put(fd, s, strlen(s));
}

void PutNum(int fd, uint64_t v, int base = 10, int width = 0) {
    char buf[32];
    int i = sizeof(buf);
    do {
        buf[--i] = "0123456789abcdef"[v % base];
        v /= base;
    } while (v && i > 0);
    while (sizeof(buf) - i < static_cast<size_t>(width) && i > 0) buf[--i] = '0';
    Put(fd, buf + i, sizeof(buf) - i);
}
void PutHex(int fd, uint64_t v) {
    Put(fd, "0x");
    PutNum(fd, v, 16);
}

void SleepMs(int ms) {
    timespec ts{0, ms * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {}
}

bool DebuggerAttached() {
    int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof(buf) - 1);
    close(fd);
    if (n <= 0) return false;
    buf[n] = 0;
    const char* t = strstr(buf, "TracerPid:");
    if (!t) return false;
    t += 10;
    while (*t == ' ' || *t == '\t') ++t;
    return *t && *t != '0';
}

void CopyFile(int out, const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof(buf))) > 0) Put(out, buf, static_cast<size_t>(n));
    close(fd);
}

void WriteStack(int fd, const char* title) {
    void* frames[64];
    int n = backtrace(frames, 64);
    while (g_writeLock.test_and_set(std::memory_order_acquire)) SleepMs(1);
    Put(fd, "\nthread ");
    PutNum(fd, static_cast<uint64_t>(syscall(SYS_gettid)));
    Put(fd, title);
    Put(fd, "\n");
    backtrace_symbols_fd(frames, n, fd);
    g_writeLock.clear(std::memory_order_release);
}

// Another thread's part: its own stack.
void OnThreadSignal(int, siginfo_t*, void*) {
    int fd = g_fd.load();
    if (fd < 0 || !g_crashing.load()) return;
    WriteStack(fd, "");
    g_answered.fetch_add(1);
}

// Asks every other thread for its stack and waits a bounded time for each.
void WriteOtherThreads(int fd) {
    int dir = open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return;
    pid_t self = static_cast<pid_t>(syscall(SYS_gettid));
    pid_t pid = getpid();
    char buf[4096];
    int asked = 0, spentMs = 0;
    long n;
    while ((n = syscall(SYS_getdents64, dir, buf, sizeof(buf))) > 0 && asked < kMaxThreads) {
        for (long off = 0; off < n;) {
            unsigned short reclen;
            memcpy(&reclen, buf + off + 16, sizeof(reclen));
            const char* name = buf + off + 19;
            off += reclen;
            if (name[0] < '0' || name[0] > '9') continue;
            pid_t tid = 0;
            for (const char* p = name; *p >= '0' && *p <= '9'; ++p) tid = tid * 10 + (*p - '0');
            if (tid == self) continue;
            int before = g_answered.load();
            // Past the budget a thread is only listed.
            if (spentMs < kThreadBudgetMs) {
                if (syscall(SYS_tgkill, pid, tid, g_threadSignal) != 0) continue;
                ++asked;
                for (int waited = 0; waited < kThreadWaitMs && spentMs < kThreadBudgetMs && g_answered.load() == before;
                     waited += 5, spentMs += 5)
                    SleepMs(5);
            }
            if (g_answered.load() == before) {
                while (g_writeLock.test_and_set(std::memory_order_acquire)) SleepMs(1);
                Put(fd, "\nthread ");
                PutNum(fd, static_cast<uint64_t>(tid));
                Put(fd, " did not answer\n");
                g_writeLock.clear(std::memory_order_release);
            }
        }
    }
    close(dir);
}

void StartReporter(const char* dumpPath) {
    if (g_reporter[0] != '/') return;  // never a program found by a relative path
    pid_t child = _Fork();
    if (child == 0) {
        char* argv[] = {g_reporter, const_cast<char*>(dumpPath), nullptr};
        // The report program must not inherit the blocked crash signals.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(g_reporter, argv, environ);
        _exit(127);
    }
}

void RestoreDefaultAndReraise(int signo) {
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(signo, &dfl, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signo);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signo);
    _exit(128 + signo);
}

void OnCrash(int signo, siginfo_t* info, void* uc) {
    // Only the first fault is handled. A fault of the handling thread itself ends the process at once; one of
    // another thread waits while the first is handled (the process ends when that is done, or by the alarm).
    pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    if (g_crashing.exchange(1) != 0) {
        if (g_crashTid.load() != tid) SleepMs(kAlarmSeconds * 1000);
        RestoreDefaultAndReraise(signo);
    }
    g_crashTid.store(tid);
    if (!crash::ShouldHandle(signo, DebuggerAttached())) RestoreDefaultAndReraise(signo);
    // A hang below ends the process.
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGALRM, &dfl, nullptr);
    alarm(kAlarmSeconds);

    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char path[kPath];
    crash::FormatDumpPath(path, sizeof(path), g_folder, int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000, g_utcOffset,
                          g_name);
    // No folder known: no dump (never the current folder).
    int fd = g_folder[0] == '/' ? open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600) : -1;
    if (fd >= 0) {
        Put(fd, "Varnet crash dump\nprogram: ");
        Put(fd, g_name);
        Put(fd, "\npid: ");
        PutNum(fd, static_cast<uint64_t>(getpid()));
        Put(fd, "\nsignal: ");
        PutNum(fd, static_cast<uint64_t>(signo));
        Put(fd, " (");
        Put(fd, sigabbrev_np(signo) ? sigabbrev_np(signo) : "?");
        Put(fd, ")\ncode: ");
        PutNum(fd, static_cast<uint64_t>(static_cast<uint32_t>(info ? info->si_code : 0)));
        Put(fd, "\naddress: ");
        PutHex(fd, reinterpret_cast<uintptr_t>(info ? info->si_addr : nullptr));
        uint64_t sp = 0;
#if defined(__x86_64__)
        if (uc) {
            auto* ctx = static_cast<ucontext_t*>(uc);
            Put(fd, "\npc: ");
            PutHex(fd, static_cast<uint64_t>(ctx->uc_mcontext.gregs[REG_RIP]));
            sp = static_cast<uint64_t>(ctx->uc_mcontext.gregs[REG_RSP]);
            Put(fd, "\nsp: ");
            PutHex(fd, sp);
        }
#endif
        if (g_reason) {
            Put(fd, "\nreason: ");
            Put(fd, g_reason);
        }
        Put(fd, "\n");
        g_fd.store(fd);
        WriteStack(fd, " (faulting)");
        WriteOtherThreads(fd);
        if (g_dumpType == 1 && sp) {
            // Read through the kernel: a bad stack pointer gives an error, not a second fault.
            uint64_t words[512];
            iovec local{words, sizeof(words)}, remote{reinterpret_cast<void*>(sp), sizeof(words)};
            ssize_t got = process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
            Put(fd, "\nstack memory:\n");
            for (ssize_t i = 0; got > 0 && i < got / 8; ++i) {
                PutNum(fd, words[i], 16, 16);
                Put(fd, (i % 4 == 3) ? "\n" : " ");
            }
        }
        Put(fd, "\nmodules:\n");
        CopyFile(fd, "/proc/self/maps");
        g_fd.store(-1);
        fsync(fd);
        close(fd);
    }
    StartReporter(path);
    RestoreDefaultAndReraise(signo);
}

const char* g_terminateText = nullptr;
char g_terminateBuf[256];

void OnTerminate() {
    // Not a signal context: the exception's type can be named here.
    const char* what = "std::terminate";
    if (std::exception_ptr e = std::current_exception()) {
        what = "uncaught exception";
        if (std::type_info* t = abi::__cxa_current_exception_type()) {
            snprintf(g_terminateBuf, sizeof(g_terminateBuf), "uncaught exception of type %s", t->name());
            what = g_terminateBuf;
        }
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            size_t n = strlen(g_terminateBuf);
            snprintf(g_terminateBuf + n, sizeof(g_terminateBuf) - n, ": %s", ex.what());
        } catch (...) {}
    }
    g_terminateText = what;
    g_reason = g_terminateText;
    abort();
}

// The program file: an absolute path given, else the system's own record of it (never argv[0], which a shell
// may have found through PATH or given relative to the current folder).
void ProgramPath(const char* program, char* out, size_t size) {
    out[0] = 0;
    if (program && program[0] == '/') {
        if (!realpath(program, out)) snprintf(out, size, "%s", program);
        return;
    }
    ssize_t n = readlink("/proc/self/exe", out, size - 1);
    out[n > 0 ? n : 0] = 0;
}

struct sigaction CrashAction() {
    struct sigaction sa = {};
    sa.sa_sigaction = OnCrash;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int s : kSignals) sigaddset(&sa.sa_mask, s);
    return sa;
}

}  // namespace

namespace crash {

size_t FormatDumpPath(char* out, size_t size, const char* folder, int64_t unixMs, int64_t utcOffsetSec,
                      const char* name) {
    if (!out || size == 0) return 0;
    if (size > kPath) size = kPath;
    int64_t local = unixMs / 1000 + utcOffsetSec;
    int ms = static_cast<int>(unixMs % 1000);
    int64_t days = local / 86400, secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01.
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int64_t d = doy - (153 * mp + 2) / 5 + 1;
    int64_t m = mp < 10 ? mp + 3 : mp - 9;
    int64_t y = yoe + era * 400 + (m <= 2);
    char stamp[18];
    int64_t parts[] = {y, m, d, secs / 3600, secs / 60 % 60, secs % 60, ms};
    int widths[] = {4, 2, 2, 2, 2, 2, 3};
    int pos = 0;
    for (int i = 0; i < 7; ++i) {
        int64_t v = parts[i];
        for (int k = widths[i] - 1; k >= 0; --k) {
            stamp[pos + k] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        pos += widths[i];
    }
    stamp[17] = 0;
    size_t n = 0;
    auto add = [&](const char* s) {
        while (s && *s && n + 1 < size) out[n++] = *s++;
    };
    add(folder);
    add("/");
    add(stamp);
    add("_");
    add(name);
    add(".dmp");
    out[n] = 0;
    return n;
}

bool ShouldHandle(int signo, bool debuggerAttached) {
    return !debuggerAttached && signo != SIGTRAP;
}

}  // namespace crash

bool InstallCrashHandler(const char* program) {
    if (g_installed) return true;
    char exe[PATH_MAX];
    ProgramPath(program, exe, sizeof(exe));
    const char* slash = strrchr(exe, '/');
    std::string folder = slash ? std::string(exe, static_cast<size_t>(slash - exe)) : std::string();
    std::string file = slash ? slash + 1 : exe;
    size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.resize(dot);
    snprintf(g_name, sizeof(g_name), "%s", file.c_str());
    // Dumps go where the user's data lives.
    if (!g_folder[0]) {
        std::string data = varnet::VarnetDataFolder();
        if (!data.empty() && data[0] == '/') {
            std::string dumps = data + "/dumps";
            mkdir(data.c_str(), 0700);
            mkdir(dumps.c_str(), 0700);
            snprintf(g_folder, sizeof(g_folder), "%s", dumps.c_str());
        }
    }
    if (!g_reporter[0] && !folder.empty()) snprintf(g_reporter, sizeof(g_reporter), "%s/Faultnote", folder.c_str());

    // Local time offset, fixed now (localtime is not safe in a handler).
    time_t t = time(nullptr);
    tm lt;
    localtime_r(&t, &lt);
    g_utcOffset = lt.tm_gmtoff;
    // The first backtrace loads what it needs; later ones only walk.
    void* warm[2];
    backtrace(warm, 2);

    stack_t ss = {};
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof(g_altStack);
    sigaltstack(&ss, nullptr);

    struct sigaction sa = CrashAction();
    for (int i = 0; i < kNumSignals; ++i) sigaction(kSignals[i], &sa, &g_old[i]);

    g_threadSignal = SIGRTMIN + 7;
    struct sigaction ts = {};
    ts.sa_sigaction = OnThreadSignal;
    ts.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&ts.sa_mask);
    sigaction(g_threadSignal, &ts, &g_oldThread);

    g_oldTerminate = std::set_terminate(OnTerminate);
    g_installed = true;
    return true;
}

int KeepCrashHandler() {
    if (!g_installed) return 0;
    int replaced = 0;
    struct sigaction sa = CrashAction();
    for (int s : kSignals) {
        struct sigaction now = {};
        if (sigaction(s, nullptr, &now) != 0) continue;
        if ((now.sa_flags & SA_SIGINFO) && now.sa_sigaction == OnCrash) continue;
        sigaction(s, &sa, nullptr);
        ++replaced;
    }
    struct sigaction ts = {};
    if (sigaction(g_threadSignal, nullptr, &ts) == 0 &&
        !((ts.sa_flags & SA_SIGINFO) && ts.sa_sigaction == OnThreadSignal)) {
        ts = {};
        ts.sa_sigaction = OnThreadSignal;
        ts.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
        sigemptyset(&ts.sa_mask);
        sigaction(g_threadSignal, &ts, nullptr);
        ++replaced;
    }
    if (std::get_terminate() != OnTerminate) {
        std::set_terminate(OnTerminate);
        ++replaced;
    }
    return replaced;
}

void UninstallCrashHandler() {
    if (!g_installed) return;
    for (int i = 0; i < kNumSignals; ++i) sigaction(kSignals[i], &g_old[i], nullptr);
    sigaction(g_threadSignal, &g_oldThread, nullptr);
    std::set_terminate(g_oldTerminate);
    g_installed = false;
}

void SetCrashDumpType(int type) {
    g_dumpType = type == 1 ? 1 : 0;
}

void SetCrashDumpFolder(const std::string& folder) {
    snprintf(g_folder, sizeof(g_folder), "%s", folder.c_str());
}

void SetCrashReporter(const std::string& path) {
    snprintf(g_reporter, sizeof(g_reporter), "%s", path.c_str());
}
