// The one IUnknown of every COM object the framework builds: the control,
// the class factory, the enumerators and the control container's helpers.
//
// A COM class is written as an abstract Base that derives from its
// interfaces and answers one question,
//
//     void* FindInterface(REFIID riid);   // the interface pointer, or null
//
// and is instantiated only as CComObject<Base>, which adds the reference
// count, QueryInterface over FindInterface, deletion at the last Release
// and the module's count of live objects. A new object starts with one
// reference. Offer<I1, I2, ...>(this, riid) answers FindInterface for the
// usual case: IUnknown through I1, and each listed interface.
//
// A Base with several interfaces whose own code calls AddRef/Release
// re-declares them pure (FW_DECLARE_IUNKNOWN) so that the calls are not
// ambiguous; CComObject overrides them for every base at once.
#ifndef QEL_FRAMEWORK_UNKNOWN_H
#define QEL_FRAMEWORK_UNKNOWN_H

#include <windows.h>
#include <unknwn.h>

#include <new>
#include <utility>

#include "module.h"

#define FW_DECLARE_IUNKNOWN                                                 \
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override = 0;     \
    STDMETHOD_(ULONG, AddRef)() override = 0;                             \
    STDMETHOD_(ULONG, Release)() override = 0

namespace fw {

template <class Base>
class CComObject final : public Base {
public:
    template <class... Args>
    explicit CComObject(Args&&... args) : Base(std::forward<Args>(args)...)
    {
        CModule::ObjectCreated();
    }
    ~CComObject() override { CModule::ObjectDestroyed(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = Base::FindInterface(riid);
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

private:
    LONG m_refs = 1;
};

// The interface of `self` that riid names among I..., IUnknown through the
// first; null when none matches.
template <class I, class... More, class T>
void* Offer(T* self, REFIID riid)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(I)))
        return static_cast<I*>(self);
    if constexpr (sizeof...(More) > 0) {
        void* p = nullptr;
        ((p = p ? p : (IsEqualIID(riid, __uuidof(More)) ? static_cast<void*>(static_cast<More*>(self)) : nullptr)),
         ...);
        return p;
    }
    return nullptr;
}

// Creates a CComObject<Base> from args and hands out `riid` of it: the
// interface with one reference, or the error with *ppv null.
template <class Base, class... Args>
HRESULT CreateComObject(REFIID riid, void** ppv, Args&&... args)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    CComObject<Base>* object = nullptr;
    try {
        object = new CComObject<Base>(std::forward<Args>(args)...);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

}  // namespace fw

#endif
