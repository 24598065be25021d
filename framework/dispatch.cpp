#include "dispatch.h"

#include "textconv.h"

#include <exception>
#include <new>
#include <vector>

namespace fw {

const DispMethod* DispTable::Find(DISPID id) const
{
    for (size_t i = 0; i < count; ++i)
        if (methods[i].id == id)
            return &methods[i];
    return nullptr;
}

const DispMethod* DispTable::Find(const wchar_t* name) const
{
    if (!name)
        return nullptr;
    for (size_t i = 0; i < count; ++i)
        if (lstrcmpiW(methods[i].name, name) == 0)
            return &methods[i];
    return nullptr;
}

HRESULT DispGetIDsOfNames(const DispTable& table, LPOLESTR* names, UINT count, DISPID* ids)
{
    if (count == 0)
        return S_OK;
    if (!names || !ids)
        return E_POINTER;
    HRESULT hr = S_OK;
    const DispMethod* m = table.Find(names[0]);
    ids[0] = m ? m->id : DISPID_UNKNOWN;
    if (!m)
        hr = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        for (int a = 0; m && a < m->argCount; ++a) {
            if (names[i] && lstrcmpiW(m->argNames[a], names[i]) == 0) {
                ids[i] = a;
                break;
            }
        }
        if (ids[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

std::string BstrToAnsi(BSTR text)
{
    std::string out = qel::WideToAnsi(text, SysStringLen(text));
    // 8-bit texts end at their first NUL.
    size_t nul = out.find('\0');
    if (nul != std::string::npos)
        out.resize(nul);
    return out;
}

BSTR AnsiToBstr(const std::string& text)
{
    std::wstring wide = qel::AnsiToWide(text);
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

namespace {

VARTYPE VarTypeOf(DispType t)
{
    switch (t) {
    case DispType::Short: return VT_I2;
    case DispType::Long: return VT_I4;
    case DispType::Text: return VT_BSTR;
    default: return VT_EMPTY;
    }
}

void FillException(EXCEPINFO* info, const char* source, HRESULT code, const char* what)
{
    if (!info)
        return;
    ZeroMemory(info, sizeof(*info));
    info->scode = code;
    info->bstrSource = AnsiToBstr(source ? source : "");
    info->bstrDescription = AnsiToBstr(what ? what : "");
}

}  // namespace

HRESULT DispInvoke(const DispTable& table, void* self, DISPID id, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr)
{
    const DispMethod* m = table.Find(id);
    if (!m || !(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)))
        return DISP_E_MEMBERNOTFOUND;
    if (!params)
        return E_INVALIDARG;
    if (params->cArgs != static_cast<UINT>(m->argCount))
        return DISP_E_BADPARAMCOUNT;
    if (params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs) ||
        (params->cArgs && !params->rgvarg))
        return E_INVALIDARG;

    // rgvarg holds the positional arguments last-first behind the named ones.
    // Map each declared parameter to its rgvarg index.
    int source[kMaxDispArgs];
    for (int a = 0; a < kMaxDispArgs; ++a) source[a] = -1;
    UINT positional = params->cArgs - params->cNamedArgs;
    for (UINT i = 0; i < positional; ++i)
        source[i] = static_cast<int>(params->cArgs - 1 - i);
    for (UINT k = 0; k < params->cNamedArgs; ++k) {
        DISPID name = params->rgdispidNamedArgs[k];
        if (name < 0 || name >= m->argCount || source[name] != -1) {
            if (argErr) *argErr = k;
            return DISP_E_PARAMNOTFOUND;
        }
        source[name] = static_cast<int>(k);
    }

    DispArgs args;
    for (int a = 0; a < m->argCount; ++a) {
        VARIANT coerced;
        VariantInit(&coerced);
        VARIANT* in = &params->rgvarg[source[a]];
        VARIANT direct;
        VariantInit(&direct);
        if (V_VT(in) & VT_BYREF) {
            if (FAILED(VariantCopyInd(&direct, in))) {
                if (argErr) *argErr = static_cast<UINT>(source[a]);
                return DISP_E_TYPEMISMATCH;
            }
            in = &direct;
        }
        HRESULT hr = VariantChangeType(&coerced, in, 0, VarTypeOf(m->argTypes[a]));
        VariantClear(&direct);
        if (FAILED(hr)) {
            if (argErr) *argErr = static_cast<UINT>(source[a]);
            return DISP_E_TYPEMISMATCH;
        }
        if (m->argTypes[a] == DispType::Text)
            args.m_text[a] = BstrToAnsi(V_BSTR(&coerced));
        else
            args.m_long[a] = m->argTypes[a] == DispType::Short ? V_I2(&coerced) : V_I4(&coerced);
        VariantClear(&coerced);
    }

    DispResult out;
    try {
        m->handler(self, args, out);
    } catch (const std::bad_alloc&) {
        FillException(excepInfo, table.source, E_OUTOFMEMORY, "out of memory");
        return DISP_E_EXCEPTION;
    } catch (const std::exception& e) {
        FillException(excepInfo, table.source, E_FAIL, e.what());
        return DISP_E_EXCEPTION;
    } catch (...) {
        FillException(excepInfo, table.source, E_FAIL, "unexpected failure");
        return DISP_E_EXCEPTION;
    }

    if (result) {
        VariantInit(result);
        switch (m->result) {
        case DispType::Void:
            break;
        case DispType::Short:
            V_VT(result) = VT_I2;
            V_I2(result) = static_cast<SHORT>(out.m_long);
            break;
        case DispType::Long:
            V_VT(result) = VT_I4;
            V_I4(result) = out.m_long;
            break;
        case DispType::Text:
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = AnsiToBstr(out.m_text);
            if (!V_BSTR(result)) {
                V_VT(result) = VT_EMPTY;
                return E_OUTOFMEMORY;
            }
            break;
        }
    }
    return S_OK;
}

}  // namespace fw
