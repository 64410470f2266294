// The request worker: any thread posts a request; one worker thread sends the requests one after another as
// HTTP GETs, turns each answer into a reply object and fires it to every listener. It also sends the periodic
// heartbeat of each open room.
//
// Locks: queueLock_ guards queue_ (held only to push or pop); heartLock_ guards heartbeats_ (held for a whole
// heartbeat pass; order: heartLock_, then queueLock_); waitLock_ guards posted_ (taken after queueLock_ is
// released); the event source's lock is held while listeners run. A post wakes the worker at once; its 50 ms
// tick remains the fall-back that drains the queue and drives the heartbeats.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ThreadAnnotations.h"

class CZQMessage;
class CZQEventSource;

class CZQEventListener {
public:
    virtual ~CZQEventListener() = default;
    // Runs on the worker thread; the reply is valid only during the call.
    virtual void OnZQMessageNotify(CZQMessage* msg, CZQEventSource* source) = 0;
};

class CZQEventSource {
public:
    virtual ~CZQEventSource() = default;
    virtual void AddListener(CZQEventListener* listener);
    virtual void RemoveListener(CZQEventListener* listener);
    // Calls every listener with the reply, under the lock. A listener may add or remove listeners (itself
    // included) from inside its call: each listener present when Fire began and not removed since is called
    // once; listeners added during the call wait for the next reply.
    virtual void Fire(CZQMessage* msg);
    size_t ListenerCount() const;

private:
    mutable varnet::RecursiveMutex lock_;  // recursive: a listener may add or remove listeners
    std::vector<CZQEventListener*> listeners_ GUARDED_BY(lock_);
};

// One queued request.
struct MsgSendData {
    int typeId = 49;
    std::string cmd;
    std::string url;
    uint32_t sid = 0;  // the session the request carries ("sid"), 0 for none
    int seq = 0;
    int ctxInt[3] = {0, 0, 0};
    std::string ctxText[2];
};

struct HeartBeatInfo {
    uint32_t uid = 0, sid = 0, rid = 0;
    std::string chatid;
    uint32_t lastSend = 0;  // tick of the last beat, 0 = never
    int interval = 300000;  // ms
    int msgcnt = 0;
};

class CMsgClientThread {
public:
    static CMsgClientThread& GetInstance();

    CMsgClientThread();
    virtual ~CMsgClientThread();
    CMsgClientThread(const CMsgClientThread&) = delete;
    CMsgClientThread& operator=(const CMsgClientThread&) = delete;

    // Starts the worker thread (after a 100 ms pause); 0 when it cannot be created.
    int Start();
    // Stops the worker: clears the run flag, gives the HTTP request in flight the short time-out to end
    // (AbortRequests), waits for the thread, which sends what is still queued once with that time-out, clears
    // the heartbeats. Nothing is retried once the worker stops. Returns 1.
    int Stop();

    // Queues the request (the caller keeps its object); 0 for null or an empty query.
    int PostRequest(CZQMessage* msg);
    // The queue record of a request; null when its query is empty.
    MsgSendData* GetSendDataFromMsgClass(CZQMessage* msg);

    int AddHeartBeat(uint32_t uid, uint32_t sid, uint32_t rid, const std::string& chatid, int intervalMs);
    int RemoveHeartBeat(uint32_t rid);
    int AddHeartBeatMsgCount(uint32_t rid);

    CZQEventSource& EventSource() { return source_; }

    // Settings (tests and the demo): the service endpoint (default: configuration ZqServerList/LiveServer),
    // the HTTP time-out of one attempt, the tick source.
    void SetEndpoint(const std::string& endpoint);
    // Commands that spend the user's money (gifts, tags, broadcasts, colour bars): sent once, never resent,
    // since the service may have carried out a request whose answer was lost or unusable.
    static bool IsPaidCommand(const std::string& cmd);
    // The query with its passwords, tokens and session ids masked (for printouts; log lines are masked anyway).
    static std::string MaskSecrets(const std::string& query);
    std::string GetEndpoint() const;
    void SetRequestTimeout(int ms);
    void SetTickSource(std::function<uint32_t()> tick);

    // For tests: queued records and registered heartbeats.
    size_t QueueSize() const;
    size_t HeartBeatCount() const;

private:
    void Run();
    void ProcessRequestQueue();
    void ProcessHeartBeat();
    void SendZQAsynMsg(const MsgSendData& data);
    CZQMessage* SendHttpRequest(const MsgSendData& data);
    uint32_t Tick() const;

    std::atomic<int> running_{1};
    std::atomic<bool> stopped_{false};
    varnet::Mutex waitLock_;
    std::condition_variable wake_;
    bool posted_ GUARDED_BY(waitLock_) = false;  // a request waits in the queue
    std::thread thread_;
    int retryCount_ = 1;

    CZQEventSource source_;

    mutable varnet::Mutex queueLock_;
    std::deque<std::unique_ptr<MsgSendData>> queue_ GUARDED_BY(queueLock_);

    mutable varnet::Mutex heartLock_ ACQUIRED_BEFORE(queueLock_);
    std::vector<HeartBeatInfo> heartbeats_ GUARDED_BY(heartLock_);

    mutable varnet::Mutex settingsLock_;
    std::string endpoint_ GUARDED_BY(settingsLock_);
    int timeoutMs_ GUARDED_BY(settingsLock_) = -1;
    std::function<uint32_t()> tick_ GUARDED_BY(settingsLock_);
};
