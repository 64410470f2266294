#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testenv {

void UseLoadTolerantSettings(httplib::Server& server) {
    server.set_keep_alive_timeout(0);
    server.set_socket_options([](socket_t sock) {
        httplib::default_socket_options(sock);
        int seconds = 10;
        ::setsockopt(sock, IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
    });
}

RefusingPort::RefusingPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port_ = ntohs(addr.sin_port);
    }
}

RefusingPort::~RefusingPort() {
    if (fd_ >= 0) ::close(fd_);
}

std::string RefusingPort::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

HttpTestServer::HttpTestServer() {
    // Room for many stalled answers at once.
    server_.new_task_queue = [] { return new httplib::ThreadPool(32); };
    UseLoadTolerantSettings(server_);
    server_.set_read_timeout(5, 0);
    server_.set_tcp_nodelay(true);  // answers leave at once on kept-alive connections
    server_.set_write_timeout(5, 0);
    server_.Get(".*", [this](const httplib::Request& req, httplib::Response& res) { Dispatch("GET", req, res); });
    server_.Post(".*", [this](const httplib::Request& req, httplib::Response& res) { Dispatch("POST", req, res); });
}

HttpTestServer::~HttpTestServer() {
    Stop();
}

void HttpTestServer::AddRoute(const char* method, const std::string& pattern, Handler handler) {
    Route route{method, std::regex(pattern), std::move(handler)};
    std::lock_guard<std::mutex> lock(mutex_);
    routes_.push_back(std::move(route));
}

void HttpTestServer::Dispatch(const char* method, const httplib::Request& req, httplib::Response& res) {
    Handler handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(
            {req.method, req.path, req.target, req.headers, req.is_multipart_form_data() ? std::string() : req.body});
        for (auto it = routes_.rbegin(); it != routes_.rend(); ++it) {
            if (it->method == method && std::regex_match(req.path, it->pattern)) {
                handler = it->handler;
                break;
            }
        }
    }
    if (!handler) {
        res.status = 404;
        return;
    }
    handler(req, res);
}

bool HttpTestServer::Start() {
    if (thread_.joinable()) return true;
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // Stop() can only end a server that runs: wait for it.
    for (int i = 0; i < 2500 && !server_.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return server_.is_running();
}

void HttpTestServer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) {
        server_.stop();
        thread_.join();
    }
}

std::string HttpTestServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::string HttpTestServer::Url(const std::string& path) const {
    return BaseUrl() + path;
}

bool HttpTestServer::Sleep(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_.load(); });
}

void HttpTestServer::Get(const std::string& pattern, Handler handler) {
    AddRoute("GET", pattern, std::move(handler));
}

void HttpTestServer::Post(const std::string& pattern, Handler handler) {
    AddRoute("POST", pattern, std::move(handler));
}

void HttpTestServer::Reply(const std::string& path, int status, const std::string& body,
                           const std::string& contentType) {
    Get(path, [=](const httplib::Request&, httplib::Response& res) {
        res.status = status;
        res.set_content(body, contentType.c_str());
    });
}

void HttpTestServer::Stall(const std::string& path, int ms, int status, const std::string& body) {
    Get(path, [=, this](const httplib::Request&, httplib::Response& res) {
        Sleep(ms);
        res.status = status;
        res.set_content(body, "text/plain");
    });
}

void HttpTestServer::Drop(const std::string& path, size_t announced, size_t sent) {
    Get(path, [=](const httplib::Request&, httplib::Response& res) {
        auto data = std::make_shared<std::string>(MakeData(sent));
        res.set_content_provider(announced, "application/octet-stream",
                                 [data](size_t offset, size_t, httplib::DataSink& sink) {
                                     if (offset >= data->size()) return false;  // closes the connection
                                     sink.write(data->data() + offset, data->size() - offset);
                                     return true;
                                 });
    });
}

void HttpTestServer::ServeData(const std::string& path, const std::string& data, int bytesPerSecond) {
    auto shared = std::make_shared<const std::string>(data);
    Get(path, [=, this](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(shared->size(), "application/octet-stream",
                                 [=, this](size_t offset, size_t length, httplib::DataSink& sink) {
                                     constexpr size_t kPiece = 16 * 1024;
                                     size_t n = std::min(length, kPiece);
                                     if (bytesPerSecond > 0 && !Sleep(static_cast<int>(n * 1000 / bytesPerSecond)))
                                         return false;
                                     if (Stopping()) return false;
                                     return sink.write(shared->data() + offset, n);
                                 });
    });
}

void HttpTestServer::AcceptUploads(const std::string& path, const std::string& reply, int status) {
    Post(path, [=, this](const httplib::Request& req, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const auto& [field, part] : req.files) {
                if (!part.filename.empty()) uploads_.push_back({field, part.filename, part.content_type, part.content});
            }
        }
        res.status = status;
        res.set_content(reply, "text/plain");
    });
}

std::vector<UploadedFile> HttpTestServer::Uploads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return uploads_;
}

std::vector<RecordedRequest> HttpTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

int HttpTestServer::Count(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (const auto& r : requests_) n += r.path == path ? 1 : 0;
    return n;
}

std::string HttpTestServer::MakeData(size_t size) {
    std::string s(size, '\0');
    uint32_t x = 2463534242u;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x & 0xff);
    }
    return s;
}

}  // namespace testenv
