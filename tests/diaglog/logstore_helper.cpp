// Helper processes of the log store tests (each run in the environment,
// and so the temporary directory, of the test that starts it):
//
//   append TAG COUNT READY GO LINGER
//                                wait for the event GO, AddRecord COUNT test
//                                records and set the event READY after the
//                                first ("-": no event); LINGER 1 makes the
//                                store pause at its crash points; exit code:
//                                how many the log took (each checked after
//                                its append)
//   load-loop READY STOP         Load the own log until the event STOP is set,
//                                setting READY after the first load; every
//                                load must succeed with intact records or
//                                fail cleanly; exit code: damaged loads
//   hold PATH r|w 0|r|rw MS READY
//                                open PATH for reading or writing with that
//                                sharing, set READY, hold it MS milliseconds
//   mutex NAME READY STOP        CreateToolMutex(NAME), set READY, wait for
//                                STOP, CloseToolMutex
//   tool-mutex-start DIR         for scripts: start a process that holds the
//                                tool's own mutex (tool-mutex DIR) and return
//                                once it does; exit code 0 when it does
//   tool-mutex DIR               create the tool's mutex, write DIR\tool.ready,
//                                close it once DIR\tool.stop exists
//   tool-mutex-stop DIR          write DIR\tool.stop and wait until the mutex
//                                is gone; exit code 0 when it is
//   with-temp COMMAND...         run COMMAND with a private TMP and TEMP and
//                                QEL_LOG_HELPER naming this program; exit
//                                code: COMMAND's, or 124 when it had to be
//                                killed after two minutes
//   check INDEX SUBJECT CONTENT  exit 0 when record INDEX of the own log
//                                (negative: from the end) has that subject
//                                (as stored) and content, 1 when not, 2 when
//                                there is no such record
#include "logfile.h"
#include "logtest.h"
#include "toolmutex.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using diaglog::CLogFile;
using diaglog::CLogFileException;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::LogRecordHeader;
using diaglog::MutexExists;
using diaglog::kToolMutexName;

