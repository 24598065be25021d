// CIniFile: the tool's reader and writer of its small INI file
// ("config.ini"), one file at a time and sequentially, through a C stream
// in text mode (CR LF line ends on disk under Windows). It keeps no parsed
// copy: ReadSection moves the stream to a section, ReadLine reads a key's
// value from there on.
//
// Reading:
//  - ReadSection seeks to the start and reads up to just after the "]" that
//    closes the header of the named section; names compare without regard
//    to the case of ASCII letters (double-byte characters compare exactly).
//    Given an empty name it stops at the first header and hands back its
//    name. A header is a line that starts with "[" and has a "]". Without
//    the section the stream is left at the end of the file.
//  - ReadLine reads on from the current position, line by line: a line
//    "key=value" whose key equals the one asked for (same case rule) gives
//    everything after the first "=" up to the line end, blanks included, cut
//    to the buffer. Lines without "=" are skipped, and the search ends at the
//    next section header ("[" at the start of a line) or at the end of the
//    file, so a key is only ever found in the section ReadSection chose.
//  - ReadInt is ReadLine into a 256-byte buffer and atoi; on failure the
//    integer keeps its value.
// Writing: OpenFileWrite truncates; WriteSection writes "[name]" and
// WriteInt "key=value", each as a line of its own.
//
// Failures give false (or nothing, for the writes on a stream not open for
// writing) and a line on the debugger output (Trace), never a message to
// the user. Lines are cut to 255 characters.
#ifndef QEL_TOOL_INIFILE_H
#define QEL_TOOL_INIFILE_H

#include <cstddef>
#include <cstdio>
#include <string>

class CIniFile {
public:
    CIniFile();
    virtual ~CIniFile();
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // Mode "rt"; closes a stream still open first.
    bool OpenFileRead(const char* path);
    // Mode "wt": an existing file is truncated.
    bool OpenFileWrite(const char* path);
    void CloseFile();

    // `section` empty: set to the name of the first section of the file.
    bool ReadSection(std::string& section);
    bool ReadSection(const char* section);
    // The value into `buffer` (NUL-terminated, at most size - 1 bytes, never
    // ending in half a double-byte character).
    bool ReadLine(const char* key, char* buffer, size_t size);
    bool ReadInt(const char* key, int& value);

    void WriteSection(const char* section);
    void WriteInt(const char* key, int value);

protected:
    // Where the debug lines go: the debugger output under Windows, nowhere
    // elsewhere.
    virtual void Trace(const char* line);
    // Opens the stream the class works on: fopen. The fuzzer reads from
    // memory instead.
    virtual FILE* OpenStream(const char* path, const char* mode);

private:
    void TraceFormat(const char* format, const char* argument);
    bool FindSection(const char* wanted, std::string* found);

    FILE* m_pFile;
    unsigned char m_bRead;  // 1: open for reading or closed; 0: open for writing
};

// The tool's one setting, the controls the business system requires: key
// kvo::kConfigKey of section kvo::kConfigSection of the file at `path`.
// `value` keeps what it held when the file, the section or the key is
// missing.
void ReadControlSetting(const char* path, int& value);

#endif
