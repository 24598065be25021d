// Snapshot enumerators for the standard IEnumXxx interfaces: the items are
// copied (each with its own reference) when the enumerator is created, so
// later changes to the source list do not disturb an enumeration in progress.
// Clones share the snapshot and start at the clone's position.
#ifndef QEL_FRAMEWORK_ENUMERATORS_H
#define QEL_FRAMEWORK_ENUMERATORS_H

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <memory>
#include <new>
#include <vector>

#include "unknown.h"

namespace fw {

// How an enumerated item holds and hands out its reference.
template <class T>
struct EnumItem;

// AddRef/Release: the snapshot's own hold on an item; HandOut: makes the
// copy that Next gives the caller the caller's own.
template <class I>
struct EnumItem<I*> {
    static void AddRef(I* p) { if (p) p->AddRef(); }
    static void Release(I* p) { if (p) p->Release(); }
    static void HandOut(I* p) { AddRef(p); }
};

template <>
struct EnumItem<CONNECTDATA> {
    static void AddRef(const CONNECTDATA& c) { if (c.pUnk) c.pUnk->AddRef(); }
    static void Release(const CONNECTDATA& c) { if (c.pUnk) c.pUnk->Release(); }
    static void HandOut(const CONNECTDATA& c) { AddRef(c); }
};

// Verb names are static text in the snapshot; the caller frees the copy it
// gets with CoTaskMemFree.
template <>
struct EnumItem<OLEVERB> {
    static void AddRef(const OLEVERB&) {}
    static void Release(const OLEVERB&) {}
    static void HandOut(OLEVERB& v)
    {
        if (!v.lpszVerbName)
            return;
        size_t bytes = (lstrlenW(v.lpszVerbName) + 1) * sizeof(wchar_t);
        auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (copy)
            CopyMemory(copy, v.lpszVerbName, bytes);
        v.lpszVerbName = copy;
    }
};

// Itf is the enumerator interface (IEnumConnections, IEnumConnectionPoints,
// ...), T the item type its Next hands out.
template <class Itf, class T>
class CEnumSnapshot : public Itf {
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
            *out = new CComObject<CEnumSnapshot>(std::move(snapshot), 0);
            return S_OK;
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }

    CEnumSnapshot(std::shared_ptr<Items> snapshot, size_t pos) noexcept
        : m_snapshot(std::move(snapshot)), m_pos(pos)
    {
    }
    virtual ~CEnumSnapshot() = default;

    void* FindInterface(REFIID riid) { return Offer<Itf>(this, riid); }

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
            EnumItem<T>::HandOut(out[n]);
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
        *out = new (std::nothrow) CComObject<CEnumSnapshot>(m_snapshot, m_pos);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    std::shared_ptr<Items> m_snapshot;
    size_t m_pos;
};

}  // namespace fw

#endif
