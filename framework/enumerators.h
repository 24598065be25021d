// Snapshot enumerators for the standard IEnumXxx interfaces: the items are
// copied (each with its own reference) when the enumerator is created, so
// later changes to the source list do not disturb an enumeration in progress.
// Clones share the snapshot and start at the clone's position.
#ifndef QEL_FRAMEWORK_ENUMERATORS_H
#define QEL_FRAMEWORK_ENUMERATORS_H

#include <windows.h>
#include <ocidl.h>

#include <memory>
#include <new>
#include <vector>

#include "module.h"

namespace fw {

// How an enumerated item holds and hands out its reference.
template <class T>
struct EnumItem;

template <class I>
struct EnumItem<I*> {
    static void AddRef(I* p) { if (p) p->AddRef(); }
    static void Release(I* p) { if (p) p->Release(); }
};

template <>
struct EnumItem<CONNECTDATA> {
    static void AddRef(const CONNECTDATA& c) { if (c.pUnk) c.pUnk->AddRef(); }
    static void Release(const CONNECTDATA& c) { if (c.pUnk) c.pUnk->Release(); }
};

// Itf is the enumerator interface (IEnumConnections, IEnumConnectionPoints,
// ...), T the item type its Next hands out.
template <class Itf, class T>
class CEnumSnapshot final : public Itf {
public:
    // A new enumerator over a copy of items[0..count), one reference on out.
    static HRESULT Create(const T* items, size_t count, Itf** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (count && !items)
            return E_INVALIDARG;
        try {
            auto snapshot = std::make_shared<Items>();
            snapshot->items.reserve(count);
            for (size_t i = 0; i < count; ++i) {
                snapshot->items.push_back(items[i]);
                EnumItem<T>::AddRef(items[i]);
            }
            *out = new CEnumSnapshot(std::move(snapshot), 0);
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Itf))) {
            *ppv = static_cast<Itf*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

    STDMETHODIMP Next(ULONG count, T* out, ULONG* fetched) override
    {
        if (!out)
            return E_POINTER;
        if (count != 1 && !fetched)
            return E_INVALIDARG;
        ULONG n = 0;
        const std::vector<T>& items = m_snapshot->items;
        while (n < count && m_pos < items.size()) {
            out[n] = items[m_pos++];
            EnumItem<T>::AddRef(out[n]);
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        size_t left = m_snapshot->items.size() - m_pos;
        if (count > left) {
            m_pos = m_snapshot->items.size();
            return S_FALSE;
        }
        m_pos += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override
    {
        m_pos = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(Itf** out) override
    {
        if (!out)
            return E_POINTER;
        *out = new (std::nothrow) CEnumSnapshot(m_snapshot, m_pos);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    struct Items {
        Items() = default;
        Items(const Items&) = delete;
        Items& operator=(const Items&) = delete;
        ~Items()
        {
            for (const T& t : items)
                EnumItem<T>::Release(t);
        }
        std::vector<T> items;
    };

    CEnumSnapshot(std::shared_ptr<Items> snapshot, size_t pos) noexcept
        : m_snapshot(std::move(snapshot)), m_pos(pos)
    {
        CModule::ObjectCreated();
    }
    ~CEnumSnapshot() { CModule::ObjectDestroyed(); }

    LONG m_refs = 1;
    std::shared_ptr<Items> m_snapshot;
    size_t m_pos;
};

}  // namespace fw

#endif
