#include "WebView.h"

#include <atomic>

#include "HeadlessWebView.h"
#include "ZqLib.h"
#include "ZqLog.h"

namespace webview {

namespace {
Engine g_engine = Engine::Headless;
std::atomic<int> g_headlessLive{0};

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}
}  // namespace

IWebView* CreateWebKitView();  // WebViewWebKit.cpp

void SetDefaultEngine(Engine engine) {
    g_engine = engine;
}
Engine GetDefaultEngine() {
    return g_engine;
}
IWebView* CreateWebView() {
    return CreateWebView(g_engine);
}
IWebView* CreateWebView(Engine engine) {
    if (engine == Engine::WebKit) return CreateWebKitView();
    return new CHeadlessWebView();
}

bool ParseHandlerCall(const std::string& text, std::string& name, std::vector<std::string>& args) {
    name.clear();
    args.clear();
    size_t i = 0, n = text.size();
    auto blanks = [&] {
        while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
    };
    blanks();
    static const char kPrefix[] = "window.external.";
    const size_t plen = sizeof(kPrefix) - 1;
    if (n - i < plen || !EqualNoCase(text.substr(i, plen), kPrefix)) return false;
    i += plen;
    size_t b = i;
    while (i < n && (isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) ++i;
    if (i == b || i - b > kMaxExternalNameBytes || isdigit(static_cast<unsigned char>(text[b]))) return false;
    std::string nm = text.substr(b, i - b);
    blanks();
    if (i >= n || text[i] != '(') return false;
    ++i;
    std::vector<std::string> out;
    blanks();
    if (i < n && text[i] == ')') {
        ++i;
    } else {
        for (;;) {
            blanks();
            if (i >= n) return false;
            if (text[i] == '\'' || text[i] == '"') {
                char q = text[i++];
                size_t s = i;
                while (i < n && text[i] != q && text[i] != '\\') ++i;
                if (i >= n || text[i] != q) return false;
                out.push_back(text.substr(s, i - s));
                ++i;
            } else {
                size_t s = i;
                if (text[i] == '-') ++i;
                size_t d = i;
                while (i < n && isdigit(static_cast<unsigned char>(text[i]))) ++i;
                if (i == d || i - d > 10) return false;
                out.push_back(text.substr(s, i - s));
            }
            if (out.size() > kMaxExternalArgs || out.back().size() > kMaxExternalArgBytes) return false;
            blanks();
            if (i < n && text[i] == ',') {
                ++i;
                continue;
            }
            if (i < n && text[i] == ')') {
                ++i;
                break;
            }
            return false;
        }
    }
    blanks();
    if (i < n && text[i] == ';') ++i;
    blanks();
    if (i != n) return false;
    name = std::move(nm);
    args = std::move(out);
    return true;
}

std::string HttpHostOf(const std::string& url) {
    size_t start;
    if (url.size() >= 7 && EqualNoCase(url.substr(0, 7), "http://")) start = 7;
    else if (url.size() >= 8 && EqualNoCase(url.substr(0, 8), "https://")) start = 8;
    else return "";
    size_t end = url.find_first_of("/?#\\", start);
    std::string authority = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
    size_t at = authority.rfind('@');
    if (at != std::string::npos) authority.erase(0, at + 1);
    std::string host;
    if (!authority.empty() && authority[0] == '[') {
        size_t close = authority.find(']');
        if (close == std::string::npos) return "";
        host = authority.substr(1, close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    for (char& c : host) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return host;
}

bool IsTrustedPage(const std::string& url, const std::vector<std::string>& hosts) {
    if (url.size() >= 5 && EqualNoCase(url.substr(0, 5), "file:")) return true;
    std::string host = HttpHostOf(url);
    if (host.empty()) return false;
    for (const auto& h : hosts)
        if (EqualNoCase(h, host)) return true;
    return false;
}

bool InvokeExternal(IDispatch* external, const std::vector<std::string>& names, const std::string& name,
                    const std::vector<std::string>& args, std::string& answer) {
    answer.clear();
    if (!external || name.empty() || name.size() > kMaxExternalNameBytes || args.size() > kMaxExternalArgs)
        return false;
    bool published = false;
    for (const auto& n : names) published = published || EqualNoCase(n, name);
    if (!published) return false;
    for (const auto& a : args)
        if (a.size() > kMaxExternalArgBytes) return false;

    std::u16string wname = Charset::Utf8ToUtf16(name);
    OLECHAR* pname = wname.data();
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(external->GetIDsOfNames(IID_IDispatch, &pname, 1, 0, &id)) || id == DISPID_UNKNOWN) return false;

    // Arguments go in reverse order, as script engines pass them.
    std::vector<VARIANT> argv(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = argv[args.size() - 1 - i];
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(Charset::Utf8ToUtf16(args[i]));
    }
    DISPPARAMS params;
    params.rgvarg = argv.empty() ? nullptr : argv.data();
    params.cArgs = static_cast<uint32_t>(argv.size());
    VARIANT result;
    HRESULT hr = external->Invoke(id, IID_IDispatch, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result,
                                  nullptr, nullptr);
    for (auto& v : argv) VariantClear(&v);
    if (result.vt == VT_BSTR) answer = Charset::Utf16ToUtf8(BstrText(result.bstrVal));
    else if (result.vt == VT_I4) answer = std::to_string(result.lVal);
    VariantClear(&result);
    if (answer.size() > kMaxExternalAnswerBytes) answer.clear();
    return SUCCEEDED(hr);
}

// ---- shared base

CWebViewBase::~CWebViewBase() {
    if (m_external) m_external->Release();
}

void CWebViewBase::SetExternal(IDispatch* external, const std::vector<std::string>& names) {
    if (external) external->AddRef();
    if (m_external) m_external->Release();
    m_external = external;
    m_names = external ? names : std::vector<std::string>();
}

bool CWebViewBase::Deliver(const std::function<void()>& fn) {
    if (m_closing) return false;
    ++m_depth;
    fn();
    --m_depth;
    if (m_closing && m_depth == 0 && !m_destroyed) {
        m_destroyed = true;
        Destroy();
        return false;
    }
    return true;
}

void CWebViewBase::Close() {
    if (m_closing) return;
    m_closing = true;
    m_events = nullptr;
    if (m_depth == 0) {
        m_destroyed = true;
        Destroy();
    }
}

std::string CWebViewBase::CallExternal(const std::string& name, const std::vector<std::string>& args) {
    std::string answer;
    // The object stays alive for the call even when the owner drops the view inside it.
    IDispatch* ext = m_external;
    if (!ext) return answer;
    // Only the program's own pages and those of the hosts it was set to show reach the object.
    if (!m_localPage) {
        std::string url = DocumentUrl();
        if (!IsTrustedPage(url, m_trustedHosts)) {
            if (url != m_refusedUrl)
                PJ_Log("VarnetFrame.txt", 0, "WebView", "page call of an untrusted page refused: %s",
                       url.substr(0, 128).c_str());
            m_refusedUrl = url;
            return answer;
        }
    }
    ext->AddRef();
    std::vector<std::string> names = m_names;
    Deliver([&] { InvokeExternal(ext, names, name, args, answer); });
    ext->Release();
    return answer;
}

std::string CWebViewBase::CallHandler(const std::string& text) {
    std::string name;
    std::vector<std::string> args;
    if (!m_localPage || text.size() > kMaxExternalArgBytes || !ParseHandlerCall(text, name, args)) return "";
    return CallExternal(name, args);
}

bool CWebViewBase::FireError(const std::string& url, int status) {
    return Deliver([&] {
        if (m_events) m_events->OnNavigateError(url, status);
    });
}
bool CWebViewBase::FireComplete(const std::string& url) {
    return Deliver([&] {
        if (m_events) m_events->OnNavigateComplete(url);
    });
}
bool CWebViewBase::FireDocument(const std::string& url) {
    return Deliver([&] {
        if (m_events) m_events->OnDocumentComplete(url);
    });
}

bool CWebViewBase::FireContextMenu(int x, int y, bool hasSelection) {
    return Deliver([&] {
        if (m_events) m_events->OnContextMenu(x, y, hasSelection);
    });
}
bool CWebViewBase::FireMouse(bool enter) {
    return Deliver([&] {
        if (!m_events) return;
        if (enter) m_events->OnMouseEnter();
        else m_events->OnMouseLeave();
    });
}

bool IsReloadKey(unsigned keyval, unsigned state) {
    constexpr unsigned kF5 = 0xFFC2, kControl = 1u << 2;
    if (keyval == kF5) return true;
    return (state & kControl) && (keyval == 'r' || keyval == 'R');
}

// ---- headless engine

CHeadlessWebView::CHeadlessWebView() {
    ++g_headlessLive;
}
CHeadlessWebView::~CHeadlessWebView() {
    --g_headlessLive;
}
int CHeadlessWebView::LiveCount() {
    return g_headlessLive.load();
}

void CHeadlessWebView::Navigate(const std::string& url) {
    m_url = url;
    m_navigations.push_back(url);
    m_doc.Clear();
    m_atBottom = false;
}

void CHeadlessWebView::FinishLoad() {
    std::string url = m_url;
    if (FireComplete(url)) FireDocument(url);
}

void CHeadlessWebView::InsertAdjacentHTML(const std::string& where, const std::string& html) {
    if (!EqualNoCase(where, "beforeEnd")) return;
    m_doc.AppendFragment(html);
}

}  // namespace webview
