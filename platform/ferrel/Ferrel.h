// RTMP client (over librtmp): plays a stream as an FLV byte stream, or publishes metadata, H.264 and AAC.
//
// Threads: one thread at a time connects, reads or sends (the session's I/O thread); Stop and IsConnected
// may be called from any other thread while that thread blocks. Stop makes a blocked connect, read or
// send return at once; after Stop the client refuses I/O until Close.
//
// librtmp makes the handshake, the connect command and the answers to the server's commands, and
// sends; the chunk stream is read here (RtmpChunks.h) and every command is checked (AmfCheck.h) before
// librtmp decodes it, so a hostile server can only end the session.
// Loading this layer makes the process ignore SIGPIPE (librtmp writes without MSG_NOSIGNAL).
// Methods are virtual so that tests can stand a fake client in.
#pragma once

#include "DebugLog.h"
#include "RtmpChunks.h"
#include "RtmpMetadata.h"
#include "SendProgress.h"

#include <atomic>
#include <condition_variable>
#include <thread>  // std::chrono (<chrono> itself does not build with the GBK execution charset)
#include <cstdint>
#include <mutex>
#include <string>

#include "ThreadAnnotations.h"

struct RTMP;

class Ferrel {
public:
    Ferrel();
    virtual ~Ferrel();
    Ferrel(const Ferrel&) = delete;
    Ferrel& operator=(const Ferrel&) = delete;

    // url: the whole connection text ("rtmp://host[:port]/app/stream[?query] option=value ...").
    // timeout bounds the whole of the TCP connect, the RTMP handshake and the play or publish exchange;
    // recvTimeout bounds each later wait for data, sendTimeout each later write (seconds; 0 or less = 30);
    // a publisher whose server stops reading is lost within two progress periods (half a send time-out,
    // 1 to 5 s), checked on a timer whether or not a send blocks.
    // True once the stream can be read (play) or written (publish).
    virtual bool Connect(const char* url, int timeout, int recvTimeout, int sendTimeout, bool publish = false);
    // >0: bytes of the FLV byte stream (starting with the 13-byte FLV header), with every whole message
    // that has arrived by then up to `size`; 0: nothing (see IsReadStopped); <0: error.
    virtual int ReadPacket(uint8_t* buf, int size = 10240);
    // Play (the I/O thread): blocks until ReadPacket has something to hand out or would end (data, the
    // end of the stream, the receive time-out, Stop), and returns true; at once when bytes are already
    // buffered. After a wait that timed out, the read that follows counts its time-out from this wait's
    // start. False, without waiting, when there is nothing to wait on (no connection, stopped, ended).
    virtual bool WaitForData();
    // The stream ended, timed out, failed, or Stop was called.
    virtual bool IsReadStopped();
    // Wakes a blocked read or send and refuses further I/O. Any thread.
    virtual void Stop();
    // Ends the connection and releases librtmp. Call after the I/O thread has stopped.
    virtual void Close();
    // Any thread.
    virtual bool IsConnected();

    // Publishing: onMetaData, then the AVC and AAC sequence headers made from the record, at time 0.
    virtual bool SendMetadata(const _RTMPMetadata* meta);
    // body: a complete FLV video (type 9) / audio (type 8) body; ts in milliseconds.
    virtual bool SendH264Packet(const uint8_t* body, int len, bool keyFrame, unsigned ts);
    virtual bool SendAACPacket(const uint8_t* body, int len, bool unused, unsigned ts);

    // Sequence-header bodies as sent by SendMetadata (exposed for tests).
    static std::string AvcSequenceHeader(const _RTMPMetadata& m);
    static std::string AacSequenceHeader(const _RTMPMetadata& m);

private:
    varnet::DebugId debugId_;  // names this object in debug lines
    using Clock = std::chrono::steady_clock;

    bool ConnectSession(const std::string& host, int port, Clock::time_point deadline);
    bool ConnectStream(Clock::time_point deadline);
    bool Fill(Clock::time_point deadline);  // false: error, end, time-out or Stop
    int Receive(int fd);                    // one recv into the reader: 1 bytes, 0 end, -1 none yet
    void TakeArrived(size_t size);          // complete messages already here into out_, up to size
    bool NextMessage(RtmpMessage* m, Clock::time_point deadline);
    bool Handle(const RtmpMessage& m, bool playing);  // false: the session must end
    bool PassToLibrtmp(const RtmpMessage& m);
    void AppendTag(uint8_t type, uint32_t ts, const char* body, size_t len);
    bool AppendAggregate(const RtmpMessage& m);
    bool SendBody(int type, int channel, const uint8_t* body, int len, unsigned ts);
    bool SendChunkSize(int size);
    void SendAck();
    void Release();

    RTMP* rtmp_ = nullptr;  // owned by the I/O thread between Connect and Close
    char* url_ = nullptr;   // librtmp keeps pointers into it
    int stopFd_ GUARDED_BY(stopMutex_) =
        -1;                    // a dup of the socket, kept until Close so Stop never hits a reused descriptor
    int wakeFd_ = -1;          // an eventfd Stop signals (wakes the TCP connect and every wait for data)
    varnet::Mutex stopMutex_;  // guards stopFd_
    std::atomic<bool> alive_{false};
    std::atomic<bool> stopped_{false};
    bool publish_ = false;

    // I/O thread.
    RtmpChunkReader reader_;
    std::string out_;  // FLV bytes not yet handed out
    size_t outPos_ = 0;
    bool headerSent_ = false;
    bool readStopped_ = false;
    int recvTimeoutMs_ = 30000;
    bool waitTimedOut_ = false;  // WaitForData saw no data within the receive time-out
    bool endPending_ = false;    // a message taken ahead ended the stream: after out_, the end
    uint32_t bytesIn_ = 0;       // for the acknowledgements the server's window asks for
    uint32_t ackedIn_ = 0;

    // Publishing: a watch thread samples the peer's progress on a timer, whether or not a send blocks, and
    // shuts the socket down once the peer is judged lost (a blocked send then returns at once).
    void StartProgressWatch(int periodMs);
    void StopProgressWatch();
    SendProgress progress_;       // the watch thread's
    std::thread progressThread_;  // started and joined by the I/O thread
    varnet::Mutex watchMutex_;
    std::condition_variable watchCv_;
    bool watchStop_ GUARDED_BY(watchMutex_) = false;
    std::atomic<bool> peerLost_{false};
};
