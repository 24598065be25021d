#include "logfile.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "pathname.h"
#include "winhandle.h"
#include "writeall.h"

// Crash points: the moments at which an interrupted write leaves the file
// behind. The crash-safety test builds this file with QEL_LOG_CRASH_POINTS
// and a LogCrashPoint() that lingers there, so that a writer killed at a
// random moment is often killed at one of them.
#ifdef QEL_LOG_CRASH_POINTS
void LogCrashPoint(const char* where);
#define LOG_CRASH_POINT(where) LogCrashPoint(where)
#else
#define LOG_CRASH_POINT(where) ((void)0)
#endif

namespace diaglog {

namespace {

const char kLogFileName[] = "KvoLog.log";

// How long an open that finds the file in use is retried.
const DWORD kRetryStepMs = 100;
const DWORD kRetryTotalMs = 2000;

// Largest piece handed to one ReadFile call (qel::WriteAll writes in pieces
// of the same size).
const DWORD kIoChunk = 1u << 20;

using qel::CFileHandle;

// The writers' mutex for one log path, held for the length of one operation.
// A holder that died leaves it abandoned, which the next waiter takes over.
// The wait counts against the operation's 2 seconds.
class CWriterLock {
public:
    explicit CWriterLock(const std::string& name) : m_since(GetTickCount())
    {
        m_mutex.Reset(CreateMutexA(nullptr, FALSE, name.c_str()));
        if (!m_mutex)
            return;
        DWORD wait = WaitForSingleObject(m_mutex.Get(), kRetryTotalMs + kRetryStepMs);
        m_held = wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
    }
    ~CWriterLock()
    {
        if (m_held)
            ReleaseMutex(m_mutex.Get());
    }
    CWriterLock(const CWriterLock&) = delete;
    CWriterLock& operator=(const CWriterLock&) = delete;
    bool Held() const { return m_held; }
    DWORD Since() const { return m_since; }

private:
    DWORD m_since;
    qel::CKernelHandle m_mutex;
    bool m_held = false;
};

bool IsMissingError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Errors of a file that someone else holds open: worth waiting for.
bool IsInUseError(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Access denied is most often lasting (a directory in the file's place, a
// read-only file, a file or folder the user may not open, a path the system
// refuses) and fails at once. One case passes: a file whose deletion waits
// for the last handle to close ("delete pending", e.g. a reader racing with
// Clear's DeleteFile) refuses every open with access denied, the query of its
// attributes included, until it is gone; the lasting cases still show their
// attributes.
bool IsBeingDeleted(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_ACCESS_DENIED;
}

// An error of the own file that goes away by itself: wait for it.
bool IsPassingError(DWORD error, const std::string& path)
{
    return IsInUseError(error) || (error == ERROR_ACCESS_DENIED && IsBeingDeleted(path));
}

void WriteAll(HANDLE file, const unsigned char* data, size_t size, const char* step)
{
    if (!qel::WriteAll(file, data, size))
        throw CLogFileException(step, GetLastError());
}

void SeekTo(HANDLE file, uint64_t offset, const char* step)
{
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN))
        throw CLogFileException(step, GetLastError());
}

// Position of the last backslash of `text` that is not the trail byte of a
// double-byte character, or npos.
size_t LastBackslash(const std::string& text) { return qel::LastBackslash(text, IsLogLeadByte); }

}  // namespace

CLogFile::CLogFile() : m_nKeepRecords(40), m_nMaxRecords(50), m_nCount(0)
{
    char temp[MAX_PATH + 1];
    std::memset(temp, 0, sizeof(temp));
    DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH)
        std::memset(temp, 0, sizeof(temp));
    m_strPath = std::string(temp) + kLogFileName;
}

CLogFile::~CLogFile() = default;

std::string CLogFile::WriterLockName() const
{
    // FNV-1a of the path: mutex names take no backslash.
    uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char c : m_strPath) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    char name[40];
    std::snprintf(name, sizeof(name), "KvoLogWriter.%08lX%08lX", static_cast<unsigned long>(hash >> 32),
                  static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return name;
}

