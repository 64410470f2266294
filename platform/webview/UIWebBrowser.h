// The UI library's web-browser control: a native web view (WebView.h) placed over the control's rectangle,
// following its geometry and visibility. Events go to a CWebBrowserEventHandler; window.external comes from
// the handler's GetExternal. UI thread only.
#pragma once

#include <string>
#include <vector>

#include "UIControls.h"
#include "WebView.h"

namespace DuiLib {

class CWebBrowserUI;

class CWebBrowserEventHandler {
public:
    virtual ~CWebBrowserEventHandler() = default;
    virtual void NavigateError(CWebBrowserUI* sender, const std::string& url, int status) {
        (void)sender, (void)url, (void)status;
    }
    virtual void NavigateComplete2(CWebBrowserUI* sender, const std::string& url) { (void)sender, (void)url; }
    virtual void DocumentComplete(CWebBrowserUI* sender, const std::string& url) { (void)sender, (void)url; }
};

class CWebBrowserUI : public CNativeHostUI, protected webview::IWebViewEvents {
public:
    CWebBrowserUI() = default;
    ~CWebBrowserUI() override;
    const char* GetClass() const override { return "WebBrowserUI"; }
    void* GetInterface(const char* name) override;
    void SetAttribute(const char* name, const char* value) override;
    void DoInit() override;

    // false: the engine is made as soon as the control joins a window (else at its first placement).
    void SetDelayCreate(bool delay) { m_bDelayCreate = delay; }
    void SetWebBrowserEventHandler(CWebBrowserEventHandler* handler) { m_pHandler = handler; }
    void SetHomePage(const char* url) { m_sHomePage = url ? url : ""; }
    const std::string& GetHomePage() const { return m_sHomePage; }
    void SetAutoNavigation(bool on) { m_bAutoNavi = on; }
    // The hosts whose pages window.external answers (webview::IWebView::SetTrustedHosts), kept for the engine.
    void SetTrustedHosts(const std::vector<std::string>& hosts);

    void Navigate2(const char* url);
    void Refresh();
    void NavigateHomePage();
    // The engine, null before it was made.
    webview::IWebView* GetWebBrowser2() const { return m_pView; }
    void SetPos(RECT rc, bool bNeedInvalidate = true) override;

protected:
    // Makes the engine; false when it cannot be made.
    virtual bool DoCreateControl();
    bool CreateControl();
    // window.external for the documents loaded from now on (null: none).
    void SetExternal(IDispatch* external, const std::vector<std::string>& names);

    void OnNavigateError(const std::string& url, int status) override;
    void OnNavigateComplete(const std::string& url) override;
    void OnDocumentComplete(const std::string& url) override;

    webview::IWebView* m_pView = nullptr;
    CWebBrowserEventHandler* m_pHandler = nullptr;
    std::string m_sHomePage;
    std::vector<std::string> m_trustedHosts;
    bool m_bDelayCreate = true;
    bool m_bAutoNavi = false;
    bool m_bCreateFailed = false;
};

}  // namespace DuiLib
