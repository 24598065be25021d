#include "logtest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

using diaglog::LogRecordHeader;
using diaglog::PaddedLength;

namespace logtest {

namespace {

std::string GetVariable(const char* name)
{
    char value[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
    return n > 0 && n < sizeof(value) ? value : "";
}

}  // namespace

std::string UniqueName(const char* what)
{
    static LONG counter = 0;
    char name[96];
    std::snprintf(name, sizeof(name), "qeltest.%s.%lu.%lu.%ld", what, GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&counter));
    return name;
}

PrivateTemp::PrivateTemp() : m_oldTmp(GetVariable("TMP")), m_oldTemp(GetVariable("TEMP"))
{
    char base[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, base);
    m_dir = std::string(base) + UniqueName("log") + "\\";
    CreateDirectoryA(m_dir.c_str(), nullptr);
    std::string variable = m_dir.substr(0, m_dir.size() - 1);
    SetEnvironmentVariableA("TMP", variable.c_str());
    SetEnvironmentVariableA("TEMP", variable.c_str());
}

PrivateTemp::~PrivateTemp()
{
    SetEnvironmentVariableA("TMP", m_oldTmp.empty() ? nullptr : m_oldTmp.c_str());
    SetEnvironmentVariableA("TEMP", m_oldTemp.empty() ? nullptr : m_oldTemp.c_str());
    RemoveTree(m_dir);
}

void RemoveTree(const std::string& dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + "\\");
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

Bytes ReadBytes(const std::string& path)
{
    Bytes bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    unsigned char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

Child::Child(const std::string& commandLine)
{
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi))
        m_pi = PROCESS_INFORMATION();
}

Child::~Child()
{
    if (!Started())
        return;
    if (Wait(0) == STILL_ACTIVE)
        Kill();
    CloseHandle(m_pi.hThread);
    CloseHandle(m_pi.hProcess);
}

DWORD Child::Wait(DWORD ms)
{
    DWORD code = STILL_ACTIVE;
    if (Started() && WaitForSingleObject(m_pi.hProcess, ms) == WAIT_OBJECT_0)
        GetExitCodeProcess(m_pi.hProcess, &code);
    return code;
}

void Child::Kill()
{
    if (!Started())
        return;
    TerminateProcess(m_pi.hProcess, 255);
    WaitForSingleObject(m_pi.hProcess, INFINITE);
}

Thread::Thread(std::function<void()> body)
    : m_body(std::move(body)), m_thread(CreateThread(nullptr, 0, &Thread::Run, this, 0, nullptr))
{
    if (!m_thread)
        std::abort();
}

Thread::~Thread() { join(); }

void Thread::join()
{
    if (!m_thread)
        return;
    WaitForSingleObject(m_thread, INFINITE);
    CloseHandle(m_thread);
    m_thread = nullptr;
}

DWORD WINAPI Thread::Run(void* self)
{
    static_cast<Thread*>(self)->m_body();
    return 0;
}

bool WaitForNamedEvent(HANDLE event, DWORD ms)
{
    return WaitForSingleObject(event, ms) == WAIT_OBJECT_0;
}

std::string RecordSubject(const std::string& tag)
{
    return "\xC8\xD5\xD6\xBE" + tag;
}

std::string RecordContent(const std::string& tag, int seq)
{
    std::string content = tag + ":" + std::to_string(seq) + ":";
    for (int i = 0; i < seq % 23; ++i)
        content += "\xC7\xA9";
    return content + std::string(static_cast<size_t>(seq % 5), 'x');
}

bool ValidateRecords(const std::deque<LogRecordHeader>& headers, const std::deque<std::string>& contents,
                     std::string* why)
{
    if (headers.size() != contents.size()) {
        *why = "lists differ in length";
        return false;
    }
    std::map<std::string, int> last;
    for (size_t i = 0; i < headers.size(); ++i) {
        const std::string& content = contents[i];
        size_t colon = content.find(':');
        int seq = colon == std::string::npos ? -1 : std::atoi(content.c_str() + colon + 1);
        std::string tag = content.substr(0, colon == std::string::npos ? 0 : colon);
        std::string subject(headers[i].subject, strnlen(headers[i].subject, sizeof(headers[i].subject)));
        bool ok = seq >= 0 && content == RecordContent(tag, seq) && subject == RecordSubject(tag) &&
                  headers[i].length == PaddedLength(static_cast<uint32_t>(content.size())) &&
                  headers[i].time[0] != '\0' && (last.count(tag) == 0 || last[tag] < seq);
        if (!ok) {
            *why = "record " + std::to_string(i) + " damaged or out of order: \"" + content + "\"";
            return false;
        }
        last[tag] = seq;
    }
    return true;
}

}  // namespace logtest
