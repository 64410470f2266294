// The local update service of the test stack: the server configuration endpoint, the start-up statistics
// endpoint, installer downloads and the catalogue files (version file, confs and pictures) of a "res"
// folder. Built on HttpTestServer, so a test can also put any hostile answer on any path.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "HttpTestServer.h"

namespace testenv {

class UpdateService {
public:
    // Texts served from the catalogue folder name their host as this; it is replaced by the service's URL.
    static constexpr const char* kPlaceholderHost = "http://res.example.invalid";

    UpdateService();
    ~UpdateService();
    UpdateService(const UpdateService&) = delete;
    UpdateService& operator=(const UpdateService&) = delete;

    bool Start();
    void Stop();
    std::string BaseUrl() const { return server_.BaseUrl(); }
    HttpTestServer& Http() { return server_; }

    // Configuration: GET /uc/s?m=<length>;<keyed Base64 of the query>. The answer is the Base64 of the text
    // given here, or the raw body of SetConfigBody; status 200 unless set.
    void SetConfigText(const std::string& iniText);
    void SetConfigBody(const std::string& rawBody, int status = 200);
    // Decoded query texts, and the announced lengths, of the configuration requests so far.
    std::vector<std::string> ConfigQueries() const;
    std::vector<int> ConfigLengths() const;

    // Statistics: GET /log.stat?cmd=log&msg=<line>; answers `status` with "ok". Lines as received.
    void SetStatStatus(int status);
    std::vector<std::string> StatLines() const;

    // Installers at /dl/<name>, with a Content-Length; bytesPerSecond > 0 throttles the answer.
    void SetInstaller(const std::string& name, const std::string& data, int bytesPerSecond = 0);
    void FailInstaller(const std::string& name, int status);
    void StallInstaller(const std::string& name, int ms);
    std::string InstallerUrlBase() const { return BaseUrl() + "/dl"; }

    // Catalogue: /conf/version.conf is <folder>/version.conf, /res/<path> is <folder>/<path>; texts have the
    // placeholder host replaced. The folder is read at each request, so a test may change it between runs.
    void SetCatalogueFolder(const std::string& nativeFolder);
    std::string VersionUrl() const { return BaseUrl() + "/conf/version.conf"; }

    // A config.ini text (longer than 100 characters) that points every updater job at this service,
    // with the given [Update] values and extra lines appended.
    std::string ConfigIni(const std::string& version, const std::string& fileName, const std::string& extra = "") const;

private:
    HttpTestServer server_;
    mutable std::mutex mutex_;  // guards the fields below
    std::string configBody_;
    int configStatus_ = 200;
    std::vector<std::string> queries_;
    std::vector<int> lengths_;
    int statStatus_ = 200;
    std::vector<std::string> statLines_;
    std::string folder_;
};

// Copies the sample catalogue folder `sampleRes` to `servedRes` and changes the copy: the gift catalogue's
// version rises and it gains gift 19999 with its own pictures. False when the copy cannot be made.
bool PrepareChangedGiftCatalogue(const std::string& sampleRes, const std::string& servedRes);

}  // namespace testenv
