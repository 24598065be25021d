// Strict UTF-8 and the conversions between UTF-8 and UTF-16 at the edge of
// the native-messaging host. Portable code: built natively too.
//
// Valid UTF-8 is what RFC 3629 allows: the shortest encoding of a scalar
// value (U+0000 to U+10FFFF without the surrogates U+D800 to U+DFFF). Overlong
// forms, encoded surrogates, code points above U+10FFFF, stray continuation
// bytes, truncated sequences and the bytes C0, C1, F5 to FF are invalid.
#ifndef QEL_BRIDGE_UTF8_H
#define QEL_BRIDGE_UTF8_H

#include <cstddef>
#include <string>

namespace bridge {

// The length of the valid UTF-8 sequence at text[0..length) (1 to 4), or 0
// when the bytes there do not start one. `length` must be at least 1.
size_t Utf8SequenceLength(const unsigned char* text, size_t length);

// True when text[0..length) is valid UTF-8; otherwise false with the offset
// of the first byte that does not begin a valid sequence in *errorOffset.
bool IsValidUtf8(const char* text, size_t length, size_t* errorOffset = nullptr);

// Appends the UTF-8 encoding of a scalar value (not a surrogate, at most
// U+10FFFF; anything else appends U+FFFD).
void AppendUtf8(std::string& out, unsigned long codePoint);

// UTF-8 to UTF-16: false (and *out untouched) when the text is not valid UTF-8.
bool Utf8ToUtf16(const std::string& text, std::u16string* out);

// UTF-16 to UTF-8. A surrogate without its partner becomes U+FFFD, so the
// result is always valid UTF-8.
std::string Utf16ToUtf8(const char16_t* text, size_t length);

}  // namespace bridge

#endif
