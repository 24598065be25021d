// Writing a whole buffer to a Windows file handle (a file, a pipe, a
// console): WriteFile may take fewer bytes than it is given, and takes at
// most 4 GiB less one at a time.
#ifndef QEL_COMMON_WRITEALL_H
#define QEL_COMMON_WRITEALL_H

#include <windows.h>

#include <cstddef>

namespace qel {

// Writes all `size` bytes at `data` to `file`, in pieces of at most 1 MiB,
// each one again until it is all taken. False at the first failed write, with
// GetLastError() telling why (ERROR_WRITE_FAULT for a write that took no
// byte); what was written before stays written.
bool WriteAll(HANDLE file, const void* data, size_t size);

}  // namespace qel

#endif
