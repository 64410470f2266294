// What both engines share: the events target, the external object, the remembered address, the body model,
// and the guard that defers Close() until the view's own events and page calls have returned.
#pragma once

#include <functional>

#include "DocModel.h"
#include "WebView.h"

namespace webview {

class CWebViewBase : public IWebView {
public:
    std::string GetRequestedUrl() const override { return m_url; }
    void SetEvents(IWebViewEvents* events) override { m_events = events; }
    void SetExternal(IDispatch* external, const std::vector<std::string>& names) override;
    void SetScrollBars(bool on) override { m_scrollBars = on; }
    void SetLocalPage(bool on) override { m_localPage = on; }
    void SetTrustedHosts(const std::vector<std::string>& hosts) override { m_trustedHosts = hosts; }
    int GetBodyChildCount() const override { return m_doc.ChildCount(); }
    void Close() override;

    bool IsClosing() const { return m_closing; }
    // One page call through the external table (UTF-8 in and out); "" when refused or closing.
    std::string CallExternal(const std::string& name, const std::vector<std::string>& args);
    // An inline handler of a local page, by its attribute text (UTF-8); "" when it is no plain call.
    std::string CallHandler(const std::string& text);

protected:
    ~CWebViewBase() override;
    // Runs `fn` (an event or page call) so that a Close() made inside waits for it. False once the view
    // is closing: nothing more reaches the owner.
    bool Deliver(const std::function<void()>& fn);
    // Each returns false when the view was destroyed inside: the caller must not touch it then.
    bool FireError(const std::string& url, int status);
    bool FireComplete(const std::string& url);
    bool FireDocument(const std::string& url);
    bool FireContextMenu(int x, int y, bool hasSelection);
    bool FireMouse(bool enter);
    // Called once the view is closed and no call is running; the engine frees itself (now or later).
    virtual void Destroy() = 0;
    bool InCall() const { return m_depth > 0; }
    // The address of the document shown now, as the engine has it.
    virtual std::string DocumentUrl() const { return m_url; }

    IWebViewEvents* m_events = nullptr;
    IDispatch* m_external = nullptr;
    std::vector<std::string> m_names;
    std::string m_url;
    bool m_scrollBars = true;
    bool m_localPage = false;
    std::vector<std::string> m_trustedHosts;
    CDocModel m_doc;

private:
    int m_depth = 0;
    bool m_closing = false;
    bool m_destroyed = false;
    std::string m_refusedUrl;  // the last page refused, logged once
};

}  // namespace webview
