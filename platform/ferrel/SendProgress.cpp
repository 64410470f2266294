#include "SendProgress.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>

bool SendProgress::Sample(int fd, uint64_t* acked, uint64_t* consumed, bool* pending) {
    tcp_info ti{};
    socklen_t len = sizeof(ti);
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &ti, &len) != 0 ||
        len < offsetof(tcp_info, tcpi_snd_wnd) + sizeof(ti.tcpi_snd_wnd)) {
        return false;  // an older kernel: the send time-out alone decides
    }
    *acked = ti.tcpi_bytes_acked;
    *consumed = ti.tcpi_bytes_acked + ti.tcpi_snd_wnd;
    *pending = ti.tcpi_unacked > 0 || ti.tcpi_notsent_bytes > 0;
    return true;
}

void SendProgress::Start(int fd, int periodMs) {
    periodMs_ = periodMs > 0 ? periodMs : 1000;
    stalledPeriods_ = 0;
    lost_ = false;
    bool pending = false;
    usable_ = Sample(fd, &acked_, &consumed_, &pending);
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
    uint64_t acked = 0, consumed = 0;
    bool pending = false;
    if (!Sample(fd, &acked, &consumed, &pending)) {
        return true;
    }
    const uint64_t dAcked = acked - acked_;
    const uint64_t dConsumed = consumed > consumed_ ? consumed - consumed_ : 0;
    // A reading peer consumes about what was acknowledged; one that stopped reading shrinks its
    // window by nearly as much (some rounding remains), or shows a zero window with data waiting.
    const bool stalled = dAcked > 0 ? dConsumed * 2 < dAcked : pending;
    stalledPeriods_ = stalled ? stalledPeriods_ + 1 : 0;
    acked_ = acked;
    consumed_ = consumed;
    periodStart_ = now;
    if (stalledPeriods_ >= 2) {
        lost_ = true;
    }
    return !lost_;
}
