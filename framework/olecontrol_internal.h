// Helpers shared by the source files of COleControl (not for controls).
#ifndef QEL_FRAMEWORK_OLECONTROL_INTERNAL_H
#define QEL_FRAMEWORK_OLECONTROL_INTERNAL_H

#include <windows.h>

#include <new>

#include "module.h"

namespace fw {
namespace olectl {

// Runs f, turning any C++ exception into an HRESULT: nothing may leave a
// COM method by throwing.
template <class F>
HRESULT Guarded(F&& f) noexcept
{
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Where the control's resources are: the module, or the executable when
// the module has no instance.
inline HINSTANCE ResourceInstance()
{
    HINSTANCE instance = CModule::Instance();
    return instance ? instance : GetModuleHandleW(nullptr);
}

// A CoTaskMemAlloc'ed copy of text[0..length) with its NUL; null when out of memory.
LPOLESTR CoTaskCopy(const wchar_t* text, size_t length);

}  // namespace olectl
}  // namespace fw

#endif