CLogFile::OpenResult CLogFile::OpenOwnFile(DWORD access, DWORD shareMode, HANDLE* file, DWORD since) const
{
    for (;;) {
        *file = CreateFileA(m_strPath.c_str(), access, shareMode, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
        if (*file != INVALID_HANDLE_VALUE)
            return OpenResult::Opened;
        DWORD error = GetLastError();
        if (IsMissingError(error))
            return OpenResult::Missing;
        if (!IsPassingError(error, m_strPath))
            throw CLogFileException("Log file open failed", error);
        if (GetTickCount() - since >= kRetryTotalMs)
            return OpenResult::InUse;
        Sleep(kRetryStepMs);
    }
}

bool CLogFile::ProbeOwnFile(DWORD shareMode, DWORD since) const
{
    CFileHandle file;
    return OpenOwnFile(GENERIC_READ, shareMode, file.Receive(), since) != OpenResult::InUse;
}

bool CLogFile::WaitForAccess(DWORD shareMode) const
{
    try {
        return ProbeOwnFile(shareMode, GetTickCount());
    } catch (const CLogFileException&) {
        return false;
    }
}

void CLogFile::ReadAll(HANDLE file, std::vector<unsigned char>& bytes) const
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        throw CLogFileException("Log file size unknown", GetLastError());
    uint64_t total = static_cast<uint64_t>(size.QuadPart);
    try {
        if (total > static_cast<uint64_t>(PTRDIFF_MAX) / 2)
            throw std::bad_alloc();
        bytes.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        throw CLogFileException("Log file too large", ERROR_NOT_ENOUGH_MEMORY);
    }
    size_t have = 0;
    while (have < bytes.size()) {
        size_t left = bytes.size() - have;
        DWORD piece = left > kIoChunk ? kIoChunk : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + have, piece, &got, nullptr))
            throw CLogFileException("Log file read failed", GetLastError());
        if (got == 0)
            break;  // shorter than it was a moment ago
        have += got;
    }
    bytes.resize(have);
}

void CLogFile::TakeImage(LogImage& image)
{
    m_headers.swap(image.headers);
    m_contents.swap(image.contents);
    m_nCount = static_cast<int>(m_headers.size());
}

bool CLogFile::Load(const char* path)
{
    if (!path)
        path = "";
    bool own = m_strPath == path;
    CFileHandle file;
    if (own) {
        OpenResult opened = OpenOwnFile(GENERIC_READ, FILE_SHARE_READ, file.Receive(), GetTickCount());
        if (opened == OpenResult::InUse)
            return false;
        if (opened == OpenResult::Missing) {
            LogImage none;
            TakeImage(none);
            return true;
        }
    } else {
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) {
            LogImage none;
            TakeImage(none);
            return true;
        }
        *file.Receive() = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.Get() == INVALID_HANDLE_VALUE)
            throw CLogFileException("Log file open failed", GetLastError());
    }
    std::vector<unsigned char> bytes;
    ReadAll(file.Get(), bytes);
    file.Reset();

    LogImage image;
    bool valid = ParseLog(bytes.data(), bytes.size(), image);
    TakeImage(image);
    if (!valid)
        return false;
    if (!own)
        Save();
    return true;
}

bool CLogFile::Save()
{
    CWriterLock lock(WriterLockName());
    if (!lock.Held() || !ProbeOwnFile(0, lock.Since()) || !WriteWholeLog(m_headers, m_contents, true))
        return false;
    m_nCount = static_cast<int>(m_headers.size());
    return true;
}

bool CLogFile::WriteWholeLog(const std::deque<LogRecordHeader>& headers, const std::deque<std::string>& contents,
                             bool mayReplace)
{
    std::vector<unsigned char> bytes;
    if (!SerializeLog(headers, contents, bytes))
        return false;
    std::string newPath = NewFilePath();
    {
        CFileHandle out;
        for (DWORD since = GetTickCount();;) {
            *out.Receive() = CreateFileA(newPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
            if (out.Get() != INVALID_HANDLE_VALUE)
                break;
            DWORD error = GetLastError();
            if (!IsInUseError(error))
                throw CLogFileException("Log file create failed", error);
            if (GetTickCount() - since >= kRetryTotalMs)
                return false;
            Sleep(kRetryStepMs);
        }
        try {
            size_t half = bytes.size() / 2;
            WriteAll(out.Get(), bytes.data(), half, "Log file write failed");
            LOG_CRASH_POINT("half of the new file written");
            WriteAll(out.Get(), bytes.data() + half, bytes.size() - half, "Log file write failed");
        } catch (...) {
            out.Reset();
            DeleteFileA(newPath.c_str());
            throw;
        }
    }
    LOG_CRASH_POINT("new file written, not yet in place");
    // Replacing a file that a reader holds open fails with access denied
    // until the reader closes it, so the rename waits on every error but
    // those that say it can never succeed.
    DWORD flags = mayReplace ? MOVEFILE_REPLACE_EXISTING : 0;
    for (DWORD waited = 0;; waited += kRetryStepMs) {
        if (MoveFileExA(newPath.c_str(), m_strPath.c_str(), flags))
            return true;
        DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS || IsMissingError(error) ||
            waited >= kRetryTotalMs)
            break;
        Sleep(kRetryStepMs);
    }
    DeleteFileA(newPath.c_str());
    return false;
}

