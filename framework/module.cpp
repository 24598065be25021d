#include "module.h"

namespace fw {

namespace {
HINSTANCE g_instance = nullptr;
LONG g_objects = 0;
LONG g_locks = 0;
}  // namespace

void CModule::SetInstance(HINSTANCE instance) { g_instance = instance; }
HINSTANCE CModule::Instance() { return g_instance; }

std::wstring CModule::Path()
{
    // A path that fills the buffer may have been cut (XP then returns the
    // size without an error): try again with twice the room, up to the
    // longest path the system has (32767 characters, \\?\ paths).
    std::wstring path;
    for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
        path.resize(size);
        DWORD n = GetModuleFileNameW(g_instance, &path[0], size);
        if (n == 0)
            break;
        if (n < size) {
            path.resize(n);
            return path;
        }
    }
    return std::wstring();
}

void CModule::ObjectCreated() { InterlockedIncrement(&g_objects); }
void CModule::ObjectDestroyed() { InterlockedDecrement(&g_objects); }
void CModule::Lock() { InterlockedIncrement(&g_locks); }
void CModule::Unlock() { InterlockedDecrement(&g_locks); }

HRESULT CModule::CanUnloadNow()
{
    return (InterlockedCompareExchange(&g_objects, 0, 0) == 0 &&
            InterlockedCompareExchange(&g_locks, 0, 0) == 0) ? S_OK : S_FALSE;
}

}  // namespace fw
