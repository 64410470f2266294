#include "UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace varnet {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

// An XDG base folder: the variable when it holds an absolute path (relative ones are ignored), else home + rest.
std::string XdgHome(const char* variable, const char* underHome) {
    std::string dir = Env(variable);
    if (!dir.empty() && dir[0] == '/') return dir;
    std::string home = HomeFolder();
    return home.empty() ? std::string() : home + underHome;
}

std::string ProgramFolder(const std::string& xdg) {
    std::string dir = Env("VARNET_DATA_DIR");
    if (!dir.empty()) return dir;
    return xdg.empty() ? std::string() : xdg + "/Varnet";
}

}  // namespace

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? size_t(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir) return found->pw_dir;
    return std::string();
}

std::string UserDataHome() {
    return XdgHome("XDG_DATA_HOME", "/.local/share");
}

std::string UserConfigHome() {
    return XdgHome("XDG_CONFIG_HOME", "/.config");
}

std::string VarnetDataFolder() {
    return ProgramFolder(UserDataHome());
}

std::string VarnetConfigFolder() {
    return ProgramFolder(UserConfigHome());
}

}  // namespace varnet
