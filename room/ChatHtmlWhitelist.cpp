// The chat whitelist. A text passes three checks:
//  1. the tag rule: every "<" (except in the last two characters) followed by anything but "/" starts a tag
//     whose name, up to the next blank or ">", is whitelisted (anchors included);
//  2. the markup rule: the text read as a browser tokenizes it, with each tag's attributes limited to plain
//     styling and their decoded values checked. A text that passes carries no handler and no link: the
//     handlers of the set are the program's own lines' (a click on another user's text must not send a gift
//     or a chat line in the user's name), and a picture's attributes hold no "." (no file of the disk);
//  3. the emoticon rule: no emoticon code starts inside a tag or holds "<" or ">", so converting the codes
//     into pictures cannot change how the markup is read.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "ChatHtml.h"
#include "ChatHtmlInternal.h"
#include "GbkCut.h"
#include "ZqLib.h"

using namespace chathtml;

void InitHtmlTagWhitelist(std::set<std::u16string>& tags) {
    for (const char16_t* tag : {u"span", u"image", u"div", u"br", u"b", u"i", u"u", u"s", u"font", u"text"})
        tags.insert(tag);
}

void InitHtmlHandlerWhitelist(std::set<std::u16string>& handlers) {
    for (const char16_t* h :
         {u"window.external.clicktowatchprivatemic", u"window.external.welcomeuser", u"window.external.thankssendgift",
          u"window.external.selectruser", u"window.external.selectuser", u"window.external.callfuncex",
          u"window.external.getmicinfo"})
        handlers.insert(h);
}

const std::set<std::u16string>& AllowedHtmlTags() {
    static const std::set<std::u16string> tags = [] {
        std::set<std::u16string> s;
        InitHtmlTagWhitelist(s);
        return s;
    }();
    return tags;
}

const std::set<std::u16string>& AllowedHtmlHandlers() {
    static const std::set<std::u16string> handlers = [] {
        std::set<std::u16string> s;
        InitHtmlHandlerWhitelist(s);
        return s;
    }();
    return handlers;
}

void SanitizeHtmlText(std::string& text) {
    if (!IsValidChatHtml(text)) text = BuildTipHtml("字符串中包含无效的html标签");
}

