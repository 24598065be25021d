// Registration from one table of registry entries, shared by register and
// unregister so that unregistration removes exactly what registration wrote.
//
// Keys are under HKEY_CLASSES_ROOT. Key paths and values may hold %NAME%
// placeholders, replaced from the variables given to both calls. Everything
// is UTF-16 and written with the wide registry functions, so a value such as
// a module path keeps characters that the ANSI code page lacks.
#ifndef QEL_FRAMEWORK_REGISTRY_H
#define QEL_FRAMEWORK_REGISTRY_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace fw {

struct RegEntry {
    const wchar_t* key;        // e.g. L"CLSID\\%CLSID%\\InprocServer32"
    const wchar_t* valueName;  // nullptr: the key's default value
    const wchar_t* value;      // nullptr: the key only, no value written
    bool ownsTree;             // unregistration deletes this key with all below it
};

using RegVars = std::vector<std::pair<std::wstring, std::wstring>>;

// Replaces every %NAME% of `text` by its variable; unknown names stay as they are.
std::wstring ExpandRegText(const wchar_t* text, const RegVars& vars);

// Creates the keys and writes the string values (REG_SZ), in table order.
// Returns false at the first key or value that cannot be written.
bool RegisterEntries(const RegEntry* entries, size_t count, const RegVars& vars);

// Deletes, in reverse table order, the trees of the owning entries and the
// values of the others (and their keys when left empty). Keys or values that
// are already gone count as removed, so a second call succeeds too. Returns
// false when something that exists cannot be deleted.
bool UnregisterEntries(const RegEntry* entries, size_t count, const RegVars& vars);

}  // namespace fw

#endif
