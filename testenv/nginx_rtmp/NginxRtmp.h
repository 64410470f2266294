// nginx with the RTMP module, run as a child process on a free loopback port for tests and benchmarks.
// Application "vstar" ends a player's stream when its publisher leaves (idle_streams off); application
// "vwait" keeps players waiting for a publisher (idle_streams on).
#pragma once

#include "ChildProcess.h"

#include <string>

namespace testenv {

class NginxRtmp {
public:
    NginxRtmp() = default;
    ~NginxRtmp();
    NginxRtmp(const NginxRtmp&) = delete;
    NginxRtmp& operator=(const NginxRtmp&) = delete;

    // Writes a configuration into a fresh temporary folder, starts nginx and waits until it accepts
    // connections. False (with a reason in *error) when nginx is missing or does not come up.
    bool Start(std::string* error = nullptr);
    // Stops nginx (SIGTERM; SIGKILL when hard) and removes its folder.
    void Stop(bool hard = false);
    // Starts again on the port of the last start (after Stop: clients find the server where it was).
    bool Restart(std::string* error = nullptr);
    bool Running() { return child_.Running(); }
    // The server process (to pause it with SIGSTOP: a peer that stops reading).
    pid_t Pid() const { return child_.Pid(); }

    int Port() const { return port_; }
    // "rtmp://127.0.0.1:<port>/<app>/<stream>".
    std::string Url(const std::string& stream, const std::string& app = "vstar") const;
    // The server's error log (for diagnostics in failing tests).
    std::string ErrorLog() const;

    // A free TCP port on 127.0.0.1 (bound and released).
    static int FreePort();
    // True when something accepts TCP connections on 127.0.0.1:port.
    static bool PortOpen(int port);

private:
    ChildProcess child_;
    std::string dir_;
    int port_ = 0;
    int wantPort_ = 0;  // the port Start takes; 0 = a free one
};

}  // namespace testenv
