// The log store on a real file system under Wine: creation, in-place appends
// and trimming, the time stamp of a new record, imports, damaged and
// zero-byte files, a file held by another process, the directory helpers,
// and the tool's mutex across processes.
#include "logfile.h"
#include "logtest.h"
#include "toolmutex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

using diaglog::CLogFile;
using diaglog::CLogFileException;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::LoadLe32;
using diaglog::LogImage;
using diaglog::LogRecordHeader;
using diaglog::MakeLogRecordHeader;
using diaglog::MutexExists;
using diaglog::ParseLog;
using diaglog::SerializeLog;
using diaglog::StoreLe32;

namespace {

using logtest::Bytes;
using logtest::ReadBytes;

std::string Helper(const std::string& args) { return std::string("\"") + QEL_LOG_HELPER + "\" " + args; }

std::string Num(const char* prefix, int i) { return prefix + std::to_string(i); }

// Adds records with subjects s<from>.. and contents c<from>..
void AddNumbered(CLogFile& log, int from, int to)
{
    for (int i = from; i < to; ++i)
        log.AddRecord(Num("s", i).c_str(), Num("c", i).c_str());
}

// A log file of records first..last-1 in the same form, written as a whole.
Bytes LogOf(int first, int last)
{
    std::deque<LogRecordHeader> headers;
    std::deque<std::string> contents;
    for (int i = first; i < last; ++i) {
        contents.push_back(Num("c", i));
        headers.push_back(MakeLogRecordHeader({2007, 3, 9, 14, 5, 7}, Num("s", i).c_str(), contents.back().c_str()));
    }
    Bytes out;
    SerializeLog(headers, contents, out);
    return out;
}

// The contents of a parsed file, checking that its count matches its records
// and that nothing follows them.
std::deque<std::string> ContentsOf(const Bytes& file)
{
    LogImage image;
    EXPECT_TRUE(ParseLog(file.data(), file.size(), image));
    EXPECT_EQ(static_cast<size_t>(image.declaredCount), image.headers.size());
    EXPECT_EQ(file.size(), image.end);
    return image.contents;
}

std::deque<std::string> Numbered(const char* prefix, int from, int to)
{
    std::deque<std::string> out;
    for (int i = from; i < to; ++i)
        out.push_back(Num(prefix, i));
    return out;
}

class LogStore : public ::testing::Test {
protected:
    logtest::PrivateTemp temp;
    std::string own = temp.LogPath();
};

TEST_F(LogStore, FirstRecordCreatesTheFileNextOnesAppendInPlace)
{
    CLogFile log;
    EXPECT_EQ(own, log.GetPath());
    log.AddRecord("s0", "c0");
    Bytes one = ReadBytes(own);
    EXPECT_EQ(Numbered("c", 0, 1), ContentsOf(one));
    log.AddRecord("s1", "c1");
    Bytes two = ReadBytes(own);
    ASSERT_EQ(one.size() + 132 + 16, two.size());
    EXPECT_EQ(2u, LoadLe32(two.data() + 48));
    EXPECT_TRUE(std::equal(one.begin() + 52, one.end(), two.begin() + 52)) << "the first record moved";
    EXPECT_EQ(2, log.GetCount());
    EXPECT_FALSE(logtest::FileExists(own + ".new"));

    // Deleted behind the object's back: the next record starts a new file.
    DeleteFileA(own.c_str());
    log.AddRecord("s2", "c2");
    EXPECT_EQ(Numbered("c", 2, 3), ContentsOf(ReadBytes(own)));
    EXPECT_EQ(Numbered("c", 2, 3), log.GetContents());

    // Missing directories are created with the file.
    std::string nested = temp.Dir() + "a\\b";
    SetEnvironmentVariableA("TMP", nested.c_str());
    CLogFile deeper;
    deeper.AddRecord("s0", "c0");
    EXPECT_EQ(Numbered("c", 0, 1), ContentsOf(ReadBytes(nested + "\\KvoLog.log")));
}

TEST_F(LogStore, FiftiethAppendsInPlaceFiftyFirstLeavesTheNewestForty)
{
    CLogFile log;
    AddNumbered(log, 0, 49);
    Bytes before = ReadBytes(own);
    AddNumbered(log, 49, 50);
    Bytes fifty = ReadBytes(own);
    EXPECT_EQ(Numbered("c", 0, 50), ContentsOf(fifty));
    EXPECT_TRUE(std::equal(before.begin() + 52, before.end(), fifty.begin() + 52));

    AddNumbered(log, 50, 51);
    EXPECT_EQ(Numbered("c", 11, 51), ContentsOf(ReadBytes(own)));
    EXPECT_EQ(40, log.GetCount());
    EXPECT_EQ(Numbered("c", 11, 51), log.GetContents());
    EXPECT_FALSE(logtest::FileExists(own + ".new"));
}

TEST_F(LogStore, LoadOfAnotherFileImportsIt)
{
    std::string foreign = temp.Dir() + "export.log";
    CLogFile log;
    logtest::WriteBytes(foreign, LogOf(0, 3));
    EXPECT_TRUE(log.Load(foreign.c_str()));
    EXPECT_EQ(LogOf(0, 3), ReadBytes(own));

    logtest::WriteBytes(foreign, LogOf(0, 0));
    EXPECT_TRUE(log.Load(foreign.c_str()));
    EXPECT_EQ(LogOf(0, 0), ReadBytes(own));

    EXPECT_TRUE(log.Load((temp.Dir() + "missing.log").c_str()));
    EXPECT_EQ(0, log.GetCount());
    EXPECT_EQ(LogOf(0, 0), ReadBytes(own));

    Bytes bad = LogOf(0, 3);
    bad[8] = 2;
    logtest::WriteBytes(foreign, bad);
    EXPECT_FALSE(log.Load(foreign.c_str()));
    EXPECT_EQ(0, log.GetCount());
    EXPECT_EQ(LogOf(0, 0), ReadBytes(own));

    // More records than the limit: imported whole, trimmed by the next append
    // to the newest 39 and the new one.
    logtest::WriteBytes(foreign, LogOf(0, 60));
    EXPECT_TRUE(log.Load(foreign.c_str()));
    EXPECT_EQ(60, log.GetCount());
    EXPECT_EQ(Numbered("c", 0, 60), ContentsOf(ReadBytes(own)));
    AddNumbered(log, 60, 61);
    EXPECT_EQ(Numbered("c", 21, 61), ContentsOf(ReadBytes(own)));
    EXPECT_EQ(40, log.GetCount());
    EXPECT_EQ(40u, log.GetHeaders().size());
}

TEST_F(LogStore, ZeroByteOwnFileDropsRecordsUntilCleared)
{
    logtest::WriteBytes(own, Bytes());
    CLogFile log;
    EXPECT_FALSE(log.Load(own.c_str()));
    AddNumbered(log, 0, 2);
    EXPECT_TRUE(ReadBytes(own).empty());
    EXPECT_TRUE(logtest::FileExists(own));
    log.Clear();
    EXPECT_FALSE(logtest::FileExists(own));
    AddNumbered(log, 0, 1);
    EXPECT_EQ(Numbered("c", 0, 1), ContentsOf(ReadBytes(own)));
}

// A log without records is written anew by its first record, as a missing
// one is: the file is then exactly the header and that record.
TEST_F(LogStore, FirstRecordRewritesALogWithoutRecords)
{
    Bytes reserved = LogOf(0, 0);
    std::fill(reserved.begin() + 12, reserved.begin() + 48, 0xA5);
    Bytes junk = reserved;
    junk.insert(junk.end(), 300, 0x5A);
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"reserved bytes set, junk behind the count", junk},
        {"header without a count", Bytes(reserved.begin(), reserved.begin() + 48)},
    };
    for (const auto& c : cases) {
        logtest::WriteBytes(own, c.file);
        CLogFile log;
        log.AddRecord("s0", "c0");
        EXPECT_EQ(Numbered("c", 0, 1), log.GetContents()) << c.name;
        Bytes expected;
        SerializeLog(log.GetHeaders(), log.GetContents(), expected);
        EXPECT_EQ(expected, ReadBytes(own)) << c.name;
    }
}

