// Character references in attribute values, decoded as an HTML parser does: numeric references with or
// without ";", the named references that may stand without ";" (only when no letter, digit or "=" follows),
// and the named references this table knows. A named reference with ";" outside the table is reported, so the
// whitelist never guesses what a browser would make of it.
#include <cstring>
#include <string>
#include <string_view>

#include "ChatHtmlInternal.h"

namespace chathtml {

namespace {

// The names that are references without a ";": the Latin-1 letters and signs (code points 160..255, in
// order), then the few ASCII ones.
const char* const kLatin1[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",    "copy",   "ordf",
    "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",
    "para",   "middot", "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave",
    "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",
    "Igrave", "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",
    "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",  "agrave", "aacute",
    "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil", "egrave", "eacute", "ecirc",  "euml",   "igrave",
    "iacute", "icirc",  "iuml",   "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

struct Named {
    const char* name;
    char32_t cp;
};

const Named kLegacyAscii[] = {{"AMP", '&'}, {"amp", '&'},  {"LT", '<'},   {"lt", '<'},    {"GT", '>'},
                              {"gt", '>'},  {"QUOT", '"'}, {"quot", '"'}, {"COPY", 0xA9}, {"REG", 0xAE}};

// References that need their ";" and stand for characters that matter to markup, addresses or script.
const Named kWithSemicolon[] = {{"Tab", '\t'},         {"NewLine", '\n'},
                                {"excl", '!'},         {"num", '#'},
                                {"dollar", '$'},       {"percnt", '%'},
                                {"apos", '\''},        {"lpar", '('},
                                {"rpar", ')'},         {"ast", '*'},
                                {"midast", '*'},       {"plus", '+'},
                                {"comma", ','},        {"period", '.'},
                                {"sol", '/'},          {"colon", ':'},
                                {"semi", ';'},         {"equals", '='},
                                {"quest", '?'},        {"commat", '@'},
                                {"lsqb", '['},         {"lbrack", '['},
                                {"bsol", '\\'},        {"rsqb", ']'},
                                {"rbrack", ']'},       {"Hat", '^'},
                                {"lowbar", '_'},       {"UnderBar", '_'},
                                {"grave", '`'},        {"DiacriticalGrave", '`'},
                                {"lcub", '{'},         {"lbrace", '{'},
                                {"verbar", '|'},       {"vert", '|'},
                                {"VerticalLine", '|'}, {"rcub", '}'},
                                {"rbrace", '}'},       {"NonBreakingSpace", 0xA0},
                                {"hyphen", 0x2010},    {"dash", 0x2010},
                                {"ndash", 0x2013},     {"mdash", 0x2014},
                                {"hellip", 0x2026},    {"middot", 0xB7},
                                {"ldquo", 0x201C},     {"rdquo", 0x201D},
                                {"lsquo", 0x2018},     {"rsquo", 0x2019},
                                {"bull", 0x2022},      {"trade", 0x2122},
                                {"euro", 0x20AC}};

// Windows-1252 meanings of the numeric references 0x80..0x9F (0 = unchanged).
const char16_t kC1[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                          0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                          0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool IsAlnum(char16_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool Equals(std::u16string_view run, const char* name) {
    size_t n = std::strlen(name);
    if (run.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (run[i] != static_cast<unsigned char>(name[i])) return false;
    return true;
}

// The code point of a reference that may stand without ";", or 0.
char32_t Legacy(std::u16string_view run) {
    for (int i = 0; i < 96; ++i)
        if (Equals(run, kLatin1[i])) return 160 + i;
    for (const Named& n : kLegacyAscii)
        if (Equals(run, n.name)) return n.cp;
    return 0;
}

// Decodes "&#..." at in[i] (in[i] == '&', in[i + 1] == '#'); false when no digit follows.
bool Numeric(std::u16string_view in, size_t& i, std::u32string& out) {
    size_t p = i + 2;
    bool hex = p < in.size() && (in[p] == 'x' || in[p] == 'X');
    if (hex) ++p;
    uint32_t value = 0;
    size_t digits = 0;
    for (; p < in.size(); ++p, ++digits) {
        char16_t c = in[p];
        int d = c >= '0' && c <= '9'          ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
        if (d < 0) break;
        value = value > 0x10FFFF ? value : value * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    }
    if (digits == 0) return false;
    if (p < in.size() && in[p] == ';') ++p;
    if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) value = 0xFFFD;
    else if (value >= 0x80 && value <= 0x9F && kC1[value - 0x80]) value = kC1[value - 0x80];
    out += static_cast<char32_t>(value);
    i = p;
    return true;
}

}  // namespace

bool DecodeAttributeValue(std::u16string_view in, std::u32string& out) {
    out.clear();
    size_t i = 0;
    while (i < in.size()) {
        char16_t c = in[i];
        if (c != '&' || i + 1 >= in.size()) {
            out += c;
            ++i;
            continue;
        }
        if (in[i + 1] == '#') {
            if (!Numeric(in, i, out)) {
                out += c;
                ++i;
            }
            continue;
        }
        size_t end = i + 1;
        while (end < in.size() && IsAlnum(in[end])) ++end;
        std::u16string_view run = in.substr(i + 1, end - i - 1);
        if (run.empty()) {
            out += c;
            ++i;
            continue;
        }
        if (end < in.size() && in[end] == ';') {
            char32_t cp = Legacy(run);
            for (const Named& n : kWithSemicolon)
                if (!cp && Equals(run, n.name)) cp = n.cp;
            if (!cp) return false;
            out += cp;
            i = end + 1;
            continue;
        }
        // Without ";" only the legacy names count, and only when no "=" follows the whole run.
        char32_t cp = Legacy(run);
        if (cp && !(end < in.size() && in[end] == '=')) {
            out += cp;
            i = end;
        } else {
            out += c;
            ++i;
        }
    }
    return true;
}

}  // namespace chathtml
