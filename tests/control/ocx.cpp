#include "ocx.h"

#include "textconv.h"

#include <vector>

namespace ocx {

const CLSID kClsid = {0x93E15B7A, 0x2C48, 0x4F0D, {0x8D, 0x67, 0x41, 0xA9, 0xC3, 0xF0, 0xE8, 0x5E}};
const IID kDiid = {0x0E7B93D4, 0x58A2, 0x4C61, {0x9F, 0x30, 0xB6, 0xD2, 0x1A, 0x8E, 0x47, 0xC5}};
const IID kEventDiid = {0xC2948F61, 0x7D05, 0x4E3A, {0xB1, 0x8C, 0x5A, 0x06, 0xE9, 0xD3, 0xF2, 0x7B}};
const GUID kLibid = {0x6A1D4E02, 0x93C7, 0x4B58, {0xA0, 0xE6, 0x2F, 0x8B, 0x71, 0xC4, 0x5D, 0x93}};

HMODULE Module()
{
    static HMODULE module = LoadLibraryA(QEL_OCX_PATH);
    return module;
}

HRESULT CallExport(const char* name)
{
    using Fn = HRESULT(STDAPICALLTYPE*)();
    FARPROC proc = Module() ? GetProcAddress(Module(), name) : nullptr;
    if (!proc)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc))();
}

HRESULT Create(REFIID riid, void** ppv)
{
    using Fn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    FARPROC proc = Module() ? GetProcAddress(Module(), "DllGetClassObject") : nullptr;
    if (!proc)
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    IClassFactory* factory = nullptr;
    HRESULT hr = reinterpret_cast<Fn>(reinterpret_cast<void*>(proc))(kClsid, IID_IClassFactory,
                                                                       reinterpret_cast<void**>(&factory));
    if (FAILED(hr))
        return hr;
    hr = factory->CreateInstance(nullptr, riid, ppv);
    factory->Release();
    return hr;
}

HRESULT Call(IDispatch* disp, DISPID id, VARIANT* result, std::initializer_list<VARIANT> args, UINT* argErr,
             WORD flags)
{
    std::vector<VARIANT> reversed(args.begin(), args.end());
    for (size_t i = 0; i < reversed.size() / 2; ++i)
        std::swap(reversed[i], reversed[reversed.size() - 1 - i]);
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO info = {};
    HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info, argErr);
    for (VARIANT& v : reversed)
        VariantClear(&v);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

VARIANT Text(const wchar_t* s)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = s ? SysAllocString(s) : nullptr;
    return v;
}

VARIANT Long(long value)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

bool ReadClassesValue(const std::string& key, const char* valueName, std::string* value)
{
    char buf[1024] = "";
    DWORD size = sizeof(buf) - 1, type = 0;
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExA(h, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return false;
    *value = std::string(buf, size && buf[size - 1] == '\0' ? size - 1 : size);
    return true;
}

bool ClassesKeyExists(const std::string& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

std::string GuidText(const GUID& guid)
{
    wchar_t wide[40] = L"";
    StringFromGUID2(guid, wide, 40);
    return qel::WideToAnsi(wide);
}

}  // namespace ocx
