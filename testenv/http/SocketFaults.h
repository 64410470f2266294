// Network faults below HTTP for client tests: a port whose connections hang, and a raw TCP server that
// answers every request with fixed bytes (or nothing) and closes.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace testenv {

// A port on 127.0.0.1 whose connect attempts hang (its accept queue is full and never drained), for
// connect time-outs.
class BlackholePort {
public:
    BlackholePort();
    ~BlackholePort();
    BlackholePort(const BlackholePort&) = delete;
    BlackholePort& operator=(const BlackholePort&) = delete;
    int Port() const { return port_; }
    std::string Url(const std::string& path = "/") const;

private:
    int listenFd_ = -1;
    int fillFd_ = -1;
    int port_ = 0;
};

// Accepts connections one after another on 127.0.0.1; for each, reads the request head (up to the blank
// line, at most 2 s), writes `answer` as it stands (may be empty, malformed or cut short) and closes.
class RawTcpServer {
public:
    explicit RawTcpServer(std::string answer);
    ~RawTcpServer();  // Stop()
    RawTcpServer(const RawTcpServer&) = delete;
    RawTcpServer& operator=(const RawTcpServer&) = delete;

    bool Start();
    void Stop();
    int Port() const { return port_; }
    std::string Url(const std::string& path = "/") const;
    int Connections() const { return connections_.load(); }

private:
    void Serve();
    void Handle(int fd);

    std::string answer_;
    int listenFd_ = -1;
    int wakeFd_[2] = {-1, -1};  // a pipe: Stop() writes to wake the accept loop
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::thread thread_;
};

}  // namespace testenv
