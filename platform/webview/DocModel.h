// The body of a document as a list of its top-level nodes, and the fragment parser that splits markup the
// way a browser's fragment parsing (context: body) does: text runs, comments and elements, with void
// elements, raw-text elements, stray end tags, paragraphs closed by blocks and table parts outside tables
// handled as browsers do. Enough to count and remove nodes exactly; no rendering, no attributes kept apart.
#pragma once

#include <deque>
#include <string>
#include <vector>

namespace webview {

struct DocNode {
    enum Kind { Text, Element, Comment } kind;
    std::string name;    // element name, lower case
    std::string markup;  // the node's source text
};

std::vector<DocNode> ParseFragment(const std::string& html);

class CDocModel {
public:
    // Appends the fragment's top-level nodes at the end of the body; returns how many.
    int AppendFragment(const std::string& html);
    int ChildCount() const { return static_cast<int>(m_nodes.size()); }
    void RemoveFirst(int count);
    void Clear() { m_nodes.clear(); }
    const std::deque<DocNode>& Nodes() const { return m_nodes; }
    // The markup of the whole body.
    std::string BodyHtml() const;

private:
    std::deque<DocNode> m_nodes;
};

}  // namespace webview
