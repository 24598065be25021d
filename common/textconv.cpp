#include "textconv.h"

#include <windows.h>

#include <climits>

namespace qel {

std::string WideToAnsi(const wchar_t* text, size_t length)
{
    if (!text || length == 0 || length > INT_MAX)
        return std::string();
    const int n = static_cast<int>(length);
    const int size = WideCharToMultiByte(CP_ACP, 0, text, n, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, n, &out[0], size, nullptr, nullptr);
    return out;
}

std::wstring AnsiToWide(const char* text, size_t length)
{
    if (!text || length == 0 || length > INT_MAX)
        return std::wstring();
    const int n = static_cast<int>(length);
    const int size = MultiByteToWideChar(CP_ACP, 0, text, n, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, n, &out[0], size);
    return out;
}

}  // namespace qel
