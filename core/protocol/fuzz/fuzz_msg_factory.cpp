// Fuzzes the reply path: the body as it arrives, and the body as the object of every registered command.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "ZQMsgFactory.h"
#include "ZqLog.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static char folder[] = "/tmp/varnet-fuzz-XXXXXX";
    if (mkdtemp(folder)) {
        setenv("VARNET_DATA_DIR", folder, 1);
        LogSetFolder(std::string(folder) + "/log");
    }
    LogSetMaxFileSize(1 << 20);
    CZQMsgFactory::GetRegistry();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CZQMsgFactory::Registry& registry = CZQMsgFactory::GetRegistry();
    std::string body(reinterpret_cast<const char*>(data), size);
    delete CZQMsgFactory::BuildFromString(body.data(), registry, static_cast<int>(body.size()));
    if (size == 0) return 0;
    // The first byte picks a command; the rest becomes the members of a reply object of that command.
    size_t pick = data[0] % registry.size();
    auto it = registry.begin();
    std::advance(it, pick);
    std::string wrapped = "{\"cmd\":\"" + it->first + "\"," + body.substr(1);
    delete CZQMsgFactory::BuildFromString(wrapped.data(), registry, static_cast<int>(wrapped.size()));
    return 0;
}
