// The lobby's home page view: the service's pages in the middle of the frame. The page's calls go to
// Web_CallMusic: registered page commands are posted to the frame (WM_WEB_COMMAND, heap std::string), the
// built-in ones are answered here. The first loaded page is announced once (WM_HOME_PAGE_LOADED). When the
// home page cannot be reached, the view switches to the pre-resolved addresses of the DnsLookup section.
// UI thread only.
#pragma once

#include <string>
#include <vector>

#include "IHomePageView.h"
#include "Win32Types.h"
#include "ZqWebBrowser.h"

class CBrowserHtmlView : public CZqWebBrowser, public IZqWebAction, public IHomePageView {
public:
    explicit CBrowserHtmlView(HWND frame);
    ~CBrowserHtmlView() override;

    void AddPageCommand(const std::string& prefix) { m_commands.push_back(prefix); }
    // IHomePageView
    void Navigate(const std::string& url) override;
    void Refresh() override;
    bool IsHomePage() const override;
    bool HasBrowser() const override { return GetWebBrowser2() != nullptr; }

    // IZqWebAction
    void Web_CallMusic(const std::string& cmd, std::string& answer) override;
    void Web_NavigateFailed(const std::string& url) override;
    void Web_NavigateComplete(const std::string& url) override;
    void Web_DocumentComplete(const std::string& url) override;

    // Host -> pre-resolved address and the style and script hosts' addresses appended; false (unchanged) when
    // the address does not hold the web host or any of the three DnsLookup entries is missing.
    bool RewriteForDnsBypass(std::string& url) const;
    bool IsBypassOn() const { return m_bBypass; }
    const std::string& GetRememberedUrl() const { return m_sUrl; }
    void SetFrame(HWND frame) { m_hFrame = frame; }

    // The host of the configured home page (the web service), its script host and its style host.
    static std::string WebHost();
    static std::string ScriptHost();
    static std::string StyleHost();

private:
    void TrustServiceHosts();
    void FirstLoadCheck();
    void RefreshLevelInfo(uint32_t level);
    std::string ParamReturn();

    HWND m_hFrame;
    std::string m_sErrorPage;
    std::string m_sUrl;       // the last failed, completed or loaded address (never about:blank)
    std::string m_sRetryUrl;  // the pre-resolved address last tried after a failure of the home page
    std::vector<std::string> m_commands;
    bool m_bBypass = false;
    bool m_bFirstLoad = true;
    uint32_t m_nLevel = 0;
    std::string m_sCurLevel;
    std::string m_sNextLevel;
    int16_t m_nLevelType = 0;
};

// The configured home page (ZqServerList/HomePageUrl with its default).
std::string HomePageUrlSetting();
// The web site's scheme and host ("http://host:port", the home page's), without a trailing '/'.
std::string WebSiteRoot();
// WebSiteRoot() + "/ZeqaShow/openWebWithLogin?uid=..&sid=..&tm=..&token=..&url=<target, URL-encoded>" for the
// signed-in user, with a fresh web-login token.
std::string WebLoginUrl(const std::string& target);
// A file of the installation folder by its relative path, each part matched without regard to ASCII case
// ("skin/loading.gif" finds "Skin/loading.gif"); "" when there is none.
std::string FindInstallFile(const std::string& relative);
