#include "inifile.h"

#include "kvocheckrules.h"
#include "logformat.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#endif

using diaglog::IsLogLeadByte;

namespace {

const size_t kMaxName = 256;

char FoldAscii(unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); }

// Names compare without regard to the case of ASCII letters; the two bytes
// of a double-byte character compare exactly (a trail byte may look like a
// letter).
bool SameName(const std::string& name, const char* wanted)
{
    const size_t n = std::strlen(wanted);
    if (name.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLogLeadByte(c) && i + 1 < n) {
            if (name[i] != wanted[i] || name[i + 1] != wanted[i + 1])
                return false;
            ++i;
        } else if (FoldAscii(c) != FoldAscii(static_cast<unsigned char>(wanted[i]))) {
            return false;
        }
    }
    return true;
}

bool IsLineEnd(int c) { return c == '\n' || c == '\r'; }

}  // namespace

CIniFile::CIniFile() : m_pFile(nullptr), m_bRead(1) {}

CIniFile::~CIniFile() { CloseFile(); }

void CIniFile::Trace(const char* line)
{
#ifdef _WIN32
    OutputDebugStringA(line);
#else
    (void)line;
#endif
}

FILE* CIniFile::OpenStream(const char* path, const char* mode) { return std::fopen(path, mode); }

void CIniFile::TraceFormat(const char* format, const char* argument)
{
    char line[256];
    std::snprintf(line, sizeof line, format, argument ? argument : "");
    Trace(line);
}

bool CIniFile::OpenFileRead(const char* path)
{
    CloseFile();
    m_pFile = path ? OpenStream(path, "rt") : nullptr;
    if (!m_pFile) {
        TraceFormat("CIniFile::OpenFileRead() Error (0) : Could not open file for read : <%s>\n", path);
        return false;
    }
    m_bRead = 1;
    return true;
}

bool CIniFile::OpenFileWrite(const char* path)
{
    CloseFile();
    m_pFile = path ? OpenStream(path, "wt") : nullptr;
    if (!m_pFile) {
        TraceFormat("CIniFile::OpenFileWrite() Error (0) : Could not open file for write : <%s>\n", path);
        return false;
    }
    m_bRead = 0;
    return true;
}

void CIniFile::CloseFile()
{
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
    m_bRead = 1;
}

bool CIniFile::ReadSection(std::string& section)
{
    if (!section.empty())
        return FindSection(section.c_str(), nullptr);
    return FindSection("", &section);
}

bool CIniFile::ReadSection(const char* section)
{
    std::string found;
    return FindSection(section ? section : "", section && *section ? nullptr : &found);
}

// A header is a line that starts with "[" and has a "]"; the stream stops
// just after that "]".
bool CIniFile::FindSection(const char* wanted, std::string* found)
{
    if (!m_pFile || !m_bRead)
        return false;
    if (std::fseek(m_pFile, 0, SEEK_SET) != 0)
        return false;
    std::string name;
    bool lineStart = true;
    bool collecting = false;
    for (;;) {
        const int c = std::fgetc(m_pFile);
        if (c == EOF || c == 0xFF) {
            TraceFormat("CIniFile::ReadSection() Error(0) : Reach the end of the file in reading section <%s>\n",
                        wanted);
            // A key searched for next is not found.
            std::fseek(m_pFile, 0, SEEK_END);
            return false;
        }
        if (IsLineEnd(c)) {
            lineStart = true;
            collecting = false;
            continue;
        }
        if (lineStart && c == '[') {
            lineStart = false;
            collecting = true;
            name.clear();
            continue;
        }
        lineStart = false;
        if (!collecting)
            continue;
        if (c == ']') {
            collecting = false;
            if (found) {
                *found = name;
                return true;
            }
            if (SameName(name, wanted))
                return true;
            continue;
        }
        if (name.size() < kMaxName - 1)
            name += static_cast<char>(c);
        // A trail byte may be "]" (0x5D): it belongs to its character.
        if (IsLogLeadByte(static_cast<unsigned char>(c))) {
            const int trail = std::fgetc(m_pFile);
            if (trail == EOF || IsLineEnd(trail)) {
                std::ungetc(trail, m_pFile);
                continue;
            }
            if (name.size() < kMaxName - 1)
                name += static_cast<char>(trail);
        }
    }
}

bool CIniFile::ReadLine(const char* key, char* buffer, size_t size)
{
    if (!m_pFile || !m_bRead || !key || !buffer || size == 0)
        return false;
    std::string name;
    bool tooLong = false;
    bool skipping = false;  // the rest of a line whose key is not the one
    bool lineStart = std::ftell(m_pFile) == 0;
    for (;;) {
        int c = std::fgetc(m_pFile);
        if (c == EOF) {
            TraceFormat("CIniFile::ReadLine() Error(0) : Reach the end of the file in reading named <%s>\n", key);
            return false;
        }
        if (IsLineEnd(c)) {
            name.clear();
            tooLong = false;
            skipping = false;
            lineStart = true;
            continue;
        }
        if (skipping)
            continue;
        if (lineStart && c == '[') {
            TraceFormat("CIniFile::ReadLine() Error(0) : Reach the next section in reading named <%s>\n", key);
            return false;
        }
        lineStart = false;
        if (c != '=') {
            if (name.size() < kMaxName)
                name += static_cast<char>(c);
            else
                tooLong = true;
            continue;
        }
        if (tooLong || !SameName(name, key)) {
            skipping = true;
            continue;
        }
        // The value: up to the line end, cut to the buffer without leaving
        // half a double-byte character at its end. A zero byte in the value
        // ends the text the caller sees: a lead byte before it is cut too.
        size_t n = 0;
        while ((c = std::fgetc(m_pFile)) != EOF && !IsLineEnd(c)) {
            if (n + 1 < size)
                buffer[n++] = static_cast<char>(c);
        }
        size_t keep = 0;
        for (size_t i = 0; i < n && buffer[i] != '\0';) {
            const bool pair = IsLogLeadByte(static_cast<unsigned char>(buffer[i]));
            if (pair && (i + 1 >= n || buffer[i + 1] == '\0'))
                break;
            i += pair ? 2 : 1;
            keep = i;
        }
        buffer[keep] = '\0';
        return true;
    }
}

bool CIniFile::ReadInt(const char* key, int& value)
{
    char text[256];
    if (!ReadLine(key, text, sizeof text))
        return false;
    value = std::atoi(text);
    return true;
}

void CIniFile::WriteSection(const char* section)
{
    if (m_pFile && !m_bRead && section)
        std::fprintf(m_pFile, "[%s]\n", section);
}

void CIniFile::WriteInt(const char* key, int value)
{
    if (m_pFile && !m_bRead && key)
        std::fprintf(m_pFile, "%s=%d\n", key, value);
}

void ReadControlSetting(const char* path, int& value)
{
    CIniFile file;
    if (!file.OpenFileRead(path))
        return;
    if (file.ReadSection(kvo::kConfigSection))
        file.ReadInt(kvo::kConfigKey, value);
    file.CloseFile();
}
