#include "NginxRtmp.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace testenv {

namespace {

const char* ModulePath() {
    static const char* const candidates[] = {
        "/usr/lib/nginx/modules/ngx_rtmp_module.so",
        "/usr/lib64/nginx/modules/ngx_rtmp_module.so",
        "/usr/share/nginx/modules/ngx_rtmp_module.so",
    };
    for (const char* c : candidates) {
        if (access(c, R_OK) == 0) {
            return c;
        }
    }
    return nullptr;
}

const char* NginxPath() {
    static const char* const candidates[] = {"/usr/sbin/nginx", "/usr/bin/nginx", "/usr/local/sbin/nginx"};
    for (const char* c : candidates) {
        if (access(c, X_OK) == 0) {
            return c;
        }
    }
    return nullptr;
}

}  // namespace

NginxRtmp::~NginxRtmp() {
    Stop();
}

int NginxRtmp::FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof(a);
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

bool NginxRtmp::PortOpen(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    close(fd);
    return ok;
}

bool NginxRtmp::Start(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) {
            *error = why;
        }
        Stop(true);
        return false;
    };
    if (child_.Running()) {
        return fail("already running");
    }
    const char* module = ModulePath();
    const char* nginx = NginxPath();
    if (!module || !nginx) {
        return fail("nginx or its RTMP module is not installed");
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        Stop(true);
        std::string tmpl = (std::filesystem::temp_directory_path() / "varnet-nginx-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) {
            return fail("mkdtemp failed");
        }
        dir_ = tmpl;
        port_ = wantPort_ != 0 ? wantPort_ : FreePort();
        if (port_ == 0) {
            return fail("no free port");
        }
        std::ostringstream conf;
        conf << "load_module " << module << ";\n"
             << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "error_log " << dir_ << "/error.log info;\n"
             << "pid " << dir_ << "/nginx.pid;\n"
             << "events { worker_connections 256; }\n"
             << "rtmp {\n  server {\n    listen 127.0.0.1:" << port_ << ";\n    chunk_size 4096;\n"
             << "    application vstar { live on; idle_streams off; }\n"
             << "    application vwait { live on; }\n  }\n}\n";
        std::ofstream(dir_ + "/nginx.conf") << conf.str();
        if (!child_.Start({nginx, "-p", dir_ + "/", "-c", dir_ + "/nginx.conf", "-e", dir_ + "/error.log"},
                          dir_ + "/stdout.log", dir_ + "/stderr.log")) {
            return fail("cannot start nginx");
        }
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (!child_.Running()) {
                break;  // lost the port to someone else, or a bad set-up: try again
            }
            if (PortOpen(port_)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    std::string log = ErrorLog();
    return fail("nginx did not come up: " + log);
}

void NginxRtmp::Stop(bool hard) {
    child_.Stop(hard ? SIGKILL : SIGTERM, 3000);
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
}

bool NginxRtmp::Restart(std::string* error) {
    const int port = port_;
    Stop();
    wantPort_ = port;
    bool ok = Start(error);
    wantPort_ = 0;
    return ok;
}

std::string NginxRtmp::Url(const std::string& stream, const std::string& app) const {
    return "rtmp://127.0.0.1:" + std::to_string(port_) + "/" + app + "/" + stream;
}

std::string NginxRtmp::ErrorLog() const {
    if (dir_.empty()) {
        return {};
    }
    std::ifstream in(dir_ + "/error.log");
    std::ostringstream s;
    s << in.rdbuf();
    std::ifstream err(dir_ + "/stderr.log");
    s << err.rdbuf();
    return s.str();
}

}  // namespace testenv
