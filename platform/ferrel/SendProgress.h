// Finds a publishing peer that stopped reading long before the socket buffers fill: the kernel keeps
// acknowledging into the peer's receive buffer, so sends succeed for many seconds. What the peer's
// program consumed is estimated from TCP_INFO as acknowledged bytes plus the advertised window; when
// it stays flat for two periods of the send time-out while data goes out, the peer is lost.
//
// Threads: one thread at a time (the publisher's progress watch).
#pragma once

#include <thread>  // std::chrono (<chrono> itself does not build with the GBK execution charset)
#include <cstdint>

class SendProgress {
public:
    void Start(int fd, int periodMs);
    // After each send: false once the peer is judged lost (stays false).
    bool Healthy(int fd);

private:
    bool Sample(int fd, uint64_t* acked, uint64_t* consumed, bool* pending);

    std::chrono::steady_clock::time_point periodStart_{};
    int periodMs_ = 0;
    uint64_t acked_ = 0;
    uint64_t consumed_ = 0;
    int stalledPeriods_ = 0;
    bool usable_ = false;
    bool lost_ = false;
};