TEST_F(LogStore, DamagedOwnFileKeepsWholeRecordsAndAppendsBehindThem)
{
    // A count far past the records and half a record behind them.
    Bytes file = LogOf(0, 3);
    Bytes partial = LogOf(3, 4);
    file.insert(file.end(), partial.begin() + 52, partial.begin() + 52 + 100);
    StoreLe32(0x7FFFFFFF, file.data() + 48);
    logtest::WriteBytes(own, file);
    CLogFile log;
    EXPECT_TRUE(log.Load(own.c_str()));
    EXPECT_EQ(Numbered("c", 0, 3), log.GetContents());
    EXPECT_EQ(3, log.GetCount());
    AddNumbered(log, 3, 4);
    EXPECT_EQ(LogOf(0, 4).size(), ReadBytes(own).size());
    EXPECT_EQ(Numbered("c", 0, 4), ContentsOf(ReadBytes(own)));

    // A length of 0xFFFFFFFF in the second record: only the first is read.
    file = LogOf(0, 3);
    StoreLe32(0xFFFFFFFF, file.data() + 52 + 132 + 16 + 128);
    logtest::WriteBytes(own, file);
    AddNumbered(log, 5, 6);
    EXPECT_EQ((std::deque<std::string>{"c0", "c5"}), ContentsOf(ReadBytes(own)));
}

