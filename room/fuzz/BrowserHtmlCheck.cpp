// A small HTML tokenizer after the browsers' state machine (UTF-8 in, as the chat view gets it), and the
// checks on each start tag it yields.
#include "BrowserHtmlCheck.h"

#include <cctype>
#include <map>
#include <vector>

#include "ZqLib.h"

namespace browsercheck {

namespace {

using Text = std::u32string;

Text FromUtf8(const std::string& s) {
    Text out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (extra < 0 || i + static_cast<size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
            out += 0xFFFD;
            ++i;
            continue;
        }
        char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            unsigned char t = static_cast<unsigned char>(s[i + k]);
            ok = ok && (t & 0xC0) == 0x80;
            cp = (cp << 6) | (t & 0x3F);
        }
        out += ok ? cp : 0xFFFD;
        i += ok ? static_cast<size_t>(extra) + 1 : 1;
    }
    return out;
}

std::string Narrow(const Text& t) {
    std::string s;
    for (char32_t c : t) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
}

bool Ws(char32_t c) {
    return c == '\t' || c == '\n' || c == '\f' || c == ' ' || c == '\r';
}
bool Alpha(char32_t c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}
bool Alnum(char32_t c) {
    return Alpha(c) || (c >= '0' && c <= '9');
}
char32_t Low(char32_t c) {
    return c >= 'A' && c <= 'Z' ? c | 0x20 : c;
}
Text LowAll(Text t) {
    for (char32_t& c : t) c = Low(c);
    return t;
}
bool Has(const Text& hay, const char* needle) {
    Text n;
    for (const char* p = needle; *p; ++p) n += static_cast<unsigned char>(*p);
    return hay.find(n) != Text::npos;
}
bool Is(const Text& t, const char* s) {
    return Narrow(t) == s && t.size() == std::string(s).size();
}

// Character references inside an attribute value.
Text DecodeRefs(const Text& raw) {
    static const std::map<std::string, char32_t> named = {
        {"amp;", '&'},   {"lt;", '<'},       {"gt;", '>'},     {"quot;", '"'}, {"apos;", '\''}, {"colon;", ':'},
        {"Tab;", '\t'},  {"NewLine;", '\n'}, {"lpar;", '('},   {"rpar;", ')'}, {"sol;", '/'},   {"bsol;", '\\'},
        {"semi;", ';'},  {"comma;", ','},    {"period;", '.'}, {"excl;", '!'}, {"num;", '#'},   {"equals;", '='},
        {"grave;", '`'}, {"nbsp;", 0xA0},    {"amp", '&'},     {"lt", '<'},    {"gt", '>'},     {"quot", '"'}};
    Text out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out += raw[i];
            continue;
        }
        size_t j = i + 1;
        if (j < raw.size() && raw[j] == '#') {
            bool hex = j + 1 < raw.size() && Low(raw[j + 1]) == 'x';
            size_t k = j + (hex ? 2 : 1);
            unsigned long v = 0;
            size_t start = k;
            while (k < raw.size() && (hex ? std::isxdigit(static_cast<int>(raw[k] < 128 ? raw[k] : 0))
                                          : raw[k] >= '0' && raw[k] <= '9')) {
                v = std::min<unsigned long>(
                    v * (hex ? 16 : 10) + std::stoul(std::string(1, static_cast<char>(raw[k])), nullptr, 16), 0x110000);
                ++k;
            }
            if (k == start) {
                out += '&';
                continue;
            }
            if (k < raw.size() && raw[k] == ';') ++k;
            out += v == 0 || v > 0x10FFFF ? 0xFFFD : static_cast<char32_t>(v);
            i = k - 1;
            continue;
        }
        std::string word;
        size_t k = j;
        while (k < raw.size() && Alnum(raw[k]) && word.size() < 32) word += static_cast<char>(raw[k++]);
        bool semi = k < raw.size() && raw[k] == ';';
        auto hit = named.find(semi ? word + ";" : word);
        bool legacyBlocked = !semi && k < raw.size() && raw[k] == '=';
        if (hit == named.end() || legacyBlocked) {
            out += '&';
            continue;
        }
        out += hit->second;
        i = k - (semi ? 0 : 1);
    }
    return out;
}

Text Address(const Text& v) {
    Text out;
    for (char32_t c : v)
        if (c != '\t' && c != '\n' && c != '\r') out += c;
    size_t a = 0, b = out.size();
    while (a < b && out[a] <= 0x20) ++a;
    while (b > a && out[b - 1] <= 0x20) --b;
    return LowAll(out.substr(a, b - a));
}

