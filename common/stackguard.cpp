// The guard word and the failure handlers of the Windows builds' stack
// protection (-fstack-protector-strong and _FORTIFY_SOURCE=2, set in
// cmake/QelBuild.cmake), linked into every program and module in place of
// those of GCC's libssp, which differ in two ways that matter to a control
// that web pages load into the browser:
//  - libssp seeds its guard through CryptAcquireContext from a constructor,
//    which in a DLL runs inside DllMain: it loads a CSP under the loader
//    lock. The seed here comes from kernel32 calls that load nothing: the
//    clocks, the process and thread ids and the addresses the system chose.
//  - libssp's failure handler ends in an illegal instruction, an exception
//    that a handler up the stack may catch and survive (on x86 the exception
//    handler records lie on the very stack that was overwritten). Here the
//    process ends at once, with STATUS_STACK_BUFFER_OVERRUN, as a failed
//    stack cookie ends a program built with the Microsoft compiler.
// The fortified copies themselves (__memcpy_chk and the like) still come
// from libssp; their failure goes to __chk_fail below.
#include <windows.h>

#include <cstdint>

extern "C" {

// Never zero, also before the constructor below has run. The low byte stays
// zero: a string copy that runs over a buffer cannot write the guard back
// without ending there.
uintptr_t __stack_chk_guard = static_cast<uintptr_t>(0x2B992DDFA232D6ULL) & ~static_cast<uintptr_t>(0xFF);

__attribute__((noreturn)) void __stack_chk_fail(void)
{
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    for (;;)
        __builtin_trap();
}

// Fortified copies and formats: a destination of known size was too small.
__attribute__((noreturn)) void __cdecl __chk_fail(void)
{
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    for (;;)
        __builtin_trap();
}

}  // extern "C"

namespace {

uint64_t Mix(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Runs before the other static constructors; it changes the guard, so it
// must not be guarded itself (no function that is running while the guard
// changes may check it on its way out).
__attribute__((constructor(101), no_stack_protector)) void SeedStackGuard()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    uint64_t seed = (static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime) ^
                    static_cast<uint64_t>(counter.QuadPart) ^ static_cast<uint64_t>(counter.QuadPart) << 32;
    seed ^= static_cast<uint64_t>(GetCurrentProcessId()) << 16 ^ static_cast<uint64_t>(GetCurrentThreadId()) << 40;
    seed ^= static_cast<uint64_t>(GetTickCount()) << 8;
    seed ^= reinterpret_cast<uintptr_t>(&seed) ^ static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&__stack_chk_guard)) << 20;
    uint64_t mixed = Mix(seed);
    if (sizeof(uintptr_t) < sizeof(uint64_t))
        mixed ^= mixed >> 32;
    const uintptr_t guard = static_cast<uintptr_t>(mixed) & ~static_cast<uintptr_t>(0xFF);
    if (guard != 0)
        __stack_chk_guard = guard;
}

}  // namespace
