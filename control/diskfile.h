// The files of the control's file methods: what they read (CDiskSource) and
// what they write (CStagedSink). SignFile, VerifyFile, EncryptFile,
// CryptFilePubKey and DecryptFilePriKey reach the disk only through here.
//
// What this module guarantees:
//
// - Only a file on a disk is read. The page names the file, so a name can be
//   anything: a path of MAX_PATH bytes or more (the 260-byte path buffer,
//   NUL included), a reserved device name in its last component (CON, NUL,
//   COM1, "nul.txt", ...; pathname.h), a "\\.\" name and anything that opens
//   as other than a disk file (a pipe, a directory) are refused, the device
//   names before anything is opened: reading a console or a serial port would
//   wait for input that never comes. Path names are read in the ANSI code
//   page of the process, double-byte characters whole (IsAnsiLeadByte).
// - A read never asks for more than the buffer it is given holds, and reports
//   a failed read as a failure, never as the end of the file.
// - The output of a file method never appears half written. It is written to
//   a temporary file created beside its target (same directory, so the move
//   is a rename) and takes the target's place only on Commit(), after
//   everything was written and the file was closed without error. Otherwise
//   the temporary file is deleted, at the latest by the destructor, and an
//   existing target keeps every byte. The temporary file's name comes from
//   GetTempFileNameA, so the target's directory must leave room for it
//   (MAX_PATH - 14 bytes at most).
// - IsSameFile() tells whether a path reaches a file already open, however it
//   is spelt, so that a method does not replace the file it reads.
//
// Windows only. Not thread-safe per object; separate objects may be used on
// separate threads.
#ifndef QEL_CONTROL_DISKFILE_H
#define QEL_CONTROL_DISKFILE_H

#include <windows.h>

#include <functional>
#include <string>

#include "winhandle.h"

namespace qel {

// The lead-byte test of the process's ANSI code page (IsDBCSLeadByte), to be
// passed to the functions of pathname.h.
bool IsAnsiLeadByte(unsigned char c);

// True for a path of fewer than MAX_PATH bytes.
bool FitsPathBuffer(const char* path);

// The name of an output written beside `file`: `file` with `extension`
// appended. False when there is no file or the name would not fit a path
// buffer.
bool OutputName(const char* file, const char* extension, std::string& output);

// True when `path` names the file that `file` is open on, whatever the
// spelling (letter case, trailing dots, another link to it).
bool IsSameFile(HANDLE file, const std::string& path);

// A file on a disk, open for reading from its start.
class CDiskSource {
public:
    // What others may do with the file while it is read.
    enum class Sharing {
        Read,       // others may read it, nobody may change it
        ReadWrite,  // others may go on reading and writing, as with a plain binary open
    };
    enum class Outcome { End, Stopped, Failed };

    CDiskSource() = default;
    CDiskSource(const CDiskSource&) = delete;
    CDiskSource& operator=(const CDiskSource&) = delete;

    // Opens `path`; false, with nothing open, for a name refused as above or
    // a file that cannot be opened.
    bool Open(const char* path, Sharing sharing);
    bool IsOpen() const { return static_cast<bool>(m_file); }
    HANDLE Handle() const { return m_file.Get(); }
    void Close() { m_file.Reset(); }

    // The file's size in bytes; false when it cannot be told.
    bool Size(unsigned long long* size) const;

    // One read of up to `capacity` bytes; *got is 0 at the end of the file.
    // False on a read error.
    bool ReadSome(void* buffer, DWORD capacity, DWORD* got);

    // Reads until `size` bytes are in `buffer` or the file ends (*got less
    // than `size`). False on a read error, *got then holding what came before.
    bool ReadUpTo(void* buffer, DWORD size, DWORD* got);

    // Reads the rest of the file in reads of up to `chunk` bytes and hands
    // each one's bytes to `take`, which returns false to stop early: End when
    // the file was read to its end, Stopped when `take` stopped, Failed at a
    // read error.
    Outcome ReadAll(DWORD chunk, const std::function<bool(const unsigned char*, DWORD)>& take);

private:
    CFileHandle m_file;
};

// The output of a file method, staged beside its target.
class CStagedSink {
public:
    CStagedSink() = default;
    CStagedSink(const CStagedSink&) = delete;
    CStagedSink& operator=(const CStagedSink&) = delete;
    ~CStagedSink() { Discard(); }

    // Creates the temporary file for `target`; false when the target is
    // refused as a source name would be, names no file (ends with a
    // separator) or its directory takes no new file.
    bool Create(const std::string& target);

    // Writes all `size` bytes; false on a write error.
    bool WriteAll(const void* data, size_t size);

    // Closes the temporary file; false when the close reports lost data.
    bool Close();

    // Puts the closed temporary file in the target's place; false when it is
    // still open, was never created or cannot take the place (the temporary
    // file is then deleted by Discard or the destructor).
    bool Commit();

    // Closes and deletes the temporary file, unless it was committed.
    void Discard();

private:
    CFileHandle m_file;
    std::string m_temp;
    std::string m_target;
};

}  // namespace qel

#endif
