#pragma once
// One room service for a whole test program; it and the request worker stop after the last test.
#include <gtest/gtest.h>

#include "MsgClientThread.h"
#include "RoomService.h"

namespace roomsvc {

inline testenv::RoomService& Service() {
    static auto* s = new testenv::RoomService;
    return *s;
}

class StopAtEnd : public ::testing::Environment {
public:
    void TearDown() override {
        CMsgClientThread::GetInstance().Stop();
        Service().Stop();
    }
};
inline const auto* g_stopAtEnd = ::testing::AddGlobalTestEnvironment(new StopAtEnd);

}  // namespace roomsvc
