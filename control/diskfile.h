// Opening the files that the control's file methods read and write. The
// page names them, so a name can be anything: only a file on a disk, named by
// a path that fits the 260-byte path buffer (MAX_PATH, NUL included), is
// opened. Devices (CON, COM1, NUL and the like), pipes and directories are
// refused, as is a longer path: reading a console or a serial port would wait
// for input that never comes.
#ifndef QEL_CONTROL_DISKFILE_H
#define QEL_CONTROL_DISKFILE_H

#include <windows.h>

#include <cstring>

namespace qel {

// True for a path of fewer than MAX_PATH bytes.
inline bool FitsPathBuffer(const char* path)
{
    return path && std::strlen(path) < MAX_PATH;
}

// ASCII letters compared without regard to case.
inline bool SameLetters(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// True when `path` names one of the reserved devices in its last component,
// whatever follows the device name (an extension, blanks, a colon): opening
// such a name reaches the device, not a file.
inline bool NamesDevice(const char* path)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    const char* name = path;
    for (const char* p = path; *p;) {
        // A trail byte of a double-byte character is no separator.
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1]) {
            p += 2;
            continue;
        }
        if (*p == '\\' || *p == '/' || (*p == ':' && p == path + 1))
            name = p + 1;
        ++p;
    }
    size_t length = 0;
    while (name[length] && name[length] != '.' && name[length] != ':')
        ++length;
    while (length > 0 && name[length - 1] == ' ')
        --length;  // blanks before the extension do not count
    for (const char* device : kDevices)
        if (length == std::strlen(device) && SameLetters(name, device, length))
            return true;
    // COM1 to COM9 and LPT1 to LPT9.
    return length == 4 && (SameLetters(name, "COM", 3) || SameLetters(name, "LPT", 3)) && name[3] >= '1' &&
           name[3] <= '9';
}

// CreateFileA for a file on a disk: INVALID_HANDLE_VALUE for a path that does
// not fit the path buffer, a device name (checked before anything is opened,
// since opening a device may already wait), and anything that opens as other
// than a disk file.
inline HANDLE OpenDiskFile(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    if (!FitsPathBuffer(path) || NamesDevice(path) || std::strncmp(path, "\\\\.\\", 4) == 0) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    if (file != INVALID_HANDLE_VALUE && GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

}  // namespace qel

#endif
