// Temporary folders and child processes for the window-runtime tests.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "TestUtil.h"

extern char** environ;

namespace w32test {

// A fresh folder, removed with everything in it at the end.
struct TempDir : testsupport::TempDir {
    TempDir() : testsupport::TempDir("w32test") {}
};

inline std::string HelperPath() {
    return std::string(VARNET_BINARY_DIR) + "/bin/varnet_win32_post_helper";
}

// Starts `args` (args[0] is the program); with `out` set, the child's stdout comes through *out.
inline pid_t Spawn(const std::vector<std::string>& args, int* out = nullptr) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    int p[2] = {-1, -1};
    if (out) {
        if (pipe2(p, O_CLOEXEC) != 0) {
            return -1;
        }
        posix_spawn_file_actions_adddup2(&fa, p[1], 1);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    if (out) {
        close(p[1]);
        *out = p[0];
    }
    return pid;
}

// Exit code of the child, or -1.
inline int WaitExit(pid_t pid) {
    int st = 0;
    if (waitpid(pid, &st, 0) != pid || !WIFEXITED(st)) {
        return -1;
    }
    return WEXITSTATUS(st);
}

// Reads one line (without the newline) from `fd`.
inline std::string ReadLine(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

}  // namespace w32test
