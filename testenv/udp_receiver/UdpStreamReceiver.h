// Loopback receiver of the UDP stream-cloud transport: answers opens and keep-alives and reassembles
// the fragments it gets into whole tag bodies.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testenv {

class UdpStreamReceiver {
public:
    struct Tag {
        int type = 0;  // 8 audio, 9 video
        bool key = false;
        uint32_t timestamp = 0;
        std::vector<uint8_t> body;
    };
    struct Stream {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> avcHeader;
        std::vector<uint8_t> aacHeader;
        bool closed = false;
    };

    UdpStreamReceiver() = default;
    ~UdpStreamReceiver();

    // Binds 127.0.0.1 on a free port and starts the receive thread.
    bool Start();
    void Stop();
    int Port() const { return port_; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Stop answering (a server that went silent).
    void SetSilent(bool silent) { silent_ = silent; }
    // Drop every n-th datagram (0: none); a message with a lost fragment is never delivered.
    void SetDropEvery(int n) { dropEvery_ = n; }

    int Opens() const { return opens_; }
    Stream LastStream();
    std::vector<Tag> Tags();
    size_t TagCount();
    int BadDatagrams() const { return bad_; }

private:
    void Loop();
    void Handle(const uint8_t* p, size_t n, const void* from, unsigned fromLen);

    struct Partial {
        int type = 0;
        bool key = false;
        uint32_t timestamp = 0;
        std::vector<uint8_t> body;
        std::vector<bool> have;
        size_t got = 0;
    };

    int fd_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> silent_{false};
    std::atomic<int> dropEvery_{0};
    std::atomic<int> opens_{0};
    std::atomic<int> bad_{0};
    uint64_t received_ = 0;
    std::mutex mutex_;  // guards stream_ and tags_
    Stream stream_;
    std::vector<Tag> tags_;
    std::map<uint32_t, Partial> partial_;  // receive thread only
};

}  // namespace testenv
