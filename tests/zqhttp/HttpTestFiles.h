// Shared bits of the HTTP layer tests: a scratch folder per test and file helpers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "ZqLog.h"

inline std::filesystem::path ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name) {
        if (c == '/') c = '_';
    }
    auto dir = std::filesystem::path(VARNET_BINARY_DIR) / "test-scratch" / "zqhttp" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    LogSetFolder((dir / "logs").string());
    return dir;
}

inline std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteAll(const std::filesystem::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary);
    out << data;
}

// Names of the files in a folder (logs excluded).
inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().filename() != "logs") names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}
