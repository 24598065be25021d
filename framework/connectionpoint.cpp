#include "olecontrol.h"

#include "enumerators.h"
#include "olecontrol_internal.h"

#include <utility>
#include <vector>

namespace fw {

using olectl::Guarded;

// ---------------------------------------------------------------------------
// IConnectionPointContainer

STDMETHODIMP COleControl::EnumConnectionPoints(IEnumConnectionPoints** points)
{
    IConnectionPoint* point = &m_connectionPoint;
    return CEnumSnapshot<IEnumConnectionPoints, IConnectionPoint*>::Create(&point, m_eventIid ? 1 : 0, points);
}

STDMETHODIMP COleControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point)
{
    if (!point)
        return E_POINTER;
    *point = nullptr;
    if (!m_eventIid || !IsEqualIID(riid, *m_eventIid))
        return CONNECT_E_NOCONNECTION;
    *point = &m_connectionPoint;
    (*point)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::CConnectionPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleControl::CConnectionPoint::AddRef() { return m_owner.AddRef(); }

STDMETHODIMP_(ULONG) COleControl::CConnectionPoint::Release() { return m_owner.Release(); }

STDMETHODIMP COleControl::CConnectionPoint::GetConnectionInterface(IID* iid)
{
    if (!iid)
        return E_POINTER;
    if (!m_owner.m_eventIid)
        return E_UNEXPECTED;
    *iid = *m_owner.m_eventIid;
    return S_OK;
}

STDMETHODIMP COleControl::CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container)
{
    if (!container)
        return E_POINTER;
    *container = static_cast<IConnectionPointContainer*>(&m_owner);
    (*container)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie)
{
    if (!cookie)
        return E_POINTER;
    *cookie = 0;
    if (!sink)
        return E_POINTER;
    if (!m_owner.m_eventIid)
        return CONNECT_E_CANNOTCONNECT;
    // The sink takes the event dispinterface, or plain IDispatch for it.
    CComPtr<IUnknown> target;
    if (FAILED(sink->QueryInterface(*m_owner.m_eventIid, reinterpret_cast<void**>(&target))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&target))))
        return CONNECT_E_CANNOTCONNECT;
    if (!target)
        return CONNECT_E_CANNOTCONNECT;
    return Guarded([&] {
        DWORD next = m_nextCookie;
        m_sinks.push_back(Sink{next, target});
        m_nextCookie = next + 1 ? next + 1 : 1;
        *cookie = next;
        return S_OK;
    });
}

STDMETHODIMP COleControl::CConnectionPoint::Unadvise(DWORD cookie)
{
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->cookie != cookie)
            continue;
        // Released after the list is consistent again: the sink's Release
        // may call back into the control.
        CComPtr<IUnknown> sink(std::move(it->sink));
        m_sinks.erase(it);
        return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP COleControl::CConnectionPoint::EnumConnections(IEnumConnections** connections)
{
    return Guarded([&] {
        std::vector<CONNECTDATA> items;
        items.reserve(m_sinks.size());
        for (const Sink& s : m_sinks) {
            CONNECTDATA data;
            data.pUnk = s.sink.Get();
            data.dwCookie = s.cookie;
            items.push_back(data);
        }
        return CEnumSnapshot<IEnumConnections, CONNECTDATA>::Create(items.data(), items.size(), connections);
    });
}

}  // namespace fw
