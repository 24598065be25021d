#include "controltarget.h"

#include "qelcrypt_h.h"
#include "utf8.h"

#include <cstdio>

namespace bridge {

namespace {

std::string Hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string Utf8(BSTR text)
{
    return Utf16ToUtf8(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

bool ParamOf(VARTYPE vt, ParamType* type)
{
    switch (vt) {
    case VT_BSTR: *type = ParamType::Text; return true;
    case VT_I4: *type = ParamType::Long; return true;
    case VT_I2: *type = ParamType::Short; return true;
    default: return false;
    }
}

}  // namespace

bool CControlTarget::Ensure()
{
    if (m_tried)
        return m_disp.Get() != nullptr;
    m_tried = true;
    HRESULT hr = CoCreateInstance(CLSID_QelCrypt, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&m_disp));
    if (FAILED(hr)) {
        m_failure = hr == REGDB_E_CLASSNOTREG ? "QelCrypt is not installed on this computer (class not registered)"
                                              : "QelCrypt could not be created (" + Hex(hr) + ")";
        m_disp.Release();
        return false;
    }
    fw::CComPtr<ITypeInfo> info;
    hr = m_disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    if (FAILED(hr) || !info || !LoadMethods(info.Get())) {
        m_failure = "QelCrypt's type information is not available (" + Hex(FAILED(hr) ? hr : E_FAIL) + ")";
        m_disp.Release();
        return false;
    }
    return true;
}

bool CControlTarget::LoadMethods(ITypeInfo* info)
{
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr)) || !attr)
        return false;
    const UINT count = attr->cFuncs;
    info->ReleaseTypeAttr(attr);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* fd = nullptr;
        if (FAILED(info->GetFuncDesc(i, &fd)) || !fd)
            continue;
        MethodInfo method;
        method.id = fd->memid;
        // Methods only, every parameter required and of a type a message can carry.
        bool usable = fd->invkind == INVOKE_FUNC && fd->cParamsOpt == 0;
        for (SHORT p = 0; usable && p < fd->cParams; ++p) {
            ParamType type = ParamType::Text;
            usable = ParamOf(fd->lprgelemdescParam[p].tdesc.vt, &type);
            method.params.push_back(type);
        }
        BSTR name = nullptr;
        if (usable && SUCCEEDED(info->GetDocumentation(fd->memid, &name, nullptr, nullptr, nullptr)) && name) {
            method.name = Utf8(name);
            m_methods[fd->memid] = method;
        }
        SysFreeString(name);
        info->ReleaseFuncDesc(fd);
    }
    return !m_methods.empty();
}

Target::Lookup CControlTarget::Find(const std::string& name, MethodInfo* method, std::string* why)
{
    if (!Ensure()) {
        *why = m_failure;
        return Lookup::Unavailable;
    }
    // A NUL would end the name early for GetIDsOfNames.
    std::u16string wide;
    if (name.empty() || name.find('\0') != std::string::npos || !Utf8ToUtf16(name, &wide))
        return Lookup::NotFound;
    std::wstring wname(wide.begin(), wide.end());
    LPOLESTR names[1] = {&wname[0]};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(m_disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
        return Lookup::NotFound;
    auto it = m_methods.find(id);
    if (it == m_methods.end())
        return Lookup::NotFound;
    *method = it->second;
    return Lookup::Found;
}

bool CControlTarget::Call(const MethodInfo& method, const std::vector<Argument>& args, json::Value* result,
                          std::string* why)
{
    if (!m_disp) {
        *why = m_failure;
        return false;
    }
    // DISPPARAMS takes the arguments last-first.
    std::vector<VARIANT> params(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = params[args.size() - 1 - i];
        VariantInit(&v);
        const Argument& a = args[i];
        switch (a.type) {
        case ParamType::Text: {
            std::u16string wide;
            Utf8ToUtf16(a.text, &wide);  // checked by the JSON reader
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()),
                                           static_cast<UINT>(wide.size()));
            if (!V_BSTR(&v)) {
                for (VARIANT& p : params)
                    VariantClear(&p);
                *why = "out of memory";
                return false;
            }
            break;
        }
        case ParamType::Long:
            V_VT(&v) = VT_I4;
            V_I4(&v) = a.number;
            break;
        case ParamType::Short:
            V_VT(&v) = VT_I2;
            V_I2(&v) = static_cast<SHORT>(a.number);
            break;
        }
    }
    DISPPARAMS dp = {params.empty() ? nullptr : params.data(), nullptr, static_cast<UINT>(params.size()), 0};
    fw::CVariant out;
    EXCEPINFO excep = {};
    UINT argErr = 0;
    const HRESULT hr = m_disp->Invoke(static_cast<DISPID>(method.id), IID_NULL, LOCALE_USER_DEFAULT,
                                      DISPATCH_METHOD, &dp, &out, &excep, &argErr);
    for (VARIANT& p : params)
        VariantClear(&p);
    const std::string description = excep.bstrDescription ? Utf8(excep.bstrDescription) : std::string();
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    if (FAILED(hr)) {
        *why = description.empty() ? "the control answered " + Hex(hr) : description + " (" + Hex(hr) + ")";
        return false;
    }
    switch (V_VT(&out)) {
    case VT_EMPTY: *result = json::Value(); return true;
    case VT_BSTR: *result = json::Value::String(Utf8(V_BSTR(&out))); return true;
    case VT_I4: *result = json::Value::Integer(V_I4(&out)); return true;
    case VT_I2: *result = json::Value::Integer(V_I2(&out)); return true;
    case VT_BOOL: *result = json::Value::Boolean(V_BOOL(&out) != VARIANT_FALSE); return true;
    default:
        *why = "the control returned a value of type " + std::to_string(V_VT(&out));
        return false;
    }
}

void CControlTarget::Release()
{
    m_disp.Release();
}

}  // namespace bridge
