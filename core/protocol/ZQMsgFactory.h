// Command name to message class, and reply text to a new, parsed message object.
#pragma once

#include <map>
#include <string>

#include "ZQMessage.h"

class CZQMsgFactory {
public:
    using AbstractFactoryUnit = CZQMsgFactoryUnitBase;
    using Registry = std::map<std::string, AbstractFactoryUnit*>;

    // The process-wide registry, holding every message class of the program from its first use on.
    // Registration is explicit (not left to static initialisers of separate objects), so the linker cannot
    // drop a class from a static library.
    static Registry& GetRegistry();
    // registry[name] = unit; 0 for an empty name or a null unit.
    static int Register(const std::string& name, AbstractFactoryUnit* unit, Registry& registry);
    // A new object of the class registered under `name`; null when none is.
    static CZQMessage* CreateMsg(const std::string& name);
    // "notify" when the command contains "notify", else the command itself.
    static std::string GetFactoryKey(const std::string& command);
    // The reply object of a body (the JSON text, or "...jsondata=<JSON>;..."); null when there is none.
    static CZQMessage* BuildFromString(const char* body, Registry& registry, int len);
};
