// The chat/notice client: one TCP connection to the room's chat server, used to log in, join the
// room's channel, send public and private messages and receive notices and messages (PinglaWire.h).
//
// Threads:
// - Connect, Login, JoinChannel and StartRecv: one caller thread at a time (the connect thread).
//   Each blocks for at most its time-out and returns false at once when Close runs meanwhile.
// - Close: any thread, any time, also concurrently with the calls above; idempotent. It ends the
//   connection, wakes every blocked call, and joins the receive thread: when it returns no callback
//   runs and none follows. It never calls ConectionStop. The caller must not hold a lock that a
//   callback takes. Called from inside a callback it ends the connection without waiting; the
//   thread returns after that callback and the next Close joins it.
// - SendPubMsg / SendPriMsg: any thread (the UI thread) while the receive thread runs; writes are
//   serialised, and a send waits at most kSendWaitMs for the socket.
// - Callbacks: on the client's own receive thread, started by StartRecv, one at a time, in arrival order
//   (messages that arrived while logging in or joining come first). ConectionStop is called once when
//   a receiving connection ends other than by Close (end of stream, error, a frame beyond the limit,
//   or a silent peer past the keep-alive time); the thread then ends and the next Close joins it.
// - No exception leaves a call or the receive thread; one thrown by a callback is caught and logged.
//
// Strings are opaque bytes (GBK or URL-encoded text), passed on as they travel.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PinglaWire.h"
#include "ThreadAnnotations.h"

// The callback interface the receiver of notices and messages implements.
class IBaseNotifyMsg {
public:
    IBaseNotifyMsg();
    virtual ~IBaseNotifyMsg();
    // A pushed notice: its command and its line-based body.
    virtual void NotifySysMsg(std::string cmd, std::string body) = 0;
    // A public message; receiverChatId "" means to everybody. Names and text URL-encoded.
    virtual void NotifyPubMsg(std::string senderName, std::string receiverName, std::string senderChatId,
                              std::string receiverChatId, std::string text) = 0;
    // A private message to me.
    virtual void NotifyPriMsg(std::string senderName, std::string senderChatId, std::string text) = 0;
    // Any other message kind.
    virtual void NotifyNomMsg(std::string a, std::string b) = 0;
    // The receiving connection was lost.
    virtual void ConectionStop() = 0;
};

// The operations are virtual so that tests of the callers can stand in for the connection.
class CPingla {
public:
    static constexpr int kSendWaitMs = 1000;

    CPingla();
    virtual ~CPingla();  // Close
    CPingla(const CPingla&) = delete;
    CPingla& operator=(const CPingla&) = delete;

    // Ends any connection and reception; safe when not connected.
    virtual void Close();
    // Connects to ip (an address; a host name is resolved first, which Close does not interrupt) and
    // port within timeout seconds (<= 0: 15). Replaces nothing: call Close first. True when connected.
    virtual bool Connect(const char* ip, unsigned port, int timeout);
    // Sends the login and waits for the server's answer within the connect time-out. True when accepted.
    virtual bool Login(unsigned loginSig, unsigned tm, const std::string& chatId, const std::string& chatNameEnc);
    // Joins the channel joinId; waits like Login. True when joined.
    virtual bool JoinChannel(unsigned joinId, unsigned joinSig, unsigned tm, const std::string& chatId);
    // Starts the receive thread delivering to sink (which outlives the connection). True when started.
    virtual bool StartRecv(IBaseNotifyMsg* sink);
    // 0 when the message was written, -1 otherwise (not connected, or the socket stayed full).
    virtual int SendPubMsg(unsigned joinId, const std::string& receiverChatId, const std::string& text);
    virtual int SendPriMsg(unsigned kind, const std::string& receiverChatId, const std::string& text);

    // Keep-alive of a receiving connection: a ping after intervalMs without sending, and the connection
    // counts as lost after deadMs without any frame from the server. Defaults 10 s and 30 s.
    // Takes effect with the next StartRecv.
    void SetKeepAlive(int intervalMs, int deadMs);

private:
    enum class Wait { kReady, kTimeout, kClosed, kError };

    bool Begin(int& fd, uint64_t& gen);  // counts a call in; false when there is no usable connection
    void End();
    void Broken(uint64_t gen);   // the stream of generation gen is unusable: shut it down
    bool Current(uint64_t gen);  // no Close since gen
    Wait WaitFd(int fd, short events, int64_t deadline);
    bool WriteFrame(int fd, uint64_t gen, const std::string& frame, int64_t deadline);
    bool Request(uint8_t type, std::vector<std::string> fields, uint8_t ackType);
    bool AwaitAck(int fd, uint64_t gen, uint8_t ackType, int64_t deadline);
    int Send(uint8_t type, std::vector<std::string> fields);
    bool ReadSome(int fd);  // appends to reader_; false on end of stream or error
    void RecvLoop(IBaseNotifyMsg* sink, int fd, uint64_t gen);
    void Deliver(IBaseNotifyMsg* sink, const pingla::Frame& f);

    varnet::Mutex lock_;                        // guards the fields up to recvThread_
    std::condition_variable idle_;              // busy_ reached 0
    int fd_ GUARDED_BY(lock_) = -1;             // closed only by Close, after busy_ is 0 and the thread joined
    bool connected_ GUARDED_BY(lock_) = false;  // fd_ connected and its stream usable
    int wake_[2] GUARDED_BY(lock_) = {-1, -1};  // readable while a Close is in progress
    uint64_t gen_ GUARDED_BY(lock_) = 0;        // incremented by each Close
    int busy_ GUARDED_BY(lock_) = 0;            // calls using fd_ (the receive thread is joined instead)
    bool closing_ GUARDED_BY(lock_) = false;    // no call starts while set
    int timeoutMs_ GUARDED_BY(lock_) = 15000;
    std::thread recvThread_ GUARDED_BY(lock_);  // started under lock_ (not while closing_); joined by Close

    varnet::Mutex closeLock_;  // one Close at a time
    varnet::Mutex writeLock_;  // one frame written at a time
    std::atomic<int> keepAliveMs_{10000};
    std::atomic<int> deadMs_{30000};

    // The connect thread's until StartRecv, then the receive thread's.
    pingla::FrameReader reader_;
    std::deque<pingla::Frame> early_;  // frames that came before StartRecv
    size_t earlyBytes_ = 0;
};
