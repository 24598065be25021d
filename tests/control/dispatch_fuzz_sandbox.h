// The dispatch fuzzer's sandbox: a directory tree that is the current
// directory and TEMP of the calls, and listings of it before and after, so
// that a file may appear only where a method writes one.
#ifndef QEL_TESTS_CONTROL_DISPATCH_FUZZ_SANDBOX_H
#define QEL_TESTS_CONTROL_DISPATCH_FUZZ_SANDBOX_H

#include "nocopy.h"
#include <windows.h>

#include <map>
#include <string>

namespace fuzz {

struct CFileState {
    ULONGLONG size;
    FILETIME written;
    bool operator==(const CFileState& o) const
    {
        return size == o.size && CompareFileTime(&written, &o.written) == 0;
    }
};
using CListing = std::map<std::wstring, CFileState>;  // lower-case full path

// The path with the \\?\ prefix, for paths beyond MAX_PATH.
inline std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

bool WriteWholeFile(const std::wstring& path, const std::string& bytes);
std::string ReadWholeFile(const std::wstring& path);
// The full path a method's path text names, lower case, for comparison
// with a listing; empty for what names no file on a disk.
std::wstring Resolve(const std::string& ansiPath);

// A directory tree that exists for the program: `Root()` holds `Box()`,
// the current directory and TEMP of the calls, and is itself the outside
// that paths with "..\" reach.
class CSandbox : private CNoCopy {
public:
    CSandbox();
    ~CSandbox();

    const std::wstring& Root() const { return m_root; }
    const std::wstring& Box() const { return m_box; }
    CListing List() const;

private:
    static std::wstring Variable(const wchar_t* name);

    std::wstring m_root, m_box, m_oldDir, m_oldTmp, m_oldTemp;
};

}  // namespace fuzz

#endif
