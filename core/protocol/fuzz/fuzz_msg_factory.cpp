// Fuzzes the reply path: the body as it arrives, and the body as the object of every registered command.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "JsonSafe.h"
#include "ZQMsgFactory.h"
#include "ZqLog.h"

namespace {
// The document reader and jsoncpp must agree on every text.
bool Same(const JsonSafe::Value& a, const JsonSafe::Value& b) {
    using JsonSafe::Type;
    if (a.type() != b.type()) return false;
    switch (a.type()) {
    case Type::Null: return true;
    case Type::Int: return a.asInt() == b.asInt();
    case Type::UInt: return a.asUInt() == b.asUInt();
    case Type::Real: {
        double x = a.asReal(), y = b.asReal();
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case Type::Bool: return a.asBool() == b.asBool();
    case Type::String:
        return a.stringSize() == b.stringSize() && std::memcmp(a.stringBegin(), b.stringBegin(), a.stringSize()) == 0;
    case Type::Array:
        if (a.size() != b.size()) return false;
        for (JsonSafe::ArrayIndex i = 0; i < a.size(); ++i)
            if (!Same(a[i], b[i])) return false;
        return true;
    case Type::Object:
        // b comes from jsoncpp: one member per name. Every name of either side must read the same.
        for (const JsonSafe::Value* side : {&a, &b}) {
            for (JsonSafe::ArrayIndex i = 0; i < side->size(); ++i) {
                const JsonSafe::Value& m = side->member(i);
                const JsonSafe::Value* x = a.find(m.key(), m.keySize());
                const JsonSafe::Value* y = b.find(m.key(), m.keySize());
                if (!x || !y || !Same(*x, *y)) return false;
            }
        }
        return true;
    }
    return false;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static char folder[] = "/tmp/varnet-fuzz-XXXXXX";
    if (mkdtemp(folder)) {
        setenv("VARNET_DATA_DIR", folder, 1);
        LogSetFolder(std::string(folder) + "/log");
    }
    LogSetMaxFileSize(1 << 20);
    CZQMsgFactory::GetRegistry();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CZQMsgFactory::Registry& registry = CZQMsgFactory::GetRegistry();
    std::string body(reinterpret_cast<const char*>(data), size);
    {
        JsonSafe::Document mine, ref;
        bool a = JsonSafe::Parse(body.data(), body.size(), mine);
        bool b = JsonSafe::ParseWithJsoncpp(body.data(), body.size(), ref);
        if (a != b || !Same(mine.root(), ref.root())) std::abort();
    }
    delete CZQMsgFactory::BuildFromString(body.data(), registry, static_cast<int>(body.size()));
    if (size == 0) return 0;
    // The first byte picks a command; the rest becomes the members of a reply object of that command.
    size_t pick = data[0] % registry.size();
    auto it = registry.begin();
    std::advance(it, pick);
    std::string wrapped = "{\"cmd\":\"" + it->first + "\"," + body.substr(1);
    delete CZQMsgFactory::BuildFromString(wrapped.data(), registry, static_cast<int>(wrapped.size()));
    return 0;
}
