// The named mutex by which the diagnostic tool tells the controls that it
// runs (Windows only). Only the mutex's existence carries meaning: the tool
// creates it without owning it, nobody waits on it, and the controls log
// while it exists.
#ifndef QEL_DIAGLOG_TOOLMUTEX_H
#define QEL_DIAGLOG_TOOLMUTEX_H

#include <windows.h>

namespace diaglog {

// The name both deliverables use.
extern const char kToolMutexName[];  // "{5F0C2A91-3B7E-4D26-8A41-C09E7B2D16F3}"

// 1 when a mutex of that name exists (it can be opened with full access),
// else 0. Holds nothing afterwards.
int MutexExists(const char* name);

// When the mutex exists already, the marker value 1 and nothing is created;
// otherwise a new, unowned mutex of that name (its handle, or 0 on failure).
HANDLE CreateToolMutex(const char* name);

// Closes a value of CreateToolMutex as a handle when it is greater than 10,
// so that the marker 1 and a failed 0 are never closed.
void CloseToolMutex(HANDLE value);

}  // namespace diaglog

#endif