// "scheme" of an address, "" when it has none.
std::string SchemeOf(const Text& addr) {
    size_t colon = addr.find(':');
    if (colon == Text::npos || colon == 0 || !Alpha(addr[0])) return "";
    for (size_t i = 0; i < colon; ++i)
        if (!Alnum(addr[i]) && addr[i] != '+' && addr[i] != '-' && addr[i] != '.') return "";
    return Narrow(addr.substr(0, colon));
}

// window.external.<method>(<literals>) with blanks allowed between the parts.
bool ProgramCall(const Text& v) {
    static const char* const kMethods[] = {"clicktowatchprivatemic",
                                           "welcomeuser",
                                           "thankssendgift",
                                           "selectruser",
                                           "selectuser",
                                           "callfuncex",
                                           "getmicinfo"};
    size_t i = 0;
    auto skip = [&] {
        while (i < v.size() && Ws(v[i])) ++i;
    };
    auto word = [&] {
        Text w;
        while (i < v.size() && Alnum(v[i])) w += Low(v[i++]);
        return w;
    };
    skip();
    if (!Is(word(), "window")) return false;
    skip();
    if (i >= v.size() || v[i++] != '.') return false;
    skip();
    if (!Is(word(), "external")) return false;
    skip();
    if (i >= v.size() || v[i++] != '.') return false;
    skip();
    Text method = word();
    bool known = false;
    for (const char* m : kMethods) known = known || Is(method, m);
    skip();
    if (!known || i >= v.size() || v[i++] != '(') return false;
    for (bool first = true;; first = false) {
        skip();
        if (i < v.size() && v[i] == ')' && first) {
            ++i;
            break;
        }
        if (i < v.size() && v[i] == '\'') {
            for (++i; i < v.size() && v[i] != '\''; ++i)
                if (v[i] == '\\' || v[i] == '\n' || v[i] == '\r' || v[i] == 0x2028 || v[i] == 0x2029) return false;
            if (i++ >= v.size()) return false;
        } else {
            if (i < v.size() && v[i] == '-') ++i;
            size_t d = i;
            while (i < v.size() && v[i] >= '0' && v[i] <= '9') ++i;
            if (i == d) return false;
        }
        skip();
        if (i < v.size() && v[i] == ',') {
            ++i;
            continue;
        }
        if (i < v.size() && v[i] == ')') {
            ++i;
            break;
        }
        return false;
    }
    skip();
    return i == v.size();
}

std::string CheckStyle(const Text& raw) {
    Text css;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size()) {
            size_t k = i + 1;
            unsigned long v = 0;
            int n = 0;
            while (k < raw.size() && n < 6 && raw[k] < 128 && std::isxdigit(static_cast<int>(raw[k]))) {
                v = v * 16 + std::stoul(std::string(1, static_cast<char>(raw[k])), nullptr, 16);
                ++k, ++n;
            }
            if (n) {
                css += static_cast<char32_t>(v);
                if (k < raw.size() && Ws(raw[k])) ++k;
                i = k - 1;
            } else {
                css += raw[++i];
            }
        } else if (raw[i] == '/' && i + 1 < raw.size() && raw[i + 1] == '*') {
            size_t end = raw.find(U"*/", i + 2);
            i = end == Text::npos ? raw.size() : end + 1;
        } else if (!Ws(raw[i])) {
            css += raw[i];
        }
    }
    css = LowAll(css);
    for (const char* bad : {"url(", "expression(", "image(", "image-set(", "cross-fade(", "element(", "-moz-binding",
                            "behavior", "javascript:", "@import", "src(", "paint("})
        if (Has(css, bad)) return std::string("style with ") + bad;
    return "";
}

struct Attr {
    Text name, value;
};

