// Conversions between UTF-16 and 8-bit text in the ANSI code page (CP_ACP,
// 936 on the target systems): the one pair every component uses.
//
// Both take a length in characters; the overloads without one read up to
// the terminating NUL. A null pointer or a zero length gives the empty
// string. Embedded NULs are converted like any other character; characters
// the code page lacks become its default character.
#ifndef QEL_COMMON_TEXTCONV_H
#define QEL_COMMON_TEXTCONV_H

#include <cstddef>
#include <string>

namespace qel {

std::string WideToAnsi(const wchar_t* text, size_t length);
std::wstring AnsiToWide(const char* text, size_t length);

inline std::string WideToAnsi(const wchar_t* text)
{
    return WideToAnsi(text, text ? std::char_traits<wchar_t>::length(text) : 0);
}
inline std::string WideToAnsi(const std::wstring& text) { return WideToAnsi(text.data(), text.size()); }
inline std::wstring AnsiToWide(const char* text)
{
    return AnsiToWide(text, text ? std::char_traits<char>::length(text) : 0);
}
inline std::wstring AnsiToWide(const std::string& text) { return AnsiToWide(text.data(), text.size()); }

}  // namespace qel

#endif
