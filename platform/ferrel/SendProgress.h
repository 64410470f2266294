// Finds a publishing peer that stopped reading long before the socket buffers fill: the kernel keeps
// acknowledging into the peer's receive buffer, so sends succeed for many seconds (at a low bitrate far
// longer than the send time-out). A reading peer's advertised window (TCP_INFO) holds or grows while it
// acknowledges; one that stopped reading shrinks it by part of what arrived. A window that shrank in two
// periods in a row while data was acknowledged, or nothing acknowledged in two periods while data waits
// (a zero window), is a peer that stopped reading.
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
    bool Sample(int fd, uint64_t* acked, uint32_t* window, bool* pending);

    std::chrono::steady_clock::time_point periodStart_{};
    int periodMs_ = 0;
    uint64_t acked_ = 0;
    uint32_t window_ = 0;
    int stalledPeriods_ = 0;
    bool usable_ = false;
    bool lost_ = false;
};
