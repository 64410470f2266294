#include "ChatView.h"

namespace roomui {

void CHeadlessChatView::AppendHtml(const std::string& gbkHtml)
{
    if (m_ready)
        m_doc.AppendFragment(gbkHtml);
}

void CHeadlessChatView::RemoveOldNodes(int keep)
{
    if (!m_ready)
        return;
    if (keep < 0)
        keep = 0;
    if (m_doc.ChildCount() > keep)
        m_doc.RemoveFirst(m_doc.ChildCount() - keep);
}

std::vector<std::string> CHeadlessChatView::Nodes() const
{
    std::vector<std::string> out;
    for (const webview::DocNode& n : m_doc.Nodes())
        out.push_back(n.markup);
    return out;
}

CWebChatView::CWebChatView(webview::IWebView* view) : m_view(view)
{
    if (m_view)
        m_view->SetEvents(this);
}

CWebChatView::~CWebChatView()
{
    if (m_view) {
        m_view->SetEvents(nullptr);
        m_view->Close();
    }
}

void CWebChatView::Navigate(const std::string& url)
{
    m_ready = false;
    if (m_view)
        m_view->Navigate(url);
}

void CWebChatView::OnDocumentComplete(const std::string&)
{
    m_ready = true;
    if (OnReady)
        OnReady();
}

void CWebChatView::AppendHtml(const std::string& gbkHtml)
{
    if (m_ready && m_view)
        m_view->InsertAdjacentHTML("beforeEnd", gbkHtml);
}

int CWebChatView::NodeCount() const { return m_ready && m_view ? m_view->GetBodyChildCount() : 0; }

void CWebChatView::RemoveOldNodes(int keep)
{
    if (!m_ready || !m_view)
        return;
    int count = m_view->GetBodyChildCount();
    if (keep < 0)
        keep = 0;
    if (count > keep)
        m_view->RemoveBodyChildren(count - keep);
}

void CWebChatView::ScrollToBottom()
{
    if (m_ready && m_view)
        m_view->ScrollToBottom();
}

}  // namespace roomui
