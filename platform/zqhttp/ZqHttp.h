// Synchronous HTTP GET sessions. One request: OpenUrl -> session (0 = failure), GetStatusCode, GetData,
// CloseSession (always, also for session 0). Runs on the calling thread; sessions of several threads may be
// open at once. No retries. Redirects are followed (at most 5, http and https only). Connections stay open
// after a request and serve later ones to the same server (a few kept, whichever thread asks next).
#pragma once

#include <atomic>

// Error codes of the HTTP layer (request manager results and failure callbacks). An answer with an HTTP
// status other than 2xx reports that status itself (>= 100) instead.
enum {
    ZQHTTP_OK = 0,
    ZQHTTP_ERR_ARGUMENT = 1,   // bad URL, path or observer; unknown id
    ZQHTTP_ERR_CONNECT = 2,    // name not resolved, connection refused
    ZQHTTP_ERR_TIMEOUT = 3,    // connect or transfer time-out
    ZQHTTP_ERR_TRANSFER = 4,   // connection dropped, malformed answer
    ZQHTTP_ERR_FILE = 5,       // local file could not be read or written
    ZQHTTP_ERR_TOO_LARGE = 6,  // answer larger than the layer keeps in memory
    ZQHTTP_ERR_BUSY = 7        // too many transfers at once
};

class IZqHttpMgr {
public:
    // Performs a GET of `url` and returns its session (0 = no answer: bad URL, refused, time-out, dropped).
    // timeoutMs bounds the whole request; -1 = the default total time-out.
    virtual int OpenUrl(const char* url, int timeoutMs = -1) = 0;

    // The long form of the system's calls, open(url, 0,0,0,0,0,0, -1, 0,0): the zero slots are request options
    // this layer does not offer and must be 0; the eighth argument is the time-out as above.
    int OpenUrl(const char* url, int, int, int, int, int, int, int timeoutMs, int, int) {
        return OpenUrl(url, timeoutMs);
    }

    // As OpenUrl, ended as failed (0) soon after `keepGoing` turns false (within about a second).
    virtual int OpenUrlWhile(const char* url, int timeoutMs, const std::atomic<bool>& keepGoing) {
        return keepGoing ? OpenUrl(url, timeoutMs) : 0;
    }

    // HTTP status of an open session; 0 for session 0 or an unknown session.
    virtual int GetStatusCode(int session) = 0;

    // Body of an open session: pointer valid until CloseSession. An empty body gives a non-null pointer and
    // length 0. False (null, 0) for session 0 or an unknown session.
    virtual bool GetData(int session, const char** data, int* len) = 0;

    // Frees a session; session 0 and unknown sessions are ignored.
    virtual void CloseSession(int session) = 0;

    // Connect and total time-outs in milliseconds for later requests; -1 restores a default
    // (5000 connect, 15000 total).
    virtual void SetTimeouts(int connectMs, int totalMs) = 0;

    // Ends every request in flight on any thread that is still running graceMs from now, as failed (session 0),
    // within about a second after that; requests opened afterwards run as usual. Any thread: for a shutdown
    // whose workers may wait on a stalled server.
    virtual void AbortRequests(int graceMs = 0) { (void)graceMs; }

protected:
    virtual ~IZqHttpMgr() = default;
};

// Once at start-up (after logging) and once at shutdown; UninitZqHttpMgr frees every open session.
void InitZqHttpMgr();
void UninitZqHttpMgr();
// The process-wide manager; never null.
IZqHttpMgr* GetZqHttpMgr();
