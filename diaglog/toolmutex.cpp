#include "toolmutex.h"

#include <cstdint>

namespace diaglog {

const char kToolMutexName[] = "{5F0C2A91-3B7E-4D26-8A41-C09E7B2D16F3}";

int MutexExists(const char* name)
{
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
    if (!mutex)
        return 0;
    CloseHandle(mutex);
    return 1;
}

HANDLE CreateToolMutex(const char* name)
{
    if (MutexExists(name) == 1)
        return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(1));
    return CreateMutexA(nullptr, FALSE, name);
}

void CloseToolMutex(HANDLE value)
{
    if (reinterpret_cast<uintptr_t>(value) > 10)
        CloseHandle(value);
}

}  // namespace diaglog