TEST_F(LogStore, EmptyContentIsARecordWithoutCipherText)
{
    CLogFile log;
    log.AddRecord("empty", "");
    log.AddRecord(nullptr, nullptr);
    log.AddRecord("x", "x");
    Bytes file = ReadBytes(own);
    EXPECT_EQ((std::deque<std::string>{"", "", "x"}), ContentsOf(file));
    EXPECT_EQ(52u + 3 * 132 + 16, file.size());
}

// Seconds since 1601 of a local calendar time.
LONGLONG Seconds(const SYSTEMTIME& t)
{
    FILETIME f = {};
    SystemTimeToFileTime(&t, &f);
    return static_cast<LONGLONG>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000000;
}

TEST_F(LogStore, RecordIsStampedWithTheLocalTimeOfTheCall)
{
    SYSTEMTIME before = {}, after = {};
    CLogFile log;
    GetLocalTime(&before);
    log.AddRecord("time", "t");
    GetLocalTime(&after);

    CLogFile reader;
    ASSERT_TRUE(reader.Load(own.c_str()));
    ASSERT_EQ(1, reader.GetCount());
    const LogRecordHeader& h = reader.GetHeaders().front();
    std::string text(h.time, std::find(h.time, h.time + sizeof h.time, '\0'));
    // year/month/day/hour:minute:second
    SYSTEMTIME stamped = {};
    int y = 0, mo = 0, d = 0, hh = 0, mi = 0, ss = 0, used = 0;
    ASSERT_EQ(6, std::sscanf(text.c_str(), "%d/%d/%d/%d:%d:%d%n", &y, &mo, &d, &hh, &mi, &ss, &used))
        << "time text '" << text << "'";
    EXPECT_EQ(text.size(), static_cast<size_t>(used)) << "text after the time in '" << text << "'";
    stamped.wYear = static_cast<WORD>(y);
    stamped.wMonth = static_cast<WORD>(mo);
    stamped.wDay = static_cast<WORD>(d);
    stamped.wHour = static_cast<WORD>(hh);
    stamped.wMinute = static_cast<WORD>(mi);
    stamped.wSecond = static_cast<WORD>(ss);
    FILETIME check = {};
    ASSERT_TRUE(SystemTimeToFileTime(&stamped, &check)) << "not a valid date: '" << text << "'";
    EXPECT_GE(Seconds(stamped), Seconds(before) - 2) << "'" << text << "' before the call";
    EXPECT_LE(Seconds(stamped), Seconds(after) + 2) << "'" << text << "' after the call";
}

