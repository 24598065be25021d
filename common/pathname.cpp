#include "pathname.h"

#include <cstring>

namespace qel {

namespace {

// Bytes of the character at `p`: 2 for a lead byte with a byte after it.
size_t CharBytes(const char* p, LeadByteTest isLead)
{
    return isLead(static_cast<unsigned char>(*p)) && p[1] ? 2 : 1;
}

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

bool IsCp936LeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

bool SameLetters(const char* a, const char* b, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

size_t NameStart(const char* path, LeadByteTest isLead)
{
    size_t start = 0;
    for (size_t i = 0; path[i];) {
        const size_t bytes = CharBytes(path + i, isLead);
        const char c = path[i];
        i += bytes;
        if (bytes == 1 && (c == '\\' || c == '/' || c == ':'))
            start = i;
    }
    return start;
}

size_t ExtensionStart(const char* path, LeadByteTest isLead)
{
    const char* dot = nullptr;
    const char* p = path;
    while (*p) {
        if (*p == '\\' || *p == ' ')
            dot = nullptr;
        else if (*p == '.')
            dot = p;
        p += CharBytes(p, isLead);
    }
    return static_cast<size_t>((dot ? dot : p) - path);
}

bool NamesDevice(const char* path, LeadByteTest isLead)
{
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    const char* name = path;
    for (const char* p = path; *p;) {
        const size_t bytes = CharBytes(p, isLead);
        if (bytes == 1 && (*p == '\\' || *p == '/' || (*p == ':' && p == path + 1)))
            name = p + 1;
        p += bytes;
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

size_t LastBackslash(const std::string& text, LeadByteTest isLead)
{
    size_t last = std::string::npos;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (isLead(c) && i + 1 < text.size()) {
            i += 2;
            continue;
        }
        if (c == '\\')
            last = i;
        ++i;
    }
    return last;
}

}  // namespace qel
