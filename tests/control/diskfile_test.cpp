// The control's files on their own (control/diskfile.h): which names the
// source refuses, how it reads, and that the staged output reaches its
// target only when committed and never stays behind as a temporary file.
#include "diskfile.h"
#include "scratchdir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using qel::CDiskSource;
using qel::CStagedSink;
using scratch::Listing;
using scratch::Read;

class DiskFile : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratchDir.Made()) << dir; }

    static void Write(const std::string& path, const std::string& content)
    {
        ASSERT_TRUE(scratch::Write(path, content)) << path;
    }

    scratch::CDir scratchDir{"qeldisk"};
    const std::string dir = scratchDir.Path();  // ends with a backslash
};

std::string Content(size_t size)
{
    std::string s(size, ' ');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

TEST_F(DiskFile, SourceOpensOnlyFilesOnADisk)
{
    Write(dir + "file.txt", "abc");
    CreateDirectoryA((dir + "sub").c_str(), nullptr);
    const std::string longName(MAX_PATH - dir.size(), 'n');  // dir + name: MAX_PATH bytes
    Write(dir + longName.substr(1), "fits");
    const struct {
        std::string path;
        bool opens;
    } cases[] = {
        {dir + "file.txt", true},  {dir + "FILE.TXT", true},         {dir + longName.substr(1), true},
        {dir + longName, false},   {"", false},                      {dir + "missing", false},
        {dir + "sub", false},      {dir + "sub\\", false},           {"NUL", false},
        {dir + "COM1", false},     {dir + "nul.txt", false},         {dir + "con .x", false},
        {"\\\\.\\NUL", false},     {"\\\\.\\pipe\\qeldisk-none", false},
    };
    for (const auto& c : cases) {
        CDiskSource source;
        EXPECT_EQ(c.opens, source.Open(c.path.c_str(), CDiskSource::Sharing::Read)) << c.path;
        EXPECT_EQ(c.opens, source.IsOpen()) << c.path;
    }
    CDiskSource none;
    EXPECT_FALSE(none.Open(nullptr, CDiskSource::Sharing::Read));
}

TEST_F(DiskFile, SourceReadsUpToAndAll)
{
    const std::string path = dir + "data";
    Write(path, Content(1000));
    CDiskSource source;
    ASSERT_TRUE(source.Open(path.c_str(), CDiskSource::Sharing::Read));
    unsigned long long size = 0;
    ASSERT_TRUE(source.Size(&size));
    EXPECT_EQ(1000u, size);
    // ReadUpTo fills whole pieces until the end, then a short one, then none.
    std::string got;
    for (DWORD expected : {300u, 300u, 300u, 100u, 0u}) {
        char buffer[300];
        DWORD n = 12345;
        ASSERT_TRUE(source.ReadUpTo(buffer, sizeof(buffer), &n));
        EXPECT_EQ(expected, n);
        got.append(buffer, n);
    }
    EXPECT_EQ(Content(1000), got);

    // ReadAll from the start of a new source, stopped by the taker.
    const struct {
        DWORD chunk;
        size_t stopAfter;  // bytes after which the taker stops; 0: never
        CDiskSource::Outcome outcome;
        size_t taken;
    } cases[] = {{64, 0, CDiskSource::Outcome::End, 1000},   {1000, 0, CDiskSource::Outcome::End, 1000},
                 {4096, 0, CDiskSource::Outcome::End, 1000}, {64, 128, CDiskSource::Outcome::Stopped, 128},
                 {64, 1, CDiskSource::Outcome::Stopped, 64}, {1000, 1000, CDiskSource::Outcome::Stopped, 1000}};
    for (const auto& c : cases) {
        CDiskSource again;
        ASSERT_TRUE(again.Open(path.c_str(), CDiskSource::Sharing::Read));
        std::string taken;
        const CDiskSource::Outcome outcome = again.ReadAll(c.chunk, [&](const unsigned char* data, DWORD n) {
            EXPECT_LE(n, c.chunk);
            taken.append(reinterpret_cast<const char*>(data), n);
            return c.stopAfter == 0 || taken.size() < c.stopAfter;
        });
        EXPECT_EQ(c.outcome, outcome) << c.chunk << " " << c.stopAfter;
        EXPECT_EQ(Content(1000).substr(0, c.taken), taken) << c.chunk << " " << c.stopAfter;
    }
    // Nothing open: every read fails.
    CDiskSource closed;
    DWORD n = 0;
    char byte;
    EXPECT_FALSE(closed.ReadSome(&byte, 1, &n));
    EXPECT_EQ(CDiskSource::Outcome::Failed, closed.ReadAll(8, [](const unsigned char*, DWORD) { return true; }));
}

TEST_F(DiskFile, StagedOutputReachesItsTargetOnlyWhenCommitted)
{
    const std::string target = dir + "out.gse";
    const struct {
        const char* what;
        bool oldTarget, close, commit, committed;
    } cases[] = {
        {"committed over an old file", true, true, true, true},
        {"committed, no old file", false, true, true, true},
        {"dropped, old file", true, true, false, false},
        {"dropped open, no old file", false, false, false, false},
        {"commit while open", true, false, true, false},
    };
    for (const auto& c : cases) {
        if (c.oldTarget)
            Write(target, "old bytes");
        std::map<std::string, std::string> expected = Listing(dir);
        {
            CStagedSink sink;
            ASSERT_TRUE(sink.Create(target)) << c.what;
            ASSERT_TRUE(sink.WriteAll(Content(3000).data(), 3000)) << c.what;
            ASSERT_TRUE(sink.WriteAll("", 0)) << c.what;
            if (c.close) {
                EXPECT_TRUE(sink.Close()) << c.what;
            }
            if (c.commit) {
                EXPECT_EQ(c.committed, sink.Commit()) << c.what;
            }
        }
        if (c.committed)
            expected["out.gse"] = Content(3000);
        EXPECT_EQ(expected, Listing(dir)) << c.what;
        DeleteFileA(target.c_str());
    }
}

TEST_F(DiskFile, StagedOutputRefusesTargetsWithoutPlace)
{
    CreateDirectoryA((dir + "taken").c_str(), nullptr);
    const std::string cases[] = {dir,           dir + "sub\\",        dir + "missing\\out", dir + "NUL",
                                 dir + "com1.x", "\\\\.\\qeldisk-out", std::string(MAX_PATH, 'n')};
    for (const std::string& target : cases) {
        CStagedSink sink;
        EXPECT_FALSE(sink.Create(target)) << target;
    }
    // A directory holds the name: the move fails and the temporary file goes.
    CStagedSink sink;
    ASSERT_TRUE(sink.Create(dir + "taken"));
    EXPECT_TRUE(sink.WriteAll("x", 1));
    EXPECT_TRUE(sink.Close());
    EXPECT_FALSE(sink.Commit());
    sink.Discard();
    const std::map<std::string, std::string> expected = {{"taken", "<dir>"}};
    EXPECT_EQ(expected, Listing(dir));
}

TEST_F(DiskFile, IsSameFileWhateverTheSpelling)
{
    Write(dir + "a.txt", "a");
    Write(dir + "b.txt", "b");
    CDiskSource source;
    ASSERT_TRUE(source.Open((dir + "a.txt").c_str(), CDiskSource::Sharing::ReadWrite));
    const std::string folder = dir.substr(dir.rfind('\\', dir.size() - 2) + 1);  // its name and a backslash
    const struct {
        std::string path;
        bool same;
    } cases[] = {{dir + "a.txt", true},  {dir + "A.TXT", true},    {dir + "a.txt.", true},
                 {dir + "..\\" + folder + "a.txt", true},
                 {dir + "b.txt", false}, {dir + "missing", false}, {dir, false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.same, qel::IsSameFile(source.Handle(), c.path)) << c.path;
}

}  // namespace
