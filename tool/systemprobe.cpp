#include "systemprobe.h"

#include <shellapi.h>
#include <winver.h>

#include <cstdio>
#include <cstring>

#include "comutil.h"
#include "qelcrypt_h.h"
#include "winhandle.h"

namespace {

const DWORD kExtendedVersionSize = 156;  // OSVERSIONINFOEXA
const DWORD kShortVersionSize = 148;     // OSVERSIONINFOA
static_assert(sizeof(OSVERSIONINFOEXA) == kExtendedVersionSize, "OSVERSIONINFOEXA layout");
static_assert(sizeof(OSVERSIONINFOA) == kShortVersionSize, "OSVERSIONINFOA layout");

const DISPID kGetVersion = 1;

// The FileDescription of a file's version resource, in its first language
// and code page; empty when any step fails.
std::string FileDescription(const char* path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return std::string();
    HANDLE heap = GetProcessHeap();
    void* block = HeapAlloc(heap, HEAP_ZERO_MEMORY, size);
    if (!block)
        return std::string();
    std::string description;
    void* translation = nullptr;
    UINT translationSize = 0;
    if (GetFileVersionInfoA(path, 0, size, block) &&
        VerQueryValueA(block, "\\VarFileInfo\\Translation", &translation, &translationSize) && translation &&
        translationSize >= 4) {
        const WORD* pair = static_cast<const WORD*>(translation);
        char query[64];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileDescription", pair[0], pair[1]);
        void* text = nullptr;
        UINT textSize = 0;
        if (VerQueryValueA(block, query, &text, &textSize) && text)
            description.assign(static_cast<const char*>(text), strnlen(static_cast<const char*>(text), textSize));
    }
    HeapFree(heap, 0, block);
    return description;
}

}  // namespace

int CSystemProbe::GetWindowsVersionInfo(kvo::WindowsVersionInfo& info)
{
    OSVERSIONINFOEXA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = kExtendedVersionSize;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        ZeroMemory(&version, sizeof version);
        version.dwOSVersionInfoSize = kShortVersionSize;
        if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)))
            return -1;
    }
    const kvo::WindowsFamily family =
        kvo::LookupWindowsFamily(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
    ZeroMemory(info.name, sizeof info.name);
    info.code = family.code;
    lstrcpynA(info.name, family.name, sizeof info.name);
    info.major = static_cast<int>(version.dwMajorVersion);
    info.minor = static_cast<int>(version.dwMinorVersion);
    info.build = static_cast<int>(version.dwBuildNumber);
    info.servicePack = version.wServicePackMajor;
    return 0;
}

int CSystemProbe::GetIeVersion(int& major, std::string& text)
{
    text.clear();
    qel::CRegKey key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Internet Explorer", key.Receive()) != ERROR_SUCCESS)
        return -1;
    // One byte beyond what the call may fill: the text always ends.
    char value[33] = {};
    DWORD size = 32;
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), "Version", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        text = value;
    major = kvo::IeMajorVersion(text);
    return 0;
}

int CSystemProbe::GetDefaultBrowser(std::string& description)
{
    description.clear();
    char directory[MAX_PATH] = "";
    const UINT length = GetWindowsDirectoryA(directory, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        const std::string page = std::string(directory) + "\\Web\\tip.htm";
        char program[MAX_PATH] = "";
        const INT_PTR found = reinterpret_cast<INT_PTR>(FindExecutableA(page.c_str(), nullptr, program));
        if (found > 32 && program[0])
            description = FileDescription(program);
    }
    return kvo::IsInternetExplorer(description) ? 1 : 0;
}

int EnumCspNames(std::vector<std::string>& names)
{
    names.clear();
    // Listing needs reading only; a user without write access to the
    // machine's keys still sees the providers.
    qel::CRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider", 0, KEY_READ,
                      key.Receive()) != ERROR_SUCCESS)
        return 0;
    for (DWORD index = 0;; ++index) {
        char name[1024] = {};
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, strnlen(name, sizeof name));
    }
    return static_cast<int>(names.size());
}

HRESULT CQelCrypt::Create(HWND parent, UINT id)
{
    const RECT empty = {0, 0, 0, 0};
    return m_host.Create(parent, empty, CLSID_QelCrypt, id);
}

HRESULT CQelCrypt::GetVersion(long& version) const
{
    fw::CVariant result;
    HRESULT hr = m_host.CallMethod(kGetVersion, &result);
    if (FAILED(hr))
        return hr;
    hr = VariantChangeType(&result, &result, 0, VT_I4);
    if (FAILED(hr))
        return hr;
    version = V_I4(&result);
    return S_OK;
}
