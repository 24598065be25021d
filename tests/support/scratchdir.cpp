#include "scratchdir.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace scratch {

namespace {

// Removes `folder` (ending with a backslash) and everything in it.
void RemoveTree(const std::string& folder)
{
    for (const auto& entry : Listing(folder)) {
        const std::string path = folder + entry.first;
        if (entry.second == "<dir>")
            RemoveTree(path + "\\");
        else
            DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(folder.substr(0, folder.size() - 1).c_str());
}

}  // namespace

CDir::CDir(const char* prefix)
{
    static LONG counter = 0;
    char temp[MAX_PATH] = "";
    if (GetTempPathA(sizeof(temp), temp) == 0)
        return;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    m_path = std::string(temp) + prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(GetTickCount()) + "-" + std::to_string(InterlockedIncrement(&counter)) +
             (test ? std::string("-") + test->name() : std::string());
    m_made = CreateDirectoryA(m_path.c_str(), nullptr) != FALSE;
    m_path += "\\";
}

CDir::~CDir()
{
    if (m_made)
        RemoveTree(m_path);
}

std::map<std::string, std::string> Listing(const std::string& folder)
{
    std::map<std::string, std::string> entries;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return entries;
    do {
        const std::string name = data.cFileName;
        if (name != "." && name != "..")
            entries[name] = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? "<dir>" : Read(folder + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return entries;
}

std::string Read(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<unreadable>";
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        content.append(buffer, got);
    CloseHandle(h);
    return content;
}

bool Write(const std::string& path, const std::string& content)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    const bool written = content.empty() ||
                         (WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &put, nullptr) &&
                          put == content.size());
    CloseHandle(h);
    return written;
}

}  // namespace scratch
