// A child process for the test stack: started with an argument list, output to files, stopped by its pid.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace testenv {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (searched in PATH). Standard output and error go to the named files ("" = /dev/null);
    // standard input is /dev/null unless stdinPipe is set (then WriteStdin feeds it).
    bool Start(const std::vector<std::string>& argv, const std::string& outFile = "", const std::string& errFile = "",
               bool stdinPipe = false);
    // Writes to the child's standard input; false when it is closed.
    bool WriteStdin(const void* data, size_t len);
    void CloseStdin();
    // True while the child has not exited (reaps it when it has).
    bool Running();
    // Waits up to timeoutMs for the exit; returns the exit status (128+signal when killed), or -1 on time-out.
    int Wait(int timeoutMs);
    // Sends sig, waits up to graceMs, then SIGKILL; returns the status.
    int Stop(int sig = 15, int graceMs = 3000);
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int status_ = -1;
};

}  // namespace testenv
