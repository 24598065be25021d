#include "hostprocess.h"

#include <cstring>

namespace hosttest {

CHostProcess::CHostProcess(const std::string& exe, const std::string& errorFile, DWORD lifetimeMs)
    : m_lifetime(lifetimeMs)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &m_input, &inherit, 0) || !CreatePipe(&m_output, &childOut, &inherit, 0))
        return;
    SetHandleInformation(m_input, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_output, HANDLE_FLAG_INHERIT, 0);
    HANDLE childErr = CreateFileA(errorFile.empty() ? "NUL" : errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = childIn;
    si.hStdOutput = childOut;
    si.hStdError = childErr;
    std::string command = "\"" + exe + "\" chrome-extension://qelcrypttest/";
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
        m_process = pi.hProcess;
        CloseHandle(pi.hThread);
    }
    // Only the host holds its ends: its exit ends our reads and writes.
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (childErr != INVALID_HANDLE_VALUE)
        CloseHandle(childErr);
    if (m_process) {
        m_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_watch = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
}

CHostProcess::~CHostProcess()
{
    CloseInput();
    if (m_process && Wait(10000) == STILL_ACTIVE)
        TerminateProcess(m_process, 99);
    if (m_watch) {
        SetEvent(m_stop);
        WaitForSingleObject(m_watch, INFINITE);
        CloseHandle(m_watch);
        CloseHandle(m_stop);
    }
    CloseOutput();
    if (m_process)
        CloseHandle(m_process);
}

DWORD WINAPI CHostProcess::Watch(void* self)
{
    CHostProcess* host = static_cast<CHostProcess*>(self);
    if (WaitForSingleObject(host->m_stop, host->m_lifetime) == WAIT_TIMEOUT)
        TerminateProcess(host->m_process, 98);
    return 0;
}

std::string CHostProcess::Frame(const std::string& message)
{
    const size_t n = message.size();
    std::string out;
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((n >> (8 * i)) & 0xFF);
    return out + message;
}

bool CHostProcess::SendRaw(const std::string& bytes)
{
    size_t done = 0;
    while (m_input && done < bytes.size()) {
        DWORD n = 0;
        if (!WriteFile(m_input, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &n, nullptr))
            return false;
        done += n;
    }
    return m_input != nullptr;
}

bool CHostProcess::ReadFull(char* buffer, DWORD size)
{
    // Reads ahead, so that a reply costs one ReadFile where it can.
    DWORD got = 0;
    while (got < size) {
        if (m_pos == m_end) {
            DWORD n = 0;
            if (!m_output || !ReadFile(m_output, m_buffer, sizeof(m_buffer), &n, nullptr) || n == 0)
                return false;
            m_pos = 0;
            m_end = n;
        }
        const DWORD take = size - got < m_end - m_pos ? size - got : m_end - m_pos;
        std::memcpy(buffer + got, m_buffer + m_pos, take);
        m_pos += take;
        got += take;
    }
    return true;
}

bool CHostProcess::Receive(std::string* message)
{
    unsigned char prefix[4];
    if (!ReadFull(reinterpret_cast<char*>(prefix), 4))
        return false;
    const DWORD n = prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) | (static_cast<DWORD>(prefix[3]) << 24);
    if (n > 64u * 1024 * 1024)
        return false;
    message->assign(n, '\0');
    return n == 0 || ReadFull(&(*message)[0], n);
}

std::string CHostProcess::Call(const std::string& message)
{
    std::string reply;
    if (!Send(message) || !Receive(&reply))
        return "(no reply)";
    return reply;
}

void CHostProcess::CloseInput()
{
    if (m_input)
        CloseHandle(m_input);
    m_input = nullptr;
}

void CHostProcess::CloseOutput()
{
    if (m_output)
        CloseHandle(m_output);
    m_output = nullptr;
}

DWORD CHostProcess::Wait(DWORD ms)
{
    if (!m_process)
        return STILL_ACTIVE;
    WaitForSingleObject(m_process, ms);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(m_process, &code);
    return code;
}

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                      nullptr, 0);
    std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
    return out;
}

}  // namespace hosttest
