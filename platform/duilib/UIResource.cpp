#include "UIResource.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

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

// A zip archive read with zlib alone (its directory once, an entry when asked): stored and deflated
// entries, no encryption, no ZIP64. Everything in the file is checked against its size.
uint32_t Le16(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t Le32(const unsigned char* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool ReadAt(int fd, off_t at, void* buf, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = pread(fd, static_cast<char*>(buf) + done, n - done, at + off_t(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        done += size_t(r);
    }
    return true;
}

struct Entry {
    uint32_t method = 0, flags = 0, crc = 0, packed = 0, size = 0, header = 0;
};

struct Archive {
    int fd = -1;
    time_t mtime = 0;
    off_t size = 0;
    off_t dirStart = 0;
    std::map<std::string, Entry> entries;  // by lower-case name; the first of equal names
    ~Archive() {
        if (fd >= 0) close(fd);
    }

    bool Open(const std::string& path) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st;
        if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 22) return false;
        mtime = st.st_mtime;
        size = st.st_size;
        // The end record: in the last 22 bytes plus a comment of at most 65535.
        const size_t tail = size_t(std::min<off_t>(size, 22 + 0xFFFF));
        std::vector<unsigned char> t(tail);
        if (!ReadAt(fd, size - off_t(tail), t.data(), tail)) return false;
        size_t e = tail - 22 + 1;
        bool found = false;
        while (!found && e > 0) {
            --e;
            found = Le32(&t[e]) == 0x06054b50 && e + 22 + Le16(&t[e + 20]) == tail;
        }
        if (!found) return false;
        const uint32_t count = Le16(&t[e + 10]), dirSize = Le32(&t[e + 12]), dirAt = Le32(&t[e + 16]);
        const off_t endAt = size - off_t(tail) + off_t(e);
        if (off_t(dirAt) + off_t(dirSize) > endAt) return false;
        dirStart = dirAt;
        std::vector<unsigned char> dir(dirSize);
        if (dirSize && !ReadAt(fd, dirAt, dir.data(), dirSize)) return false;
        size_t at = 0;
        for (uint32_t i = 0; i < count; ++i) {
            if (dirSize - at < 46 || Le32(&dir[at]) != 0x02014b50) return false;
            const unsigned char* h = &dir[at];
            const size_t nameLen = Le16(h + 28), skip = 46 + nameLen + Le16(h + 30) + Le16(h + 32);
            if (dirSize - at < skip) return false;
            Entry en;
            en.flags = Le16(h + 8);
            en.method = Le16(h + 10);
            en.crc = Le32(h + 16);
            en.packed = Le32(h + 20);
            en.size = Le32(h + 24);
            en.header = Le32(h + 42);
            entries.emplace(Lower(std::string(reinterpret_cast<const char*>(h + 46), nameLen)), en);
            at += skip;
        }
        return true;
    }

    bool Read(const Entry& en, std::string& out, size_t maxBytes) const {
        if ((en.flags & 1) || (en.method != 0 && en.method != 8) || en.size > maxBytes) return false;
        unsigned char h[30];
        if (off_t(en.header) + 30 > dirStart || !ReadAt(fd, en.header, h, 30) || Le32(h) != 0x04034b50) return false;
        const off_t dataAt = off_t(en.header) + 30 + Le16(h + 26) + Le16(h + 28);
        if (dataAt + off_t(en.packed) > dirStart) return false;
        std::string packed(en.packed, '\0');
        if (en.packed && !ReadAt(fd, dataAt, &packed[0], en.packed)) return false;
        if (en.method == 0) {
            if (en.packed != en.size) return false;
            out.swap(packed);
        } else {
            out.assign(en.size, '\0');
            z_stream z{};
            if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
            z.next_in = reinterpret_cast<Bytef*>(&packed[0]);
            z.avail_in = en.packed;
            z.next_out = reinterpret_cast<Bytef*>(&out[0]);
            z.avail_out = en.size;
            const int rc = inflate(&z, Z_FINISH);
            const bool whole = rc == Z_STREAM_END && z.total_out == en.size;
            inflateEnd(&z);
            if (!whole) return false;
        }
        return crc32(0, reinterpret_cast<const Bytef*>(out.data()), uInt(out.size())) == en.crc;
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
        if (!slot->Open(zipPath)) slot->entries.clear();
        slot->mtime = st.st_mtime;
        slot->size = st.st_size;
    }
    std::string name = nameIn;
    for (char& c : name)
        if (c == '\\') c = '/';
    while (!name.empty() && name[0] == '/') name.erase(0, 1);
    auto it = slot->entries.find(Lower(name));
    if (it == slot->entries.end()) return false;
    std::string data;
    if (!slot->Read(it->second, data, maxBytes)) return false;
    out.swap(data);
    return true;
}

}  // namespace DuiLib
