#include "propexchange.h"

#include "comutil.h"

namespace fw {

// ---------------------------------------------------------------------------
// CPropExchange

CPropExchange::CPropExchange(IStream* stream, bool loading) : m_stream(stream), m_loading(loading)
{
    if (loading && !stream)
        m_result = E_POINTER;
}

CPropExchange::CPropExchange(IPropertyBag* bag, IErrorLog* errorLog, bool loading)
    : m_bag(bag), m_errorLog(errorLog), m_loading(loading)
{
    if (!bag)
        m_result = E_POINTER;
}

bool CPropExchange::Fail(HRESULT hr)
{
    if (SUCCEEDED(m_result))
        m_result = hr;
    return false;
}

bool CPropExchange::Read(void* data, ULONG size, bool& absent)
{
    absent = false;
    ULONG got = 0;
    HRESULT hr = m_stream->Read(data, size, &got);
    if (FAILED(hr))
        return Fail(hr);
    if (got == 0) {
        absent = true;
        return true;
    }
    if (got != size)
        return Fail(STG_E_READFAULT);
    return true;
}

bool CPropExchange::Write(const void* data, ULONG size)
{
    if (m_stream) {
        ULONG written = 0;
        HRESULT hr = m_stream->Write(data, size, &written);
        if (FAILED(hr))
            return Fail(hr);
        if (written != size)
            return Fail(STG_E_WRITEFAULT);
    }
    m_bytes += size;
    return true;
}

bool CPropExchange::ReadBag(const wchar_t* name, LONG& value, bool& absent)
{
    absent = true;
    CVariant v;
    // VT_EMPTY asks for the value in whatever type the bag holds it.
    if (FAILED(m_bag->Read(name, &v, m_errorLog)))
        return true;
    if (FAILED(VariantChangeTypeEx(&v, &v, LOCALE_INVARIANT, 0, VT_I4)))
        return true;
    value = V_I4(&v);
    absent = false;
    return true;
}

bool CPropExchange::WriteBag(const wchar_t* name, LONG value)
{
    CVariant v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    HRESULT hr = m_bag->Write(name, &v);
    return SUCCEEDED(hr) ? true : Fail(hr);
}

bool CPropExchange::ExchangeVersion(DWORD& version, DWORD current, bool convert)
{
    if (FAILED(m_result))
        return false;
    m_versionExchanged = true;
    if (!m_loading) {
        LONG stored = static_cast<LONG>(current);
        bool ok = m_bag ? WriteBag(L"_Version", stored) : Write(&current, sizeof current);
        if (ok)
            version = m_version = current;
        return ok;
    }
    DWORD stored = current;
    bool absent = false;
    if (m_bag) {
        LONG v = 0;
        ReadBag(L"_Version", v, absent);
        if (!absent)
            stored = static_cast<DWORD>(v);
    } else {
        DWORD v = 0;
        if (!Read(&v, sizeof v, absent))
            return false;
        if (!absent)
            stored = v;
    }
    version = m_version = stored;
    if (!convert && stored != current)
        return Fail(stored < current ? STG_E_OLDFORMAT : STG_E_OLDDLL);
    return true;
}

bool CPropExchange::ExchangeLong(const wchar_t* name, LONG& value, LONG defaultValue)
{
    if (FAILED(m_result))
        return false;
    if (m_bag && !name)
        return Fail(E_INVALIDARG);
    if (!m_loading)
        return m_bag ? WriteBag(name, value) : Write(&value, sizeof value);
    LONG stored = 0;
    bool absent = false;
    bool ok = m_bag ? ReadBag(name, stored, absent) : Read(&stored, sizeof stored, absent);
    if (!ok)
        return false;
    value = absent ? defaultValue : stored;
    return true;
}

}  // namespace fw