namespace {

bool IsSpace(char32_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool IsAlpha(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char32_t c) {
    return c >= '0' && c <= '9';
}
char32_t Lower(char32_t c) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
}
// Characters no chat text has any use for.
bool IsControl(char32_t c) {
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F;
}

bool IsAllowedTag(const std::u16string& name) {
    return AllowedHtmlTags().count(name) != 0;
}

template <class S>
bool StartsWith(const S& s, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (Lower(s[i]) != static_cast<unsigned char>(prefix[i])) return false;
    return true;
}

// ---- 1. the tag rule -------------------------------------------------------------------------------------

// The first unit at or after a position that `match` accepts (the text's length when none), asked for
// positions that never decrease: each unit is looked at once, however many questions are asked.
template <class Match>
class ForwardFind {
public:
    ForwardFind(const std::u16string& w, Match match) : w_(w), match_(match) {}
    size_t operator()(size_t from) {
        if (!found_ || at_ < from) {
            at_ = from;
            while (at_ < w_.size() && !match_(w_[at_])) ++at_;
            found_ = true;
        }
        return at_;
    }

private:
    const std::u16string& w_;
    Match match_;
    size_t at_ = 0;
    bool found_ = false;
};

bool TagRuleOk(const std::u16string& w) {
    const size_t n = w.size();
    ForwardFind stop(w, [](char16_t c) { return c == u' ' || c == u'>'; });  // where a tag name ends
    ForwardFind close(w, [](char16_t c) { return c == u'>'; });
    ForwardFind dot(w, [](char16_t c) { return c == u'.'; });
    for (size_t i = 1; i + 1 < n; ++i) {
        if (w[i - 1] != u'<' || w[i] == u'/') continue;
        size_t j = stop(i);
        if (j == n) continue;
        if (j - i > 8 || !IsAllowedTag(w.substr(i, j - i))) return false;
        // A picture's attributes hold no "." (up to the next ">").
        if (w[j] == u' ' && j - i == 5 && w.compare(i, 5, u"image") == 0) {
            size_t k = close(j + 1);
            if (k != n && dot(j + 1) < k) return false;
        }
    }
    return true;
}

// ---- 2. the markup rule ----------------------------------------------------------------------------------

// What a browser does to an address before reading it: blanks and controls at either end go, tabs and line
// breaks anywhere.
std::u32string AddressOf(const std::u32string& value) {
    std::u32string out;
    for (char32_t c : value)
        if (c != '\t' && c != '\n' && c != '\r') out += c;
    size_t a = 0, b = out.size();
    while (a < b && out[a] <= 0x20) ++a;
    while (b > a && out[b - 1] <= 0x20) --b;
    return out.substr(a, b - a);
}

// Inline style: declarations of the properties the program's lines use, with plain values (no function,
// escape, comment or at-rule can be written without the characters refused here).
bool StyleOk(const std::u32string& v) {
    static const char* const kProps[] = {"color",       "cursor",    "text-decoration", "font-weight", "font-fmily",
                                         "font-family", "font-size", "font-style",      "float",       "overflow",
                                         "zoom"};
    std::u32string decl;
    for (size_t i = 0; i <= v.size(); ++i) {
        char32_t c = i < v.size() ? Lower(v[i]) : U';';
        if (c < 0x80 && !IsAlpha(c) && !IsDigit(c) && !std::strchr(" \t#.,%'\":;-_", static_cast<char>(c)))
            return false;
        if (c != ';') {
            decl += c;
            continue;
        }
        size_t colon = decl.find(U':');
        if (colon == std::u32string::npos) {
            // Only blanks and stray quotes may stand outside a declaration.
            for (char32_t d : decl)
                if (!IsSpace(d) && d != '"' && d != '\'') return false;
        } else {
            std::u32string prop = decl.substr(0, colon);
            while (!prop.empty() && IsSpace(prop.back())) prop.pop_back();
            size_t first = 0;
            while (first < prop.size() && IsSpace(prop[first])) ++first;
            prop = prop.substr(first);
            bool known = false;
            for (const char* p : kProps) known = known || (prop.size() == std::strlen(p) && StartsWith(prop, p));
            if (!known || decl.find(U':', colon + 1) != std::u32string::npos) return false;
        }
        decl.clear();
    }
    return true;
}

// A value of font face, colour or size: nothing but printable text.
bool PlainOk(const std::u32string& v) {
    for (char32_t c : v)
        if (c < 0x20 || std::strchr("<>\"'=`\\", static_cast<char>(c < 0x80 ? c : 'a'))) return false;
    return true;
}

const std::u32string& InstallFolder() {
    static const std::u32string folder = [] {
        std::u16string w = Charset::String2WString(Dir::GetZqPath(100));
        return std::u32string(w.begin(), w.end());
    }();
    return folder;
}

// A picture of the program's own folder, or none at all.
bool ImageSourceOk(const std::u32string& value) {
    std::u32string v = AddressOf(value);
    if (v.empty()) return true;
    const std::u32string& folder = InstallFolder();
    if (folder.empty() || v.compare(0, folder.size(), folder) != 0) return false;
    std::u32string rest = v.substr(folder.size());
    if (rest.empty() || rest[0] == '/' || rest[0] == '\\' || rest.find(U"..") != std::u32string::npos) return false;
    for (char32_t c : rest)
        if (c <= 0x20 || std::strchr(":%?#\"'<>`", static_cast<char>(c < 0x80 ? c : 'a'))) return false;
    return true;
}

bool AttributeOk(const std::u16string& tag, const std::u16string& name, bool hasValue, const std::u32string& value) {
    if (StartsWith(name, "on")) return false;
    if (tag == u"span" || tag == u"div") return name == u"style" && StyleOk(value);
    if (tag == u"font") {
        if (name == u"face" || name == u"color" || name == u"size") return PlainOk(value);
        return !hasValue;  // words of an unquoted face name, the templates' "color:#ff0000"
    }
    if (tag == u"image") {
        if (value.find(U'.') != std::u32string::npos || name.find(u'.') != std::u16string::npos) return false;
        if (name == u"src") return ImageSourceOk(value);
        if (name == u"border")
            return !value.empty() && value.size() <= 4 &&
                   std::all_of(value.begin(), value.end(), [](char32_t c) { return IsDigit(c); });
        return false;
    }
    return false;  // b, i, u, s, br, text
}

struct Tokenizer {
    const std::u16string& w;
    std::vector<std::pair<size_t, size_t>> tags;  // [first, last] unit of every tag, in order