// The own file held open by another process for longer than the retries
// last: every operation gives up and nothing changes.
TEST_F(LogStore, FileHeldByAnotherProcessMakesOperationsGiveUp)
{
    logtest::WriteBytes(own, LogOf(0, 2));
    CLogFile saver, clearer, loader, adder;
    ASSERT_TRUE(saver.Load(own.c_str()));
    ASSERT_TRUE(clearer.Load(own.c_str()));
    ASSERT_TRUE(loader.Load(own.c_str()));

    std::string ready = logtest::UniqueName("ready");
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    // Held far longer than the retries last, and ended by the test: an
    // operation that waited for the file instead of giving up would take
    // the whole 30 s, however slow the machine is.
    logtest::Child holder(Helper("hold \"" + own + "\" w r 30000 " + ready));
    ASSERT_TRUE(logtest::WaitForNamedEvent(readyEvent, 20000));
    DWORD start = GetTickCount();
    bool saved = true, loaded = true;
    logtest::Thread threads[] = {
        logtest::Thread([&] { saved = saver.Save(); }),
        logtest::Thread([&] { clearer.Clear(); }),
        logtest::Thread([&] { loaded = loader.Load(own.c_str()); }),
        logtest::Thread([&] { adder.AddRecord("s9", "c9"); }),
    };
    for (logtest::Thread& t : threads)
        t.join();
    DWORD took = GetTickCount() - start;
    EXPECT_FALSE(saved);
    EXPECT_FALSE(loaded);
    EXPECT_GE(took, 1900u);
    EXPECT_LT(took, 10000u) << "the operations should give up after about 2 s, not wait for the file";
    EXPECT_EQ(Numbered("c", 0, 2), clearer.GetContents());
    EXPECT_EQ(Numbered("c", 0, 2), loader.GetContents());
    holder.Kill();
    EXPECT_EQ(LogOf(0, 2), ReadBytes(own));
    CloseHandle(readyEvent);

    // Held without sharing for a moment only: the retries outlast it.
    readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    logtest::Child brief(Helper("hold \"" + own + "\" r 0 400 " + ready));
    ASSERT_TRUE(logtest::WaitForNamedEvent(readyEvent, 20000));
    EXPECT_TRUE(loader.Load(own.c_str()));
    adder.AddRecord("s2", "c2");
    EXPECT_EQ(Numbered("c", 0, 3), ContentsOf(ReadBytes(own)));
    EXPECT_TRUE(adder.WaitForAccess(0));
    brief.Wait(10000);
    CloseHandle(readyEvent);
}

