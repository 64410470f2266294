// The local picture upload service of the room management dialog: POST <kUploadPath> with a
// multipart/form-data body whose file part is "file" keeps the picture and answers
//   {"stat":200,"pic":"<URL-encoded address of the picture>","inf":"<URL-encoded message>"}
// and GET of that address serves the picture back. Tests steer it (a refusal, a stall) and read what came.
// Thread-safe.
//
//   testenv::UploadService uploads;
//   uploads.Start();                                  // 127.0.0.1 on a free port
//   config: ZqServerList/UploadStreamServ = uploads.UploadUrl()
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "HttpTestServer.h"

namespace testenv {

class UploadService {
public:
    static constexpr const char* kUploadPath = "/ZeqaLive/UploadStream";

    UploadService();
    bool Start();
    void Stop() { server_.Stop(); }
    std::string UploadUrl() const { return server_.Url(kUploadPath); }
    HttpTestServer& Http() { return server_; }

    // The next `times` uploads are answered with this stat and message (GBK) and keep nothing.
    void Refuse(int stat, const std::string& inf, int times = 1);
    // The next `times` uploads are answered with this body as it stands (malformed answers).
    void AnswerRaw(const std::string& body, int times = 1);
    // Uploads wait this long before their answer (0: none).
    void SetStallMs(int ms);

    struct Picture {
        std::string fileName, content, url;
    };
    std::vector<Picture> Pictures() const;

private:
    void OnUpload(const httplib::Request& req, httplib::Response& res);

    HttpTestServer server_;
    mutable std::mutex lock_;  // guards the fields below
    std::vector<Picture> pictures_;
    int refuseStat_ = 0, refuseTimes_ = 0;
    std::string refuseInf_;
    std::string raw_;
    int rawTimes_ = 0;
    int stallMs_ = 0;
};

}  // namespace testenv
