#include "UIWebBrowser.h"

#include "UIManager.h"

namespace DuiLib {

CWebBrowserUI::~CWebBrowserUI() {
    if (m_pView) {
        // The engine ends once any call of its own that is running has returned (a page command may be
        // closing this window); the widget leaves the window now.
        m_pView->SetEvents(nullptr);
        m_pView->Close();
        m_pView = nullptr;
    }
}

void* CWebBrowserUI::GetInterface(const char* name) {
    if (EqualNoCase(name, "WebBrowser")) return this;
    return CNativeHostUI::GetInterface(name);
}

void CWebBrowserUI::SetAttribute(const char* name, const char* value) {
    if (EqualNoCase(name, "homepage")) SetHomePage(value);
    else if (EqualNoCase(name, "autonavi")) m_bAutoNavi = EqualNoCase(value, "true");
    else if (EqualNoCase(name, "delaycreate")) m_bDelayCreate = EqualNoCase(value, "true");
    else CNativeHostUI::SetAttribute(name, value);
}

void CWebBrowserUI::DoInit() {
    if (!m_bDelayCreate) CreateControl();
}

bool CWebBrowserUI::CreateControl() {
    if (m_pView) return true;
    if (m_bCreateFailed) return false;
    if (!DoCreateControl()) {
        m_bCreateFailed = true;
        return false;
    }
    return true;
}

bool CWebBrowserUI::DoCreateControl() {
    m_pView = webview::CreateWebView();
    if (!m_pView) return false;
    m_pView->SetEvents(this);
    m_pView->SetTrustedHosts(m_trustedHosts);
    SetNativeWidget(m_pView->GetWidget());
    if (m_bAutoNavi && !m_sHomePage.empty()) m_pView->Navigate(m_sHomePage);
    return true;
}

void CWebBrowserUI::SetPos(RECT rc, bool bNeedInvalidate) {
    CNativeHostUI::SetPos(rc, bNeedInvalidate);
    if (!m_pView && m_pManager) CreateControl();
}

void CWebBrowserUI::SetTrustedHosts(const std::vector<std::string>& hosts) {
    m_trustedHosts = hosts;
    if (m_pView) m_pView->SetTrustedHosts(hosts);
}

void CWebBrowserUI::SetExternal(IDispatch* external, const std::vector<std::string>& names) {
    if (m_pView) m_pView->SetExternal(external, names);
}

void CWebBrowserUI::Navigate2(const char* url) {
    if (!url || !*url || !CreateControl()) return;
    m_pView->Navigate(url);
}

void CWebBrowserUI::Refresh() {
    if (m_pView) m_pView->Refresh();
}

void CWebBrowserUI::NavigateHomePage() {
    if (!m_sHomePage.empty()) Navigate2(m_sHomePage.c_str());
}

void CWebBrowserUI::OnNavigateError(const std::string& url, int status) {
    if (m_pHandler) m_pHandler->NavigateError(this, url, status);
}
void CWebBrowserUI::OnNavigateComplete(const std::string& url) {
    if (m_pHandler) m_pHandler->NavigateComplete2(this, url);
}
void CWebBrowserUI::OnDocumentComplete(const std::string& url) {
    if (m_pHandler) m_pHandler->DocumentComplete(this, url);
}

}  // namespace DuiLib
