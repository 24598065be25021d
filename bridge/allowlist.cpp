#include "allowlist.h"

#include "utf8.h"

#include <windows.h>

namespace bridge {

const wchar_t kAllowListKey[] = L"SOFTWARE\\QelCrypt\\NativeHost";
const wchar_t kAllowListValue[] = L"AllowedOrigins";

namespace {

// Longest value read: far more than any list of origins needs.
const DWORD kMaxValueBytes = 64 * 1024;

HKEY OpenKey()
{
    HKEY key = nullptr;
    // The native view on x64 Windows also for the x86 host; systems without
    // registry views refuse the flag, and there the plain key is the one.
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAllowListKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key);
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAllowListKey, 0, KEY_QUERY_VALUE, &key);
    return rc == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

void LoadAllowList(OriginPolicy& policy, std::vector<std::string>* rejected)
{
    HKEY key = OpenKey();
    if (!key)
        return;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, kAllowListValue, nullptr, &type, nullptr, &size);
    std::u16string data;
    if (rc == ERROR_SUCCESS && (type == REG_MULTI_SZ || type == REG_SZ) && size > 0 && size <= kMaxValueBytes) {
        data.resize(size / sizeof(char16_t) + 1);
        rc = RegQueryValueExW(key, kAllowListValue, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
        data.resize(rc == ERROR_SUCCESS ? size / sizeof(char16_t) : 0);
    } else if (rc == ERROR_SUCCESS && rejected) {
        rejected->push_back("the value AllowedOrigins is not a list of origins (type " + std::to_string(type) +
                            ", " + std::to_string(size) + " bytes)");
    }
    RegCloseKey(key);

    // Strings end at NULs (a REG_SZ may carry one origin).
    size_t start = 0;
    for (size_t i = 0; i <= data.size(); ++i) {
        if (i < data.size() && data[i] != u'\0')
            continue;
        if (i > start) {
            const std::string entry = Utf16ToUtf8(data.data() + start, i - start);
            if (!policy.Add(entry) && rejected)
                rejected->push_back("not an origin: \"" + entry + "\"");
        }
        start = i + 1;
    }
}

}  // namespace bridge
