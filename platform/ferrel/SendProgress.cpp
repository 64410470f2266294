#include "SendProgress.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

bool SendProgress::Sample(int fd, uint64_t* acked, uint32_t* window, bool* pending) {
    tcp_info ti{};
    socklen_t len = sizeof(ti);
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &ti, &len) != 0 ||
        len < offsetof(tcp_info, tcpi_snd_wnd) + sizeof(ti.tcpi_snd_wnd)) {
        return false;  // an older kernel: the send time-out alone decides
    }
    *acked = ti.tcpi_bytes_acked;
    *window = ti.tcpi_snd_wnd;
    *pending = ti.tcpi_unacked > 0 || ti.tcpi_notsent_bytes > 0;
    return true;
}

void SendProgress::Start(int fd, int periodMs) {
    periodMs_ = periodMs > 0 ? periodMs : 1000;
    stalledPeriods_ = 0;
    lost_ = false;
    bool pending = false;
    usable_ = Sample(fd, &acked_, &window_, &pending);
    periodStart_ = std::chrono::steady_clock::now();
}

bool SendProgress::Healthy(int fd) {
    if (lost_ || !usable_) {
        return !lost_;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - periodStart_ < std::chrono::milliseconds(periodMs_)) {
        return true;
    }
    uint64_t acked = 0;
    uint32_t window = 0;
    bool pending = false;
    if (!Sample(fd, &acked, &window, &pending)) {
        return true;
    }
    // The receiving kernel may still widen its offer as data arrives, but never by all that arrived
    // while its program reads nothing: the window left shrinks however slowly the stream runs.
    const bool stalled = acked != acked_ ? window < window_ : pending;
    stalledPeriods_ = stalled ? stalledPeriods_ + 1 : 0;
    acked_ = acked;
    window_ = window;
    periodStart_ = now;
    if (stalledPeriods_ >= 2) {
        lost_ = true;
    }
    return !lost_;
}
