#include "ChatView.h"

#include <algorithm>
#include <cctype>

namespace roomui {

namespace {

bool IsVoidElement(const std::string& name)
{
    static const char* const kVoid[] = {"br", "img", "image", "hr", "input", "meta", "link", "wbr", "area", "col"};
    for (const char* v : kVoid)
        if (name == v)
            return true;
    return false;
}

// Tag at html[i] == '<': its name (lower case), whether it closes, and the index after '>'.
bool ReadTag(const std::string& html, size_t i, std::string& name, bool& closing, bool& selfClosing, size_t& end)
{
    size_t j = i + 1;
    closing = j < html.size() && html[j] == '/';
    if (closing)
        ++j;
    size_t n = j;
    while (n < html.size() && (std::isalnum(static_cast<unsigned char>(html[n])) || html[n] == '-'))
        ++n;
    if (n == j)
        return false;   // not a tag: "<" as text
    name = html.substr(j, n - j);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    char quote = 0;
    size_t k = n;
    for (; k < html.size(); ++k) {
        char c = html[k];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    if (k >= html.size())
        return false;
    selfClosing = k > i && html[k - 1] == '/';
    end = k + 1;
    return true;
}

}  // namespace

std::vector<std::string> SplitTopLevelNodes(const std::string& html)
{
    std::vector<std::string> nodes;
    std::vector<std::string> open;   // element names open inside the current top-level node
    size_t start = 0;
    bool inText = false;
    size_t i = 0;
    auto close = [&](size_t end) {
        nodes.push_back(html.substr(start, end - start));
        inText = false;
    };
    while (i < html.size()) {
        if (html.compare(i, 4, "<!--") == 0) {
            size_t e = html.find("-->", i + 4);
            size_t end = e == std::string::npos ? html.size() : e + 3;
            if (open.empty()) {
                if (inText)
                    close(i);
                start = i;
                close(end);
            }
            i = end;
            continue;
        }
        std::string name;
        bool closing = false, selfClosing = false;
        size_t end = 0;
        if (html[i] == '<' && ReadTag(html, i, name, closing, selfClosing, end)) {
            if (open.empty()) {
                if (inText)
                    close(i);
                if (closing) {   // a stray end tag adds nothing
                    i = end;
                    start = i;
                    continue;
                }
                start = i;
                if (IsVoidElement(name) || selfClosing) {
                    close(end);
                } else {
                    open.push_back(name);
                }
            } else if (closing) {
                auto it = std::find(open.rbegin(), open.rend(), name);
                if (it != open.rend()) {
                    open.erase(std::next(it).base(), open.end());
                    if (open.empty())
                        close(end);
                }
            } else if (!IsVoidElement(name) && !selfClosing) {
                open.push_back(name);
            }
            i = end;
            continue;
        }
        if (open.empty() && !inText) {
            inText = true;
            start = i;
        }
        ++i;
    }
    if (inText || !open.empty())
        close(html.size());
    return nodes;
}

void CHeadlessChatView::AppendHtml(const std::string& gbkHtml)
{
    if (!m_ready)
        return;
    for (std::string& n : SplitTopLevelNodes(gbkHtml))
        m_nodes.push_back(std::move(n));
}

void CHeadlessChatView::RemoveOldNodes(int keep)
{
    if (!m_ready)
        return;
    if (keep < 0)
        keep = 0;
    if (int(m_nodes.size()) > keep)
        m_nodes.erase(m_nodes.begin(), m_nodes.end() - keep);
}

std::string CHeadlessChatView::Text() const
{
    std::string out;
    for (const std::string& n : m_nodes)
        out += n;
    return out;
}

}  // namespace roomui
