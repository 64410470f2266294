// Shared set-up of the protocol tests: a private data folder, fixed signing inputs and a fixed clock.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "GlobalData.h"
#include "ZQCommands.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "TestUtil.h"

namespace prototest {

constexpr const char* kKeyA = "TestKeyA-0123456789abc";           // 22 characters
constexpr const char* kKeyB = "TestKeyB-0123456789abcdefghijkl";  // 31 characters
constexpr const char* kMac = "00A0C9123456";
constexpr int64_t kNow = 1700000000;

struct TempFolder {
    testsupport::TempDir dir{"varnet-proto"};
    const std::string& path = dir.path();
};

inline int FixedCameraCount() {
    return 2;
}

// Once per test program: the data folder first, before anything reads the configuration.
inline void SetUpOnce() {
    static TempFolder folder;
    static bool done = [] {
        setenv("VARNET_DATA_DIR", folder.path.c_str(), 1);
        setenv("VARNET_INSTALL_DIR", folder.path.c_str(), 1);
        LogSetFolder(folder.path + "/log");
        IConfigManager* cfg = AfxGetConfigManager();
        cfg->SetString("config", "version", "1.0.0.1", 1);
        cfg->SetString("config", "FromID", "web_7", 1);
        ClientID::SetClientID("CID-42");
        return true;
    }();
    (void)done;
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    g.SetSignKeys(kKeyA, kKeyB);
    g.SetMacOverride(kMac);
    g.SetTimeSource([] { return kNow; });
    g.UpdateAccount([](UserAccount& a) {
        a.uid = 1001;
        a.sid = 2002;
    });
    SetCameraCountProvider(&FixedCameraCount);
}

}  // namespace prototest