namespace {

bool g_linger = false;

HANDLE OpenNamedEvent(const char* name)
{
    return std::strcmp(name, "-") == 0 ? nullptr : OpenEventA(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name);
}

int Append(const std::string& tag, int count, const char* ready, const char* go)
{
    HANDLE event = OpenNamedEvent(ready);
    if (HANDLE start = OpenNamedEvent(go))
        WaitForSingleObject(start, 60000);
    int taken = 0;
    for (int seq = 0; seq < count; ++seq) {
        std::string content = logtest::RecordContent(tag, seq);
        CLogFile log;
        log.AddRecord(logtest::RecordSubject(tag).c_str(), content.c_str());
        if (!log.GetContents().empty() && log.GetContents().back() == content)
            ++taken;
        if (event && seq == 0)
            SetEvent(event);
    }
    return taken;
}

int LoadLoop(const char* ready, const char* stop)
{
    HANDLE readyEvent = OpenNamedEvent(ready);
    HANDLE event = OpenNamedEvent(stop);
    if (!event)
        return 100;
    int loads = 0, failed = 0, damaged = 0;
    do {
        CLogFile log;
        ++loads;
        if (!log.Load(log.GetPath().c_str())) {
            ++failed;
            continue;
        }
        std::string why;
        if (log.GetCount() != static_cast<int>(log.GetHeaders().size()) ||
            !logtest::ValidateRecords(log.GetHeaders(), log.GetContents(), &why)) {
            std::printf("load-loop: %s\n", why.c_str());
            ++damaged;
        }
        if (readyEvent && loads == 1)
            SetEvent(readyEvent);
    } while (WaitForSingleObject(event, 2) == WAIT_TIMEOUT);
    std::printf("load-loop: %d loads, %d failed cleanly, %d damaged\n", loads, failed, damaged);
    return damaged;
}

int Hold(const char* path, const char* access, const char* share, DWORD ms, const char* ready)
{
    DWORD shareMode = std::strcmp(share, "rw") == 0 ? FILE_SHARE_READ | FILE_SHARE_WRITE
                      : std::strcmp(share, "r") == 0 ? FILE_SHARE_READ
                                                     : 0;
    HANDLE file = CreateFileA(path, *access == 'w' ? GENERIC_WRITE : GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    SetEvent(OpenNamedEvent(ready));
    Sleep(ms);
    CloseHandle(file);
    return 0;
}

int Mutex(const char* name, const char* ready, const char* stop)
{
    HANDLE mutex = CreateToolMutex(name);
    SetEvent(OpenNamedEvent(ready));
    WaitForSingleObject(OpenNamedEvent(stop), 60000);
    CloseToolMutex(mutex);
    return 0;
}

// Polls until `done` holds, for at most `ms` milliseconds.
template <typename Done>
bool WaitUntil(Done done, int ms)
{
    for (int waited = 0; !done(); waited += 20) {
        if (waited >= ms)
            return false;
        Sleep(20);
    }
    return true;
}

int ToolMutex(const std::string& dir)
{
    HANDLE mutex = CreateToolMutex(kToolMutexName);
    logtest::WriteBytes(dir + "\\tool.ready", logtest::Bytes(1, 'r'));
    WaitUntil([&] { return logtest::FileExists(dir + "\\tool.stop"); }, 60000);
    CloseToolMutex(mutex);
    return 0;
}

int ToolMutexStart(const std::string& dir)
{
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string line = std::string("\"") + self + "\" tool-mutex \"" + dir + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 1;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return WaitUntil([&] { return logtest::FileExists(dir + "\\tool.ready"); }, 20000) ? 0 : 1;
}

int ToolMutexStop(const std::string& dir)
{
    logtest::WriteBytes(dir + "\\tool.stop", logtest::Bytes(1, 's'));
    return WaitUntil([] { return MutexExists(kToolMutexName) == 0; }, 10000) ? 0 : 1;
}

int WithTemp()
{
    const char* line = std::strstr(GetCommandLineA(), "with-temp ");
    if (!line)
        return 2;
    logtest::PrivateTemp temp;
    char self[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    SetEnvironmentVariableA("QEL_LOG_HELPER", self);
    logtest::Child child(line + std::strlen("with-temp "));
    if (!child.Started())
        return 3;
    DWORD code = child.Wait(120000);
    return code == STILL_ACTIVE ? 124 : static_cast<int>(code);
}

int Check(int index, const char* subject, const char* content)
{
    CLogFile log;
    if (!log.Load(log.GetPath().c_str()))
        return 2;
    int count = static_cast<int>(log.GetHeaders().size());
    if (index < 0)
        index += count;
    if (index < 0 || index >= count)
        return 2;
    const LogRecordHeader& h = log.GetHeaders()[static_cast<size_t>(index)];
    std::string stored(h.subject, strnlen(h.subject, sizeof(h.subject)));
    return stored == subject && log.GetContents()[static_cast<size_t>(index)] == content ? 0 : 1;
}

}  // namespace

// The store's crash points (built into this program): a short pause when
// lingering, so that a kill at a random moment often lands on one.
void LogCrashPoint(const char*)
{
    if (g_linger)
        Sleep(1 + GetTickCount() % 3);
}

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    try {
        if (command == "append" && argc == 7) {
            g_linger = std::strcmp(argv[6], "1") == 0;
            return Append(argv[2], std::atoi(argv[3]), argv[4], argv[5]);
        }
        if (command == "load-loop" && argc == 4)
            return LoadLoop(argv[2], argv[3]);
        if (command == "hold" && argc == 7)
            return Hold(argv[2], argv[3], argv[4], static_cast<DWORD>(std::atoi(argv[5])), argv[6]);
        if (command == "mutex" && argc == 5)
            return Mutex(argv[2], argv[3], argv[4]);
        if (command == "tool-mutex" && argc == 3)
            return ToolMutex(argv[2]);
        if (command == "tool-mutex-start" && argc == 3)
            return ToolMutexStart(argv[2]);
        if (command == "tool-mutex-stop" && argc == 3)
            return ToolMutexStop(argv[2]);
        if (command == "with-temp" && argc > 2)
            return WithTemp();
        if (command == "check" && argc == 5)
            return Check(std::atoi(argv[2]), argv[3], argv[4]);
    } catch (const CLogFileException& e) {
        std::printf("logstore_helper %s: %s (error %lu)\n", command.c_str(), e.what(), e.Error());
        return 99;
    } catch (const std::exception& e) {
        std::printf("logstore_helper %s: %s\n", command.c_str(), e.what());
        return 99;
    }
    std::fprintf(stderr, "logstore_helper: bad arguments\n");
    return 98;
}
