// The module object of an in-process server: its instance handle, and the
// count of live objects and server locks that DllCanUnloadNow answers from.
#ifndef QEL_FRAMEWORK_MODULE_H
#define QEL_FRAMEWORK_MODULE_H

#include <windows.h>

#include <string>

namespace fw {

class CModule {
public:
    // Set once from DllMain (DLL_PROCESS_ATTACH).
    static void SetInstance(HINSTANCE instance);
    static HINSTANCE Instance();
    // Full path of the module file, as GetModuleFileNameW gives it, of any
    // length; empty when it cannot be found.
    static std::wstring Path();

    // Live COM objects of the module; each object adds one while it lives.
    static void ObjectCreated();
    static void ObjectDestroyed();
    // IClassFactory::LockServer.
    static void Lock();
    static void Unlock();
    // S_OK when no object lives and no lock is held, S_FALSE otherwise.
    static HRESULT CanUnloadNow();
};

}  // namespace fw

#endif
