// Fuzzes GetDnAttribute against the rule it follows, stated from the other
// end: the first occurrence of "NAME=" in the whole text lies in the first
// comma-separated token that holds it, so the value is what follows it up to
// the next comma, trimmed. A text without "NAME=" leaves the value alone.
#include "certtext.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using cert::GetDnAttribute;

namespace {

bool Blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 1 << 16)
        return 0;
    static const char* const kNames[] = {"CN", "OU", "O", ""};
    const char* name = kNames[data[0] % 4];
    // The subject is a zero-terminated text, cut at its first zero byte.
    std::unique_ptr<char[]> subject(new char[size]);
    std::memcpy(subject.get(), data + 1, size - 1);
    subject[size - 1] = '\0';

    const std::string sentinel("\x01untouched\x02");
    std::string value = sentinel;
    const int length = GetDnAttribute(subject.get(), name, value);

    const std::string text(subject.get());
    const std::string key = std::string(name) + "=";
    const size_t at = text.find(key);
    if (at == std::string::npos) {
        if (length != 0 || value != sentinel)
            std::abort();
        return 0;
    }
    size_t first = at + key.size();
    size_t last = text.find(',', first);
    if (last == std::string::npos)
        last = text.size();
    while (first < last && Blank(text[first]))
        ++first;
    while (last > first && Blank(text[last - 1]))
        --last;
    if (value != text.substr(first, last - first) || length != static_cast<int>(value.size()))
        std::abort();
    return 0;
}