// Paths the platform refuses end an operation at once instead of being
// waited for like a file in use: a directory in the own file's place and one
// in the place of the new file (both access denied), and characters that no
// file name may hold.
TEST_F(LogStore, RefusedPathsFailAtOnce)
{
    std::string taken = temp.Dir() + "taken", noNew = temp.Dir() + "nonew";
    ASSERT_TRUE(CreateDirectoryA(taken.c_str(), nullptr) &&
                CreateDirectoryA((taken + "\\KvoLog.log").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(noNew.c_str(), nullptr) &&
                CreateDirectoryA((noNew + "\\KvoLog.log.new").c_str(), nullptr));
    const struct {
        std::string dir;
        bool ownRefused;  // else only the whole-file write of the first record is
    } cases[] = {{taken, true}, {noNew, false}, {temp.Dir() + "in<valid>|name", true}};
    for (const auto& c : cases) {
        SetEnvironmentVariableA("TMP", c.dir.c_str());
        CLogFile log;
        ASSERT_EQ(c.dir + "\\KvoLog.log", log.GetPath());
        DWORD error = 0, start = GetTickCount();
        try {
            log.AddRecord("s0", "c0");
        } catch (const CLogFileException& e) {
            error = e.Error();
        }
        DWORD took = GetTickCount() - start;
        EXPECT_NE(0u, error) << c.dir << ": expected AddRecord to throw the platform's error, got no exception";
        // Retries would last 2 s by the store's own clock: anything below
        // that is "at once", also on a loaded machine.
        EXPECT_LT(took, 1900u) << c.dir << ": AddRecord, error " << error;
        if (c.ownRefused) {
            start = GetTickCount();
            EXPECT_FALSE(log.WaitForAccess(0)) << c.dir;
            took = GetTickCount() - start;
            EXPECT_LT(took, 1900u) << c.dir << ": WaitForAccess";
        }
    }
}

TEST_F(LogStore, DirectoryHelpers)
{
    EXPECT_EQ("C:\\Temp\\", CLogFile::DirectoryOf("C:\\Temp\\KvoLog.log"));
    EXPECT_EQ("", CLogFile::DirectoryOf("KvoLog.log"));
    // 0x5C as the trail byte of a double-byte character is no backslash.
    EXPECT_EQ("C:\\\x95\\dir\\", CLogFile::DirectoryOf("C:\\\x95\\dir\\KvoLog.log"));
    EXPECT_EQ("C:\\d\\", CLogFile::DirectoryOf("C:\\d\\\x95\\"));

    std::string base = temp.Dir();
    EXPECT_FALSE(CLogFile::CreateDirectoryTree(base));
    EXPECT_TRUE(CLogFile::CreateDirectoryTree(base + "x\\y"));
    EXPECT_TRUE(CLogFile::IsDirectory(base + "x\\y"));
    CLogFile::CreateDirectoryTree(base + "a\\b\\c\\");
    EXPECT_TRUE(CLogFile::IsDirectory(base + "a\\b\\c"));
    EXPECT_FALSE(CLogFile::CreateDirectoryTree(base + "a\\b\\c\\"));
    EXPECT_FALSE(CLogFile::CreateDirectoryTree(""));
    EXPECT_FALSE(CLogFile::CreateDirectoryTree("nobackslash"));
    EXPECT_FALSE(CLogFile::CreateDirectoryTree(base + std::string(300, 'z') + "\\"));

    logtest::WriteBytes(base + "file", Bytes(1, 'f'));
    EXPECT_FALSE(CLogFile::IsDirectory(base + "file"));
    EXPECT_FALSE(CLogFile::IsDirectory(base + "missing"));
    ASSERT_TRUE(SetFileAttributesA((base + "x").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_FALSE(CLogFile::IsDirectory(base + "x"));
}

TEST(ToolMutex, ExistenceAcrossProcesses)
{
    std::string name = logtest::UniqueName("tool");
    EXPECT_EQ(0, MutexExists(name.c_str()));
    HANDLE mine = CreateToolMutex(name.c_str());
    EXPECT_GT(reinterpret_cast<uintptr_t>(mine), 10u);
    EXPECT_EQ(1, MutexExists(name.c_str()));
    HANDLE marker = CreateToolMutex(name.c_str());
    EXPECT_EQ(1u, reinterpret_cast<uintptr_t>(marker));
    CloseToolMutex(marker);
    CloseToolMutex(nullptr);
    EXPECT_EQ(1, MutexExists(name.c_str()));
    CloseToolMutex(mine);
    EXPECT_EQ(0, MutexExists(name.c_str()));

    std::string ready = logtest::UniqueName("ready"), stop = logtest::UniqueName("stop");
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, stop.c_str());
    logtest::Child tool(Helper("mutex " + name + " " + ready + " " + stop));
    ASSERT_TRUE(logtest::WaitForNamedEvent(readyEvent, 20000));
    EXPECT_EQ(1, MutexExists(name.c_str()));
    EXPECT_EQ(1u, reinterpret_cast<uintptr_t>(CreateToolMutex(name.c_str())));
    SetEvent(stopEvent);
    EXPECT_EQ(0u, tool.Wait(10000));
    EXPECT_EQ(0, MutexExists(name.c_str()));
    CloseHandle(readyEvent);
    CloseHandle(stopEvent);
}

}  // namespace
