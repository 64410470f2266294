// UDP stream-cloud transport: opens a stream at a stream-cloud address, sends FLV tag bodies as
// datagrams (our own framing, NimboWire.h), keeps the stream alive and notices a silent server.
//
// Threads: the caller opens, sends and closes (one thread at a time); a keep-alive thread of its own
// sends keep-alives and reads the server's answers. StreamIsConnected may be called from any thread.
#pragma once

#include "DebugLog.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

class CNimbo {
public:
    CNimbo();
    virtual ~CNimbo();
    CNimbo(const CNimbo&) = delete;
    CNimbo& operator=(const CNimbo&) = delete;

    // address: "host:port", optionally with a "udp://" prefix and a path (ignored). Sends the stream's
    // size and sequence headers and waits for the server's acknowledgement. True when it came.
    virtual bool OpenStream(const char* address, int width, int height, const uint8_t* avcHeader, int avcLen,
                            const uint8_t* aacHeader, int aacLen);
    // False once the server has been silent for the idle time, or after CloseStream.
    virtual bool StreamIsConnected();
    // One FLV tag body; isAudio 1 audio, 0 video. False when not connected or the body is refused.
    virtual bool StreamSendData(const uint8_t* body, int len, unsigned timestamp, bool keyFrame, int isAudio);
    virtual void CloseStream();

    // Time-outs in milliseconds: the wait for the open acknowledgement, the keep-alive interval, and the
    // server silence after which the stream counts as lost. Call before OpenStream.
    void SetTimeouts(int openMs, int keepAliveMs, int idleMs);

private:
    varnet::DebugId debugId_;  // names this object in debug lines
    void KeepAliveLoop();
    bool SendDatagram(const std::vector<uint8_t>& d);

    int fd_ = -1;
    int wake_[2] = {-1, -1};
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> connected_{false};
    std::atomic<int64_t> lastHeardMs_{0};
    uint32_t session_ = 0;
    std::atomic<uint32_t> sequence_{0};
    uint32_t messageId_ = 0;
    int openMs_ = 3000;
    int keepAliveMs_ = 1000;
    int idleMs_ = 10000;
};
