// A one-connection RTMP server on loopback that runs a test's script on its own thread: a normal
// handshake or a dripped one, the answers to connect, createStream, play and publish, and whatever
// bytes a hostile server might send after them.
//
// Threads: the script runs on the peer's thread and uses only its Session; the destructor (test
// thread) ends the script by shutting the connection down and joins it.
#pragma once

#include "RtmpChunks.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace testenv {

// AMF0 pieces for building command bodies.
std::string AmfString(const std::string& s);
std::string AmfNumber(double v);
std::string AmfNull();
// An object of (name, encoded value) pairs, with its end marker.
std::string AmfObject(const std::initializer_list<std::pair<std::string, std::string>>& props);
// An object nested `levels` deep (three bytes a level, no end markers).
std::string AmfDeepObject(int levels);

class RtmpPeer {
public:
    class Session {
    public:
        // Reads C0+C1, sends S0+S1+S2 (one byte every dripMs when dripMs > 0), reads C2.
        bool Handshake(int dripMs = 0);
        // Reads the client's messages until the command `name`; its transaction id, or -1 when the
        // client left or the peer is stopping.
        double WaitCommand(const std::string& name);
        // The usual answers up to NetStream.Play.Start or NetStream.Publish.Start.
        bool AcceptStream(bool publish);
        void AnswerConnect(double txn);
        void AnswerCreateStream(double txn);
        void SendStatus(const std::string& level, const std::string& code);
        // One message, cut into chunks of the current chunk size.
        bool Send(int csid, uint8_t type, uint32_t streamId, uint32_t ts, const std::string& body);
        bool SendRaw(const std::string& bytes);
        // Announces a chunk size (any value, nonsense included) and uses it, if not 0, from then on.
        bool SetChunkSize(uint32_t size);
        // Waits until the peer is stopping, reading (and dropping) what the client sends, or not.
        void Idle(bool read);
        bool Stopping() const;
        int fd() const { return fd_; }

    private:
        friend class RtmpPeer;
        explicit Session(RtmpPeer* peer, int fd) : peer_(peer), fd_(fd) {}
        bool ReadSome();
        RtmpPeer* peer_;
        int fd_;
        uint32_t outChunk_ = 128;
        RtmpChunkReader reader_;
    };

    explicit RtmpPeer(std::function<void(Session&)> script, int receiveBuffer = 0);
    ~RtmpPeer();
    RtmpPeer(const RtmpPeer&) = delete;
    RtmpPeer& operator=(const RtmpPeer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& stream) const;
    // True once the script returned.
    bool Finished() const { return finished_; }

private:
    void Run(std::function<void(Session&)> script);

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<int> connFd_{-1};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> finished_{false};
    std::mutex m_;
    std::condition_variable cv_;
    std::thread thread_;
};

}  // namespace testenv
