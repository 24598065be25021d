// Scratch directories and plain file access for the Windows tests that
// watch what a call leaves on disk. Reading and writing here use the
// platform directly, never the product's own file code.
#ifndef QEL_TESTS_SCRATCHDIR_H
#define QEL_TESTS_SCRATCHDIR_H

#include <map>
#include <string>

#include "nocopy.h"

namespace scratch {

// A new, empty directory in the temporary directory, named by `prefix`, the
// process, the time and the running test (so that what a killed run left is
// never met again), removed with its files and subdirectories at the end.
class CDir : private CNoCopy {
public:
    explicit CDir(const char* prefix);
    ~CDir();
    bool Made() const { return m_made; }
    const std::string& Path() const { return m_path; }  // ends with a backslash

private:
    std::string m_path;
    bool m_made = false;
};

// Name and content of every entry of `folder` (ending with a backslash):
// "<dir>" for a directory, "<unreadable>" for a file that does not open.
std::map<std::string, std::string> Listing(const std::string& folder);

// A file's bytes, or "<unreadable>" when it does not open.
std::string Read(const std::string& path);

// Makes or replaces a file with `content`; false on failure.
bool Write(const std::string& path, const std::string& content);

}  // namespace scratch

#endif
