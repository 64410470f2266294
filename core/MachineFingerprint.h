// The machine's fingerprint as Linux exposes it: the permanent address of the first physical network card
// that has one, the first physical adapter's current address, and the serial number of the first disk that reports one.
// Each is "" when it cannot be read. Any thread.
#pragma once

#include <string>

namespace fingerprint {
// Twelve upper-case hex digits of the first physical card (sorted by name; one with a device behind it, so
// no bridge, tunnel or other virtual interface) with a non-zero permanent address (ethtool), else its
// current address.
std::string GetNetCardMacAddress();
// The same over another folder laid out as /sys/class/net.
std::string GetNetCardMacAddressIn(const std::string& netRoot);
// Twelve upper-case hex digits of the first physical adapter with a link-layer address.
std::string GetAdapterMacAddress();
// The identify serial field of the first disk (raw order, trailing blanks cut, then every blank dropped):
// from the drive's identify data when it can be read, else the serial the kernel shows in sysfs.
std::string GetDiskSerialText();
// The serial-number field (bytes 20..39) of 512 bytes of identify data, as the fingerprint takes it.
std::string SerialFromIdentify(const unsigned char* identify, size_t len);
}  // namespace fingerprint
