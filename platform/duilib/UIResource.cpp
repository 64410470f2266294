#include "UIResource.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <zip.h>

#include <cstdio>
#include <map>
#include <memory>

namespace DuiLib {

std::string ResolvePathNoCase(const std::string& in) {
    std::string path = in;
    for (char& c : path)
        if (c == '\\') c = '/';
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) == 0) return path;
    std::string out = path[0] == '/' ? "/" : "";
    size_t i = path[0] == '/' ? 1 : 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string comp = path.substr(i, j - i);
        i = j + 1;
        if (comp.empty()) continue;
        std::string candidate = out + comp;
        if (stat(candidate.c_str(), &st) != 0) {
            DIR* d = opendir(out.empty() ? "." : out.c_str());
            if (d) {
                while (dirent* e = readdir(d)) {
                    if (strcasecmp(e->d_name, comp.c_str()) == 0) {
                        candidate = out + e->d_name;
                        break;
                    }
                }
                closedir(d);
            }
        }
        out = candidate;
        if (j < path.size()) out += "/";
    }
    return out;
}

bool ReadWholeFile(const std::string& path, std::string& out, size_t maxBytes) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (size_t)st.st_size > maxBytes) return false;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    out.resize((size_t)st.st_size);
    size_t n = out.empty() ? 0 : fread(&out[0], 1, out.size(), f);
    fclose(f);
    out.resize(n);
    return n == (size_t)st.st_size;
}

namespace {
struct Archive {
    zip_t* z = nullptr;
    time_t mtime = 0;
    off_t size = 0;
    ~Archive() {
        if (z) zip_discard(z);
    }
};
std::map<std::string, std::unique_ptr<Archive>>& Cache() {
    static std::map<std::string, std::unique_ptr<Archive>> c;
    return c;
}
}  // namespace

void ResetZipCache() {
    Cache().clear();
}

bool ReadZipEntry(const std::string& zipPath, const std::string& nameIn, std::string& out, size_t maxBytes) {
    struct stat st;
    if (zipPath.empty() || stat(zipPath.c_str(), &st) != 0) return false;
    auto& slot = Cache()[zipPath];
    if (!slot || slot->mtime != st.st_mtime || slot->size != st.st_size) {
        slot.reset(new Archive);
        int err = 0;
        slot->z = zip_open(zipPath.c_str(), ZIP_RDONLY, &err);
        slot->mtime = st.st_mtime;
        slot->size = st.st_size;
    }
    if (!slot->z) return false;
    std::string name = nameIn;
    for (char& c : name)
        if (c == '\\') c = '/';
    while (!name.empty() && name[0] == '/') name.erase(0, 1);
    zip_int64_t idx = zip_name_locate(slot->z, name.c_str(), ZIP_FL_NOCASE);
    if (idx < 0) return false;
    zip_stat_t zs;
    if (zip_stat_index(slot->z, (zip_uint64_t)idx, 0, &zs) != 0 || !(zs.valid & ZIP_STAT_SIZE) || zs.size > maxBytes)
        return false;
    zip_file_t* f = zip_fopen_index(slot->z, (zip_uint64_t)idx, 0);
    if (!f) return false;
    out.resize((size_t)zs.size);
    zip_int64_t got = out.empty() ? 0 : zip_fread(f, &out[0], zs.size);
    zip_fclose(f);
    if (got != (zip_int64_t)zs.size) {
        out.clear();
        return false;
    }
    return true;
}

}  // namespace DuiLib
