#include "registry.h"

namespace fw {

std::wstring ExpandRegText(const wchar_t* text, const RegVars& vars)
{
    std::wstring out;
    for (const wchar_t* p = text; *p; ++p) {
        if (*p == L'%') {
            const wchar_t* end = p + 1;
            while (*end && *end != L'%') ++end;
            if (*end == L'%') {
                std::wstring name(p + 1, end);
                bool found = false;
                for (const auto& v : vars) {
                    if (v.first == name) {
                        out += v.second;
                        found = true;
                        break;
                    }
                }
                if (found) {
                    p = end;
                    continue;
                }
            }
        }
        out += *p;
    }
    return out;
}

bool RegisterEntries(const RegEntry* entries, size_t count, const RegVars& vars)
{
    for (size_t i = 0; i < count; ++i) {
        std::wstring key = ExpandRegText(entries[i].key, vars);
        HKEY h = nullptr;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return false;
        LONG rc = ERROR_SUCCESS;
        if (entries[i].value) {
            std::wstring value = ExpandRegText(entries[i].value, vars);
            // REG_SZ data is counted in bytes, terminator included.
            rc = RegSetValueExW(h, entries[i].valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
        }
        RegCloseKey(h);
        if (rc != ERROR_SUCCESS)
            return false;
    }
    return true;
}

namespace {

bool Gone(LONG rc) { return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

bool IsEmptyKey(const std::wstring& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0, values = 0;
    LONG rc = RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

// Deletes `key` under `root` with all its subkeys and values (what
// RegDeleteTree does from Vista on): ERROR_SUCCESS, ERROR_FILE_NOT_FOUND when
// the key does not exist, or the first error met. The subkeys' names come
// first, then each subtree: deleting while enumerating would shift the
// indexes.
LONG DeleteRegTree(HKEY root, const std::wstring& key)
{
    HKEY h = nullptr;
    LONG rc = RegOpenKeyExW(root, key.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &h);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::vector<std::wstring> subkeys;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];  // key names are at most 255 characters
        DWORD length = sizeof(name) / sizeof(name[0]);
        rc = RegEnumKeyExW(h, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS)
            break;
        subkeys.emplace_back(name, length);
    }
    RegCloseKey(h);
    if (rc != ERROR_NO_MORE_ITEMS)
        return rc;
    for (const std::wstring& subkey : subkeys) {
        rc = DeleteRegTree(root, key + L"\\" + subkey);
        if (!Gone(rc))
            return rc;
    }
    return RegDeleteKeyW(root, key.c_str());
}

}  // namespace

bool UnregisterEntries(const RegEntry* entries, size_t count, const RegVars& vars)
{
    bool ok = true;
    for (size_t i = count; i-- > 0;) {
        std::wstring key = ExpandRegText(entries[i].key, vars);
        if (entries[i].ownsTree) {
            ok = Gone(DeleteRegTree(HKEY_CLASSES_ROOT, key)) && ok;
            continue;
        }
        if (entries[i].value) {
            HKEY h = nullptr;
            LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_SET_VALUE, &h);
            if (rc == ERROR_SUCCESS) {
                ok = Gone(RegDeleteValueW(h, entries[i].valueName)) && ok;
                RegCloseKey(h);
            } else {
                ok = Gone(rc) && ok;
            }
        }
        if (IsEmptyKey(key))
            ok = Gone(RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str())) && ok;
    }
    return ok;
}

}  // namespace fw
