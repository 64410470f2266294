#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testenv {

ChildProcess::~ChildProcess() {
    CloseStdin();
    if (pid_ > 0) {
        Stop(SIGKILL, 2000);
    }
}

bool ChildProcess::Start(const std::vector<std::string>& argv, const std::string& outFile, const std::string& errFile,
                         bool stdinPipe) {
    if (pid_ > 0 || argv.empty()) {
        return false;
    }
    signal(SIGPIPE, SIG_IGN);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    int pipeFds[2] = {-1, -1};
    if (stdinPipe) {
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            posix_spawn_file_actions_destroy(&fa);
            return false;
        }
        posix_spawn_file_actions_adddup2(&fa, pipeFds[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_addopen(&fa, 1, outFile.empty() ? "/dev/null" : outFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errFile.empty() ? "/dev/null" : errFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    // The child starts with default signal dispositions (SIGPIPE is ignored in the tests).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t def;
    sigemptyset(&def);
    sigaddset(&def, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &def);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, &attr, args.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    if (stdinPipe) {
        close(pipeFds[0]);
        if (rc == 0) {
            stdin_ = pipeFds[1];
        } else {
            close(pipeFds[1]);
        }
    }
    if (rc != 0) {
        return false;
    }
    pid_ = pid;
    status_ = -1;
    return true;
}

bool ChildProcess::WriteStdin(const void* data, size_t len) {
    const char* p = static_cast<const char*>(data);
    while (len > 0 && stdin_ >= 0) {
        ssize_t n = write(stdin_, p, len);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        len -= static_cast<size_t>(n);
    }
    return stdin_ >= 0;
}

void ChildProcess::CloseStdin() {
    if (stdin_ >= 0) {
        close(stdin_);
        stdin_ = -1;
    }
}

bool ChildProcess::Running() {
    if (pid_ <= 0) {
        return false;
    }
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        pid_ = -1;
        return false;
    }
    return true;
}

int ChildProcess::Wait(int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Running()) {
        if (std::chrono::steady_clock::now() >= end) {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

int ChildProcess::Stop(int sig, int graceMs) {
    CloseStdin();
    if (!Running()) {
        return status_;
    }
    kill(pid_, sig);
    int st = Wait(graceMs);
    if (st == -1 && pid_ > 0) {
        kill(pid_, SIGKILL);
        st = Wait(5000);
    }
    return st;
}

}  // namespace testenv
