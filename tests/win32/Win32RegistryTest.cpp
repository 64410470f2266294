// The file-backed registry store.
#include <gtest/gtest.h>
#include <dirent.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <thread>

#include "Win32.h"
#include "Win32TestUtil.h"

namespace {

class Win32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.path().empty());
        setenv("VARNET_DATA_DIR", (dir_.path() + "/config").c_str(), 1);
    }
    std::string File() const { return dir_.path() + "/config/registry.txt"; }
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        if (DIR* d = opendir((dir_.path() + "/config").c_str())) {
            while (dirent* e = readdir(d)) {
                if (e->d_name[0] != '.') {
                    names.insert(e->d_name);
                }
            }
            closedir(d);
        }
        return names;
    }
    std::string Slurp() const {
        std::ifstream in(File(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    w32test::TempDir dir_;
};

TEST_F(Win32Registry, ValuesRoundTripWhateverTheirBytes) {
    struct Row {
        HKEY root;
        std::string key, value, data;
    };
    const Row rows[] = {
        {HKEY_LOCAL_MACHINE, "SOFTWARE\\RAVEZUDU\\", "UNINST_PARAM", "/S /D=path"},
        {HKEY_CURRENT_USER, "Software\\Varnet\\Settings", "Escapes", std::string("a\tb\nc\\d\re\0f", 11)},
        {HKEY_CURRENT_USER, "Software\\Varnet\\Settings", "Gbk", "\xD6\xD0\xCE\xC4"},
        {HKEY_CURRENT_USER, "Software\\Varnet\\Settings", "Empty", ""},
        {HKEY_CURRENT_USER, "Software\\Varnet\\Settings", "", "default value"},
        {HKEY_CLASSES_ROOT, "x", "tab\tin name", "v"},
    };
    for (const Row& r : rows) {
        EXPECT_TRUE(RegWriteString(r.root, r.key, r.value, r.data)) << r.value;
    }
    for (const Row& r : rows) {
        std::string out = "junk";
        ASSERT_TRUE(RegReadString(r.root, r.key, r.value, out)) << r.value;
        EXPECT_EQ(out, r.data) << r.value;
    }
    // Keys and names compare without case; separators and surrounding slashes do not matter.
    std::string out;
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, "/software/ravezudu", "uninst_param", out));
    EXPECT_EQ(out, "/S /D=path");
    // Another root is another key.
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, "SOFTWARE\\RAVEZUDU", "UNINST_PARAM", out));
    // Overwrite keeps one value.
    EXPECT_TRUE(RegWriteString(HKEY_LOCAL_MACHINE, "SOFTWARE\\RAVEZUDU", "uninst_param", "new"));
    EXPECT_TRUE(RegReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\RAVEZUDU", "UNINST_PARAM", out));
    EXPECT_EQ(out, "new");
    // Delete.
    EXPECT_TRUE(RegDeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\RAVEZUDU", "UNINST_PARAM"));
    EXPECT_FALSE(RegDeleteValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\RAVEZUDU", "UNINST_PARAM"));
    EXPECT_FALSE(RegReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\RAVEZUDU", "UNINST_PARAM", out));
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, "Software\\Varnet\\Settings", "Gbk", out));
    // Saves leave no temporary files behind.
    EXPECT_EQ(Entries(), (std::set<std::string>{"registry.txt", "registry.txt.lock"}));
}

TEST_F(Win32Registry, BadRequestsAreRefusedAndChangeNothing) {
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, "Software\\Varnet", "Kept", "1"));
    std::string before = Slurp();
    std::string out;
    EXPECT_FALSE(RegWriteString(reinterpret_cast<HKEY>(uintptr_t{0x1234}), "Software", "v", "d"));
    EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, "\\\\//", "v", "d"));
    EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, "", "v", "d"));
    EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, "Software", "v", std::string((1u << 20) + 1, 'x')));
    EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, std::string(2000, 'k'), "v", "d"));
    EXPECT_FALSE(RegReadString(reinterpret_cast<HKEY>(uintptr_t{0x1234}), "Software\\Varnet", "Kept", out));
    EXPECT_EQ(Slurp(), before);
}

TEST_F(Win32Registry, UnparsableLinesSurviveAndOversizedFilesAreNotTouched) {
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, "Software\\Varnet", "A", "1"));
    {
        std::ofstream app(File(), std::ios::app | std::ios::binary);
        app << "a line without tabs\n"
            << "bad\\qescape\tv\td\n"
            << "hkey_current_user\\\\software\\\\varnet\tb\t2\n";
    }
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, "Software\\Varnet", "C", "3"));
    std::string out;
    EXPECT_TRUE(RegReadString(HKEY_CURRENT_USER, "Software\\Varnet", "B", out));
    EXPECT_EQ(out, "2");
    std::string text = Slurp();
    EXPECT_NE(text.find("a line without tabs\n"), std::string::npos);
    EXPECT_NE(text.find("bad\\qescape\tv\td\n"), std::string::npos);

    // A hand-made duplicate: a write keeps one, a delete leaves none.
    {
        std::ofstream app(File(), std::ios::app | std::ios::binary);
        app << "hkey_current_user\\\\software\\\\varnet\tb\tdup\n";
    }
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, "Software\\Varnet", "B", "one"));
    EXPECT_TRUE(RegDeleteValue(HKEY_CURRENT_USER, "Software\\Varnet", "B"));
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, "Software\\Varnet", "B", out));

    {
        std::ofstream big(File(), std::ios::app | std::ios::binary);
        big << std::string(9u << 20, 'z') << "\n";
    }
    size_t size = Slurp().size();
    EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, "Software\\Varnet", "A", out));
    EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, "Software\\Varnet", "D", "4"));
    EXPECT_EQ(Slurp().size(), size);
}

TEST_F(Win32Registry, ConcurrentWritersOfThreadsAndProcessesLoseNothing) {
    constexpr int kEach = 40;
    pid_t child = w32test::Spawn({w32test::HelperPath(), "reg", "proc", std::to_string(kEach)});
    ASSERT_GT(child, 0);
    std::vector<std::thread> writers;
    for (int t = 0; t < 3; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kEach; ++i) {
                EXPECT_TRUE(RegWriteString(HKEY_CURRENT_USER, "Software\\Test",
                                           "t" + std::to_string(t) + "-" + std::to_string(i), std::to_string(i)));
            }
        });
    }
    for (auto& w : writers) {
        w.join();
    }
    EXPECT_EQ(w32test::WaitExit(child), 0);
    std::string out;
    for (int i = 0; i < kEach; ++i) {
        for (std::string name : {"t0-", "t1-", "t2-", "proc"}) {
            name += std::to_string(i);
            ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, "Software\\Test", name, out)) << name;
            EXPECT_EQ(out, std::to_string(i));
        }
    }
}

}  // namespace
