#include "dispatch_fuzz_sandbox.h"

#include "dispatch_fuzz_support.h"

#include <vector>

namespace fuzz {

namespace {

void ListTree(const std::wstring& dir, CListing& out)
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Long(dir + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListTree(dir + name + L"\\", out);
        } else {
            out[Lower(dir + name)] = {(static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                                      found.ftLastWriteTime};
        }
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

void RemoveTreeW(const std::wstring& dir)
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Long(dir + L"*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeW(dir + name + L"\\");
            else
                DeleteFileW(Long(dir + name).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(Long(dir).c_str());
}

}  // namespace

bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    return CloseHandle(h) && ok;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

std::wstring Resolve(const std::string& ansiPath)
{
    std::wstring path = Wide(ansiPath);
    if (path.compare(0, 4, L"\\\\?\\") == 0 && path.compare(0, 8, L"\\\\?\\UNC\\") != 0)
        path = path.substr(4);
    std::vector<wchar_t> full(path.size() + MAX_PATH + 8);
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return std::wstring();
    return Lower(std::wstring(full.data(), n));
}

CSandbox::CSandbox()
{
    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH, temp);
    m_root = std::wstring(temp) + L"qelfuzz-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    RemoveTreeW(m_root);
    m_box = m_root + L"box\\";
    CreateDirectoryW(m_root.c_str(), nullptr);
    CreateDirectoryW(m_box.c_str(), nullptr);
    m_oldDir.resize(MAX_PATH + 1);
    m_oldDir.resize(GetCurrentDirectoryW(MAX_PATH + 1, &m_oldDir[0]));
    m_oldTmp = Variable(L"TMP");
    m_oldTemp = Variable(L"TEMP");
    const std::wstring box = m_box.substr(0, m_box.size() - 1);
    SetEnvironmentVariableW(L"TMP", box.c_str());
    SetEnvironmentVariableW(L"TEMP", box.c_str());
    SetCurrentDirectoryW(m_box.c_str());
}

CSandbox::~CSandbox()
{
    SetCurrentDirectoryW(m_oldDir.c_str());
    SetEnvironmentVariableW(L"TMP", m_oldTmp.empty() ? nullptr : m_oldTmp.c_str());
    SetEnvironmentVariableW(L"TEMP", m_oldTemp.empty() ? nullptr : m_oldTemp.c_str());
    RemoveTreeW(m_root);
}

CListing CSandbox::List() const
{
    CListing all;
    ListTree(m_root, all);
    return all;
}

std::wstring CSandbox::Variable(const wchar_t* name)
{
    wchar_t value[MAX_PATH + 1] = L"";
    const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
    return n && n <= MAX_PATH ? std::wstring(value, n) : std::wstring();
}

}  // namespace fuzz
