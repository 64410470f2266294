// The user's folders as the desktop conventions name them (native UTF-8 paths, no trailing '/').
// Each returns "" when it cannot be found. Any thread; the environment is read on every call.
#pragma once

#include <string>

namespace varnet {

// $HOME when set, else the home folder of the account.
std::string HomeFolder();

// $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::string UserDataHome();

// $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::string UserConfigHome();

// The program's own folder under the two above: $VARNET_DATA_DIR when set (tests move every file of the
// program with it), else <data or config home>/Varnet.
std::string VarnetDataFolder();
std::string VarnetConfigFolder();

}  // namespace varnet
