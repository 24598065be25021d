#include "classfactory.h"

#include "module.h"
#include "unknown.h"

namespace fw {

namespace {

class CClassFactory : public IClassFactory {
public:
    explicit CClassFactory(CreateInstanceFn create) : m_create(create) {}
    virtual ~CClassFactory() = default;

    void* FindInterface(REFIID riid) { return Offer<IClassFactory>(this, riid); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return m_create(riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            CModule::Lock();
        else
            CModule::Unlock();
        return S_OK;
    }

private:
    CreateInstanceFn m_create;
};

}  // namespace

HRESULT GetClassObject(const ClassEntry* classes, size_t count, REFCLSID clsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (!IsEqualCLSID(*classes[i].clsid, clsid))
            continue;
        return CreateComObject<CClassFactory>(riid, ppv, classes[i].create);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace fw
