#include "DocModel.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace webview {
namespace {

bool In(const std::string& name, std::initializer_list<const char*> set) {
    for (const char* s : set)
        if (name == s) return true;
    return false;
}

bool IsVoid(const std::string& n) {
    return In(n, {"area", "base", "basefont", "bgsound", "br", "col", "embed", "hr", "img", "image", "input", "keygen",
                  "link", "meta", "param", "source", "track", "wbr", "frame"});
}

bool IsRawText(const std::string& n) {
    return In(n, {"script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes", "plaintext"});
}

// Start tags that close an open paragraph.
bool ClosesParagraph(const std::string& n) {
    return In(
        n, {"address",  "article",    "aside",  "blockquote", "center",  "details", "dialog", "dir",     "div",  "dl",
            "fieldset", "figcaption", "figure", "footer",     "form",    "h1",      "h2",     "h3",      "h4",   "h5",
            "h6",       "header",     "hgroup", "hr",         "li",      "dd",      "dt",     "listing", "main", "menu",
            "nav",      "ol",         "p",      "pre",        "section", "summary", "table",  "ul"});
}

// Tags the body context drops: the document's own structure and table parts outside a table.
bool IgnoredOutsideTable(const std::string& n) {
    return In(n, {"html", "head", "body", "frameset", "caption", "col", "colgroup", "tbody", "td", "tfoot", "th",
                  "thead", "tr"});
}

bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

struct Tag {
    std::string name;
    bool end = false;
    size_t next = 0;  // position after '>'
};

// Reads the tag at html[pos] == '<'; its name and where it ends (quotes honoured).
Tag ReadTag(const std::string& html, size_t pos) {
    Tag t;
    size_t i = pos + 1;
    if (i < html.size() && html[i] == '/') {
        t.end = true;
        ++i;
    }
    size_t start = i;
    while (i < html.size() && !isspace(static_cast<unsigned char>(html[i])) && html[i] != '/' && html[i] != '>') ++i;
    t.name = Lower(html.substr(start, i - start));
    char quote = 0;
    for (; i < html.size(); ++i) {
        char c = html[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            // A quote opens a value only right after '='.
            size_t j = i;
            while (j > pos && isspace(static_cast<unsigned char>(html[j - 1]))) --j;
            if (j > pos && html[j - 1] == '=') quote = c;
        } else if (c == '>') {
            break;
        }
    }
    t.next = i < html.size() ? i + 1 : html.size();
    return t;
}

// Case-insensitive search for "</name" from pos.
size_t FindEndOf(const std::string& html, const std::string& name, size_t pos) {
    std::string needle = "</" + name;
    for (size_t i = pos; i + needle.size() <= html.size(); ++i) {
        if (html[i] != '<') continue;
        bool eq = true;
        for (size_t k = 0; k < needle.size() && eq; ++k)
            eq = tolower(static_cast<unsigned char>(html[i + k])) == needle[k];
        if (!eq) continue;
        size_t after = i + needle.size();
        if (after == html.size() || html[after] == '>' || html[after] == '/' ||
            isspace(static_cast<unsigned char>(html[after])))
            return i;
    }
    return std::string::npos;
}

}  // namespace

