// The headless engine: a document model with no network. Tests drive it as the page and the engine would:
// they fire the navigation events and make page calls; navigations and refreshes are recorded.
#pragma once

#include "WebViewBase.h"

namespace webview {

class CHeadlessWebView : public CWebViewBase {
public:
    CHeadlessWebView();
    void Navigate(const std::string& url) override;
    void Refresh() override { ++m_refreshes; }
    void InsertAdjacentHTML(const std::string& where, const std::string& html) override;
    void RemoveBodyChildren(int count) override { m_doc.RemoveFirst(count); }
    void ScrollToBottom() override { m_atBottom = true; }
    bool IsScrolledToBottom() const override { return m_atBottom; }
    void* GetWidget() override { return nullptr; }

    // What a page or the engine would do.
    void FireNavigateError(const std::string& url, int status) { FireError(url, status); }
    void FireNavigateComplete(const std::string& url) { FireComplete(url); }
    void FireDocumentComplete(const std::string& url) { FireDocument(url); }
    // A successful load of the last requested address: complete, then document complete.
    void FinishLoad();
    // The page's call window.external.<name>(args...); its return value.
    std::string PageCall(const std::string& name, const std::vector<std::string>& args) {
        return CallExternal(name, args);
    }

    // A click on an element whose inline handler has this text (a local page only); its return value.
    std::string PageHandler(const std::string& text) { return m_localPage ? CallHandler(text) : std::string(); }

    // The user's right click and pointer (a local page reports them to the owner).
    void FireContextMenuAt(int x, int y, bool hasSelection) {
        if (m_localPage) FireContextMenu(x, y, hasSelection);
    }
    void FireMouseMove(bool enter) { FireMouse(enter); }
    // A key as the engine would see it: a local page swallows the reload keys, elsewhere they reload.
    // True when the key was swallowed.
    bool PressKey(unsigned keyval, unsigned state) {
        if (!IsReloadKey(keyval, state)) return false;
        if (m_localPage) return true;
        Refresh();
        return false;
    }
    void ExecEditCommand(EditCommand command) override { m_commands.push_back(command); }
    const std::vector<EditCommand>& EditCommands() const { return m_commands; }

    const std::vector<std::string>& Navigations() const { return m_navigations; }
    int Refreshes() const { return m_refreshes; }
    const CDocModel& Document() const { return m_doc; }
    bool ScrollBars() const { return m_scrollBars; }
    // The views alive now (not yet destroyed), for tests of lifetimes.
    static int LiveCount();

protected:
    ~CHeadlessWebView() override;
    void Destroy() override { delete this; }

private:
    std::vector<std::string> m_navigations;
    std::vector<EditCommand> m_commands;
    int m_refreshes = 0;
    bool m_atBottom = false;
};

}  // namespace webview
