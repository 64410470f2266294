// The data-library manager loading the catalogue plug-in from the program's folder.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "IDataHalvec.h"
#include "ZqLib.h"
#include "ZqMusicCore.h"
#include "TestUtil.h"

namespace {

namespace fs = std::filesystem;

class DataDllManagerTest : public ::testing::Test {
protected:
    fs::path install;

    void SetUp() override {
        const std::string pattern = testsupport::MakeTempDir("musiccore");
        ASSERT_FALSE(pattern.empty());
        install = pattern;
        fs::copy(fs::path(VARNET_SOURCE_DIR) / "res", install / "res", fs::copy_options::recursive);
        setenv("VARNET_INSTALL_DIR", install.c_str(), 1);
    }
    void TearDown() override {
        AfxGetDataDllManager()->FreeDataDlls();
        unsetenv("VARNET_INSTALL_DIR");
        std::error_code ec;
        fs::remove_all(install, ec);
    }
    static IDataHalvec* Halvec() {
        return static_cast<IDataHalvec*>(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME));
    }
};

TEST_F(DataDllManagerTest, LoadsHalvecAndFindsItByName) {
    IDataDllManager* dlls = AfxGetDataDllManager();
    ASSERT_EQ(Halvec(), nullptr);
    for (int round = 0; round < 2; ++round) {  // load and free twice
        EXPECT_EQ(dlls->LoadDataDlls(0), 1);
        EXPECT_EQ(dlls->LoadDataDlls(0), 1);  // already loaded: no second instance
        EXPECT_EQ(dlls->LoadedDataDlls(), std::vector<std::string>{"libHalvec.so"});
        IDataHalvec* halvec = Halvec();
        ASSERT_NE(halvec, nullptr);
        GiftItem gift;
        ASSERT_TRUE(halvec->GetGift(-1, 10001, gift));
        EXPECT_EQ(gift.fname, Dir::GetZqPath(100) + "res\\gift\\10001.png");
        EXPECT_TRUE(fs::exists(Dir::ToNativePath(gift.fname)));
        EXPECT_TRUE(fs::exists(Dir::ToNativePath(halvec->GetFaceFileName(1))));
        EXPECT_TRUE(halvec->IsGift21012(21012));
        EXPECT_TRUE(halvec->HasRight(2, 1300, -1));
        halvec->Reload(RES_ALL);
        EXPECT_TRUE(halvec->GetGift(1, 10001, gift));
        GiftCatalogCopy copy;
        halvec->GetGiftMap(copy);
        EXPECT_EQ(copy.size(), 3u);
        FreeCatalogCopy(copy);
        dlls->FreeDataDlls();
        EXPECT_EQ(Halvec(), nullptr);
        EXPECT_TRUE(dlls->LoadedDataDlls().empty());
    }
}

TEST_F(DataDllManagerTest, EntryPointsAreIdempotent) {
    std::string path = Dir::ToNativePath(Dir::GetCurrentPath()) + DataDllFileName("Halvec");
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto init = reinterpret_cast<bool (*)()>(dlsym(handle, "ZqDllInit"));
    auto exit = reinterpret_cast<void (*)()>(dlsym(handle, "ZqDllExit"));
    ASSERT_TRUE(init && exit);
    EXPECT_EQ(dlsym(handle, "_ZN7CHalvec6ReloadEi"), nullptr);  // nothing else is exported
    exit();                                                     // without Init: nothing
    ASSERT_TRUE(init());
    IData* first = AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(init());  // a second Init neither creates nor registers again
    EXPECT_EQ(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME), first);
    exit();
    EXPECT_EQ(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME), nullptr);
    exit();
    dlclose(handle);
}

TEST_F(DataDllManagerTest, RefusesWhatIsNoPlugIn) {
    IDataDllManager* dlls = AfxGetDataDllManager();
    EXPECT_FALSE(dlls->LoadDataDll((install / "missing.so").string()));
    std::ofstream(install / "junk.so") << "not a library";
    EXPECT_FALSE(dlls->LoadDataDll((install / "junk.so").string()));
    // A real library without the entry points.
    std::string core = Dir::ToNativePath(Dir::GetCurrentPath()) + "libZqMusicCore.so";
    EXPECT_FALSE(dlls->LoadDataDll(core));
    EXPECT_EQ(dlls->LoadDataDllsFrom(install.string()), 0);  // no plug-in in that folder
    EXPECT_TRUE(dlls->LoadedDataDlls().empty());
}

TEST_F(DataDllManagerTest, LookupsFromManyThreadsThroughThePlugIn) {
    ASSERT_EQ(AfxGetDataDllManager()->LoadDataDlls(0), 1);
    std::vector<std::thread> threads;
    std::atomic<int> misses{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                IDataHalvec* halvec = Halvec();
                CatalogItem face;
                if (!halvec || !halvec->GetFace(-1, 1 + i % 24, face)) ++misses;
            }
        });
    for (int i = 0; i < 20; ++i) Halvec()->Reload(RES_FACE | RES_GIFT);
    for (auto& t : threads) t.join();
    EXPECT_EQ(misses.load(), 0);
}

}  // namespace
