// Owners for the Win32 handles the system opens: files (CreateFile's
// INVALID_HANDLE_VALUE means none), kernel objects such as mutexes (null
// means none), registry keys and icons. See handle.h for the owner's contract.
#ifndef QEL_COMMON_WINHANDLE_H
#define QEL_COMMON_WINHANDLE_H

#include <windows.h>

#include "handle.h"

namespace qel {

struct CFileTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static void Release(Handle handle) { CloseHandle(handle); }
};
struct CKernelTraits : CNullInvalid<HANDLE> {
    static void Release(Handle handle) { CloseHandle(handle); }
};
struct CRegKeyTraits : CNullInvalid<HKEY> {
    static void Release(Handle handle) { RegCloseKey(handle); }
};
struct CIconTraits : CNullInvalid<HICON> {
    static void Release(Handle handle) { DestroyIcon(handle); }
};

using CFileHandle = CHandle<CFileTraits>;      // a file from CreateFile
using CKernelHandle = CHandle<CKernelTraits>;  // a mutex, event or process
using CRegKey = CHandle<CRegKeyTraits>;        // an open registry key
using CIcon = CHandle<CIconTraits>;            // an icon loaded without LR_SHARED

}  // namespace qel

#endif
