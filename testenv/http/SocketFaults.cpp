#include "SocketFaults.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testenv {
namespace {

// A TCP socket bound to 127.0.0.1 on a free port; -1 on failure.
int BindLoopback(int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(addr.sin_port);
    return fd;
}

std::string LoopbackUrl(int port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

}  // namespace

BlackholePort::BlackholePort() {
    listenFd_ = BindLoopback(&port_);
    if (listenFd_ < 0 || ::listen(listenFd_, 0) != 0) return;
    // One connection fills the queue of a zero backlog; later SYNs are dropped and their connects hang.
    fillFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    if (fillFd_ >= 0) ::connect(fillFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
}

BlackholePort::~BlackholePort() {
    if (fillFd_ >= 0) ::close(fillFd_);
    if (listenFd_ >= 0) ::close(listenFd_);
}

std::string BlackholePort::Url(const std::string& path) const {
    return LoopbackUrl(port_, path);
}

RawTcpServer::RawTcpServer(std::string answer) : answer_(std::move(answer)) {}

RawTcpServer::~RawTcpServer() {
    Stop();
}

bool RawTcpServer::Start() {
    if (thread_.joinable()) return true;
    listenFd_ = BindLoopback(&port_);
    if (listenFd_ < 0 || ::listen(listenFd_, 16) != 0 || ::pipe2(wakeFd_, O_CLOEXEC) != 0) return false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void RawTcpServer::Stop() {
    if (thread_.joinable()) {
        char c = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_[1], &c, 1);
        thread_.join();
    }
    for (int* fd : {&listenFd_, &wakeFd_[0], &wakeFd_[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

std::string RawTcpServer::Url(const std::string& path) const {
    return LoopbackUrl(port_, path);
}

void RawTcpServer::Serve() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        if ((fds[0].revents & POLLIN) == 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        Handle(fd);
        ::close(fd);
    }
}

void RawTcpServer::Handle(int fd) {
    std::string head;
    char buf[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0) break;
        ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<size_t>(n));
    }
    size_t sent = 0;
    while (sent < answer_.size()) {
        ssize_t n = ::send(fd, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
    }
    ::shutdown(fd, SHUT_RDWR);
}

}  // namespace testenv
