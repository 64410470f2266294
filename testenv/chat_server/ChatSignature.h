// Login and join signatures of the local chat service. The room service issues them in its enterroom
// and getchatsig replies; the chat server recomputes them from the same key to check a login or a join.
#pragma once

#include <cstdint>
#include <string>

namespace testenv {

constexpr const char* kChatServiceKey = "TestChatKey-7d41c2e9";

inline uint32_t ChatSigHash(const std::string& text) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (unsigned char c : std::string(kChatServiceKey) + "|" + text) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

// For the user uid at the time stamp tm.
inline uint32_t ChatLoginSig(uint32_t uid, uint32_t tm) {
    return ChatSigHash("login|" + std::to_string(uid) + "|" + std::to_string(tm));
}

// For the user uid joining the channel joinId (the room id) at tm.
inline uint32_t ChatJoinSig(uint32_t joinId, uint32_t uid, uint32_t tm) {
    return ChatSigHash("join|" + std::to_string(joinId) + "|" + std::to_string(uid) + "|" + std::to_string(tm));
}

}  // namespace testenv
