// Diagnostic log format: the byte layout of a written file, the record fields
// (bounded multibyte copy, time text, padded length), the content cipher
// against OpenSSL, and the reader's handling of foreign and damaged files.
#include "logformat.h"
#include "refdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using diaglog::AppendEncryptedContent;
using diaglog::BoundedMbCopy;
using diaglog::DecryptLogContent;
using diaglog::FormatLogTime;
using diaglog::LogImage;
using diaglog::LogRecordHeader;
using diaglog::LogTime;
using diaglog::MakeLogRecordHeader;
using diaglog::PaddedLength;
using diaglog::ParseLog;
using diaglog::SerializeLog;
using diaglog::StoreLe32;
using diaglog::StoreLogRecordHeader;
using diaglog::kMaxLogContentLength;

namespace {

using Bytes = std::vector<unsigned char>;

std::string Hex(const Bytes& b) { return refdata::ToHex(b.data(), b.size()); }
std::string Hex(const std::string& s) { return refdata::ToHex(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

// The hex of a 64-byte text field holding `text`.
std::string Field(const std::string& text) { return Hex(text) + std::string(2 * (64 - text.size()), '0'); }

// OpenSSL's cipher text of a content, from the reference file.
std::string OpenSslCipher(const std::string& content)
{
    for (const refdata::Fields& v : refdata::Load("logcontent"))
        if (v.size() == 2 && v[0] == Hex(content))
            return v[1];
    ADD_FAILURE() << "no OpenSSL vector for \"" << content << "\" in " << refdata::FilePath();
    return std::string();
}

const LogTime kMarch9{2007, 3, 9, 14, 5, 7};

Bytes Serialize(const std::deque<LogRecordHeader>& headers, const std::deque<std::string>& contents)
{
    Bytes out;
    EXPECT_TRUE(SerializeLog(headers, contents, out));
    return out;
}

LogImage Parse(const Bytes& file, bool expectValid = true)
{
    LogImage image;
    EXPECT_EQ(expectValid, ParseLog(file.data(), file.size(), image));
    EXPECT_EQ(image.headers.size(), image.contents.size());
    return image;
}

std::string SubjectOf(const LogRecordHeader& h) { return std::string(h.subject, strnlen(h.subject, 64)); }

TEST(LogFormatLayout, TwoRecordFileIsByteExact)
{
    const std::string content2 = "0123456789abcdefg";  // 17 bytes: two blocks
    std::deque<LogRecordHeader> headers = {MakeLogRecordHeader(kMarch9, "ABC", "a"),
                                           MakeLogRecordHeader({2008, 1, 1, 0, 0, 5}, "\xCF\xB5\xCD\xB3", "x")};
    Bytes file = Serialize(headers, {"a", content2});

    std::string expected = "0339a58c" "0100" "0000" "0100" "0000" + std::string(72, '0') + "02000000" +
                           Field("ABC") + Field("2007/3/9/14:5:7") + "10000000" + OpenSslCipher("a") +
                           Field("\xCF\xB5\xCD\xB3") + Field("2008/1/1/0:0:5") + "20000000" + OpenSslCipher(content2);
    EXPECT_EQ(expected, Hex(file));
    EXPECT_EQ(52u + 132 + 16 + 132 + 32, file.size());
}

TEST(LogFormatLayout, LengthIsPaddedToTheKeyLength)
{
    EXPECT_EQ(0u, PaddedLength(0));
    EXPECT_EQ(16u, PaddedLength(1));
    EXPECT_EQ(16u, PaddedLength(16));
    EXPECT_EQ(32u, PaddedLength(17));
    EXPECT_EQ(0xFFFFFFF0u, PaddedLength(kMaxLogContentLength));
    for (const char* content : {"0123456789abcdef", "0123456789abcdefg", "a"}) {
        LogRecordHeader h = MakeLogRecordHeader(kMarch9, "s", content);
        Bytes cipher;
        AppendEncryptedContent(content, std::strlen(content), cipher);
        EXPECT_EQ(PaddedLength(static_cast<uint32_t>(std::strlen(content))), h.length) << content;
        EXPECT_EQ(h.length, cipher.size()) << content;
    }
}

TEST(LogFormatCipher, AgreesWithOpenSsl)
{
    std::vector<refdata::Fields> vectors = refdata::Load("logcontent");
    ASSERT_GE(vectors.size(), 40u) << refdata::FilePath();
    for (const refdata::Fields& v : vectors) {
        Bytes content = refdata::FromHex(v[0]);
        Bytes cipher;
        AppendEncryptedContent(reinterpret_cast<const char*>(content.data()), content.size(), cipher);
        EXPECT_EQ(v[1], Hex(cipher)) << "content " << v[0];
        Bytes openssl = refdata::FromHex(v[1]);
        EXPECT_EQ(std::string(content.begin(), content.end()),
                  DecryptLogContent(openssl.data(), static_cast<uint32_t>(openssl.size())));
    }
}

TEST(LogFormatCipher, EqualContentsGiveEqualCipherText)
{
    Bytes a, b;
    AppendEncryptedContent("same text", 9, a);
    AppendEncryptedContent("same text", 9, b);
    EXPECT_EQ(a, b);
    Bytes twice;
    AppendEncryptedContent("0123456789abcdef0123456789abcdef", 32, twice);
    EXPECT_TRUE(std::equal(twice.begin(), twice.begin() + 16, twice.begin() + 16));
}

TEST(LogFormatFields, SubjectIsCutAtSixtyFourBytes)
{
    std::string s63(63, 'a'), s64(64, 'b'), s100(100, 'c');
    EXPECT_EQ(Field(s63), Hex(std::string(MakeLogRecordHeader(kMarch9, s63.c_str(), "").subject, 64)));
    EXPECT_EQ(Hex(s64), Hex(std::string(MakeLogRecordHeader(kMarch9, s64.c_str(), "").subject, 64)));
    EXPECT_EQ(Hex(s100.substr(0, 64)), Hex(std::string(MakeLogRecordHeader(kMarch9, s100.c_str(), "").subject, 64)));
}

TEST(LogFormatFields, DoubleByteCharacterIsNeverSplit)
{
    const std::string sign = "\xC7\xA9";  // one character, lead byte 0xC7
    struct {
        std::string in;
        std::string stored;
    } cases[] = {
        {std::string(63, 'a') + sign + "xyz", std::string(63, 'a')},  // lead byte would be byte 64
        {std::string(62, 'a') + sign + "xyz", std::string(62, 'a') + sign},
        {"abc\xC7", "abc"},  // a lead byte without its trail byte
        {"a\\" + sign + "\\", "a\\" + sign + "\\"},
    };
    for (const auto& c : cases) {
        char field[64];
        std::memset(field, 0x55, sizeof(field));
        BoundedMbCopy(field, c.in.c_str(), sizeof(field));
        EXPECT_EQ(Field(c.stored), Hex(std::string(field, 64))) << Hex(c.in);
    }
    char small[4] = {'x', 'x', 'x', 'x'};
    BoundedMbCopy(small, "ab", 3);
    EXPECT_EQ(std::string("ab\0x", 4), std::string(small, 4));  // zero-filled up to the bound, not beyond
}

TEST(LogFormatFields, TimeText)
{
    char text[64];
    FormatLogTime({2007, 12, 31, 23, 59, 59}, text);
    EXPECT_STREQ("2007/12/31/23:59:59", text);
    FormatLogTime({2008, 1, 1, 0, 0, 5}, text);
    EXPECT_STREQ("2008/1/1/0:0:5", text);
    LogRecordHeader h = MakeLogRecordHeader({2008, 1, 1, 0, 0, 5}, nullptr, nullptr);
    EXPECT_EQ(Field("2008/1/1/0:0:5"), Hex(std::string(h.time, 64)));
    EXPECT_EQ(Field(""), Hex(std::string(h.subject, 64)));
    EXPECT_EQ(0u, h.length);
}

// A valid file of `records` records with contents "r0", "r1", ...
Bytes LogOf(int records)
{
    std::deque<LogRecordHeader> headers;
    std::deque<std::string> contents;
    for (int i = 0; i < records; ++i) {
        contents.push_back("r" + std::to_string(i));
        headers.push_back(MakeLogRecordHeader(kMarch9, ("s" + std::to_string(i)).c_str(), contents.back().c_str()));
    }
    return Serialize(headers, contents);
}

TEST(LogFormatReader, FileHeaderCheck)
{
    Bytes file = LogOf(1);
    for (size_t i = 12; i < 48; ++i)
        file[i] = static_cast<unsigned char>(0xA0 + i);  // reserved bytes: not looked at
    EXPECT_EQ(1u, Parse(file).headers.size());
    for (size_t at : {0, 3, 4, 6, 8, 10, 11}) {
        Bytes bad = file;
        bad[at] ^= (at == 8 ? 3 : 1);  // the word at 8 becomes 2
        EXPECT_TRUE(Parse(bad, false).headers.empty()) << "byte " << at;
    }
    EXPECT_TRUE(Parse(Bytes(), false).headers.empty());
    EXPECT_TRUE(Parse(Bytes(file.begin(), file.begin() + 47), false).headers.empty());
    EXPECT_TRUE(Parse(Bytes(file.begin(), file.begin() + 48)).headers.empty());
    EXPECT_EQ(52u, LogOf(0).size());
    EXPECT_TRUE(Parse(LogOf(0)).headers.empty());
}

TEST(LogFormatReader, KeepsWholeRecordsOnly)
{
    Bytes file = LogOf(3);
    const size_t second = 52 + 132 + 16, third = second + 132 + 16;
    struct {
        const char* what;
        size_t patchAt;
        uint32_t value;
        size_t cutTo;
        size_t kept;
    } cases[] = {
        {"count beyond the records", 48, 7, file.size(), 3},
        {"count 0x7FFFFFFF", 48, 0x7FFFFFFF, file.size(), 3},
        {"negative count", 48, 0xFFFFFFFF, file.size(), 0},
        {"length 0xFFFFFFFF", second + 128, 0xFFFFFFFF, file.size(), 1},
        {"length one past the end", third + 128, 17, file.size(), 2},
        {"cut inside a header", 0, 0, third + 100, 2},
        {"cut inside a cipher text", 0, 0, third + 132 + 15, 2},
    };
    for (const auto& c : cases) {
        Bytes damaged(file.begin(), file.begin() + c.cutTo);
        if (c.patchAt)
            StoreLe32(c.value, damaged.data() + c.patchAt);
        LogImage image = Parse(damaged);
        ASSERT_EQ(c.kept, image.headers.size()) << c.what;
        for (size_t i = 0; i < c.kept; ++i)
            EXPECT_EQ("r" + std::to_string(i), image.contents[i]) << c.what;
        EXPECT_EQ(c.kept ? (c.kept == 1 ? second : c.kept == 2 ? third : file.size()) : 52, image.end) << c.what;
    }
}

TEST(LogFormatReader, ForeignRecordsAreWrittenBackConsistently)
{
    // Record 1: empty content (length 0). Record 2: length 20, no multiple of
    // 16. Record 3: 32 bytes whose text ends at a zero byte after 5 bytes.
    Bytes cipher20, cipher32;
    AppendEncryptedContent("odd length", 10, cipher20);
    cipher20.resize(20, 0xEE);
    const char early[32] = "early";
    AppendEncryptedContent(early, 32, cipher32);
    Bytes file = LogOf(0);
    StoreLe32(3, file.data() + 48);
    auto add = [&](const char* subject, const Bytes& cipher) {
        LogRecordHeader h = MakeLogRecordHeader(kMarch9, subject, "");
        h.length = static_cast<uint32_t>(cipher.size());
        size_t at = file.size();
        file.resize(at + 132);
        StoreLogRecordHeader(h, file.data() + at);
        file.insert(file.end(), cipher.begin(), cipher.end());
    };
    add("empty", Bytes());
    add("odd", cipher20);
    add("early", cipher32);

    LogImage image = Parse(file);
    ASSERT_EQ(3u, image.contents.size());
    EXPECT_EQ((std::deque<std::string>{"", "odd length", "early"}), image.contents);
    EXPECT_EQ(file.size(), image.end);

    LogImage again = Parse(Serialize(image.headers, image.contents));
    EXPECT_EQ(image.contents, again.contents);
    const uint32_t lengths[] = {0, 16, 16};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lengths[i], again.headers[i].length);
        EXPECT_EQ(SubjectOf(image.headers[i]), SubjectOf(again.headers[i]));
    }
}

}  // namespace
