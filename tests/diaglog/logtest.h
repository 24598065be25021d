// Shared by the log store tests and their helper program: a private
// temporary directory, helper processes, and the records the helpers write.
#ifndef QEL_TESTS_LOGSTORE_LOGTEST_H
#define QEL_TESTS_LOGSTORE_LOGTEST_H

#include "nocopy.h"
#include "logformat.h"

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace logtest {

using Bytes = std::vector<unsigned char>;

// A new directory under the temporary directory; TMP and TEMP point to it
// while the object lives, so this process and the processes it starts keep
// their log there. Removed with its contents at the end.
class PrivateTemp : private CNoCopy {
public:
    PrivateTemp();
    ~PrivateTemp();
    const std::string& Dir() const { return m_dir; }  // ends with a backslash
    std::string LogPath() const { return m_dir + "KvoLog.log"; }

private:
    std::string m_dir;
    std::string m_oldTmp, m_oldTemp;
};

void RemoveTree(const std::string& dir);
Bytes ReadBytes(const std::string& path);  // empty when missing
void WriteBytes(const std::string& path, const Bytes& bytes);
bool FileExists(const std::string& path);

// A name for a kernel object that no other test uses.
std::string UniqueName(const char* what);

// A process started with `commandLine`, killed if still running at the end.
class Child : private CNoCopy {
public:
    explicit Child(const std::string& commandLine);
    ~Child();
    bool Started() const { return m_pi.hProcess != nullptr; }
    HANDLE Process() const { return m_pi.hProcess; }
    // The exit code, or STILL_ACTIVE when it runs after `ms` milliseconds.
    DWORD Wait(DWORD ms);
    void Kill();

private:
    PROCESS_INFORMATION m_pi = {};
};

// A thread running `body`, joined at the latest when the object ends (the
// win32 thread model has no std::thread).
class Thread : private CNoCopy {
public:
    explicit Thread(std::function<void()> body);
    ~Thread();
    void join();

private:
    static DWORD WINAPI Run(void* self);
    std::function<void()> m_body;
    HANDLE m_thread;
};

// Waits for a named event that a helper sets; false after `ms`.
bool WaitForNamedEvent(HANDLE event, DWORD ms);

// Records of the test writers: subject "日志" + tag, content
// "<tag>:<seq>:" followed by a filler whose length depends on seq.
std::string RecordSubject(const std::string& tag);
std::string RecordContent(const std::string& tag, int seq);

// Checks records of the test writers: each is intact, and each writer's
// records stand in the order it wrote them. Fills `why` on failure.
bool ValidateRecords(const std::deque<diaglog::LogRecordHeader>& headers, const std::deque<std::string>& contents,
                     std::string* why);

}  // namespace logtest

#endif