std::string CheckTag(const Text& name, const std::vector<Attr>& attrs) {
    static const char* const kElements[] = {
        "script",    "style",  "iframe",  "frame",    "frameset", "object", "embed",    "applet",   "base",
        "link",      "meta",   "svg",     "math",     "form",     "input",  "button",   "textarea", "select",
        "isindex",   "keygen", "video",   "audio",    "source",   "track",  "template", "noscript", "xmp",
        "plaintext", "title",  "noembed", "noframes", "portal",   "picture"};
    for (const char* e : kElements)
        if (Is(name, e)) return std::string("element ") + e;
    static const char* const kLoads[] = {"src",  "srcset",   "lowsrc",  "dynsrc",  "background", "poster",
                                         "data", "codebase", "archive", "classid", "manifest",   "icon"};
    static const char* const kLinks[] = {"href",   "action", "formaction", "cite",   "longdesc",
                                         "usemap", "ping",   "xlink:href", "profile"};
    for (const Attr& a : attrs) {
        const Text value = DecodeRefs(a.value);
        if (a.name.size() >= 2 && a.name[0] == 'o' && a.name[1] == 'n') {
            if (!(Is(a.name, "onclick") || Is(a.name, "oncontextmenu")) || !ProgramCall(value))
                return "handler " + Narrow(a.name) + "=" + Narrow(value);
        }
        if (Is(a.name, "style")) {
            std::string s = CheckStyle(value);
            if (!s.empty()) return s;
        }
        bool load = false, link = false;
        for (const char* l : kLoads) load = load || Is(a.name, l);
        for (const char* l : kLinks) link = link || Is(a.name, l);
        if (!load && !link) continue;
        Text addr = Address(value);
        std::string scheme = SchemeOf(addr);
        if (scheme == "javascript" || scheme == "vbscript" || scheme == "livescript" || scheme == "data")
            return "script address " + Narrow(addr);
        bool far = !scheme.empty() ||
                   (addr.size() >= 2 && (addr[0] == '/' || addr[0] == '\\') && (addr[1] == '/' || addr[1] == '\\'));
        if (load && far) return "loads " + Narrow(addr);
    }
    return "";
}

}  // namespace

std::string Find(const std::string& gbk) {
    const Text s = FromUtf8(Charset::GbkToUtf8(gbk));
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
        if (s[i] != '<') {
            ++i;
            continue;
        }
        ++i;
        if (i >= n) break;
        if (s[i] == '!') {
            bool comment = i + 2 < n && s[i + 1] == '-' && s[i + 2] == '-';
            size_t end = comment ? s.find(U"-->", i + 3) : s.find('>', i);
            i = end == Text::npos ? n : end + (comment ? 3 : 1);
            continue;
        }
        if (s[i] == '?') {
            size_t end = s.find('>', i);
            i = end == Text::npos ? n : end + 1;
            continue;
        }
        bool endTag = s[i] == '/';
        if (endTag) {
            ++i;
            if (i < n && s[i] == '>') {
                ++i;
                continue;
            }
            if (i < n && !Alpha(s[i])) {
                size_t end = s.find('>', i);
                i = end == Text::npos ? n : end + 1;
                continue;
            }
        }
        if (i >= n || !Alpha(s[i])) continue;  // "<" as text
        Text name;
        while (i < n && !Ws(s[i]) && s[i] != '/' && s[i] != '>') name += s[i] == 0 ? 0xFFFD : Low(s[i]), ++i;
        std::vector<Attr> attrs;
        bool emitted = false;
        while (i < n) {
            char32_t c = s[i];
            if (Ws(c) || c == '/') {
                ++i;
                continue;
            }
            if (c == '>') {
                ++i;
                emitted = true;
                break;
            }
            Attr a;
            a.name += c == 0 ? 0xFFFD : Low(c);
            ++i;
            while (i < n && !Ws(s[i]) && s[i] != '/' && s[i] != '>' && s[i] != '=')
                a.name += s[i] == 0 ? 0xFFFD : Low(s[i]), ++i;
            while (i < n && Ws(s[i])) ++i;
            if (i < n && s[i] == '=') {
                ++i;
                while (i < n && Ws(s[i])) ++i;
                if (i < n && (s[i] == '"' || s[i] == '\'')) {
                    char32_t q = s[i++];
                    while (i < n && s[i] != q) a.value += s[i] == 0 ? 0xFFFD : s[i], ++i;
                    if (i < n) ++i;
                } else {
                    while (i < n && !Ws(s[i]) && s[i] != '>') a.value += s[i] == 0 ? 0xFFFD : s[i], ++i;
                }
            }
            attrs.push_back(a);
        }
        if (!emitted || endTag) continue;  // an unfinished tag is dropped; a closing tag's attributes are ignored
        if (Is(name, "image")) name = U"img";
        std::string found = CheckTag(name, attrs);
        if (!found.empty()) return "<" + Narrow(name) + ">: " + found;
    }
    return "";
}

}  // namespace browsercheck
