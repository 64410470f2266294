#include "OpRightsManager.h"

#include <cctype>
#include <climits>

#include "CatalogRecords.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace {

const size_t kMaxPowerFile = kCatalogueMaxFileBytes;

// Reads one decimal integer as scanf's "%d" would, after any white space; false at the end of the text, at a
// token that is no number, or at a number out of int range.
bool ReadInt(const std::string& text, size_t& pos, int& out) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
    size_t p = pos;
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
    if (p >= text.size() || !std::isdigit(static_cast<unsigned char>(text[p]))) return false;
    long long value = 0;
    while (p < text.size() && std::isdigit(static_cast<unsigned char>(text[p]))) {
        value = value * 10 + (text[p++] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) return false;
    }
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return false;
    out = static_cast<int>(value);
    pos = p;
    return true;
}

}  // namespace

bool COpRightsManager::Load(const std::string& path) {
    m_table.clear();
    std::string text;
    int64_t size = Dir::GetFileSize(path);  // checked first: a special file of size 0 is never opened
    if (size == 0) return true;
    if (size < 0 || !Dir::ReadFile(path, text, kMaxPowerFile)) {
        PJ_Log("Halvec.txt", LOG_FAILURE, "COpRightsManager::Load", "加载权限表失败(%s)", path.c_str());
        return false;
    }
    LoadFromText(text);
    return true;
}

void COpRightsManager::LoadFromText(const std::string& text) {
    size_t pos = 0;
    for (;;) {
        int a = -1, b = -1, c = -1;
        if (!ReadInt(text, pos, a)) break;
        bool more = ReadInt(text, pos, b) && ReadInt(text, pos, c);
        m_table[a][b].insert(c);
        if (!more)  // a short group: the end of the text or a malformed token
            break;
    }
}

bool COpRightsManager::HasRight(int a, int b, int c) const {
    auto ia = m_table.find(a);
    if (ia == m_table.end()) return false;
    auto ib = ia->second.find(b);
    if (ib == ia->second.end()) return false;
    return ib->second.count(c) > 0;
}
