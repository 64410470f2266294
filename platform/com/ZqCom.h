// The COM shapes the program implements itself: IUnknown, IDispatch, VARIANT, BSTR (UTF-16), the HRESULT
// values and DISPIDs it tests. In-process only: no apartments, no marshalling, no registry.
// Objects are reference-counted; the last Release deletes. Not thread-safe: every object lives on the
// thread that made it (the UI thread for the web views).
#pragma once

#include <cstdint>
#include <string>

typedef int32_t HRESULT;
typedef int32_t DISPID;
typedef uint16_t VARTYPE;
typedef char16_t OLECHAR;
typedef OLECHAR* BSTR;
typedef uint32_t ULONG;
typedef uint32_t LCID;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);

inline bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline bool FAILED(HRESULT hr) {
    return hr < 0;
}

constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;

constexpr uint16_t DISPATCH_METHOD = 1;
constexpr uint16_t DISPATCH_PROPERTYGET = 2;
constexpr uint16_t DISPATCH_PROPERTYPUT = 4;

enum : VARTYPE { VT_EMPTY = 0, VT_NULL = 1, VT_I4 = 3, VT_R8 = 5, VT_BSTR = 8, VT_BOOL = 11 };

// BSTR: a UTF-16 text with its length kept before it, NUL-terminated; null is the empty text.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t len);
BSTR SysAllocString(const std::u16string& text);
void SysFreeString(BSTR s);
uint32_t SysStringLen(BSTR s);
// The text of a BSTR (empty for null).
std::u16string BstrText(BSTR s);

struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    union {
        int32_t lVal;
        double dblVal;
        int16_t boolVal;  // -1 true, 0 false
        BSTR bstrVal;
    };
    VARIANT() : lVal(0) {}
};
typedef VARIANT VARIANTARG;
void VariantInit(VARIANT* v);
// Frees what the variant owns (its BSTR) and makes it empty.
HRESULT VariantClear(VARIANT* v);

// Arguments in reverse order: rgvarg[0] is the last argument the caller passed.
struct DISPPARAMS {
    VARIANTARG* rgvarg = nullptr;
    DISPID* rgdispidNamedArgs = nullptr;
    uint32_t cArgs = 0;
    uint32_t cNamedArgs = 0;
};

struct GUID {
    uint32_t Data1;
    uint16_t Data2, Data3;
    uint8_t Data4[8];
    bool operator==(const GUID& o) const;
};
typedef GUID IID;
typedef const IID& REFIID;
extern const IID IID_IUnknown;
extern const IID IID_IDispatch;

class IUnknown {
public:
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class IDispatch : public IUnknown {
public:
    // Type information is not offered: the count is 0 and GetTypeInfo answers E_NOTIMPL.
    virtual HRESULT GetTypeInfoCount(uint32_t* count) {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    virtual HRESULT GetIDsOfNames(REFIID riid, OLECHAR** names, uint32_t count, LCID lcid, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, uint16_t flags, DISPPARAMS* params, VARIANT* result,
                           void* excepInfo, uint32_t* argErr) = 0;
};

// A counted base for objects of this process: QueryInterface answers IUnknown and the interfaces that
// QueryOwn accepts; the last Release deletes the object.
template <class Base>
class CComObjectBase : public Base {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || QueryOwn(riid)) {
            *ppv = static_cast<Base*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG n = --m_refs;
        if (n == 0) delete this;
        return n;
    }

protected:
    virtual bool QueryOwn(REFIID riid) const { return riid == IID_IDispatch; }
    ULONG m_refs = 1;  // the creator's reference
};

// An owning pointer: releases what it holds.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    explicit CComPtr(T* p, bool addRef = true) : m_p(p) {
        if (m_p && addRef) m_p->AddRef();
    }
    CComPtr(const CComPtr& o) : CComPtr(o.m_p) {}
    CComPtr& operator=(const CComPtr& o) {
        Reset(o.m_p);
        return *this;
    }
    ~CComPtr() { Reset(nullptr); }
    void Reset(T* p, bool addRef = true) {
        if (p && addRef) p->AddRef();
        T* old = m_p;
        m_p = p;
        if (old) old->Release();
    }
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};
