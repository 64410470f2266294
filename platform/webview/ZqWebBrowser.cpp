#include "ZqWebBrowser.h"

#include "UIDefine.h"
#include "ZqLib.h"

namespace {
bool IsBlank(const std::string& url) {
    return url == "about:blank";
}
}  // namespace

HRESULT WBExtDispatch::GetIDsOfNames(REFIID, OLECHAR** names, uint32_t count, LCID, DISPID* ids) {
    if (count && (!names || !ids)) return E_POINTER;
    for (uint32_t i = 0; i < count; ++i) {
        std::string n = names[i] ? Charset::Utf16ToGbk(names[i]) : std::string();
        ids[i] = DuiLib::EqualNoCase(n.c_str(), kNames[0]) ? 0 : DISPID_UNKNOWN;
    }
    return S_OK;
}

HRESULT WBExtDispatch::Invoke(DISPID id, REFIID, LCID, uint16_t flags, DISPPARAMS* params, VARIANT* result, void*,
                              uint32_t*) {
    if (!params) return E_INVALIDARG;
    if (id != 0) return DISP_E_PARAMNOTFOUND;
    if (flags & DISPATCH_METHOD) {
        std::string answer;
        if (params->cArgs >= 1 && params->rgvarg) {
            const VARIANT& arg = params->rgvarg[0];
            std::string text = arg.vt == VT_BSTR ? Charset::Utf16ToGbk(BstrText(arg.bstrVal)) : std::string();
            if (m_pTarget) m_pTarget->CallMusic(text, answer);
        }
        if ((flags & DISPATCH_PROPERTYGET) && result) {
            VariantClear(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocString(Charset::GbkToUtf16(answer));
        }
    }
    return S_OK;
}

CZqWebBrowser::CZqWebBrowser() {
    SetHomePage("about:blank");
}

CZqWebBrowser::~CZqWebBrowser() {
    if (m_pExternal) {
        // A page call running now keeps the object alive; it no longer reaches this control.
        m_pExternal->SetTarget(nullptr);
        m_pExternal->Release();
    }
}

void* CZqWebBrowser::GetInterface(const char* name) {
    if (DuiLib::EqualNoCase(name, "ZqWebBrowserUI")) return this;
    return CWebBrowserUI::GetInterface(name);
}

void CZqWebBrowser::SetScrollBars(bool on) {
    m_bScrollBars = on;
    if (m_pView) m_pView->SetScrollBars(on);
}

bool CZqWebBrowser::DoCreateControl() {
    if (!CWebBrowserUI::DoCreateControl()) return false;
    SetWebBrowserEventHandler(this);
    if (m_pView) {
        // The engine is always online, never a drop target and shows no script errors.
        m_pView->SetScrollBars(m_bScrollBars);
        m_pView->Navigate("about:blank");
    }
    WBExtDispatch* ext = WBExtDispatch::CreateInstance(this);
    if (m_pExternal) {
        m_pExternal->SetTarget(nullptr);
        m_pExternal->Release();
    }
    m_pExternal = ext;
    SetExternal(m_pExternal, {WBExtDispatch::kNames[0]});
    return true;
}

HRESULT CZqWebBrowser::GetHostInfo(DOCHOSTUIINFO* info) {
    if (info) {
        info->cbSize = sizeof(DOCHOSTUIINFO);
        info->dwFlags = DOCHOSTUIFLAG_THEME | DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU;
        if (!m_bScrollBars) info->dwFlags |= DOCHOSTUIFLAG_SCROLL_NO;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    }
    return S_OK;
}

HRESULT CZqWebBrowser::GetExternal(IDispatch** out) {
    if (!out) return E_POINTER;
    *out = m_pExternal;
    if (m_pExternal) m_pExternal->AddRef();
    return S_OK;
}

void CZqWebBrowser::NavigateError(DuiLib::CWebBrowserUI*, const std::string& url, int status) {
    if (IsBlank(url)) return;
    m_sCurUrl = url;
    if (status != 200 && m_pOwner) m_pOwner->Web_NavigateFailed(url);
}

void CZqWebBrowser::NavigateComplete2(DuiLib::CWebBrowserUI*, const std::string& url) {
    if (IsBlank(url)) return;
    m_sCurUrl = url;
    if (m_pOwner) m_pOwner->Web_NavigateComplete(url);
}

void CZqWebBrowser::DocumentComplete(DuiLib::CWebBrowserUI*, const std::string& url) {
    if (!IsBlank(url) && m_pOwner) m_pOwner->Web_DocumentComplete(url);
}

void CZqWebBrowser::CallMusic(const std::string& text, std::string& answer) {
    if (m_pOwner) m_pOwner->Web_CallMusic(text, answer);
}
