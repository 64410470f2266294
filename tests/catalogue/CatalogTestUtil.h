// Temporary install folders holding a copy of the sample catalogues or hostile files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include "TestUtil.h"

class TempFolder {
public:
    TempFolder() : dir_("halvec"), path_(dir_.path()) {
        if (dir_.path().empty()) ADD_FAILURE() << "no temporary folder";
        std::filesystem::create_directories(path_ / "res");
    }

    // The folder with a trailing '/', as the plug-in takes it.
    std::string Path() const { return path_.string() + "/"; }
    std::filesystem::path Res(const std::string& name) const { return path_ / "res" / name; }

    // Replaces res/<name> atomically (a reader never sees half a file).
    void Write(const std::string& name, const std::string& text) const {
        std::filesystem::path tmp = Res(name + ".tmp");
        {
            std::ofstream f(tmp, std::ios::binary);
            f << text;
        }
        std::filesystem::rename(tmp, Res(name));
    }
    void Remove(const std::string& name) const { std::filesystem::remove(Res(name)); }
    void CopySampleSet() const {
        std::filesystem::copy(
            std::filesystem::path(VARNET_SOURCE_DIR) / "res", path_ / "res",
            std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    }

private:
    testsupport::TempDir dir_;
    std::filesystem::path path_;
};

// GBK bytes of a UTF-8 text written in a test (narrow literals are GBK already under GCC; u8 ones are not).
std::string Gbk(const char8_t* utf8);
