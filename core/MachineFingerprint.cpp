#include "MachineFingerprint.h"

#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/hdreg.h>
#include <linux/if_packet.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ZqLib.h"

namespace fingerprint {
namespace {

std::string Hex6(const unsigned char* b) {
    char s[13];
    snprintf(s, sizeof(s), "%02X%02X%02X%02X%02X%02X", b[0], b[1], b[2], b[3], b[4], b[5]);
    return s;
}

bool AllZero(const unsigned char* b, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (b[i]) return false;
    return true;
}

std::vector<std::string> List(const char* folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder)) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadLine(const std::string& path) {
    std::string s;
    if (!Dir::ReadFile(path, s, 4096)) return "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

bool ParseMac(const std::string& text, unsigned char out[6]) {
    unsigned v[6];
    if (sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6) return false;
    for (int i = 0; i < 6; ++i) out[i] = static_cast<unsigned char>(v[i]);
    return true;
}

constexpr const char* kNetRoot = "/sys/class/net";

// A card on a bus (it has a device); bridges, tunnels and other virtual interfaces have none.
bool IsPhysicalCard(const std::string& root, const std::string& name) {
    if (name.empty() || name == "lo" || name.find('/') != std::string::npos || name.size() >= IFNAMSIZ) return false;
    return access((root + "/" + name + "/device").c_str(), F_OK) == 0;
}

}  // namespace

std::string GetNetCardMacAddress() {
    return GetNetCardMacAddressIn(kNetRoot);
}

std::string GetNetCardMacAddressIn(const std::string& netRoot) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    std::string result;
    for (const auto& name : List(netRoot.c_str())) {
        if (!IsPhysicalCard(netRoot, name)) continue;
        unsigned char mac[6] = {};
        bool have = false;
        if (fd >= 0) {
            alignas(ethtool_perm_addr) unsigned char raw[sizeof(ethtool_perm_addr) + 32] = {};
            auto& head = *reinterpret_cast<ethtool_perm_addr*>(raw);
            head.cmd = ETHTOOL_GPERMADDR;
            head.size = 32;
            ifreq ifr = {};
            strncpy(ifr.ifr_name, name.c_str(), IFNAMSIZ - 1);
            ifr.ifr_data = reinterpret_cast<char*>(raw);
            if (ioctl(fd, SIOCETHTOOL, &ifr) == 0 && head.size == 6 && !AllZero(head.data, 6)) {
                memcpy(mac, head.data, 6);
                have = true;
            }
        }
        if (!have) have = ParseMac(ReadLine(netRoot + "/" + name + "/address"), mac) && !AllZero(mac, 6);
        if (have) {
            result = Hex6(mac);
            break;
        }
    }
    if (fd >= 0) close(fd);
    return result;
}

std::string GetAdapterMacAddress() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return "";
    std::string result;
    for (ifaddrs* a = list; a && result.empty(); a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET || (a->ifa_flags & IFF_LOOPBACK)) continue;
        if (!a->ifa_name || !IsPhysicalCard(kNetRoot, a->ifa_name)) continue;
        auto* ll = reinterpret_cast<sockaddr_ll*>(a->ifa_addr);
        if (ll->sll_halen == 6 && !AllZero(ll->sll_addr, 6)) result = Hex6(ll->sll_addr);
    }
    freeifaddrs(list);
    return result;
}

std::string SerialFromIdentify(const unsigned char* identify, size_t len) {
    if (!identify || len < 40) return "";
    std::string s(reinterpret_cast<const char*>(identify + 20), 20);
    s = s.substr(0, strnlen(s.c_str(), 20));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
    return s;
}

std::string GetDiskSerialText() {
    for (const auto& name : List("/sys/block")) {
        if (name.compare(0, 4, "loop") == 0 || name.compare(0, 3, "ram") == 0 || name.compare(0, 2, "sr") == 0)
            continue;
        // The drive's own identify data (needs rights on the device node).
        int fd = open(("/dev/" + name).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            hd_driveid id;
            bool ok = ioctl(fd, HDIO_GET_IDENTITY, &id) == 0;
            close(fd);
            if (ok) {
                std::string s = SerialFromIdentify(reinterpret_cast<const unsigned char*>(&id), sizeof(id));
                if (!s.empty()) return s;
            }
        }
        std::string serial = ReadLine("/sys/block/" + name + "/device/serial");
        while (!serial.empty() && serial.back() == ' ') serial.pop_back();
        serial.erase(std::remove(serial.begin(), serial.end(), ' '), serial.end());
        if (!serial.empty()) return serial;
    }
    return "";
}

}  // namespace fingerprint
