// The machine's fingerprint as Linux exposes it: the permanent address of the first network card that has
// one, the first adapter's current address, and the serial number of the first disk that reports one.
// Each is "" when it cannot be read. Any thread.
#pragma once

#include <string>

namespace fingerprint {
// Twelve upper-case hex digits of the first non-loopback card (sorted by name) with a non-zero permanent
// address (ethtool), else its current address.
std::string GetNetCardMacAddress();
// Twelve upper-case hex digits of the first non-loopback adapter with a link-layer address.
std::string GetAdapterMacAddress();
// The identify serial field of the first disk (raw order, trailing blanks cut, then every blank dropped):
// from the drive's identify data when it can be read, else the serial the kernel shows in sysfs.
std::string GetDiskSerialText();
// The serial-number field (bytes 20..39) of 512 bytes of identify data, as the fingerprint takes it.
std::string SerialFromIdentify(const unsigned char* identify, size_t len);
}  // namespace fingerprint
