// Signing keys of the local room service (test values; the client reads its keys from "Sign"/"KeyA", "KeyB").
#pragma once

namespace testenv {
constexpr const char* kRoomServiceKeyA = "TestKeyA-0123456789abc";           // 22 characters
constexpr const char* kRoomServiceKeyB = "TestKeyB-0123456789abcdefghijkl";  // 31 characters
}  // namespace testenv