    bool Run();
    bool StartTag(size_t& p, size_t open);
    bool EndTag(size_t& p, size_t open);
};

bool Tokenizer::Run() {
    const size_t n = w.size();
    for (size_t i = 0; i < n; ++i)
        if (IsControl(w[i])) return false;
    size_t i = 0;
    while (i < n) {
        if (w[i] != u'<') {
            ++i;
            continue;
        }
        const size_t open = i;
        if (i + 1 >= n) return true;  // a "<" at the end is text
        char16_t d = w[i + 1];
        if (IsAlpha(d)) {
            size_t p = i + 1;
            if (!StartTag(p, open)) return false;
            i = p;
        } else if (d == u'/') {
            if (i + 2 >= n) return true;  // "</" at the end
            size_t p = i + 2;
            if (!EndTag(p, open)) return false;
            i = p;
        } else if (d == u'!' || d == u'?') {
            return false;  // comments, declarations and processing instructions
        } else {
            ++i;  // "<" before anything else is text
        }
    }
    return true;
}

bool Tokenizer::EndTag(size_t& p, size_t open) {
    const size_t n = w.size();
    if (w[p] == u'>') {  // "</>" is dropped by the parser
        tags.push_back({open, p});
        ++p;
        return true;
    }
    if (!IsAlpha(w[p])) return false;  // would be a comment
    while (p < n && !IsSpace(w[p]) && w[p] != u'/' && w[p] != u'>') ++p;
    if (p >= n) {
        tags.push_back({open, n - 1});
        return true;  // as for an opening tag: only the name is open
    }
    while (p < n && IsSpace(w[p])) ++p;
    if (p >= n || w[p] != u'>') return false;  // unfinished, or attributes on a closing tag
    tags.push_back({open, p});
    ++p;
    return true;
}

bool Tokenizer::StartTag(size_t& p, size_t open) {
    const size_t n = w.size();
    std::u16string tag;
    while (p < n && !IsSpace(w[p]) && w[p] != u'/' && w[p] != u'>') tag += static_cast<char16_t>(Lower(w[p++]));
    if (p >= n) {
        tags.push_back({open, n - 1});
        return true;  // a name at the very end: whatever follows in a line only lengthens the name
    }
    if (!IsAllowedTag(tag) || w[p] == u'/') return false;  // "<br/>": the slash belongs to the name in the tag rule
    for (;;) {
        while (p < n && IsSpace(w[p])) ++p;
        if (p >= n) return false;
        if (w[p] == u'>') break;
        if (w[p] == u'/') {
            if (p + 1 < n && w[p + 1] == u'>') {
                ++p;
                break;
            }
            return false;
        }
        if (w[p] == u'=') return false;
        std::u16string name;
        while (p < n && !IsSpace(w[p]) && w[p] != u'/' && w[p] != u'>' && w[p] != u'=') {
            if (w[p] == u'"' || w[p] == u'\'' || w[p] == u'<') return false;
            name += static_cast<char16_t>(Lower(w[p++]));
        }
        while (p < n && IsSpace(w[p])) ++p;
        bool hasValue = false;
        std::u16string raw;
        if (p < n && w[p] == u'=') {
            hasValue = true;
            ++p;
            while (p < n && IsSpace(w[p])) ++p;
            if (p >= n) return false;
            if (w[p] == u'"' || w[p] == u'\'') {
                size_t close = w.find(w[p], p + 1);
                if (close == std::u16string::npos) return false;
                raw = w.substr(p + 1, close - p - 1);
                p = close + 1;
            } else if (w[p] != u'>') {
                while (p < n && !IsSpace(w[p]) && w[p] != u'>') {
                    if (w[p] == u'\'' || w[p] == u'<' || w[p] == u'=' || w[p] == u'`') return false;
                    raw += w[p++];
                }
            }
        }
        std::u32string value;
        if (!DecodeAttributeValue(raw, value) || !AttributeOk(tag, name, hasValue, value)) return false;
    }
    tags.push_back({open, p});
    ++p;
    return true;
}

// ---- 3. the emoticon rule --------------------------------------------------------------------------------

bool FaceCodesOk(const std::string& text, const std::u16string& w, const Tokenizer& tokens) {
    if (text.find("[:") == std::string::npos) return true;
    // The unit of `w` that each byte belongs to, as the GBK conversion reads the bytes.
    std::vector<size_t> unit(text.size());
    size_t k = 0;
    for (size_t b = 0; b < text.size(); ++k) {
        if (k >= w.size()) return false;
        // A lead byte that the conversion read as U+FFFD is a unit of its own.
        const size_t len = w[k] != 0xFFFD ? varnet::GbkUnitLength(text.data(), text.size(), b) : 1;
        for (size_t j = 0; j < len; ++j) unit[b + j] = k;
        b += len;
    }
    if (k != w.size()) return false;
    // The same walk as the conversion's.
    FaceCodeScanner codes(text);
    size_t i = 0;
    while (i < text.size()) {
        size_t close;
        if (codes.Find(i, close)) {
            if (std::any_of(text.begin() + static_cast<long>(i) + 2, text.begin() + static_cast<long>(close),
                            [](char c) { return c == '<' || c == '>'; }))
                return false;
            size_t u = unit[i];
            auto it = std::upper_bound(tokens.tags.begin(), tokens.tags.end(), std::make_pair(u, SIZE_MAX));
            if (it != tokens.tags.begin() && std::prev(it)->second >= u) return false;  // inside a tag
            i = close + 1;
        } else {
            i += ChatWalkUnitLength(text, i);
        }
    }
    return true;
}

}  // namespace

bool IsValidChatHtml(const std::string& text) {
    std::u16string w = Charset::String2WString(text);
    if (w.size() <= 2) return true;
    std::u16string lower = w;
    for (char16_t& c : lower) c = static_cast<char16_t>(Lower(c));
    if (!TagRuleOk(lower)) return false;
    Tokenizer tokens{w, {}};
    return tokens.Run() && FaceCodesOk(text, w, tokens);
}
