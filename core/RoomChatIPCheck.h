// Pre-resolution of the service's host names: once per start a thread of its own fetches the IP list from
// the address in ZqServerList/DnsLookup and writes each host's address into the configuration section
// DnsLookup (host = address). Readers use whatever the section holds when they look.
//
// Threads: GetInstance/Start/Stop from the main thread; the lookup runs on its own thread and touches only
// the HTTP layer and the configuration manager (both thread-safe). Stop() must run before the HTTP layer
// and the configuration manager are released; it ends a request in flight (about a second at most).
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>

class IConfigManager;
class IZqHttpMgr;

class CRoomChatIPCheck {
public:
    static CRoomChatIPCheck* GetInstance();
    virtual ~CRoomChatIPCheck();
    // Ends a lookup still running (Stop), then starts a new one.
    void Start();
    // Asks the lookup to end and joins it; safe when none runs.
    void Stop();
    bool IsRunning() const { return m_thread.joinable(); }

    // One lookup on the calling thread (the thread's body); ends early once *run is false. Returns the
    // number of entries written.
    static int Lookup(IConfigManager* config, IZqHttpMgr* http, const std::atomic<bool>& run);
    // Writes the entries of one reply in one settings update; returns how many. Elements whose host is not
    // a host name or whose address is not a numeric IPv4/IPv6 address are skipped; the first kMaxEntries
    // usable entries are kept. Nothing is written once *run is false.
    static int ApplyReply(IConfigManager* config, const char* body, int len, const std::atomic<bool>* run = nullptr);
    static bool IsHostName(const std::string& s);
    static bool IsIpAddress(const std::string& s);

    // Bound of the one request, and of the entries taken from its list.
    static constexpr int kTimeoutMs = 8000;
    static constexpr size_t kMaxEntries = 256;

private:
    CRoomChatIPCheck() = default;
    std::thread m_thread;
    std::atomic<bool> m_run{false};
};
