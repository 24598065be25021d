// CLogFile: the diagnostic log store, "KvoLog.log" in the user's temporary
// directory, shared by every control instance and the diagnostic tool
// (Windows only). File layout and record encryption: logformat.h.
//
// Every operation opens and closes the file within itself; an object holds no
// handle and no lock between calls and is used by one thread.
//
// Access between processes:
//  - Readers (Load of the own file) open it for reading, sharing reading only,
//    so they never read while someone holds it open for writing.
//  - Writers (AddRecord, Save, Clear, and Load of another file, which saves)
//    take a named mutex derived from the own path first, so that writes never
//    overlap, and then open the own file without sharing. A writer that dies
//    leaves the mutex abandoned; the next one takes it over.
//  - Every open that finds the file in use (a sharing or lock violation, or
//    a file still being deleted) is retried every 100 ms for about 2
//    seconds; then the operation gives up (false, no change, or the record
//    dropped). Any other error, access denied included, ends it at once.
//
// Crash safety: an append writes its record behind the last one and only
// then the new count, so an interrupted append leaves the old, valid count.
// A whole-file write (Save, trimming, the first record) goes to
// m_strPath + ".new" and replaces the own file in one rename, so the own file
// is always either the old or the new version.
//
// Errors other than "in use" (a disk that is full, a path the platform
// refuses, a foreign file that cannot be read) reach the caller as
// CLogFileException; the own file is then left as it was before the
// operation, or with an interrupted append that readers do not see.
#ifndef QEL_DIAGLOG_LOGFILE_H
#define QEL_DIAGLOG_LOGFILE_H

#include "logformat.h"

#include <windows.h>

#include <cstdint>
#include <deque>
#include <exception>
#include <string>
#include <vector>

namespace diaglog {

// A platform file error of the log store: what() names the step, Error() is
// the platform's error code.
class CLogFileException : public std::exception {
public:
    CLogFileException(const char* step, DWORD error) noexcept : m_step(step), m_error(error) {}
    const char* what() const noexcept override { return m_step; }
    DWORD Error() const noexcept { return m_error; }

private:
    const char* m_step;  // a string literal, never owned
    DWORD m_error;
};

class CLogFile {
public:
    // The own file: the temporary directory (GetTempPathA) + "KvoLog.log",
    // or the bare name when the platform reports no temporary directory.
    CLogFile();
    virtual ~CLogFile();

    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Appends one record stamped with the local time of the call. Below
    // m_nMaxRecords records the record is appended in place; at the limit the
    // newest m_nKeepRecords - 1 records and the new one are written as the
    // whole log. The first record, into a missing file or into a file without
    // records, is written as a whole new log. The record is dropped without a report when the log cannot
    // be loaded (file in use for about 2 seconds, wrong file header) or the
    // content is longer than kMaxLogContentLength. Null texts count as empty;
    // an empty content is stored as a record of length 0.
    void AddRecord(const char* subject, const char* content);

    // Replaces the lists with the records of the log file at `path`. True when
    // no file exists there (empty lists) or it was read; false when the own
    // file stayed in use (lists unchanged) or the file header is wrong (lists
    // empty). Records that do not lie wholly inside the file are not read.
    // For any path other than the own file, the own file is then rewritten
    // with the loaded records (an import); a missing file leaves it untouched.
    bool Load(const char* path);

    // Rewrites the own file from the lists. False only when the own file
    // stayed in use; the file is then unchanged.
    bool Save();

    // Deletes the own file and empties the lists, unless the own file stayed
    // in use: then nothing changes.
    void Clear();

    std::string GetPath() const { return m_strPath; }

    // The loaded records, oldest first, and their number.
    const std::deque<LogRecordHeader>& GetHeaders() const { return m_headers; }
    const std::deque<std::string>& GetContents() const { return m_contents; }
    int GetCount() const { return m_nCount; }

    // Probes the own file with a share mode (FILE_SHARE_READ to read, 0 to
    // rewrite or delete): true when it does not exist or could be opened
    // within about 2 seconds; false at once when opening it fails otherwise
    // than by being in use. Holds nothing afterwards.
    bool WaitForAccess(DWORD shareMode) const;

    // The text of `path` up to and including its last backslash (a trail
    // byte of a double-byte character is no backslash); empty when it has none.
    static std::string DirectoryOf(const std::string& path);

    // Creates `directory` and its missing parents. The result is that of
    // creating `directory` itself, so false when it exists already; empty or
    // over-long (MAX_PATH and more) texts give false.
    static bool CreateDirectoryTree(const std::string& directory);

    // True only when the attributes of `path` are exactly the directory
    // attribute.
    static bool IsDirectory(const std::string& path);

private:
    enum class OpenResult { Opened, Missing, InUse };

    // Opens the own file, retrying while it is in use until about 2 seconds
    // have passed since the tick count `since`.
    OpenResult OpenOwnFile(DWORD access, DWORD shareMode, HANDLE* file, DWORD since) const;
    bool ProbeOwnFile(DWORD shareMode, DWORD since) const;
    void ReadAll(HANDLE file, std::vector<unsigned char>& bytes) const;
    void TakeImage(LogImage& image);
    bool WriteWholeLog(const std::deque<LogRecordHeader>& headers, const std::deque<std::string>& contents,
                       bool mayReplace);
    void AppendInPlace(HANDLE file, size_t end, const LogRecordHeader& header, const std::string& content);
    std::string WriterLockName() const;
    std::string NewFilePath() const { return m_strPath + ".new"; }

    int m_nKeepRecords;
    int m_nMaxRecords;
    std::string m_strPath;
    std::deque<LogRecordHeader> m_headers;
    std::deque<std::string> m_contents;
    int m_nCount;
};

}  // namespace diaglog

#endif
