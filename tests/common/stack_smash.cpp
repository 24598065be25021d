// Helper of stackguard_test: overruns a buffer on purpose, the way the stack
// protection of the Windows builds must stop.
//
//   stack_smash stack N   writes N bytes into a 16-byte local array, then returns
//   stack_smash copy N    memcpy of N bytes into a 16-byte global array
//   stack_smash guard     exits with bits 8 to 39 of the stack guard
//
// Exit code 0 when nothing stopped it (N up to 16); 0xC0000409
// (STATUS_STACK_BUFFER_OVERRUN) when the protection did; 2 for bad arguments.
// An exception ends it with its code, without a crash debugger: what a
// build without the protection (or with a handler that raises one) does.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" uintptr_t __stack_chk_guard;

namespace {

char g_small[16];
char g_next[64];
const char kSource[64] = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcde";

// The guard is checked when this returns: the loop has overwritten it when
// `n` goes past the array.
__attribute__((noinline)) int WriteLocal(size_t n)
{
    char buffer[16];
    volatile char* p = buffer;
    for (size_t i = 0; i < n; ++i)
        p[i] = 'A';
    return p[0];
}

// The size of the destination is known here, the length only at run time:
// the checked memcpy stops the copy before it runs into g_next.
__attribute__((noinline)) int CopyGlobal(size_t n)
{
    std::memcpy(g_small, kSource, n);
    return g_small[0] + g_next[0];
}

LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* e)
{
    TerminateProcess(GetCurrentProcess(), e->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv)
{
    SetUnhandledExceptionFilter(EndWithExceptionCode);
    if (argc == 2 && std::strcmp(argv[1], "guard") == 0)
        return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(__stack_chk_guard) >> 8));
    if (argc != 3)
        return 2;
    const size_t n = std::strtoul(argv[2], nullptr, 10);
    if (n > sizeof kSource)
        return 2;
    if (std::strcmp(argv[1], "stack") == 0)
        return WriteLocal(n) == 'A' ? 0 : 1;
    if (std::strcmp(argv[1], "copy") == 0)
        return CopyGlobal(n) != 0 ? 0 : 1;
    return 2;
}
