// Conversions between UTF-8 and code page 936 for the tests, by the
// platform: WideCharToMultiByte and MultiByteToWideChar on Windows, glibc's
// iconv elsewhere. Both return false for text the other side cannot hold.
#ifndef QEL_TESTS_CP936TEXT_H
#define QEL_TESTS_CP936TEXT_H

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace testtext {

#ifdef _WIN32
inline bool ConvertCodePage(const std::string& in, UINT from, UINT to, std::string& out)
{
    out.clear();
    if (in.empty())
        return true;
    const int n = static_cast<int>(in.size());
    const int wideLength = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), n, nullptr, 0);
    if (wideLength <= 0)
        return false;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), n, &wide[0], wideLength);
    BOOL usedDefault = FALSE;
    BOOL* const check = to == CP_UTF8 ? nullptr : &usedDefault;
    const DWORD flags = to == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = WideCharToMultiByte(to, flags, wide.data(), wideLength, nullptr, 0, nullptr, check);
    if (length <= 0 || usedDefault)
        return false;
    out.resize(static_cast<size_t>(length));
    WideCharToMultiByte(to, flags, wide.data(), wideLength, &out[0], length, nullptr, check);
    return !usedDefault;
}
inline bool Cp936FromUtf8(const std::string& utf8, std::string& out) { return ConvertCodePage(utf8, CP_UTF8, 936, out); }
inline bool Utf8FromCp936(const std::string& text, std::string& out) { return ConvertCodePage(text, 936, CP_UTF8, out); }
#else
inline bool Iconv(const std::string& in, const char* from, const char* to, std::string& out)
{
    out.clear();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string source = in;
    std::string buffer(in.size() * 4 + 4, '\0');
    char* src = source.empty() ? nullptr : &source[0];
    char* dst = &buffer[0];
    size_t left = source.size(), room = buffer.size();
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (r != 0 || left != 0)
        return false;
    out.assign(buffer.data(), buffer.size() - room);
    return true;
}
inline bool Cp936FromUtf8(const std::string& utf8, std::string& out) { return Iconv(utf8, "UTF-8", "CP936", out); }
inline bool Utf8FromCp936(const std::string& text, std::string& out) { return Iconv(text, "CP936", "UTF-8", out); }
#endif

}  // namespace testtext

#endif