void CLogFile::AppendInPlace(HANDLE file, size_t end, const LogRecordHeader& header, const std::string& content)
{
    std::vector<unsigned char> record;
    AppendLogRecord(header, content, record);
    // The record first, then the count: until the count is written, readers
    // and later appenders see the old log and ignore the bytes behind it.
    SeekTo(file, end, "Log file seek failed");
    try {
        WriteAll(file, record.data(), kLogRecordHeaderSize, "Log file write failed");
        LOG_CRASH_POINT("record header written");
        WriteAll(file, record.data() + kLogRecordHeaderSize, record.size() - kLogRecordHeaderSize,
                 "Log file write failed");
        if (!SetEndOfFile(file))
            throw CLogFileException("Log file write failed", GetLastError());
    } catch (...) {
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(end);
        if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN))
            SetEndOfFile(file);
        throw;
    }
    LOG_CRASH_POINT("record written, count not yet");
    unsigned char count[4];
    StoreLe32(static_cast<uint32_t>(m_nCount + 1), count);
    SeekTo(file, kLogCountOffset, "Log file seek failed");
    WriteAll(file, count, sizeof(count), "Log file write failed");
}

void CLogFile::AddRecord(const char* subject, const char* content)
{
    LogTime now = CurrentLogTime();
    if (!subject)
        subject = "";
    if (!content)
        content = "";
    size_t length = std::strlen(content);
    if (length > kMaxLogContentLength)
        return;
    LogRecordHeader header = MakeLogRecordHeader(now, subject, content);
    std::string text(content, length);

    CWriterLock lock(WriterLockName());
    if (!lock.Held())
        return;
    CFileHandle file;
    OpenResult opened = OpenOwnFile(GENERIC_READ | GENERIC_WRITE, 0, file.Receive(), lock.Since());
    if (opened == OpenResult::InUse)
        return;
    if (opened == OpenResult::Missing) {
        LogImage none, created;
        TakeImage(none);
        CreateDirectoryTree(DirectoryOf(m_strPath));
        created.headers.push_back(header);
        created.contents.push_back(text);
        if (WriteWholeLog(created.headers, created.contents, false))
            TakeImage(created);
        return;
    }

    std::vector<unsigned char> bytes;
    ReadAll(file.Get(), bytes);
    LogImage image;
    bool valid = ParseLog(bytes.data(), bytes.size(), image);
    size_t end = image.end;
    TakeImage(image);
    if (!valid)
        return;

    if (m_nCount > 0 && m_nCount < m_nMaxRecords) {
        AppendInPlace(file.Get(), end, header, text);
        m_headers.push_back(header);
        m_contents.push_back(text);
        ++m_nCount;
        return;
    }

    // The whole log anew. At the limit: the newest m_nKeepRecords - 1 and the
    // new one, however many records the log held. The first record of a log
    // without records: that record alone, as into a missing file, so that
    // nothing of the old file stays (neither its reserved header bytes nor
    // what lies behind the count). The lists change only when the file does.
    file.Reset();
    size_t keep = static_cast<size_t>(m_nKeepRecords - 1);
    size_t drop = m_headers.size() > keep ? m_headers.size() - keep : 0;
    LogImage trimmed;
    trimmed.headers.assign(m_headers.begin() + static_cast<std::ptrdiff_t>(drop), m_headers.end());
    trimmed.contents.assign(m_contents.begin() + static_cast<std::ptrdiff_t>(drop), m_contents.end());
    trimmed.headers.push_back(header);
    trimmed.contents.push_back(text);
    if (WriteWholeLog(trimmed.headers, trimmed.contents, true))
        TakeImage(trimmed);
}

void CLogFile::Clear()
{
    CWriterLock lock(WriterLockName());
    if (!lock.Held() || !ProbeOwnFile(0, lock.Since()))
        return;
    for (DWORD since = GetTickCount();;) {
        if (DeleteFileA(m_strPath.c_str()))
            break;
        DWORD error = GetLastError();
        if (IsMissingError(error))
            break;
        if (!IsPassingError(error, m_strPath))
            throw CLogFileException("Log file delete failed", error);
        if (GetTickCount() - since >= kRetryTotalMs)
            return;
        Sleep(kRetryStepMs);
    }
    DeleteFileA(NewFilePath().c_str());
    m_headers.clear();
    m_contents.clear();
    m_nCount = 0;
}

std::string CLogFile::DirectoryOf(const std::string& path)
{
    size_t last = LastBackslash(path);
    return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

bool CLogFile::CreateDirectoryTree(const std::string& directory)
{
    if (directory.empty() || directory.size() >= MAX_PATH)
        return false;
    size_t last = LastBackslash(directory);
    std::string parent = last == std::string::npos ? std::string() : directory.substr(0, last);
    if (parent.empty())
        return false;
    if (parent.size() <= 3 || IsDirectory(parent))
        return CreateDirectoryA(directory.c_str(), nullptr) != 0;
    if (!CreateDirectoryTree(parent))
        return false;
    return CreateDirectoryA(directory.c_str(), nullptr) != 0;
}

bool CLogFile::IsDirectory(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) == FILE_ATTRIBUTE_DIRECTORY;
}

}  // namespace diaglog
