#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ZqLib.h"
#include "TestUtil.h"

namespace {

class DirTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tmpl = testsupport::MakeTempDir("zqlib-test");
        ASSERT_FALSE(tmpl.empty());
        root_ = tmpl;
        setenv("VARNET_DATA_DIR", (root_ + "/data").c_str(), 1);
        setenv("VARNET_INSTALL_DIR", (root_ + "/inst").c_str(), 1);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + root_ + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    std::string root_;
};

TEST_F(DirTest, FoldersByType) {
    EXPECT_EQ(Dir::GetZqPath(100), root_ + "/inst/");
    EXPECT_EQ(Dir::GetZqPath(105), root_ + "/inst/image/");
    EXPECT_EQ(Dir::GetZqPath(107), root_ + "/data/");
    EXPECT_EQ(Dir::GetZqPath(110), root_ + "/data/log/");
    EXPECT_EQ(Dir::GetZqPath(113), root_ + "/data/update/");
    EXPECT_EQ(Dir::GetZqPath(12345), "");
    struct stat st;
    EXPECT_EQ(stat((root_ + "/data/log").c_str(), &st), 0);
    EXPECT_FALSE(Dir::GetCurrentPath().empty());
    EXPECT_EQ(Dir::GetCurrentPath().back(), '/');
}

TEST_F(DirTest, FilesWithGbkNames) {
    const std::string dir = Dir::GetZqPath(107) + "子目录\\下层";
    ASSERT_TRUE(Dir::CreateDirectories(dir));
    const std::string file = dir + "\\文件.txt";
    EXPECT_FALSE(Dir::FileExists(file));
    EXPECT_EQ(Dir::GetFileSize(file), -1);
    ASSERT_TRUE(Dir::WriteFileAtomic(file, "内容"));
    EXPECT_TRUE(Dir::FileExists(file));
    EXPECT_EQ(Dir::GetFileSize(file), 4);
    // On disk the name is UTF-8.
    struct stat st;
    EXPECT_EQ(stat((root_ +
                    "/data/\xE5\xAD\x90\xE7\x9B\xAE\xE5\xBD\x95/\xE4\xB8\x8B\xE5\xB1\x82/\xE6\x96\x87\xE4\xBB\xB6.txt")
                       .c_str(),
                   &st),
              0);
    std::string data;
    EXPECT_TRUE(Dir::ReadFile(file, data));
    EXPECT_EQ(data, "内容");
    EXPECT_FALSE(Dir::ReadFile(file, data, 3));  // larger than allowed
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(Dir::GetShortFileName(file), "文件.txt");
    EXPECT_EQ(Dir::GetShortFileName("a/b\\c"), "c");
    EXPECT_EQ(Dir::GetShortFileName("\xD6\x5C"
                                    "x"),
              "\xD6\x5C"
              "x");  // 0x5C is a trail byte here, not '\'
    std::FILE* f = Dir::OpenFile(file, "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(Dir::RemoveFile(file));
    EXPECT_FALSE(Dir::FileExists(file));
    EXPECT_FALSE(Dir::RemoveFile(file));
}

TEST_F(DirTest, RecycleMovesToTrash) {
    setenv("XDG_DATA_HOME", (root_ + "/xdg").c_str(), 1);
    const std::string file = Dir::GetZqPath(110) + "old.txt";
    ASSERT_TRUE(Dir::WriteFileAtomic(file, "x"));
    EXPECT_TRUE(Dir::RemoveFile2Recycle(file));
    EXPECT_FALSE(Dir::FileExists(file));
    EXPECT_TRUE(Dir::FileExists(root_ + "/xdg/Trash/files/old.txt"));
    EXPECT_TRUE(Dir::FileExists(root_ + "/xdg/Trash/info/old.txt.trashinfo"));
    unsetenv("XDG_DATA_HOME");
}

TEST_F(DirTest, ClientIdAndInstallSource) {
    char buf[64] = "junk";
    EXPECT_FALSE(ClientID::GetClientID(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(ClientID::GetClientID(), "");
    EXPECT_TRUE(ClientID::SetClientID("123456789"));
    EXPECT_TRUE(ClientID::GetClientID(buf, sizeof(buf)));
    EXPECT_STREQ(buf, "123456789");
    EXPECT_TRUE(ClientID::GetClientID(buf, 4));
    EXPECT_STREQ(buf, "123");
    EXPECT_FALSE(ClientID::SetClientID("bad\nid"));
    EXPECT_EQ(ClientID::GetClientID(), "123456789");
    EXPECT_TRUE(ClientID::SetInstallSRC("官网"));
    char src[260];
    EXPECT_TRUE(ClientID::GetInstallSRC(src, sizeof(src)));
    EXPECT_STREQ(src, "官网");
    EXPECT_TRUE(ClientID::GetInstallSRC(src, 4));
    EXPECT_STREQ(src, "官");
    EXPECT_TRUE(ClientID::GetInstallSRC(src, 3));
    EXPECT_STREQ(src, "官");
    EXPECT_TRUE(ClientID::GetInstallSRC(src, 2));
    EXPECT_STREQ(src, "");
}

TEST_F(DirTest, Win32Exec) {
    EXPECT_EQ(utility::win32exec("sh -c 'exit 3'", "", true), 3);
    EXPECT_EQ(utility::win32exec("no-such-program-xyz", "", true), -1);
    EXPECT_EQ(utility::win32exec("", "", true), -1);
    const std::string work = Dir::GetZqPath(107);
    EXPECT_EQ(utility::win32exec("sh -c 'pwd > here.txt'", work, true), 0);
    std::string data;
    EXPECT_TRUE(Dir::ReadFile(work + "here.txt", data));
    EXPECT_EQ(data, root_ + "/data\n");
    // A program in the installation folder is found by its bare name.
    const std::string prog = Dir::GetZqPath(100) + "tool.sh";
    ASSERT_TRUE(Dir::WriteFileAtomic(prog, "#!/bin/sh\nexit 5\n"));
    chmod(prog.c_str(), 0755);
    EXPECT_EQ(utility::win32exec("tool.sh", "", true), 5);
    EXPECT_EQ(utility::win32exec("tool.sh", "", false), 0);
    EXPECT_TRUE(utility::IsVistaOrHigher());
}

}  // namespace
