// Shared helpers of the room-window part tests: small GIF files and a catalogue with emoticon groups.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "TestGif.h"
#include "RoomTestEnv.h"
#include "TestUtil.h"

namespace roomuitest {

using testsupport::MakeGif;

inline std::string WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
    return path;
}

// The catalogue of the tests with an emoticon map.
class FaceHalvec : public roomtest::FakeHalvec {
public:
    struct Group {
        FaceGroupInfo info;
        std::vector<CatalogItem> faces;
    };
    std::vector<Group> groups;
    void GetFaceMap(FaceCatalogCopy& out) override {
        for (const auto& g : groups) {
            auto& m = out[g.info];
            for (const auto& f : g.faces) m[f.id] = new CatalogItem(f);
        }
    }
};

}  // namespace roomuitest

namespace roomuitest {

// Once per test program: private folders, the UI thread, the catalogue registered as the plug-in.
inline FaceHalvec& SetUpOnce() {
    static FaceHalvec halvec;
    static std::string dir;
    static bool done = [] {
        dir = roomtest::UsePrivateFolders("varnet-roomui");
        Win32Init();
        AfxGetDataManager()->RegisterModule(HALVEC_MODULE_NAME, &halvec);
        return true;
    }();
    (void)done;
    return halvec;
}
inline std::string TestDir() {
    SetUpOnce();
    return getenv("VARNET_DATA_DIR");
}

}  // namespace roomuitest
