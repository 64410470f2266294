#include "ZQMsgFactory.h"

#include <cstring>
#include <string_view>
#include <type_traits>

#include "JsonSafe.h"
#include "ZQCommands.h"
#include "ZqLog.h"

namespace {
const char* kLog = "HttpRequest.txt";

void RegisterAll(CZQMsgFactory::Registry& r) {
#define ZQ_REGISTER(Class, name, id)                                                          \
    static_assert(std::is_base_of_v<CZQCommand<Class>, Class>, #Class " is a command class"); \
    CZQMsgFactory::Register(name, &Class::s_factoryUnit, r);
    ZQ_COMMAND_TABLE(ZQ_REGISTER)
#undef ZQ_REGISTER
    CZQMsgFactory::Register("ZQ_Message", &CZQMessage::s_factoryUnit, r);
}

// Also filled before main, as the registry of a program is expected to be.
const bool s_registered = (CZQMsgFactory::GetRegistry(), true);
}  // namespace

CZQMsgFactory::Registry& CZQMsgFactory::GetRegistry() {
    static Registry registry;
    static const bool filled = (RegisterAll(registry), true);
    (void)filled;
    (void)s_registered;
    return registry;
}

int CZQMsgFactory::Register(const std::string& name, AbstractFactoryUnit* unit, Registry& registry) {
    if (name.empty() || !unit) return 0;
    registry[name] = unit;
    return 1;
}

CZQMessage* CZQMsgFactory::CreateMsg(const std::string& name) {
    Registry& r = GetRegistry();
    auto it = r.find(name);
    if (it == r.end() || !it->second) return nullptr;
    return it->second->Create();
}

std::string CZQMsgFactory::GetFactoryKey(const std::string& command) {
    return command.find("notify") != std::string::npos ? std::string("notify") : command;
}

CZQMessage* CZQMsgFactory::BuildFromString(const char* body, Registry& registry, int len) {
    if (!body || len <= 0) {
        PJ_Log(kLog, 0, "CZQMsgFactory::BuildFromString", "pBuf=NULL");
        return nullptr;
    }
    // The whole body up to its first NUL, as a C string would give it; bodies are bulk, logged for debugging.
    if (LogDebugOn()) PJ_Log(kLog, 2, "CZQMsgFactory::BuildFromString", "pBuf=%.*s", len, body);

    static const char kMarker[] = "jsondata=";
    const size_t markerLen = sizeof kMarker - 1;
    std::string_view text(body, static_cast<size_t>(len));
    size_t begin = 0;
    size_t count = text.size();
    size_t at = text.find(kMarker);
    if (at != std::string_view::npos) {
        size_t semi = text.find(';');
        size_t start = at + markerLen;
        if (semi == std::string_view::npos || semi < start + 1) return nullptr;
        begin = start;
        count = semi - start;
    }

    Json::Value root;
    bool ok = JsonSafe::Parse(text.data() + begin, count, root);
    std::string command;
    if (ok) JsonSafe::ReadString(root, "cmd", command);
    if (command.empty()) return nullptr;

    std::string key = GetFactoryKey(command);
    auto it = registry.find(key);
    if (it == registry.end() || !it->second) return nullptr;
    CZQMessage* msg = it->second->Create();
    if (!msg) return nullptr;
    msg->ParseValue(ok, root);
    return msg;
}
