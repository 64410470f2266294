#include <cstring>

#include "EffectPlayer.h"

namespace flash {

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

namespace {
std::string Unescape(const std::string& s) {
    static const struct {
        const char* ent;
        char c;
    } kEnt[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < s.size();) {
        bool done = false;
        if (s[i] == '&')
            for (const auto& e : kEnt) {
                size_t n = strlen(e.ent);
                if (s.compare(i, n, e.ent) == 0) {
                    out += e.c;
                    i += n;
                    done = true;
                    break;
                }
            }
        if (!done) out += s[i++];
    }
    return out;
}
}  // namespace

bool ParseInvoke(const std::string& xml, std::string& name, std::vector<std::string>& args) {
    name.clear();
    args.clear();
    size_t p = xml.find("<invoke name=\"");
    if (p == std::string::npos) return false;
    p += 14;
    size_t q = xml.find('"', p);
    if (q == std::string::npos) return false;
    name = Unescape(xml.substr(p, q - p));
    size_t end = xml.find("</invoke>", q);
    if (end == std::string::npos) return false;
    for (size_t a = xml.find("<string>", q); a != std::string::npos && a < end; a = xml.find("<string>", a)) {
        a += 8;
        size_t b = xml.find("</string>", a);
        if (b == std::string::npos || b > end) return false;
        args.push_back(Unescape(xml.substr(a, b - a)));
        a = b + 9;
    }
    return true;
}

}  // namespace flash
