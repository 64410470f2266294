#include "UiTestSupport.h"

#include <glib.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>

namespace duitest {

unsigned RunLater(unsigned ms, std::function<void()> f) {
    auto* fn = new std::function<void()>(std::move(f));
    return g_timeout_add_full(
        G_PRIORITY_DEFAULT, ms,
        [](gpointer p) -> gboolean {
            (*static_cast<std::function<void()>*>(p))();
            return FALSE;
        },
        fn, [](gpointer p) { delete static_cast<std::function<void()>*>(p); });
}

bool WriteZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    std::filesystem::remove(path);
    int err = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) return false;
    for (auto& e : entries) {
        char* copy = (char*)malloc(e.second.size() + 1);
        memcpy(copy, e.second.data(), e.second.size());
        zip_source_t* s = zip_source_buffer(z, copy, e.second.size(), 1);
        if (!s || zip_file_add(z, e.first.c_str(), s, ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(s);
            zip_discard(z);
            return false;
        }
    }
    return zip_close(z) == 0;
}

std::string TempDir(const std::string& name) {
    std::string dir = std::string(VARNET_BINARY_DIR) + "/test-work/duilib/" + name + "-" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace duitest
