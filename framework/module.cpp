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
    wchar_t path[MAX_PATH] = L"";
    DWORD n = GetModuleFileNameW(g_instance, path, MAX_PATH);
    return std::wstring(path, n < MAX_PATH ? n : 0);
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
