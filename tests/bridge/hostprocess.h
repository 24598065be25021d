// QelCryptHost.exe started the way a browser starts it: standard input and
// output are pipes to this process, messages are framed with a 4-byte
// little-endian length. Shared by the host tests and the host benchmark.
#ifndef QEL_TESTS_BRIDGE_HOSTPROCESS_H
#define QEL_TESTS_BRIDGE_HOSTPROCESS_H

#include "nocopy.h"
#include <windows.h>

#include <string>

namespace hosttest {

class CHostProcess : private CNoCopy {
public:
    // Starts `exe` with the extension's origin as its argument, as browsers
    // do; its error stream goes to `errorFile` (or nowhere). The host is
    // killed after `lifetimeMs`, so that a host that hangs fails a test
    // instead of stopping it.
    CHostProcess(const std::string& exe, const std::string& errorFile = std::string(), DWORD lifetimeMs = 60000);
    // A host someone else started, connected through these handles (owned
    // from now on: closing `toHost` ends the host).
    CHostProcess(HANDLE toHost, HANDLE fromHost) : m_input(toHost), m_output(fromHost), m_lifetime(0) {}
    ~CHostProcess();

    bool Started() const { return m_process != nullptr; }
    bool SendRaw(const std::string& bytes);
    bool Send(const std::string& message) { return SendRaw(Frame(message)); }
    // Reads one reply; false when the output ends first (the host exited).
    bool Receive(std::string* message);
    // The reply to one message.
    std::string Call(const std::string& message);
    void CloseInput();
    void CloseOutput();  // this end of the host's standard output
    // The exit code, or STILL_ACTIVE when it still runs after `ms`.
    DWORD Wait(DWORD ms);

    static std::string Frame(const std::string& message);

private:
    static DWORD WINAPI Watch(void* self);
    bool ReadFull(char* buffer, DWORD size);

    HANDLE m_process = nullptr;
    HANDLE m_input = nullptr;   // we write, the host reads
    HANDLE m_output = nullptr;  // the host writes, we read
    HANDLE m_stop = nullptr;
    HANDLE m_watch = nullptr;
    DWORD m_lifetime;
    char m_buffer[64 * 1024];
    DWORD m_pos = 0, m_end = 0;
};

// UTF-8 and ANSI / UTF-16 through the system's own conversions.
std::string Utf8(const std::wstring& wide);
std::wstring Wide(const std::string& utf8);

}  // namespace hosttest

#endif
