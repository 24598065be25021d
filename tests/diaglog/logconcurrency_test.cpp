// The log store shared by several processes under Wine: concurrent appenders
// with a process that loads in a loop, and appenders killed at random points.
// Sizes: 2, 4 and 8 appenders of 200 records each; 100 kills.
#include "logfile.h"
#include "logtest.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

using diaglog::CLogFile;
using diaglog::LogImage;
using diaglog::ParseLog;

namespace {

std::string Helper(const std::string& args) { return std::string("\"") + QEL_LOG_HELPER + "\" " + args; }

const int kRecordsPerAppender = 200;

// Records left after `appends` appends to an empty log: up to 50, then the
// 51st leaves 40 and every 11 more do the same.
int CountAfter(int appends)
{
    return appends <= 50 ? appends : 40 + (appends - 51) % 11;
}

// The own file as read by the format itself: its count matches the records,
// nothing damaged follows them, and every record is intact.
void ExpectConsistent(const std::string& path, int expectedCount)
{
    logtest::Bytes file = logtest::ReadBytes(path);
    LogImage image;
    ASSERT_TRUE(ParseLog(file.data(), file.size(), image));
    EXPECT_EQ(static_cast<size_t>(image.declaredCount), image.headers.size());
    if (expectedCount >= 0) {
        EXPECT_EQ(static_cast<size_t>(expectedCount), image.headers.size());
    }
    std::string why;
    EXPECT_TRUE(logtest::ValidateRecords(image.headers, image.contents, &why)) << why;
}

class LogConcurrency : public ::testing::TestWithParam<int> {};

TEST_P(LogConcurrency, AppendersAndALoaderKeepTheFileConsistent)
{
    logtest::PrivateTemp temp;
    std::string ready = logtest::UniqueName("ready"), go = logtest::UniqueName("go"), stop = logtest::UniqueName("stop");
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE goEvent = CreateEventA(nullptr, TRUE, FALSE, go.c_str());
    HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, stop.c_str());
    logtest::Child loader(Helper("load-loop " + ready + " " + stop));
    ASSERT_TRUE(logtest::WaitForNamedEvent(readyEvent, 20000));

    // All appenders start together once they all run.
    std::vector<std::unique_ptr<logtest::Child>> appenders;
    for (int i = 0; i < GetParam(); ++i)
        appenders.emplace_back(new logtest::Child(
            Helper("append W" + std::to_string(i) + " " + std::to_string(kRecordsPerAppender) + " - " + go + " 0")));
    Sleep(500);
    DWORD start = GetTickCount();
    SetEvent(goEvent);
    int taken = 0;
    for (auto& appender : appenders) {
        DWORD code = appender->Wait(300000);
        ASSERT_LE(code, static_cast<DWORD>(kRecordsPerAppender)) << "appender failed or hung";
        taken += static_cast<int>(code);
    }
    SetEvent(stopEvent);
    EXPECT_EQ(0u, loader.Wait(30000)) << "a load saw a damaged log";
    CloseHandle(readyEvent);
    CloseHandle(goEvent);
    CloseHandle(stopEvent);
    std::printf("%d appenders: %d of %d records taken in %lu ms\n", GetParam(), taken,
                GetParam() * kRecordsPerAppender, GetTickCount() - start);

    // A writer that finds the log held past its retries drops its record, as
    // it should; how often depends on the machine's load, so the bound only
    // catches a store that drops most of them.
    EXPECT_GE(taken, GetParam() * kRecordsPerAppender / 2) << "too many records dropped";
    ExpectConsistent(temp.LogPath(), CountAfter(taken));
}

INSTANTIATE_TEST_SUITE_P(Appenders, LogConcurrency, ::testing::Values(2, 4, 8));

TEST(LogCrashSafety, KilledAppendersNeverLeaveAnUnreadableFile)
{
    logtest::PrivateTemp temp;
    std::mt19937 rng(4711);
    std::string ready = logtest::UniqueName("ready");
    HANDLE readyEvent = CreateEventA(nullptr, TRUE, FALSE, ready.c_str());
    for (int round = 0; round < 100; ++round) {
        ResetEvent(readyEvent);
        logtest::Child appender(Helper("append K" + std::to_string(round) + " 100000 " + ready + " - 1"));
        HANDLE started[] = {readyEvent, appender.Process()};
        ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, started, FALSE, 20000))
            << "round " << round << ": the appender has not appended, exit code " << appender.Wait(0);
        Sleep(rng() % 40);
        appender.Kill();

        CLogFile log;
        ASSERT_TRUE(log.Load(log.GetPath().c_str())) << "round " << round;
        ASSERT_EQ(log.GetCount(), static_cast<int>(log.GetHeaders().size()));
        ASSERT_GE(log.GetCount(), 1);
        ExpectConsistent(temp.LogPath(), -1);
        if (HasFailure()) {
            ADD_FAILURE() << "round " << round;
            break;
        }
    }
    CloseHandle(readyEvent);
}

}  // namespace
