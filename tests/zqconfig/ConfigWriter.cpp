// Test helper: writes `count` keys "<prefix><i>" = i into section "Race" of the stores in `folder`.
// Usage: zqconfig_writer folder prefix count
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ZqModConfig.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    IConfigManager* cfg = CreateConfigManager(argv[1]);
    if (!cfg) return 3;
    int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) cfg->SetInt("Race", (std::string(argv[2]) + std::to_string(i)).c_str(), i);
    delete cfg;
    return 0;
}
