// What the chat column needs of a chat pane: append one GBK HTML line at the end of the page, count and trim
// the page's top-level nodes, clear it, scroll it to the bottom. The web view of the program implements it;
// CHeadlessChatView keeps the page as a list of top-level node texts (tests, and the window until the web
// view is wired in). UI thread only.
#pragma once

#include <string>
#include <vector>

namespace roomui {

class IChatView {
public:
    virtual ~IChatView() = default;
    // True once the page has loaded; before that the view takes nothing.
    virtual bool IsReady() const = 0;
    virtual void AppendHtml(const std::string& gbkHtml) = 0;
    virtual int NodeCount() const = 0;
    // Removes whole first nodes while more than `keep` remain; 0 empties the page.
    virtual void RemoveOldNodes(int keep) = 0;
    virtual void ScrollToBottom() = 0;
    bool IsAutoScroll() const { return m_autoScroll; }
    void SetAutoScroll(bool on) { m_autoScroll = on; }

private:
    bool m_autoScroll = true;
};

// Splits an HTML fragment into its top-level nodes as a browser appends them at the end of a body: text runs
// and elements (with everything up to their closing tag; an unclosed element takes the rest).
std::vector<std::string> SplitTopLevelNodes(const std::string& html);

class CHeadlessChatView : public IChatView {
public:
    bool IsReady() const override { return m_ready; }
    void SetReady(bool ready) { m_ready = ready; }
    void AppendHtml(const std::string& gbkHtml) override;
    int NodeCount() const override { return int(m_nodes.size()); }
    void RemoveOldNodes(int keep) override;
    void ScrollToBottom() override { ++m_scrolls; }

    const std::vector<std::string>& Nodes() const { return m_nodes; }
    std::string Text() const;
    int Scrolls() const { return m_scrolls; }

private:
    bool m_ready = false;
    std::vector<std::string> m_nodes;
    int m_scrolls = 0;
};

}  // namespace roomui
