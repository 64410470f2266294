// The crash-report program's logic: Faultnote <dump path>. Checks the dump, asks the user whether to send it,
// and uploads it to the configured service (ZqServerList/CrashReportSvr). Main thread only.
#pragma once

#include <functional>
#include <string>

class IConfigManager;
class IZqHttpRequestMgr;

namespace faultnote {

enum Result { kSent = 0, kNoService = 1, kDeclined = 2, kBadDump = 3, kFailed = 4 };

// A dump the program accepts: an existing regular file named "*.dmp", at most 64 MiB.
bool IsDumpFile(const std::string& nativePath);

// Asks, then sends. `ask` answers the question (true: send).
Result Report(const std::string& dumpPath, IConfigManager* config, IZqHttpRequestMgr* http,
              const std::function<bool()>& ask, int timeoutMs = 60000);

}  // namespace faultnote
