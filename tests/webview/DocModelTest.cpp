// Fragment parsing counts top-level nodes as a browser's body fragment parsing does.
#include <gtest/gtest.h>

#include "DocModel.h"

using webview::CDocModel;
using webview::ParseFragment;

TEST(DocModel, TopLevelNodesOfFragments) {
    struct Row {
        const char* html;
        int nodes;
    } rows[] = {
        {"", 0},
        {"plain text", 1},
        {"a<b>x</b>c", 3},
        {"<div>one</div><div>two</div>", 2},
        {"<div><span>nested <i>deep</i></span></div>", 1},
        {"<br><BR><image src='C:\\a.gif' border=0><img src=x>", 4},
        {"<div>unclosed", 1},
        {"</span>stray end", 1},
        {"</p>", 1},
        {"<p>a<div>b</div>", 2},
        {"<!-- c --><div></div>", 2},
        {"<script>if (a<b) x='</div>';</script><div></div>", 2},
        {"<td>cell</td><tr>row</tr>", 1},
        {"<FONT color:#ff0000 face=\"宋体\">x</FONT>y", 2},
        {"<a title='>' href=x>l</a>", 1},
        {"<div/>inside", 1},
        {"<ul><li>a<li>b</ul>tail", 2},
        {"x < y", 1},
        {"  <div></div>  ", 3},
    };
    for (const auto& r : rows) EXPECT_EQ(r.nodes, static_cast<int>(ParseFragment(r.html).size())) << r.html;
}

TEST(DocModel, AppendCountAndRemoveFirst) {
    CDocModel doc;
    EXPECT_EQ(2, doc.AppendFragment("<div>1</div><div>2</div>"));
    EXPECT_EQ(1, doc.AppendFragment("<div>3</div>"));
    EXPECT_EQ(3, doc.ChildCount());
    doc.RemoveFirst(2);
    EXPECT_EQ("<div>3</div>", doc.BodyHtml());
    doc.RemoveFirst(5);
    EXPECT_EQ(0, doc.ChildCount());
    // Separate inserts keep separate text nodes, as in a browser.
    doc.AppendFragment("a");
    doc.AppendFragment("b");
    EXPECT_EQ(2, doc.ChildCount());
}
