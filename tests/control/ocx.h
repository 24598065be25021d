// Loads QELCRYPT.OCX from the build tree for the tests and reaches its entry
// points and objects without going through the registry.
#ifndef QEL_TESTS_CONTROL_OCX_H
#define QEL_TESTS_CONTROL_OCX_H

#include <windows.h>
#include <oleauto.h>

#include <initializer_list>
#include <string>

namespace ocx {

extern const CLSID kClsid;
extern const IID kDiid;
extern const IID kEventDiid;
extern const GUID kLibid;

// The module, loaded once for the test program.
HMODULE Module();
HRESULT CallExport(const char* name);  // DllRegisterServer and the like

// A new control through the module's own class factory.
HRESULT Create(REFIID riid, void** ppv);

// Invoke with positional arguments given first to last (reversed for
// DISPPARAMS here). Returns the HRESULT; *argErr is left as given unless set.
HRESULT Call(IDispatch* disp, DISPID id, VARIANT* result, std::initializer_list<VARIANT> args = {},
             UINT* argErr = nullptr, WORD flags = DISPATCH_METHOD);

VARIANT Text(const wchar_t* s);  // a VT_BSTR the caller's CVariant or Call releases
VARIANT Long(long v);

// Reads a string value under HKEY_CLASSES_ROOT; false when key or value is missing.
bool ReadClassesValue(const std::string& key, const char* valueName, std::string* value);
bool ClassesKeyExists(const std::string& key);

std::string GuidText(const GUID& guid);

}  // namespace ocx

#endif
