// Diagnostic log store: CLogFile::AddRecord into logs holding 0, 10, 49 and
// 50 records, and CLogFile::Load of a 50-record log, each against a plain
// copy (CopyFileA) of the same file measured in the same run. Records carry
// a signing record's worth of content (about 1.8 KB). Prints the median time
// of each and the ratio; the target is a ratio of at most 5.
//
// A Windows program, built in the win64 (or win32) configuration and run
// under Wine:
//
//   cmake --build build/win64 --target logstore_bench
//   cmake/wine-run build/win64/wine build/win64/bench/logstore_bench.exe [rounds]
//
// It works in a directory of its own under the temporary directory (TMP and
// TEMP point there while it runs) and removes it at the end.
#include "logfile.h"
#include "wintimer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using diaglog::CLogFile;
using diaglog::CurrentLogTime;
using diaglog::LogRecordHeader;
using diaglog::MakeLogRecordHeader;
using diaglog::SerializeLog;

namespace {

const size_t kContentBytes = 1800;

std::string Content(int i)
{
    std::string text = "Plain:12:record " + std::to_string(i) + "\r\nCert:1500:-----BEGIN CERTIFICATE-----\r\n";
    while (text.size() < kContentBytes)
        text += "MIIDdzCCAl+gAwIBAgIEbH5rLzANBgkqhkiG9w0BAQsFADBsMRAwDgYDVQQGEwdV\r\n";
    text.resize(kContentBytes);
    return text;
}

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(f);
    return ok;
}

// A log file of `records` records.
std::vector<unsigned char> LogOf(int records)
{
    std::deque<LogRecordHeader> headers;
    std::deque<std::string> contents;
    for (int i = 0; i < records; ++i) {
        contents.push_back(Content(i));
        headers.push_back(MakeLogRecordHeader(CurrentLogTime(), "*signed data", contents.back().c_str()));
    }
    std::vector<unsigned char> bytes;
    SerializeLog(headers, contents, bytes);
    return bytes;
}

double MedianOf(std::vector<double>& times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Pair {
    double store;
    double plain;
};

// Median times of `store` (after an untimed `setup`) and of `plain`, taken
// in alternation so that both meet the same machine load.
Pair Measure(int rounds, const std::function<void()>& setup, const std::function<void()>& store,
             const std::function<void()>& plain)
{
    std::vector<double> storeTimes, plainTimes;
    for (int i = 0; i < rounds; ++i) {
        setup();
        double start = Now();
        store();
        double middle = Now();
        plain();
        plainTimes.push_back(Now() - middle);
        storeTimes.push_back(middle - start);
    }
    return {MedianOf(storeTimes), MedianOf(plainTimes)};
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
    if (rounds < 1)
        rounds = 1;
    char base[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, base);
    std::string dir = std::string(base) + "logstore_bench." + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
    const std::string own = CLogFile().GetPath();
    const std::string source = dir + "\\source.log", copy = dir + "\\copy.log";
    const std::string content = Content(999);

    std::printf("%-28s %12s %12s %8s\n", "operation", "store (us)", "copy (us)", "ratio");
    bool ok = true;
    auto report = [&](const std::string& what, const Pair& times) {
        double ratio = times.store / times.plain;
        std::printf("%-28s %12.1f %12.1f %7.2fx\n", what.c_str(), times.store * 1e6, times.plain * 1e6, ratio);
        ok = ok && ratio <= 5.0;
    };
    auto plainCopy = [&] { CopyFileA(source.c_str(), copy.c_str(), FALSE); };

    for (int records : {0, 10, 49, 50}) {
        if (!WriteFileBytes(source, LogOf(records))) {
            std::printf("cannot write %s\n", source.c_str());
            return 1;
        }
        Pair times = Measure(
            rounds, [&] { CopyFileA(source.c_str(), own.c_str(), FALSE); },
            [&] {
                CLogFile log;
                log.AddRecord("*signed data", content.c_str());
            },
            plainCopy);
        report("AddRecord into " + std::to_string(records) + " records", times);
    }

    CopyFileA(source.c_str(), own.c_str(), FALSE);  // the 50-record log
    Pair times = Measure(
        rounds, [] {},
        [&] {
            CLogFile log;
            log.Load(own.c_str());
        },
        plainCopy);
    report("Load of 50 records", times);

    for (const std::string& path : {own, source, copy})
        DeleteFileA(path.c_str());
    RemoveDirectoryA(dir.c_str());
    std::printf("%s\n", ok ? "all within 5x" : "some above 5x");
    return 0;
}
