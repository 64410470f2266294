#include "ChatView.h"

#include <cstdio>

namespace roomui {

void IChatView::AppendBatch(const std::vector<std::string>& lines, int trimAfter, int keep, bool scroll) {
    for (size_t i = 0; i < lines.size(); ++i) {
        AppendHtml(lines[i]);
        if (int(i) == trimAfter) RemoveOldNodes(keep);
    }
    if (scroll) ScrollToBottom();
}

void CChatPaneFeed::SetView(IChatView* view) {
    if (view == m_view) return;
    // What was queued for the old pane goes there first.
    Flush();
    m_view = view;
}

bool CChatPaneFeed::Queue(std::string gbkHtml) {
    m_queued.push_back(std::move(gbkHtml));
    return m_queued.size() == 1;
}

void CChatPaneFeed::Append(std::string gbkHtml) {
    Queue(std::move(gbkHtml));
    Flush();
}

void CChatPaneFeed::Flush() {
    if (m_queued.empty()) return;
    std::vector<std::string> lines;
    lines.swap(m_queued);
    // The trim falls where the per-line count passes the bound; only the last such place matters.
    int trimAfter = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (++m_inserts > kTrimAfterInserts) {
            trimAfter = int(i);
            m_inserts = 0;
        }
    }
    if (m_view) m_view->AppendBatch(lines, trimAfter, kKeepNodesOnTrim, m_view->IsAutoScroll());
}

void CChatPaneFeed::Reset() {
    m_queued.clear();
    m_inserts = 0;
}

void CHeadlessChatView::AppendHtml(const std::string& gbkHtml) {
    if (m_ready) m_doc.AppendFragment(gbkHtml);
}

void CHeadlessChatView::RemoveOldNodes(int keep) {
    if (!m_ready) return;
    if (keep < 0) keep = 0;
    if (m_doc.ChildCount() > keep) m_doc.RemoveFirst(m_doc.ChildCount() - keep);
}

std::vector<std::string> CHeadlessChatView::Nodes() const {
    std::vector<std::string> out;
    for (const webview::DocNode& n : m_doc.Nodes()) out.push_back(n.markup);
    return out;
}

CWebChatView::CWebChatView(webview::IWebView* view) : m_view(view) {
    if (m_view) m_view->SetEvents(this);
}

CWebChatView::~CWebChatView() {
    *m_alive = false;
    if (m_bridge) {
        // The view or a page call running now may still hold it: only this reference goes.
        m_bridge->SetTarget(nullptr);
        if (m_view) m_view->SetExternal(nullptr, {});
        m_bridge->Release();
        m_bridge = nullptr;
    }
    if (m_view) {
        m_view->SetEvents(nullptr);
        m_view->Close();
    }
}

void CWebChatView::Navigate(const std::string& url) {
    m_ready = false;
    if (m_view) m_view->Navigate(url);
}

void CWebChatView::SetCallBack(IWebCallBack* target) {
    if (!m_view) return;
    if (!m_bridge) {
        m_bridge = CWBExtDispatch::CreateInstance();
        m_view->SetLocalPage(true);
        m_view->SetExternal(m_bridge, CWBExtDispatch::Names());
    }
    m_bridge->SetTarget(target);
}

void CWebChatView::OnDocumentComplete(const std::string&) {
    m_ready = true;
    if (OnReady) OnReady();
}

void CWebChatView::AppendHtml(const std::string& gbkHtml) {
    if (m_ready && m_view) m_view->InsertAdjacentHTML("beforeEnd", gbkHtml);
}

int CWebChatView::NodeCount() const {
    return m_ready && m_view ? m_view->GetBodyChildCount() : 0;
}

void CWebChatView::RemoveOldNodes(int keep) {
    if (!m_ready || !m_view) return;
    int count = m_view->GetBodyChildCount();
    if (keep < 0) keep = 0;
    if (count > keep) m_view->RemoveBodyChildren(count - keep);
}

void CWebChatView::ScrollToBottom() {
    if (m_ready && m_view) m_view->ScrollToBottom();
}

void CWebChatView::AppendBatch(const std::vector<std::string>& lines, int trimAfter, int keep, bool scroll) {
    if (m_ready && m_view) m_view->AppendHtmlBatch(lines, trimAfter, keep, scroll);
}

void CWebChatView::MeasureWidth(std::function<void(int content, int shown)> done) {
    if (!m_ready || !m_view || !done) return;
    // The widest of the document's scroll width, the body's and the right edge of everything in it.
    static const char* const kScript =
        "(function(){var b=document.body,d=document.documentElement;if(!b||!d)return '';"
        "var r=document.createRange();r.selectNodeContents(b);"
        "return Math.max(d.scrollWidth,b.scrollWidth,Math.ceil(r.getBoundingClientRect().right),"
        "Math.ceil(b.getBoundingClientRect().right))+' '+d.clientWidth;})()";
    std::shared_ptr<bool> alive = m_alive;
    m_view->EvalScript(kScript, [alive, done = std::move(done)](const std::string& answer) {
        int content = 0, shown = 0;
        if (*alive && sscanf(answer.c_str(), "%d %d", &content, &shown) == 2) done(content, shown);
    });
}

}  // namespace roomui

namespace roomui {

void CWebChatView::OnContextMenu(int x, int y, bool hasSelection) {
    std::vector<DuiLib::ZqMenuItem> items = {DuiLib::ZqMenuItem("复制", 0, false, !hasSelection),
                                             DuiLib::ZqMenuItem("全选", 1), DuiLib::ZqMenuItem("清除所有内容", 2)};
    DuiLib::POINT at{x, y};
    std::shared_ptr<bool> alive = m_alive;
    IRoomModalHost* modal = m_modal;
    int r;
    if (RunMenu) {
        r = RunMenu(items, at);
    } else {
        DuiLib::CZqMenuUI menu;
        menu.SetMenuItem(items);
        HWND h = menu.CreateMenu(DuiLib::CPoint{x, y}, nullptr);
        if (!h) return;
        if (modal) modal->PushModalWnd(h);
        r = menu.PopupMenuNoCreate();
        if (modal) modal->PopModalWnd(h);
    }
    if (r == DuiLib::CZqMenuUI::kDismissed) {
        if (modal) modal->ContinueModalCancel();
        return;
    }
    if (!*alive || !m_view) return;
    if (r == 0 && hasSelection) m_view->ExecEditCommand(webview::EditCommand::Copy);
    else if (r == 1) m_view->ExecEditCommand(webview::EditCommand::SelectAll);
    else if (r == 2) RemoveOldNodes(0);
}

}  // namespace roomui
