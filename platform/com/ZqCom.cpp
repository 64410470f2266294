#include "ZqCom.h"

#include <cstdlib>
#include <cstring>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool GUID::operator==(const GUID& o) const {
    return Data1 == o.Data1 && Data2 == o.Data2 && Data3 == o.Data3 && memcmp(Data4, o.Data4, 8) == 0;
}

// Layout: a 32-bit byte length, then the characters and a NUL; the BSTR points at the characters.
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t len) {
    if (len > (1u << 28)) return nullptr;
    auto* block = static_cast<uint32_t*>(malloc(sizeof(uint32_t) + (size_t(len) + 1) * sizeof(OLECHAR)));
    if (!block) return nullptr;
    block[0] = len * sizeof(OLECHAR);
    auto* s = reinterpret_cast<OLECHAR*>(block + 1);
    if (text) memcpy(s, text, len * sizeof(OLECHAR));
    else memset(s, 0, len * sizeof(OLECHAR));
    s[len] = 0;
    return s;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    uint32_t n = 0;
    while (text[n]) ++n;
    return SysAllocStringLen(text, n);
}

BSTR SysAllocString(const std::u16string& text) {
    return SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
}

void SysFreeString(BSTR s) {
    if (s) free(reinterpret_cast<uint32_t*>(s) - 1);
}

uint32_t SysStringLen(BSTR s) {
    return s ? (reinterpret_cast<uint32_t*>(s)[-1] / sizeof(OLECHAR)) : 0;
}

std::u16string BstrText(BSTR s) {
    return s ? std::u16string(s, SysStringLen(s)) : std::u16string();
}

void VariantInit(VARIANT* v) {
    if (!v) return;
    v->vt = VT_EMPTY;
    v->lVal = 0;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) return E_INVALIDARG;
    if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
    VariantInit(v);
    return S_OK;
}
