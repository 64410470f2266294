#include "Tick.h"
#include "UserFolders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include "TestUtil.h"

namespace {

using testsupport::ScopedEnv;

TEST(UserFolders, FollowTheDesktopConventions) {
    struct Row {
        std::optional<std::string> home, dataHome, configHome, varnetDir;
        std::string data, config, varnetData, varnetConfig;
    };
    const Row rows[] = {
        {"/h", std::nullopt, std::nullopt, std::nullopt, "/h/.local/share", "/h/.config", "/h/.local/share/Varnet",
         "/h/.config/Varnet"},
        {"/h", "/d", "/c", std::nullopt, "/d", "/c", "/d/Varnet", "/c/Varnet"},
        {"/h", "rel", "", std::nullopt, "/h/.local/share", "/h/.config", "/h/.local/share/Varnet", "/h/.config/Varnet"},
        {"/h", "/d", "/c", "/t/v", "/d", "/c", "/t/v", "/t/v"},
        {"/h", std::nullopt, std::nullopt, "", "/h/.local/share", "/h/.config", "/h/.local/share/Varnet",
         "/h/.config/Varnet"},
    };
    for (const Row& r : rows) {
        ScopedEnv home("HOME", r.home), data("XDG_DATA_HOME", r.dataHome), config("XDG_CONFIG_HOME", r.configHome),
            own("VARNET_DATA_DIR", r.varnetDir);
        EXPECT_EQ(r.data, varnet::UserDataHome());
        EXPECT_EQ(r.config, varnet::UserConfigHome());
        EXPECT_EQ(r.varnetData, varnet::VarnetDataFolder());
        EXPECT_EQ(r.varnetConfig, varnet::VarnetConfigFolder());
    }
    // Without $HOME the account's home folder is used.
    ScopedEnv home("HOME", std::nullopt);
    EXPECT_FALSE(varnet::HomeFolder().empty());
}

TEST(Tick, IsTheLowWordOfTheMonotonicClock) {
    const int64_t before = varnet::MonotonicMs();
    const uint32_t tick = varnet::TickCount();
    const int64_t after = varnet::MonotonicMs();
    EXPECT_LE(before, after);
    EXPECT_LE(uint32_t(tick - uint32_t(before)), uint32_t(after - before));
}

}  // namespace
