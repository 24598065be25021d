// Stack protection of the Windows builds: an overrun of a local array ends
// the process when the function returns, a memcpy past a destination of
// known size ends it before the copy, both with STATUS_STACK_BUFFER_OVERRUN
// (no exception that a handler could catch); the guard differs from process
// to process and keeps a zero low byte.
#include "logtest.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

extern "C" uintptr_t __stack_chk_guard;

namespace {

DWORD RunHelper(const std::string& arguments)
{
    logtest::Child child(std::string("\"") + QEL_SMASH_HELPER + "\" " + arguments);
    EXPECT_TRUE(child.Started()) << arguments;
    return child.Wait(30000);
}

TEST(StackProtection, OverrunsEndTheProcess)
{
    const struct {
        const char* arguments;
        DWORD exitCode;
    } cases[] = {
        {"stack 16", 0},
        {"stack 64", STATUS_STACK_BUFFER_OVERRUN},
        {"copy 16", 0},
        {"copy 17", STATUS_STACK_BUFFER_OVERRUN},
        {"copy 64", STATUS_STACK_BUFFER_OVERRUN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.exitCode, RunHelper(c.arguments)) << c.arguments;
}

TEST(StackProtection, GuardSeededPerProcess)
{
    EXPECT_NE(0u, __stack_chk_guard);
    EXPECT_EQ(0u, __stack_chk_guard & 0xFF) << "the low byte stops string copies";
    const DWORD own = static_cast<DWORD>(static_cast<uint64_t>(__stack_chk_guard) >> 8);
    const DWORD first = RunHelper("guard");
    const DWORD second = RunHelper("guard");
    // Each value is random: two of them may meet by chance (one in 2^24 in
    // the x86 build), all three only when the guard is not seeded per process.
    EXPECT_FALSE(own == first && first == second) << "the same guard in three processes: " << own;
}

}  // namespace
