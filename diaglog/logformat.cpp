#include "logformat.h"

#include "aes.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#include <mbctype.h>
#include <mbstring.h>
#endif

using crypto::CAesCipher;

namespace diaglog {

const char kLogKey[] = "7301946285017392";

namespace {

// The key length, measured on the key text itself.
const uint32_t kLogKeyLength = static_cast<uint32_t>(sizeof(kLogKey) - 1);
static_assert(sizeof(kLogKey) - 1 == 16, "the log key is an AES-128 key");

const uint16_t kFormatWords[4] = {1, 0, 1, 0};

uint16_t LoadLe16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A cipher object keyed for the log: AES-128, 16-byte blocks.
void KeyLogCipher(CAesCipher& cipher)
{
    cipher.SetKey(reinterpret_cast<const unsigned char*>(kLogKey), static_cast<int>(kLogKeyLength), 16);
}

}  // namespace

uint32_t LoadLe32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void StoreLe32(uint32_t value, unsigned char* p)
{
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

LogTime CurrentLogTime()
{
#ifdef _WIN32
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
#else
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
#endif
}

uint32_t PaddedLength(uint32_t n)
{
    if (n % kLogKeyLength == 0)
        return kLogKeyLength * (n / kLogKeyLength);
    return kLogKeyLength * (n / kLogKeyLength + 1);
}

bool IsLogLeadByte(unsigned char c)
{
#ifdef _WIN32
    return _ismbblead(c) != 0;
#else
    return c >= 0x81 && c <= 0xFE;
#endif
}

void BoundedMbCopy(char* dest, const char* src, size_t count)
{
    if (count == 0)
        return;
    if (!src)
        src = "";
#ifdef _WIN32
    _mbsnbcpy(reinterpret_cast<unsigned char*>(dest), reinterpret_cast<const unsigned char*>(src), count);
#else
    size_t i = 0;
    while (i < count && src[i] != '\0') {
        if (IsLogLeadByte(static_cast<unsigned char>(src[i]))) {
            // A lead byte needs its trail byte inside the bound and in the text.
            if (i + 1 >= count || src[i + 1] == '\0')
                break;
            dest[i] = src[i];
            dest[i + 1] = src[i + 1];
            i += 2;
        } else {
            dest[i] = src[i];
            ++i;
        }
    }
    std::memset(dest + i, 0, count - i);
#endif
}

void FormatLogTime(const LogTime& t, char (&out)[64])
{
    std::memset(out, 0, sizeof(out));
    std::snprintf(out, sizeof(out), "%d/%d/%d/%d:%d:%d", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

LogRecordHeader MakeLogRecordHeader(const LogTime& t, const char* subject, const char* content)
{
    char timeText[64];
    FormatLogTime(t, timeText);
    LogRecordHeader header;
    std::memset(&header, 0, sizeof(header));
    BoundedMbCopy(header.subject, subject, kLogFieldSize);
    header.length = PaddedLength(static_cast<uint32_t>(content ? std::strlen(content) : 0));
    BoundedMbCopy(header.time, timeText, kLogFieldSize);
    return header;
}

void BuildLogFileHeader(unsigned char (&out)[kLogFileHeaderSize])
{
    std::memset(out, 0, sizeof(out));
    StoreLe32(kLogMagic, out);
    for (int i = 0; i < 4; ++i) {
        out[4 + 2 * i] = static_cast<unsigned char>(kFormatWords[i]);
        out[5 + 2 * i] = static_cast<unsigned char>(kFormatWords[i] >> 8);
    }
}

bool CheckLogFileHeader(const unsigned char* first48)
{
    if (LoadLe32(first48) != kLogMagic)
        return false;
    for (int i = 0; i < 4; ++i) {
        if (LoadLe16(first48 + 4 + 2 * i) != kFormatWords[i])
            return false;
    }
    return true;
}

void StoreLogRecordHeader(const LogRecordHeader& header, unsigned char* out132)
{
    std::memcpy(out132, header.subject, kLogFieldSize);
    std::memcpy(out132 + kLogFieldSize, header.time, kLogFieldSize);
    StoreLe32(header.length, out132 + 2 * kLogFieldSize);
}

LogRecordHeader LoadLogRecordHeader(const unsigned char* in132)
{
    LogRecordHeader header;
    std::memcpy(header.subject, in132, kLogFieldSize);
    std::memcpy(header.time, in132 + kLogFieldSize, kLogFieldSize);
    header.length = LoadLe32(in132 + 2 * kLogFieldSize);
    return header;
}

void AppendEncryptedContent(const char* text, size_t length, std::vector<unsigned char>& out)
{
    uint32_t padded = PaddedLength(static_cast<uint32_t>(length));
    if (padded == 0)
        return;
    size_t at = out.size();
    out.resize(at + padded, 0);
    unsigned char* block = out.data() + at;
    std::memcpy(block, text, length);
    CAesCipher cipher;
    KeyLogCipher(cipher);
    cipher.EncryptData(block, block, padded, CAesCipher::ModeEcb);
}

std::string DecryptLogContent(const unsigned char* cipher, uint32_t length)
{
    uint32_t whole = length - length % kLogKeyLength;
    if (whole == 0)
        return std::string();
    std::vector<unsigned char> plain(static_cast<size_t>(whole) + 1, 0);
    CAesCipher aes;
    KeyLogCipher(aes);
    aes.DecryptData(cipher, plain.data(), whole, CAesCipher::ModeEcb);
    const char* text = reinterpret_cast<const char*>(plain.data());
    return std::string(text, std::strlen(text));
}

bool AppendLogRecord(const LogRecordHeader& header, const std::string& content, std::vector<unsigned char>& out)
{
    size_t length = std::strlen(content.c_str());
    if (length > kMaxLogContentLength)
        return false;
    LogRecordHeader written = header;
    written.length = PaddedLength(static_cast<uint32_t>(length));
    size_t at = out.size();
    out.resize(at + kLogRecordHeaderSize);
    StoreLogRecordHeader(written, out.data() + at);
    AppendEncryptedContent(content.c_str(), length, out);
    return true;
}

bool ParseLog(const unsigned char* data, size_t size, LogImage& image)
{
    image = LogImage();
    if (size < kLogFileHeaderSize || !CheckLogFileHeader(data))
        return false;
    if (size < kLogRecordsOffset)
        return true;  // a header without its count holds no record
    image.declaredCount = static_cast<int32_t>(LoadLe32(data + kLogCountOffset));
    size_t at = kLogRecordsOffset;
    for (int32_t i = 0; i < image.declaredCount; ++i) {
        if (size - at < kLogRecordHeaderSize)
            break;
        LogRecordHeader header = LoadLogRecordHeader(data + at);
        if (size - at - kLogRecordHeaderSize < header.length)
            break;
        image.contents.push_back(DecryptLogContent(data + at + kLogRecordHeaderSize, header.length));
        image.headers.push_back(header);
        at += kLogRecordHeaderSize + header.length;
    }
    image.end = at;
    return true;
}

bool SerializeLog(const std::deque<LogRecordHeader>& headers, const std::deque<std::string>& contents,
                  std::vector<unsigned char>& out)
{
    out.clear();
    if (headers.size() != contents.size() || headers.size() > 0x7FFFFFFF)
        return false;
    unsigned char fileHeader[kLogFileHeaderSize];
    BuildLogFileHeader(fileHeader);
    out.assign(fileHeader, fileHeader + kLogFileHeaderSize);
    out.resize(kLogRecordsOffset);
    StoreLe32(static_cast<uint32_t>(headers.size()), out.data() + kLogCountOffset);
    for (size_t i = 0; i < headers.size(); ++i) {
        if (!AppendLogRecord(headers[i], contents[i], out)) {
            out.clear();
            return false;
        }
    }
    return true;
}

}  // namespace diaglog
