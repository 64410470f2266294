#include "ChatBridge.h"

#include <glib.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "UIDefine.h"
#include "ZqLib.h"

namespace roomui {

namespace {

bool TextToInt(const std::string& s, int& out) {
    size_t b = 0, e = s.size();
    while (b < e && isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    if (b == e || e - b > 32) return false;
    std::string t = s.substr(b, e - b);
    errno = 0;
    char* end = nullptr;
    double d = strtod(t.c_str(), &end);
    // Only plain decimals: no hex, no infinity or NaN words.
    for (char c : t)
        if (!(isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
            return false;
    if (errno || !end || *end || !std::isfinite(d) || d != std::floor(d) || d < INT_MIN || d > INT_MAX) return false;
    out = static_cast<int>(d);
    return true;
}

}  // namespace

bool ScriptToInt(const VARIANT& v, int& out) {
    switch (v.vt) {
    case VT_I4:
        out = v.lVal;
        return true;
    case VT_R8:
        if (!std::isfinite(v.dblVal) || v.dblVal != std::floor(v.dblVal) || v.dblVal < INT_MIN || v.dblVal > INT_MAX)
            return false;
        out = static_cast<int>(v.dblVal);
        return true;
    case VT_BSTR:
        return TextToInt(Charset::Utf16ToGbk(BstrText(v.bstrVal)), out);
    default:
        return false;
    }
}

bool ScriptToText(const VARIANT& v, std::string& out) {
    switch (v.vt) {
    case VT_BSTR:
        out = Charset::Utf16ToGbk(BstrText(v.bstrVal));
        return true;
    case VT_I4:
        out = std::to_string(v.lVal);
        return true;
    case VT_R8: {
        if (!std::isfinite(v.dblVal)) return false;
        char buf[40];
        snprintf(buf, sizeof(buf), "%.17g", v.dblVal);
        out = buf;
        return true;
    }
    default:
        return false;
    }
}

HRESULT CWBExtDispatch::GetIDsOfNames(REFIID, OLECHAR** names, uint32_t count, LCID, DISPID* ids) {
    if (count && (!names || !ids)) return E_POINTER;
    for (uint32_t i = 0; i < count; ++i) {
        ids[i] = DISP_E_UNKNOWNNAME;
        std::string n = names[i] ? Charset::Utf16ToGbk(names[i]) : std::string();
        for (int k = 0; k < kCount; ++k)
            if (DuiLib::EqualNoCase(n.c_str(), kNames[k])) {
                ids[i] = k;
                break;
            }
    }
    return S_OK;
}

HRESULT CWBExtDispatch::Invoke(DISPID id, REFIID, LCID, uint16_t flags, DISPPARAMS* params, VARIANT* result, void*,
                               uint32_t*) {
    if (!params) return E_INVALIDARG;
    if (id < 0 || id >= kCount) return DISP_E_PARAMNOTFOUND;
    if (!(flags & DISPATCH_METHOD)) return S_OK;
    uint32_t need = static_cast<uint32_t>(kArgCounts[id]);
    std::string answer;
    if (params->cArgs >= need && (need == 0 || params->rgvarg)) {
        // The page's i-th argument of `need`.
        auto arg = [&](uint32_t i) -> const VARIANT& { return params->rgvarg[params->cArgs - 1 - i]; };
        IWebCallBack* t = m_target;
        std::string s;
        int a = 0, b = 0, c = 0, f = 0;
        switch (id) {
        case 0:
            if (t && ScriptToText(arg(0), s)) t->SelectUser(s, answer);
            break;
        case 1:
            if (t && ScriptToText(arg(0), s)) t->SelectRUser(s, answer);
            break;
        case 2:
            if (t && ScriptToText(arg(0), s) && ScriptToInt(arg(1), f)) t->WelcomeUser(s, f == 1, answer);
            break;
        case 3:
            if (t && ScriptToInt(arg(0), a) && ScriptToInt(arg(1), b) && ScriptToInt(arg(2), c) &&
                ScriptToInt(arg(3), f))
                t->ThanksSendGift(a, b, c, f == 1, answer);
            break;
        case 4:
            if (t) t->GetMicInfo();
            break;
        case 5:
            if (t && ScriptToText(arg(0), s)) t->CallFuncEx(s, answer);
            break;
        }
    }
    if ((flags & DISPATCH_PROPERTYGET) && result) {
        VariantClear(result);
        result->vt = VT_BSTR;
        result->bstrVal = SysAllocString(Charset::GbkToUtf16(answer));
    }
    return S_OK;
}

const std::string& ChatPageHtml() {
    static const std::string page =
        "<!DOCTYPE html><html><head>"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'none'; "
        "img-src file: data:; style-src 'unsafe-inline'; font-src 'none'; media-src 'none'; object-src 'none'; "
        "frame-src 'none'; connect-src 'none'; base-uri 'none'; form-action 'none'\">"
        "<style type=\"text/css\">"
        "body{margin:2px 20px 11px 2px;font-family:\"微软雅黑\";font-size:14px;color:#000000;background:#F6F7F7;"
        "word-break:break-all;overflow-wrap:anywhere;overflow-x:hidden;line-height:160%;"
        "scrollbar-face-color:#e1e4e4;scrollbar-track-color:#F6F7F7}"
        "font{line-height:160%}"
        ".chatpanel{padding:2px 0}.hinticon,.authorityicon{vertical-align:middle;margin:0 2px}"
        ".a1{color:#000000;text-decoration:none}.a2{color:#336fc1}.a3{color:#e38649}"
        ".tupian{vertical-align:middle}"
        ".carbg{position:relative;display:inline-block}.carlft{float:left}.carrght{float:right}"
        ".cartop{display:block}.carfoot{display:block}.carn1,.carn2,.carn3{font-weight:bold}.carzt{color:#e38649}"
        ".fontx{background:url(zbbg.jpg) no-repeat;padding:2px 6px}"
        ".font_b{font-weight:bold}.font_12{font-size:12px}.font_13{font-size:13px}.font_14{font-size:14px}"
        ".cJB1{color:#860000}.cJB2{color:#c10000}.cJB3{color:#ff0000}.cJB4{color:#ff4200}.cJB5{color:#ff9000}"
        ".cJB6{color:#e8b400}.cJB7{color:#7fc100}.cJB8{color:#09bd00}.cJB9{color:#009b3a}"
        ".cJT1{color:#e50000}.cJT2{color:#005afe}.cJT3{color:#e54a05}.cJT4{color:#bf0099}.cJT5{color:#079e00}"
        "</style></head><body></body></html>";
    return page;
}

std::string WriteChatPage(const std::string& nativeFolder) {
    if (nativeFolder.empty()) return "";
    g_mkdir_with_parents(nativeFolder.c_str(), 0700);
    std::string path = nativeFolder;
    if (path.back() != '/') path += '/';
    path += "ShowTextPublic.html";
    std::string tmp = path + ".tmp";
    FILE* f = fopen(tmp.c_str(), "wb");
    if (!f) return "";
    const std::string& page = ChatPageHtml();
    bool ok = fwrite(page.data(), 1, page.size(), f) == page.size();
    ok = fclose(f) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        remove(tmp.c_str());
        return "";
    }
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string out = uri ? uri : "";
    g_free(uri);
    return out;
}

}  // namespace roomui
