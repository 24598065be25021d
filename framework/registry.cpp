#include "registry.h"

namespace fw {

std::string ExpandRegText(const char* text, const RegVars& vars)
{
    std::string out;
    for (const char* p = text; *p; ++p) {
        if (*p == '%') {
            const char* end = p + 1;
            while (*end && *end != '%') ++end;
            if (*end == '%') {
                std::string name(p + 1, end);
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
        std::string key = ExpandRegText(entries[i].key, vars);
        HKEY h = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return false;
        LONG rc = ERROR_SUCCESS;
        if (entries[i].value) {
            std::string value = ExpandRegText(entries[i].value, vars);
            rc = RegSetValueExA(h, entries[i].valueName, 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>(value.size() + 1));
        }
        RegCloseKey(h);
        if (rc != ERROR_SUCCESS)
            return false;
    }
    return true;
}

namespace {

bool Gone(LONG rc) { return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND; }

bool IsEmptyKey(const std::string& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    DWORD subkeys = 0, values = 0;
    LONG rc = RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                               nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

}  // namespace

bool UnregisterEntries(const RegEntry* entries, size_t count, const RegVars& vars)
{
    bool ok = true;
    for (size_t i = count; i-- > 0;) {
        std::string key = ExpandRegText(entries[i].key, vars);
        if (entries[i].ownsTree) {
            ok = Gone(RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str())) && ok;
            ok = Gone(RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str())) && ok;
            continue;
        }
        if (entries[i].value) {
            HKEY h = nullptr;
            LONG rc = RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_SET_VALUE, &h);
            if (rc == ERROR_SUCCESS) {
                ok = Gone(RegDeleteValueA(h, entries[i].valueName)) && ok;
                RegCloseKey(h);
            } else {
                ok = Gone(rc) && ok;
            }
        }
        if (IsEmptyKey(key))
            ok = Gone(RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str())) && ok;
    }
    return ok;
}

}  // namespace fw
