// The module of QELCRYPT.OCX: its entry points, its table of classes and its
// self-registration (type library, control class, safe categories).
#include "classfactory.h"
#include "comutil.h"
#include "module.h"
#include "qelcryptctrl.h"
#include "registry.h"

#include <comcat.h>
#include <olectl.h>

#include <string>

namespace {

const fw::ClassEntry kClasses[] = {
    {&kClsidQelCrypt, &CQelCryptCtrl::CreateInstance},
};

// Everything registration writes under HKEY_CLASSES_ROOT; unregistration
// removes the two owning trees.
const fw::RegEntry kRegistry[] = {
    {L"CLSID\\%CLSID%", nullptr, L"%USERTYPE%", true},
    {L"CLSID\\%CLSID%\\InprocServer32", nullptr, L"%MODULE%", false},
    {L"CLSID\\%CLSID%\\InprocServer32", L"ThreadingModel", L"Apartment", false},
    {L"CLSID\\%CLSID%\\ProgID", nullptr, L"%PROGID%", false},
    {L"CLSID\\%CLSID%\\Control", nullptr, nullptr, false},
    {L"CLSID\\%CLSID%\\ToolboxBitmap32", nullptr, L"%MODULE%, %BITMAP%", false},
    {L"CLSID\\%CLSID%\\MiscStatus", nullptr, L"0", false},
    {L"CLSID\\%CLSID%\\MiscStatus\\1", nullptr, L"%MISCSTATUS%", false},
    {L"CLSID\\%CLSID%\\TypeLib", nullptr, L"%LIBID%", false},
    {L"CLSID\\%CLSID%\\Version", nullptr, L"%VERSION%", false},
    {L"%PROGID%", nullptr, L"%USERTYPE%", true},
    {L"%PROGID%\\CLSID", nullptr, L"%CLSID%", false},
};

const CATID kCatidSafeForInitializing = {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
const CATID kCatidSafeForScripting = {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

#ifdef _WIN64
const SYSKIND kSysKind = SYS_WIN64;
#else
const SYSKIND kSysKind = SYS_WIN32;
#endif

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[40] = L"";
    StringFromGUID2(guid, text, 40);
    return text;
}

// The variables of the registry table; the module path as the system gives
// it, in UTF-16, so that no character of it is lost to the ANSI code page.
fw::RegVars RegistryVariables(const std::wstring& modulePath)
{
    wchar_t userType[256] = L"";
    LoadStringW(fw::CModule::Instance(), kIdsUserTypeName, userType, sizeof(userType) / sizeof(userType[0]));
    const std::string progId = kProgIdQelCrypt;  // ASCII
    return {
        {L"CLSID", GuidText(kClsidQelCrypt)},
        {L"LIBID", GuidText(kLibidQelCrypt)},
        {L"PROGID", std::wstring(progId.begin(), progId.end())},
        {L"MODULE", modulePath},
        {L"USERTYPE", userType},
        {L"BITMAP", std::to_wstring(kIdbToolbox)},
        {L"MISCSTATUS", std::to_wstring(kMiscStatusQelCrypt)},
        {L"VERSION", std::to_wstring(kTypeLibMajor) + L"." + std::to_wstring(kTypeLibMinor)},
    };
}

// COM for the length of a registration call, for callers that did not
// initialise it themselves.
class CComScope {
public:
    CComScope() : m_hr(CoInitialize(nullptr)) {}
    ~CComScope() { if (SUCCEEDED(m_hr)) CoUninitialize(); }
private:
    HRESULT m_hr;
};

// Creates the category (locale 0x409, description cut to 127 characters) and
// marks the control as implementing it. Each step has its own manager.
void RegisterCategory(const CATID& catid, const wchar_t* description)
{
    fw::CComPtr<ICatRegister> reg;
    if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICatRegister, reinterpret_cast<void**>(&reg)))) {
        CATEGORYINFO info = {};
        info.catid = catid;
        info.lcid = 0x409;
        lstrcpynW(info.szDescription, description, 128);
        reg->RegisterCategories(1, &info);
    }
    fw::CComPtr<ICatRegister> impl;
    if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICatRegister, reinterpret_cast<void**>(&impl)))) {
        CATID id = catid;
        impl->RegisterClassImplCategories(kClsidQelCrypt, 1, &id);
    }
}

void UnregisterCategory(const CATID& catid)
{
    fw::CComPtr<ICatRegister> reg;
    if (SUCCEEDED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICatRegister, reinterpret_cast<void**>(&reg)))) {
        CATID id = catid;
        reg->UnRegisterClassImplCategories(kClsidQelCrypt, 1, &id);
    }
}

bool TypeLibRegistered()
{
    std::wstring key = L"TypeLib\\" + GuidText(kLibidQelCrypt) + L"\\" + std::to_wstring(kTypeLibMajor) + L"." +
                       std::to_wstring(kTypeLibMinor);
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        fw::CModule::SetInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* ppv)
{
    return fw::GetClassObject(kClasses, sizeof(kClasses) / sizeof(kClasses[0]), clsid, riid, ppv);
}

STDAPI DllCanUnloadNow()
{
    return fw::CModule::CanUnloadNow();
}

STDAPI DllRegisterServer()
{
    CComScope com;

    // Without its own path the module cannot say where it lives.
    const std::wstring path = fw::CModule::Path();
    if (path.empty())
        return SELFREG_E_CLASS;

    fw::CComPtr<ITypeLib> typeLib;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &typeLib)) ||
        FAILED(RegisterTypeLib(typeLib.Get(), const_cast<LPOLESTR>(path.c_str()), nullptr)))
        return SELFREG_E_TYPELIB;

    if (!fw::RegisterEntries(kRegistry, sizeof(kRegistry) / sizeof(kRegistry[0]), RegistryVariables(path)))
        return SELFREG_E_CLASS;

    RegisterCategory(kCatidSafeForInitializing, L"Controls safely initializable from persistent data!");
    RegisterCategory(kCatidSafeForScripting, L"Controls safely scriptable!");
    return S_OK;
}

STDAPI DllUnregisterServer()
{
    CComScope com;

    // A library that is no longer registered counts as unregistered, so that
    // a second unregistration succeeds as well.
    if (FAILED(UnRegisterTypeLib(kLibidQelCrypt, kTypeLibMajor, kTypeLibMinor, 0, kSysKind)) &&
        TypeLibRegistered())
        return SELFREG_E_TYPELIB;

    if (!fw::UnregisterEntries(kRegistry, sizeof(kRegistry) / sizeof(kRegistry[0]),
                               RegistryVariables(fw::CModule::Path())))
        return SELFREG_E_CLASS;

    UnregisterCategory(kCatidSafeForInitializing);
    UnregisterCategory(kCatidSafeForScripting);
    return S_OK;
}
