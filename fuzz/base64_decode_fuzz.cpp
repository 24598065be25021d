// Fuzzes Base64Decode: no read past the text, no write past 3*(n/4) bytes,
// decoding is stable under re-encoding, and a text made only of alphabet
// characters re-encodes to itself (its whole groups).
#include "base64.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

using crypto::Base64Decode;
using crypto::Base64Encode;

namespace {

bool InAlphabet(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 1 << 16)
        return 0;
    // The first byte chooses how much longer than the text the caller's length
    // claims to be (0 for the ordinary caller); the rest is the text.
    uint32_t extra = data[0] % 8 < 6 ? 0 : data[0] % 5;
    std::unique_ptr<char[]> text(new char[size]);
    std::memcpy(text.get(), data + 1, size - 1);
    text[size - 1] = '\0';
    uint32_t n = static_cast<uint32_t>(std::strlen(text.get()));
    uint32_t claimed = n + extra;

    size_t room = 3 * (claimed / 4);
    std::unique_ptr<unsigned char[]> out(new unsigned char[room ? room : 1]);
    uint32_t len = 0xFFFFFFFF;
    int rc = Base64Decode(text.get(), claimed, out.get(), &len);
    if (rc == -1) {
        if (extra == 0 || len != 0xFFFFFFFF) std::abort();
        return 0;
    }
    if (rc != 0 || len > room) std::abort();

    std::unique_ptr<char[]> again(new char[4 * ((len + 2) / 3) + 1]);
    uint32_t textLen = 0;
    Base64Encode(out.get(), len, again.get(), &textLen);
    if (textLen != 4 * ((len + 2) / 3) || again[textLen] != '\0') std::abort();

    std::unique_ptr<unsigned char[]> back(new unsigned char[3 * (textLen / 4) + 1]);
    uint32_t backLen = 0;
    if (Base64Decode(again.get(), textLen, back.get(), &backLen) != 0) std::abort();
    if (backLen != len || std::memcmp(back.get(), out.get(), len) != 0) std::abort();

    bool plain = true;
    for (uint32_t i = 0; i < n; ++i) plain = plain && InAlphabet(static_cast<unsigned char>(text[i]));
    if (plain && extra == 0) {
        uint32_t whole = n / 4 * 4;
        if (textLen != whole || std::memcmp(again.get(), text.get(), whole) != 0) std::abort();
    }
    return 0;
}
