#include "certtext.h"

#include <cstring>
#include <memory>
#include <new>

#include "base64.h"

using crypto::Base64Decode;
using crypto::Base64Encode;

namespace cert {

const char kPemHeader[] = "-----BEGIN CERTIFICATE-----";
const char kPemFooter[] = "-----END CERTIFICATE-----";

namespace {

const uint32_t kPemLineLength = 64;

uint64_t Base64Length(uint32_t derLength)
{
    return 4 * ((static_cast<uint64_t>(derLength) + 2) / 3);
}

bool InPemBody(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}

// White space as the subject formatting can leave it around a value. Bytes
// above 127 (the lead bytes of code page 936) are never white space.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char* PutLine(char* out, const char* text, size_t length)
{
    std::memcpy(out, text, length);
    out[length] = '\r';
    out[length + 1] = '\n';
    return out + length + 2;
}

}  // namespace

uint64_t PemTextSize(uint32_t derLength, uint32_t headerLength, uint32_t footerLength)
{
    const uint64_t base64 = Base64Length(derLength);
    const uint64_t lines = (base64 + kPemLineLength - 1) / kPemLineLength;
    uint64_t size = base64 + 2 * lines + 1;
    if (headerLength > 0)
        size += headerLength + 2;
    if (footerLength > 0)
        size += footerLength + 2;
    return size;
}

int DerToPem(const unsigned char* der, uint32_t derLength, char* pem, uint32_t pemSize, uint32_t* pemLength,
             const char* header, const char* footer)
{
    if (!pemLength)
        return -1;
    if (derLength == 0) {
        *pemLength = 0;
        return 0;
    }
    if (!der || !pem)
        return -1;
    const size_t headerLength = header ? std::strlen(header) : 0;
    const size_t footerLength = footer ? std::strlen(footer) : 0;
    if (headerLength >= pemSize || footerLength >= pemSize ||
        PemTextSize(derLength, static_cast<uint32_t>(headerLength), static_cast<uint32_t>(footerLength)) > pemSize)
        return -1;

    // The Base64 text, with its zero byte, before it is cut into lines.
    const size_t base64Size = static_cast<size_t>(Base64Length(derLength)) + 1;
    std::unique_ptr<char[]> work(new (std::nothrow) char[base64Size]);
    if (!work)
        return -1;
    uint32_t base64Length = 0;
    if (Base64Encode(der, derLength, work.get(), &base64Length) != 0)
        return -1;

    char* out = pem;
    if (headerLength > 0)
        out = PutLine(out, header, headerLength);
    for (uint32_t at = 0; at < base64Length; at += kPemLineLength) {
        const uint32_t left = base64Length - at;
        out = PutLine(out, work.get() + at, left < kPemLineLength ? left : kPemLineLength);
    }
    if (footerLength > 0)
        out = PutLine(out, footer, footerLength);
    *out = '\0';
    *pemLength = static_cast<uint32_t>(out - pem);
    return 0;
}

int PemToDer(const char* text, uint32_t textLength, unsigned char* der, uint32_t derSize, uint32_t* derLength)
{
    if (!derLength)
        return -1;
    if (textLength == 0) {
        *derLength = 0;
        return 0;
    }
    if (!text || !der)
        return -1;

    // Where the body starts, and whether a footer must end it.
    uint32_t start = 0;
    const void* firstDash = std::memchr(text, '-', textLength);
    const bool armoured = firstDash != nullptr;
    if (armoured) {
        const uint64_t afterLabel = static_cast<uint64_t>(static_cast<const char*>(firstDash) - text) + 5;
        if (afterLabel >= textLength)
            return -1;
        const void* closing = std::memchr(text + afterLabel, '-', textLength - afterLabel);
        if (!closing)
            return -1;
        const uint64_t body = static_cast<uint64_t>(static_cast<const char*>(closing) - text) + 5;
        if (body >= textLength)
            return -1;
        start = static_cast<uint32_t>(body);
    }

    std::unique_ptr<char[]> work(new (std::nothrow) char[static_cast<size_t>(textLength) + 1]());
    if (!work)
        return -1;
    uint32_t kept = 0;
    bool footer = false;
    for (uint32_t i = start; i < textLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (armoured && c == '-') {
            footer = true;
            break;
        }
        if (InPemBody(c))
            work[kept++] = static_cast<char>(c);
    }
    if (armoured && !footer)
        return -1;

    // Decoded apart, so that the caller's buffer is written only with a
    // result that fits it.
    std::unique_ptr<unsigned char[]> bytes(new (std::nothrow) unsigned char[3 * (kept / 4) + 1]);
    if (!bytes)
        return -1;
    uint32_t count = 0;
    if (Base64Decode(work.get(), kept, bytes.get(), &count) != 0 || count > derSize)
        return -1;
    std::memcpy(der, bytes.get(), count);
    *derLength = count;
    return 0;
}

int GetDnAttribute(const char* subject, const char* name, std::string& value)
{
    if (!subject || !name)
        return 0;
    const std::string key = std::string(name) + "=";
    const char* token = subject;
    while (*token != '\0') {
        if (*token == ',') {
            ++token;
            continue;
        }
        const char* end = std::strchr(token, ',');
        if (!end)
            end = token + std::strlen(token);
        const std::string text(token, end);
        const size_t at = text.find(key);
        if (at != std::string::npos) {
            size_t first = at + key.size();
            size_t last = text.size();
            while (first < last && IsBlank(text[first]))
                ++first;
            while (last > first && IsBlank(text[last - 1]))
                --last;
            value.assign(text, first, last - first);
            return static_cast<int>(value.size());
        }
        token = end;
    }
    return 0;
}

}  // namespace cert
