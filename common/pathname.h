// Reading the path names that pages and the diagnostic log hand us, byte by
// byte, the way the Windows ANSI functions read them.
//
// A path is a NUL-terminated text in the ANSI code page. In a double-byte
// code page (936 on the clients the control serves) a lead byte and the byte
// after it are one character: that trail byte is never a separator, even
// when it is 0x5C ('\') or 0x2F ('/'). A lead byte that ends the text stands
// alone. Whether a byte leads is the caller's choice: IsCp936LeadByte() is the
// rule of code page 936 (0x81 to 0xFE); the Windows callers pass the test of
// the running code page (IsDBCSLeadByte) so they read paths as the system
// does. Portable: no Windows header, built natively and for Windows.
#ifndef QEL_COMMON_PATHNAME_H
#define QEL_COMMON_PATHNAME_H

#include <cstddef>
#include <string>

namespace qel {

// True when `c` begins a double-byte character.
using LeadByteTest = bool (*)(unsigned char c);

// The lead bytes of code page 936: 0x81 to 0xFE.
bool IsCp936LeadByte(unsigned char c);

// The first `length` bytes of `a` and `b` are equal when ASCII letters are
// compared without regard to case; other bytes must match exactly.
bool SameLetters(const char* a, const char* b, size_t length);

// Where the last component of `path` starts: behind its last backslash,
// slash or colon (the strlen of `path` when it ends with one of them, 0
// when it has none).
size_t NameStart(const char* path, LeadByteTest isLead);

// Where the extension of the last component of `path` starts, by the rule of
// PathFindExtensionA: at the last "." after the last backslash or blank. The
// strlen of `path` when there is no extension.
size_t ExtensionStart(const char* path, LeadByteTest isLead);

// True when the last component of `path` (behind the last backslash or
// slash, or behind a drive colon as its second byte) names a reserved device:
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, CLOCK$, COM1 to COM9 or LPT1 to LPT9,
// in any letter case, whatever follows the name from its first "." or ":"
// on and with blanks before that ignored ("nul.txt", "COM1 ", "con:x").
// Opening such a name reaches the device, not a file.
bool NamesDevice(const char* path, LeadByteTest isLead);

// Position of the last backslash of `text` that is not the trail byte of a
// double-byte character, or std::string::npos. `text` may hold NUL bytes;
// all its bytes are read.
size_t LastBackslash(const std::string& text, LeadByteTest isLead);

}  // namespace qel

#endif
