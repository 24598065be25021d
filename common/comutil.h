// RAII owners for the COM resources the control and its tests hold: interface
// pointers, BSTRs and VARIANTs. Each releases what it owns exactly once.
#ifndef QEL_COMMON_COMUTIL_H
#define QEL_COMMON_COMUTIL_H

#include <windows.h>
#include <oleauto.h>
#include <unknwn.h>

namespace qel {

// Owns one reference to an interface.
template <class T>
class CComPtr {
public:
    CComPtr() = default;
    explicit CComPtr(T* p) : m_p(p) { if (m_p) m_p->AddRef(); }
    CComPtr(const CComPtr& o) : CComPtr(o.m_p) {}
    CComPtr(CComPtr&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    ~CComPtr() { Release(); }
    CComPtr& operator=(CComPtr o) noexcept { T* t = m_p; m_p = o.m_p; o.m_p = t; return *this; }

    void Release() { if (m_p) { T* p = m_p; m_p = nullptr; p->Release(); } }
    // Takes over a reference the caller already holds.
    void Attach(T* p) { Release(); m_p = p; }
    T* Detach() { T* p = m_p; m_p = nullptr; return p; }
    // For out-parameters: releases the old pointer first.
    T** operator&() { Release(); return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // QueryInterface into another owner.
    template <class U>
    HRESULT As(CComPtr<U>& out) const
    {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(__uuidof(U), reinterpret_cast<void**>(&out));
    }

private:
    T* m_p = nullptr;
};

// Owns a BSTR.
class CBstr {
public:
    CBstr() = default;
    explicit CBstr(const wchar_t* s) : m_s(s ? SysAllocString(s) : nullptr) {}
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    ~CBstr() { SysFreeString(m_s); }

    BSTR Get() const { return m_s; }
    BSTR* operator&() { SysFreeString(m_s); m_s = nullptr; return &m_s; }
    BSTR Detach() { BSTR s = m_s; m_s = nullptr; return s; }
    UINT Length() const { return SysStringLen(m_s); }

private:
    BSTR m_s = nullptr;
};

// Owns a VARIANT (cleared on destruction).
class CVariant : public VARIANT {
public:
    CVariant() { VariantInit(this); }
    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;
    ~CVariant() { VariantClear(this); }
    void Clear() { VariantClear(this); }
};

}  // namespace qel

// The framework and its users have always named these owners fw::CComPtr,
// fw::CBstr and fw::CVariant (they lived in framework/ before); both spellings
// name the same classes.
namespace fw {
using qel::CBstr;
using qel::CComPtr;
using qel::CVariant;
}  // namespace fw

#endif
