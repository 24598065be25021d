#include "diskfile.h"

#include <cstring>
#include <vector>

#include "pathname.h"
#include "writeall.h"

namespace qel {

namespace {

const size_t kMaxPath = MAX_PATH;  // path buffer, terminating NUL included

// A name the file methods never open: too long for the path buffer, a
// device, or a "\\.\" name. Checked before anything is opened, since opening
// a device may already wait.
bool IsRefusedName(const char* path)
{
    return !FitsPathBuffer(path) || NamesDevice(path, IsAnsiLeadByte) || std::strncmp(path, "\\\\.\\", 4) == 0;
}

}  // namespace

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

bool FitsPathBuffer(const char* path) { return path && std::strlen(path) < kMaxPath; }

bool OutputName(const char* file, const char* extension, std::string& output)
{
    if (!file)
        return false;
    output = std::string(file) + extension;
    return FitsPathBuffer(output.c_str());
}

bool IsSameFile(HANDLE file, const std::string& path)
{
    CFileHandle other(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION a, b;
    return other && GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(other.Get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// ---- CDiskSource ----

bool CDiskSource::Open(const char* path, Sharing sharing)
{
    m_file.Reset();
    if (IsRefusedName(path)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const DWORD share = sharing == Sharing::Read ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE;
    CFileHandle file(CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return false;
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    m_file = std::move(file);
    return true;
}

bool CDiskSource::Size(unsigned long long* size) const
{
    LARGE_INTEGER value;
    if (!m_file || !GetFileSizeEx(m_file.Get(), &value))
        return false;
    *size = static_cast<unsigned long long>(value.QuadPart);
    return true;
}

bool CDiskSource::ReadSome(void* buffer, DWORD capacity, DWORD* got)
{
    *got = 0;
    return m_file && ReadFile(m_file.Get(), buffer, capacity, got, nullptr);
}

bool CDiskSource::ReadUpTo(void* buffer, DWORD size, DWORD* got)
{
    *got = 0;
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    while (*got < size) {
        DWORD n = 0;
        if (!ReadSome(bytes + *got, size - *got, &n))
            return false;
        if (n == 0)
            break;
        *got += n;
    }
    return true;
}

CDiskSource::Outcome CDiskSource::ReadAll(DWORD chunk, const std::function<bool(const unsigned char*, DWORD)>& take)
{
    std::vector<unsigned char> buffer(chunk ? chunk : 1);
    unsigned char* bytes = buffer.data();
    for (;;) {
        DWORD got = 0;
        if (!ReadSome(bytes, chunk, &got))
            return Outcome::Failed;
        if (got == 0)
            return Outcome::End;
        if (!take(bytes, got))
            return Outcome::Stopped;
    }
}

// ---- CStagedSink ----

bool CStagedSink::Create(const std::string& target)
{
    Discard();
    if (IsRefusedName(target.c_str()))
        return false;
    const size_t start = NameStart(target.c_str(), IsAnsiLeadByte);
    if (start == target.size())
        return false;
    const std::string dir = start == 0 ? std::string(".") : target.substr(0, start);
    char temp[MAX_PATH] = "";
    if (dir.size() >= kMaxPath || !GetTempFileNameA(dir.c_str(), "gue", 0, temp))
        return false;
    // GetTempFileNameA made the file; from here on Discard deletes it.
    m_temp = temp;
    m_target = target;
    m_file.Reset(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        Discard();
        return false;
    }
    return true;
}

bool CStagedSink::WriteAll(const void* data, size_t size) { return m_file && qel::WriteAll(m_file.Get(), data, size); }

bool CStagedSink::Close() { return !m_file || CloseHandle(m_file.Detach()); }

bool CStagedSink::Commit()
{
    if (m_file || m_temp.empty())
        return false;
    if (!MoveFileExA(m_temp.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;  // Discard or the destructor removes the temporary file
    m_temp.clear();
    return true;
}

void CStagedSink::Discard()
{
    m_file.Reset();
    if (!m_temp.empty())
        DeleteFileA(m_temp.c_str());
    m_temp.clear();
}

}  // namespace qel
