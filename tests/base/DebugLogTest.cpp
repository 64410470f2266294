#include "DebugLog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(DebugLog, SwitchLineAndMaskedUrls) {
    struct Switch {
        const char* value;
        bool on;
    };
    for (const Switch& s : {Switch{nullptr, false}, {"", false}, {"0", false}, {"yes", false}, {"1", true}})
        EXPECT_EQ(s.on, varnet::DebugSwitchValue(s.value)) << (s.value ? s.value : "(unset)");

    struct Line {
        const char* component;
        const char* instance;
        const char* expect;
    };
    for (const Line& l : {Line{"Rondel", "3", "[Rondel 3] text"},
                          {"H264", nullptr, "[H264] text"},
                          {"Tovel", "", "[Tovel] text"},
                          {nullptr, "2", "[varnet 2] text"}})
        EXPECT_EQ(l.expect, varnet::DebugLine(l.component, l.instance, "text"));

    const varnet::DebugId first, second;
    EXPECT_NE(std::string(first.c_str()), std::string(second.c_str()));
    EXPECT_EQ(std::strtoul(first.c_str(), nullptr, 10) + 1, std::strtoul(second.c_str(), nullptr, 10));

    struct Url {
        const char* url;
        const char* masked;
    };
    for (const Url& u : {Url{"rtmp://pub.example:1935/live/secretKey", "rtmp://pub.example:1935/live/***"},
                         {"rtmp://host/live/name?token=abc", "rtmp://host/live/***"},
                         {"rtmp://host?key=1", "rtmp://host?***"},
                         {"rtmp://host", "rtmp://host"},
                         {"host:1935/app/stream", "host:1935/app/***"},
                         {"", ""}})
        EXPECT_EQ(u.masked, varnet::MaskStreamUrl(u.url)) << u.url;
}

}  // namespace
