// A loopback HTTP server for tests: listens on 127.0.0.1 on a free port, runs its own threads, serves
// handlers registered per path plus canned behaviours (status, body, stall, dropped connection, throttled
// file, multipart uploads) and records every request. Services of the test stack build on it.
#pragma once

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace testenv {

// A port on 127.0.0.1 that refuses connections: bound, never listening, held until destruction so that
// nothing else takes it meanwhile.
class RefusingPort {
public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int Port() const { return port_; }
    std::string Url(const std::string& path = "/") const;

private:
    int fd_ = -1;
    int port_ = 0;
};

struct UploadedFile {
    std::string field;
    std::string fileName;
    std::string contentType;
    std::string content;
};

struct RecordedRequest {
    std::string method;
    std::string path;
    std::string target;  // path and query as sent
    httplib::Headers headers;
    std::string body;  // empty for multipart requests (see Uploads)
};

// Server settings for a loaded machine: a connection reaches the server's threads only once its first request
// bytes have arrived (TCP_DEFER_ACCEPT), since the server waits only a moment (its keep-alive time-out of 0)
// for a request on a connection before it closes it; and idle kept-alive connections end within 10 ms, so
// that a stop need not wait for them.
void UseLoadTolerantSettings(httplib::Server& server);

class HttpTestServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    HttpTestServer();
    ~HttpTestServer();  // Stop()
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Binds 127.0.0.1 on a free port and serves on a thread of its own; false when that fails.
    // Register routes before or after; they apply to later requests.
    bool Start();
    // Stops serving: wakes stalled and throttled answers (they end early, dropping their connection),
    // then joins. The port refuses connections afterwards.
    void Stop();
    bool Stopping() const { return stopping_.load(); }

    int Port() const { return port_; }
    std::string BaseUrl() const;                     // "http://127.0.0.1:<port>"
    std::string Url(const std::string& path) const;  // BaseUrl() + path

    // Waits up to `ms`; returns false early when the server stops. For handlers that stall.
    bool Sleep(int ms);

    // Routes with the caller's own handlers. A pattern is a regular expression matched against the whole
    // path; routes may be added at any time, also while serving, and the latest matching route wins (a test
    // can change a path's behaviour midway). Unmatched paths answer 404.
    void Get(const std::string& pattern, Handler handler);
    void Post(const std::string& pattern, Handler handler);

    // Canned GET behaviours.
    // Answers `status` with `body`.
    void Reply(const std::string& path, int status, const std::string& body,
               const std::string& contentType = "text/plain");
    // Waits `ms` (or until Stop) before answering `status` with `body`.
    void Stall(const std::string& path, int ms, int status = 200, const std::string& body = "");
    // Answers 200 announcing `announced` bytes, sends the first `sent` bytes, then closes the connection.
    void Drop(const std::string& path, size_t announced, size_t sent);
    // Serves `data` with a Content-Length, in 16 KiB pieces; bytesPerSecond > 0 throttles it (for progress
    // and stop tests). A stopped server cuts the answer.
    void ServeData(const std::string& path, const std::string& data, int bytesPerSecond = 0);

    // Accepts POSTs at `path`; every file part of a multipart/form-data body is kept (see Uploads), then the
    // server answers `status` with `reply`.
    void AcceptUploads(const std::string& path, const std::string& reply, int status = 200);

    std::vector<UploadedFile> Uploads() const;
    std::vector<RecordedRequest> Requests() const;
    int Count(const std::string& path) const;  // requests seen for that path

    // Deterministic bytes of a given size, for downloads.
    static std::string MakeData(size_t size);

    // The underlying server, for what the helpers above do not cover (other methods, settings).
    httplib::Server& Raw() { return server_; }

private:
    struct Route {
        std::string method;
        std::regex pattern;
        Handler handler;
    };
    void AddRoute(const char* method, const std::string& pattern, Handler handler);
    void Dispatch(const char* method, const httplib::Request& req, httplib::Response& res);

    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};

    mutable std::mutex mutex_;  // guards the fields below
    std::condition_variable wake_;
    std::vector<RecordedRequest> requests_;
    std::vector<UploadedFile> uploads_;
    std::vector<Route> routes_;
};

}  // namespace testenv
