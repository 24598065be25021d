#include "utf8.h"

namespace bridge {

size_t Utf8SequenceLength(const unsigned char* s, size_t length)
{
    const unsigned char b = s[0];
    if (b < 0x80)
        return 1;
    // The lead byte fixes the length and the range of the second byte, which
    // rules out overlong forms (E0, F0), surrogates (ED) and values above
    // U+10FFFF (F4); the other continuation bytes are 80..BF.
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (length < n || s[1] < lo || s[1] > hi)
        return 0;
    for (size_t i = 2; i < n; ++i)
        if (s[i] < 0x80 || s[i] > 0xBF)
            return 0;
    return n;
}

bool IsValidUtf8(const char* text, size_t length, size_t* errorOffset)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        const size_t n = Utf8SequenceLength(s + i, length - i);
        if (n == 0) {
            if (errorOffset)
                *errorOffset = i;
            return false;
        }
        i += n;
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned long cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool Utf8ToUtf16(const std::string& text, std::u16string* out)
{
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t length = text.size();
    std::u16string wide;
    wide.reserve(length);
    size_t i = 0;
    while (i < length) {
        const size_t n = Utf8SequenceLength(s + i, length - i);
        unsigned long cp;
        switch (n) {
        case 1: cp = s[i]; break;
        case 2: cp = ((s[i] & 0x1Ful) << 6) | (s[i + 1] & 0x3Ful); break;
        case 3: cp = ((s[i] & 0x0Ful) << 12) | ((s[i + 1] & 0x3Ful) << 6) | (s[i + 2] & 0x3Ful); break;
        case 4:
            cp = ((s[i] & 0x07ul) << 18) | ((s[i + 1] & 0x3Ful) << 12) | ((s[i + 2] & 0x3Ful) << 6) |
                 (s[i + 3] & 0x3Ful);
            break;
        default: return false;
        }
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            wide += static_cast<char16_t>(0xD800 + (cp >> 10));
            wide += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            wide += static_cast<char16_t>(cp);
        }
    }
    out->swap(wide);
    return true;
}

std::string Utf16ToUtf8(const char16_t* text, size_t length)
{
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        unsigned long cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00ul);
            ++i;
        }
        AppendUtf8(out, cp);  // a lone surrogate becomes U+FFFD there
    }
    return out;
}

}  // namespace bridge
