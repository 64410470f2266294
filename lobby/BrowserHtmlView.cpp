#include "BrowserHtmlView.h"

#include <dirent.h>
#include <strings.h>

#include <cmath>

#include <memory>

#include "GlobalData.h"
#include "IDataHalvec.h"
#include "LobbyMessages.h"
#include "UIDefine.h"
#include "ZqLib.h"
#include "ZqLog.h"
#include "ZqModConfig.h"
#include "ZqMusicCore.h"

namespace {
const char kLog[] = "VarnetFrame.txt";
const char kHomeMark[] = "ZeqaShow/LiveIndex";
const char kDefaultHomePage[] = "http://127.0.0.1/ZeqaShow/LiveIndex";

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Encode250(const std::string& text) {
    char buf[250];
    UrlEncode::EncodeEx(text.c_str(), buf, sizeof buf, 0);
    return buf;
}

std::string HostOf(const std::string& url) {
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of(":/?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::string Setting(const char* key, const char* def) {
    std::string v;
    AfxGetConfigManager()->GetString("ZqServerList", key, v, def);
    return v;
}
}  // namespace

std::string HomePageUrlSetting() {
    return Setting("HomePageUrl", kDefaultHomePage);
}

std::string WebSiteRoot() {
    std::string home = HomePageUrlSetting();
    size_t scheme = home.find("://");
    size_t path = home.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    return path == std::string::npos ? home : home.substr(0, path);
}

std::string WebLoginUrl(const std::string& target) {
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    UserAccount a = g.GetAccount();
    uint32_t tm = 0;
    std::string token;
    g.MakeWebLoginToken(tm, token);
    char url[512];
    UrlEncode::EncodeEx(target.c_str(), url, sizeof url, 0);
    return WebSiteRoot() + StringUtility::Format("/ZeqaShow/openWebWithLogin?uid=%u&sid=%u&tm=%u&token=%s&url=%s",
                                                 a.uid, a.sid, tm, token.c_str(), url);
}

std::string FindInstallFile(const std::string& relative) {
    std::string path = Dir::ToNativePath(Dir::GetZqPath(100));
    std::vector<std::string> parts;
    StringUtility::Tokenize(relative, "/\\", parts);
    for (const std::string& part : parts) {
        DIR* d = opendir(path.c_str());
        if (!d) return "";
        std::string found;
        while (dirent* e = readdir(d)) {
            if (strcasecmp(e->d_name, part.c_str()) == 0) {
                found = e->d_name;
                if (part == found) break;  // an exact match wins over a case-folded one
            }
        }
        closedir(d);
        if (found.empty()) return "";
        if (path.empty() || path.back() != '/') path += '/';
        path += found;
    }
    return parts.empty() ? "" : path;
}

std::string CBrowserHtmlView::WebHost() {
    return HostOf(HomePageUrlSetting());
}
std::string CBrowserHtmlView::ScriptHost() {
    return Setting("ScriptHost", "js.zeqashow.local");
}
std::string CBrowserHtmlView::StyleHost() {
    return Setting("StyleHost", "css.zeqashow.local");
}

CBrowserHtmlView::CBrowserHtmlView(HWND frame) : m_hFrame(frame), m_sErrorPage(Dir::GetZqPath(128) + "error.html") {
    SetOwner(this);
    TrustServiceHosts();
}

CBrowserHtmlView::~CBrowserHtmlView() {
    SetOwner(nullptr);
    PJ_Log(kLog, 0, "CBrowserHtmlView::~CBrowserHtmlView", "主窗口IE控件析构");
}

void CBrowserHtmlView::TrustServiceHosts() {
    // The bridge answers the web service's pages only, by name or by its pre-resolved address.
    std::vector<std::string> hosts;
    const std::string host = WebHost();
    if (!host.empty()) hosts.push_back(host);
    std::string ip;
    if (!host.empty() && AfxGetConfigManager()->GetString("DnsLookup", host.c_str(), ip) && !ip.empty())
        hosts.push_back(ip);
    SetTrustedHosts(hosts);
}

void CBrowserHtmlView::Navigate(const std::string& url) {
    TrustServiceHosts();
    std::string target = url;
    if (m_bBypass) RewriteForDnsBypass(target);
    if (!m_sUrl.empty() && target == m_sUrl) Refresh();
    else Navigate2(target.c_str());
}

void CBrowserHtmlView::Refresh() {
    PJ_Log(kLog, 0, "CBrowserHtmlView::Refresh", "主窗口IE控件刷新");
    TrustServiceHosts();
    if (!m_sUrl.empty()) {
        CZqWebBrowser::Refresh();
        return;
    }
    std::string home = HomePageUrlSetting();
    if (m_bBypass) RewriteForDnsBypass(home);
    if (!home.empty()) Navigate2(home.c_str());
}

bool CBrowserHtmlView::IsHomePage() const {
    return m_sUrl.find(kHomeMark) != std::string::npos;
}

void CBrowserHtmlView::FirstLoadCheck() {
    if (!m_bFirstLoad) return;
    m_bFirstLoad = false;
    ::PostMessage(m_hFrame, WM_HOME_PAGE_LOADED, 0, 0);
    PJ_Log(kLog, 0, "CBrowserHtmlView::FirstLoadCheck", "第一次加载成功，通知主窗体");
}

void CBrowserHtmlView::Web_CallMusic(const std::string& cmd, std::string& answer) {
    PJ_Log(kLog, 0, "CBrowserHtmlView::Web_CallMusic", "请求交互:[%s]", cmd.c_str());
    FirstLoadCheck();
    if (!cmd.empty()) {
        for (const std::string& c : m_commands) {
            if (!StartsWith(cmd, c.c_str())) continue;
            // The runtime frees the copy when the frame is gone.
            ::PostMessageOwned(m_hFrame, WM_WEB_COMMAND, 0, std::make_unique<std::string>(cmd));
            break;
        }
    }
    if (StartsWith(cmd, "Refresh")) {
        Refresh();
    } else if (StartsWith(cmd, "writecookie")) {
        std::vector<std::string> items;
        StringUtility::Tokenize(cmd, "&", items);
        auto fields = ParseKeyValueParams(items);
        auto it = fields.find("writecookie");
        // The value's whole part is not 0 (a huge number counts, "nan" and text do not).
        double v = it == fields.end() ? 0 : StringToDouble(it->second);
        if (!std::isnan(v) && std::fabs(v) >= 1) Refresh();
    } else if (StartsWith(cmd, "deletecookie")) {
        Refresh();
    } else if (StartsWith(cmd, "ParamReturn")) {
        answer = ParamReturn();
        PJ_Log(kLog, 2, "CBrowserHtmlView::Web_CallMusic", "ParamReturn=%s", answer.c_str());
    }
}

std::string CBrowserHtmlView::ParamReturn() {
    CGlobalDataApp& g = CGlobalDataApp::GetInstance();
    UserAccount a = g.GetAccount();
    if (m_nLevel != a.level || m_sCurLevel.empty() || m_sNextLevel.empty()) RefreshLevelInfo(a.level);
    return StringUtility::Format(
        "uid=%u&sid=%u&nickName=%s&beautyId=%u&curLevel=%s&nextLevel=%s&levelWidth=%d&levelType=%d&level=%d", a.uid,
        a.sid, Encode250(a.nickname).c_str(), a.beautyid, Encode250(m_sCurLevel).c_str(),
        Encode250(m_sNextLevel).c_str(), g.GetLevelBarWidth(), (int)m_nLevelType, (int)a.level);
}

void CBrowserHtmlView::RefreshLevelInfo(uint32_t level) {
    m_nLevel = level;
    auto* halvec = static_cast<IDataHalvec*>(AfxGetDataManager()->GetModule(HALVEC_MODULE_NAME));
    LevelItem cur;
    if (!halvec || !halvec->GetLevel((int)level, cur)) {
        PJ_Log(kLog, 2, "CBrowserHtmlView::RefreshLevelInfo", "获取等级信息失败");
        return;
    }
    m_sCurLevel = cur.name;
    LevelItem next;
    if (!halvec->GetLevel((int)cur.nextid, next)) {
        PJ_Log(kLog, 2, "CBrowserHtmlView::RefreshLevelInfo", "获取下一等级信息失败");
        return;
    }
    m_sNextLevel = next.name;
    CatalogGroupInfo group;
    if (halvec->GetLevelGroup(cur.nextid, group)) m_nLevelType = (int16_t)group.idx;
}

void CBrowserHtmlView::Web_NavigateComplete(const std::string& url) {
    m_sUrl = url;
}

void CBrowserHtmlView::Web_DocumentComplete(const std::string& url) {
    PJ_Log(kLog, 0, "CBrowserHtmlView::Web_DocumentComplete", "主窗口IE控件加载完成");
    if (url == "about:blank") return;
    if (!url.empty() && strcasecmp(url.c_str(), m_sErrorPage.c_str()) != 0) m_sUrl = url;
    FirstLoadCheck();
}

void CBrowserHtmlView::Web_NavigateFailed(const std::string& url) {
    PJ_Log(kLog, 0, "CBrowserHtmlView::Web_NavigateFailed", "主窗口IE控件网页显示失败");
    m_sUrl = url;
    // Only the home page is retried, and once per failure: a pre-resolved address that fails as well (or
    // that still holds the host name, as an address does that resolves to itself) is not tried again.
    if (!IsHomePage()) return;
    if (!m_bBypass) PJ_Log(kLog, 0, "CBrowserHtmlView::Web_NavigateFailed", "Open inner dns loopup.");
    m_bBypass = true;
    if (!m_sRetryUrl.empty() && url == m_sRetryUrl) return;
    std::string retry = m_sUrl;
    if (!RewriteForDnsBypass(retry) || retry == url) return;
    m_sRetryUrl = retry;
    TrustServiceHosts();
    Navigate2(retry.c_str());
}

bool CBrowserHtmlView::RewriteForDnsBypass(std::string& url) const {
    const std::string host = WebHost();
    if (host.empty()) return false;
    size_t at = url.find(host);
    if (at == std::string::npos) return false;
    // An address already rewritten stays as it is.
    if (url.find("cssip=") != std::string::npos) return false;
    std::string webIp, jsIp, cssIp;
    IConfigManager* cfg = AfxGetConfigManager();
    if (!cfg->GetString("DnsLookup", host.c_str(), webIp) || webIp.empty()) return false;
    if (!cfg->GetString("DnsLookup", ScriptHost().c_str(), jsIp) || jsIp.empty()) return false;
    if (!cfg->GetString("DnsLookup", StyleHost().c_str(), cssIp) || cssIp.empty()) return false;
    std::string out = url;
    out.replace(at, host.size(), webIp);
    out += StringUtility::Format(out.find('?') == std::string::npos ? "?cssip=%s&jsip=%s" : "&cssip=%s&jsip=%s",
                                 cssIp.c_str(), jsIp.c_str());
    url = out;
    return true;
}
