// The host's standard input reader (bridge/pumpingsource.h): every byte
// once and in order, also when the reader has its first piece before the
// first call asks for it.
#include "pumpingsource.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool WriteText(HANDLE pipe, const std::string& text)
{
    DWORD put = 0;
    return WriteFile(pipe, text.data(), static_cast<DWORD>(text.size()), &put, nullptr) && put == text.size();
}

TEST(PumpingSource, HandsEveryPieceOnceInOrder)
{
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 1 << 16));
    const std::string first(1000, 'a'), second(5000, 'b');
    ASSERT_TRUE(WriteText(writeEnd, first));
    bridge::CPumpingSource source(readEnd);
    ASSERT_TRUE(source.Started());
    // Let the reader take the first piece before anything is read.
    DWORD waiting = 1;
    for (int i = 0; i < 200 && PeekNamedPipe(readEnd, nullptr, 0, nullptr, &waiting, nullptr) && waiting; ++i)
        Sleep(10);
    Sleep(100);
    ASSERT_TRUE(WriteText(writeEnd, second));
    CloseHandle(writeEnd);

    std::string got;
    char buffer[4096];
    for (size_t n; (n = source.Read(buffer, sizeof buffer)) > 0 && got.size() <= first.size() + second.size();)
        got.append(buffer, n);
    EXPECT_EQ(first.size() + second.size(), got.size());
    EXPECT_TRUE(got == first + second) << "the input came back in another order or twice";
    EXPECT_EQ(0u, source.Read(buffer, sizeof buffer)) << "the end stays the end";
    CloseHandle(readEnd);
}

}  // namespace
