#include "SecretStore.h"

#include <dlfcn.h>
#include <libsecret/secret.h>

#include "ZqLog.h"

namespace zqconfig {

namespace {

// The secret service's library is opened with the first password stored or looked up, not at start-up;
// nullptr when it cannot be. Its functions are looked up there when first called.
void* SecretLibrary() {
    static void* lib = dlopen("libsecret-1.so.0", RTLD_NOW | RTLD_GLOBAL);
    return lib;
}

void* SecretSymbol(const char* name) {
    void* lib = SecretLibrary();
    return lib ? dlsym(lib, name) : nullptr;
}

}  // namespace

}  // namespace zqconfig

#define VARNET_SECRET_CALL(name)                                                                     \
    ([] {                                                                                            \
        static const auto call = reinterpret_cast<decltype(&::name)>(zqconfig::SecretSymbol(#name)); \
        return call;                                                                                 \
    }())
#define secret_password_clear_sync VARNET_SECRET_CALL(secret_password_clear_sync)
#define secret_password_free VARNET_SECRET_CALL(secret_password_free)
#define secret_password_lookup_sync VARNET_SECRET_CALL(secret_password_lookup_sync)
#define secret_password_store_sync VARNET_SECRET_CALL(secret_password_store_sync)

namespace zqconfig {

namespace {

const char kLog[] = "Config.txt";

const SecretSchema* Schema() {
    static const SecretSchema schema = {
        "net.varnet.Password",
        SECRET_SCHEMA_NONE,
        {{"account", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &schema;
}

bool Convert(const std::string& in, const char* to, const char* from, std::string& out) {
    gsize written = 0;
    GError* error = nullptr;
    gchar* text = g_convert(in.data(), gssize(in.size()), to, from, nullptr, &written, &error);
    if (!text) {
        g_clear_error(&error);
        return false;
    }
    out.assign(text, written);
    g_free(text);
    return true;
}

// Logs why the store did not answer (never the secret).
bool Failed(const char* what, GError* error) {
    PJ_Log(kLog, LOG_INFO, what, "密码库不可用: %s", error && error->message ? error->message : "");
    g_clear_error(&error);
    return false;
}

}  // namespace

bool StoreSecret(const std::string& account, const std::string& password) {
    if (!SecretLibrary()) return Failed("zqconfig::StoreSecret", nullptr);
    std::string name, secret;
    if (!Convert(account, "UTF-8", "GBK", name) || !Convert(password, "UTF-8", "GBK", secret)) return false;
    const std::string label = "Varnet: " + name;
    GError* error = nullptr;
    if (!secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), nullptr, &error,
                                    "account", name.c_str(), nullptr))
        return Failed("zqconfig::StoreSecret", error);
    return true;
}

bool LookupSecret(const std::string& account, std::string& password, bool& found) {
    found = false;
    if (!SecretLibrary()) return Failed("zqconfig::LookupSecret", nullptr);
    std::string name;
    if (!Convert(account, "UTF-8", "GBK", name)) return false;
    GError* error = nullptr;
    gchar* secret = secret_password_lookup_sync(Schema(), nullptr, &error, "account", name.c_str(), nullptr);
    if (error) return Failed("zqconfig::LookupSecret", error);
    if (!secret) return true;
    found = Convert(secret, "GBK", "UTF-8", password);
    secret_password_free(secret);
    return true;
}

bool ClearSecret(const std::string& account) {
    if (!SecretLibrary()) return Failed("zqconfig::ClearSecret", nullptr);
    std::string name;
    if (!Convert(account, "UTF-8", "GBK", name)) return false;
    GError* error = nullptr;
    secret_password_clear_sync(Schema(), nullptr, &error, "account", name.c_str(), nullptr);
    if (error) return Failed("zqconfig::ClearSecret", error);
    return true;
}

}  // namespace zqconfig