std::vector<DocNode> ParseFragment(const std::string& html) {
    std::vector<DocNode> out;
    std::vector<std::string> open;  // open elements below the top level, outermost first
    size_t nodeStart = 0;
    auto finishTop = [&](size_t to) {
        if (!out.empty() && out.back().kind == DocNode::Element)
            out.back().markup = html.substr(nodeStart, to - nodeStart);
    };
    auto hasOpen = [&](const std::string& n) { return std::find(open.begin(), open.end(), n) != open.end(); };
    auto closeTo = [&](const std::string& n, size_t at) {
        auto it = std::find(open.rbegin(), open.rend(), n);
        open.erase(std::prev(it.base()), open.end());
        if (open.empty()) finishTop(at);
    };

    size_t i = 0;
    size_t textStart = std::string::npos;
    auto flushText = [&](size_t to) {
        if (textStart == std::string::npos) return;
        if (open.empty() && to > textStart) {
            // Text after a dropped tag joins the text node before it.
            if (!out.empty() && out.back().kind == DocNode::Text)
                out.back().markup += html.substr(textStart, to - textStart);
            else {
                out.push_back({DocNode::Text, "", html.substr(textStart, to - textStart)});
                nodeStart = textStart;
            }
        }
        textStart = std::string::npos;
    };
    while (i < html.size()) {
        char c = html[i];
        bool tagStart = c == '<' && i + 1 < html.size() &&
                        (IsAlpha(html[i + 1]) || html[i + 1] == '!' || html[i + 1] == '?' ||
                         (html[i + 1] == '/' && i + 2 < html.size() && IsAlpha(html[i + 2])));
        if (!tagStart) {
            if (textStart == std::string::npos) textStart = i;
            ++i;
            continue;
        }
        flushText(i);
        if (html[i + 1] == '!' || html[i + 1] == '?') {
            size_t end;
            if (html.compare(i, 4, "<!--") == 0) {
                size_t e = html.find("-->", i + 4);
                end = e == std::string::npos ? html.size() : e + 3;
            } else {
                size_t e = html.find('>', i);
                end = e == std::string::npos ? html.size() : e + 1;
            }
            bool doctype = html.size() - i > 9 && Lower(html.substr(i, 9)) == "<!doctype";
            if (open.empty() && !doctype) {
                out.push_back({DocNode::Comment, "", html.substr(i, end - i)});
                nodeStart = i;
            }
            i = end;
            continue;
        }
        Tag t = ReadTag(html, i);
        if (t.end) {
            if (t.name == "br") {
                if (open.empty()) {
                    out.push_back({DocNode::Element, "br", html.substr(i, t.next - i)});
                    nodeStart = i;
                }
            } else if (hasOpen(t.name)) {
                closeTo(t.name, t.next);
            } else if (t.name == "p") {
                // A stray </p> makes an empty paragraph.
                if (open.empty()) {
                    out.push_back({DocNode::Element, "p", html.substr(i, t.next - i)});
                    nodeStart = i;
                }
            }
            i = t.next;
            continue;
        }
        if (IgnoredOutsideTable(t.name) && !hasOpen("table")) {
            i = t.next;
            continue;
        }
        if (ClosesParagraph(t.name) && hasOpen("p")) closeTo("p", i);
        if (t.name == "li" && hasOpen("li")) closeTo("li", i);
        if ((t.name == "dd" || t.name == "dt") && (hasOpen("dd") || hasOpen("dt")))
            closeTo(hasOpen("dd") ? "dd" : "dt", i);
        if (t.name == "a" && hasOpen("a")) closeTo("a", i);
        bool top = open.empty();
        if (top) {
            out.push_back({DocNode::Element, t.name, ""});
            nodeStart = i;
        }
        size_t end = t.next;
        if (IsVoid(t.name)) {
            if (top) finishTop(end);
        } else if (IsRawText(t.name)) {
            size_t e = t.name == "plaintext" ? std::string::npos : FindEndOf(html, t.name, end);
            if (e == std::string::npos) end = html.size();
            else {
                size_t gt = html.find('>', e);
                end = gt == std::string::npos ? html.size() : gt + 1;
            }
            if (top) finishTop(end);
        } else {
            open.push_back(t.name);
        }
        i = end;
    }
    flushText(html.size());
    if (!open.empty()) finishTop(html.size());
    return out;
}

int CDocModel::AppendFragment(const std::string& html) {
    std::vector<DocNode> nodes = ParseFragment(html);
    for (auto& n : nodes) m_nodes.push_back(std::move(n));
    return static_cast<int>(nodes.size());
}

void CDocModel::RemoveFirst(int count) {
    while (count-- > 0 && !m_nodes.empty()) m_nodes.pop_front();
}

std::string CDocModel::BodyHtml() const {
    std::string s;
    for (const auto& n : m_nodes) s += n.markup;
    return s;
}

}  // namespace webview
