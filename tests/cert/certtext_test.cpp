// Certificate text: the PEM writer and reader and the subject-attribute
// reader, natively and under Wine. Buffers are given exactly the size under
// test with a canary behind them, so a write past the size shows.
#include "certtext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base64.h"

using cert::DerToPem;
using cert::GetDnAttribute;
using cert::PemTextSize;
using cert::PemToDer;
using cert::kCertTextSize;
using cert::kMaxCertDerSize;
using cert::kPemFooter;
using cert::kPemHeader;
using crypto::Base64Encode;

namespace {

using Bytes = std::vector<unsigned char>;

const char kCanary = '\x5A';

Bytes Der(size_t length, unsigned seed = 1)
{
    std::mt19937 rng(seed);
    Bytes der(length);
    for (unsigned char& b : der)
        b = static_cast<unsigned char>(rng());
    return der;
}

// DerToPem into a buffer of `size` bytes followed by a canary; the text on
// success, the untouched buffer contents otherwise.
struct PemResult {
    int rc;
    uint32_t length;
    std::string buffer;  // the `size` bytes given, and the canary
};

PemResult ToPem(const Bytes& der, uint32_t size, const char* header = kPemHeader, const char* footer = kPemFooter)
{
    std::string buffer(size + 1, 'x');
    buffer[size] = kCanary;
    uint32_t length = 0xFFFFFFFF;
    int rc = DerToPem(der.data(), static_cast<uint32_t>(der.size()), &buffer[0], size, &length, header, footer);
    return {rc, length, buffer};
}

std::string Pem(const Bytes& der)
{
    PemResult r = ToPem(der, kCertTextSize * 2);
    EXPECT_EQ(0, r.rc);
    return r.buffer.substr(0, r.length);
}

int ToDer(const std::string& text, Bytes* der, uint32_t size = kCertTextSize)
{
    std::vector<unsigned char> buffer(size + 1, 0xEE);
    buffer[size] = static_cast<unsigned char>(kCanary);
    uint32_t length = 0xFFFFFFFF;
    int rc = PemToDer(text.data(), static_cast<uint32_t>(text.size()), buffer.data(), size, &length);
    EXPECT_EQ(static_cast<unsigned char>(kCanary), buffer[size]) << "PemToDer wrote past " << size << " bytes";
    if (rc == 0) {
        EXPECT_LE(length, size);
        der->assign(buffer.begin(), buffer.begin() + length);
    } else {
        EXPECT_EQ(0xFFFFFFFFu, length) << "the length is written only on success";
        EXPECT_EQ(Bytes(size, 0xEE), Bytes(buffer.begin(), buffer.begin() + size)) << "failure writes nothing";
    }
    return rc;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(text.substr(at));
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::string Base64(const Bytes& der)
{
    std::string text(4 * ((der.size() + 2) / 3) + 1, '\0');
    uint32_t length = 0;
    Base64Encode(der.data(), static_cast<uint32_t>(der.size()), &text[0], &length);
    text.resize(length);
    return text;
}

// DerToPem

TEST(DerToPem, ThousandBytesGiveTheFourteenHundredThirtyFourByteText)
{
    const Bytes der = Der(1000);
    PemResult r = ToPem(der, kCertTextSize);
    ASSERT_EQ(0, r.rc);
    ASSERT_EQ(1434u, r.length);
    EXPECT_EQ('\0', r.buffer[1434]);
    EXPECT_EQ(kCanary, r.buffer[kCertTextSize]);

    const std::string text = r.buffer.substr(0, 1434);
    ASSERT_EQ("\r\n", text.substr(text.size() - 2)) << "the footer line ends with CR LF too";
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(23u, lines.size());
    EXPECT_EQ("-----BEGIN CERTIFICATE-----", lines.front());
    EXPECT_EQ("-----END CERTIFICATE-----", lines.back());
    std::string body;
    for (size_t i = 1; i <= 21; ++i) {
        EXPECT_EQ(i <= 20 ? 64u : 56u, lines[i].size()) << "line " << i;
        body += lines[i];
    }
    EXPECT_EQ(Base64(der), body);
}

TEST(DerToPem, LastLineIsShortOrFullNeverEmpty)
{
    // 48 bytes are exactly one line of 64 characters, 49 spill into a second.
    const struct { size_t der; std::vector<size_t> lines; } cases[] = {
        {1, {4}}, {47, {64}}, {48, {64}}, {49, {64, 4}}, {96, {64, 64}}, {97, {64, 64, 4}}};
    for (const auto& c : cases) {
        const std::vector<std::string> lines = Lines(Pem(Der(c.der)));
        ASSERT_EQ(c.lines.size() + 2, lines.size()) << c.der << " bytes";
        for (size_t i = 0; i < c.lines.size(); ++i)
            EXPECT_EQ(c.lines[i], lines[i + 1].size()) << c.der << " bytes, line " << i + 1;
    }
}

TEST(DerToPem, EmptyArmourLeavesItsLineOut)
{
    const Bytes der = Der(60);
    const std::string body = Base64(der);
    const std::string bodyLines = body.substr(0, 64) + "\r\n" + body.substr(64) + "\r\n";

    PemResult bare = ToPem(der, 200, "", "");
    ASSERT_EQ(0, bare.rc);
    EXPECT_EQ(bodyLines, bare.buffer.substr(0, bare.length));
    PemResult noFooter = ToPem(der, 200, "-----BEGIN X-----", nullptr);
    ASSERT_EQ(0, noFooter.rc);
    EXPECT_EQ("-----BEGIN X-----\r\n" + bodyLines, noFooter.buffer.substr(0, noFooter.length));
}

TEST(DerToPem, EmptyDerWritesNothing)
{
    const Bytes none;
    PemResult r = ToPem(none, 10);
    EXPECT_EQ(0, r.rc);
    EXPECT_EQ(0u, r.length);
    EXPECT_EQ(std::string(10, 'x'), r.buffer.substr(0, 10));
}

TEST(DerToPem, TextMustFitWithItsZeroByte)
{
    // 1,000 bytes need 1,434 + 1 bytes.
    const Bytes der = Der(1000);
    for (uint32_t size : {1433u, 1434u, 1435u, 1436u}) {
        PemResult r = ToPem(der, size);
        EXPECT_EQ(kCanary, r.buffer[size]) << size;
        if (size < 1435) {
            EXPECT_EQ(-1, r.rc) << size;
            EXPECT_EQ(0xFFFFFFFFu, r.length) << size;
            EXPECT_EQ(std::string(size, 'x'), r.buffer.substr(0, size)) << "failure writes nothing";
        } else {
            EXPECT_EQ(0, r.rc) << size;
            EXPECT_EQ(1434u, r.length) << size;
        }
    }
}

TEST(DerToPem, LargestCertificateFitsTheWorkingBuffer)
{
    EXPECT_EQ(2047u, PemTextSize(kMaxCertDerSize, 27, 25));
    EXPECT_GT(PemTextSize(kMaxCertDerSize + 1, 27, 25), kCertTextSize);
    for (uint32_t length : {kMaxCertDerSize - 1, kMaxCertDerSize, kMaxCertDerSize + 1}) {
        PemResult r = ToPem(Der(length), kCertTextSize);
        EXPECT_EQ(kCanary, r.buffer[kCertTextSize]) << length;
        EXPECT_EQ(length <= kMaxCertDerSize ? 0 : -1, r.rc) << length;
        if (r.rc == 0) {
            EXPECT_EQ(PemTextSize(length, 27, 25) - 1, r.length);
        }
    }
}

TEST(DerToPem, NullPointersFail)
{
    const Bytes der = Der(10);
    char pem[100];
    uint32_t length = 7;
    EXPECT_EQ(-1, DerToPem(nullptr, 10, pem, sizeof(pem), &length, kPemHeader, kPemFooter));
    EXPECT_EQ(-1, DerToPem(der.data(), 10, nullptr, sizeof(pem), &length, kPemHeader, kPemFooter));
    EXPECT_EQ(-1, DerToPem(der.data(), 10, pem, sizeof(pem), nullptr, kPemHeader, kPemFooter));
    EXPECT_EQ(7u, length);
}

// PemToDer

TEST(PemToDer, LineEndsAndArmourDoNotChangeTheBytes)
{
    const Bytes der = Der(1000);
    const std::string crlf = Pem(der);
    const std::string body = Base64(der);
    const std::string forms[] = {
        crlf,
        Replace(crlf, "\r\n", "\n"),
        body,
        Replace(crlf.substr(29, crlf.size() - 29 - 27), "\r\n", "\n"),  // the body lines without armour
        "-----BEGIN X509 CERTIFICATE-----\n" + body + "\n-----END X509 CERTIFICATE-----\n",
        "-----BEGIN TRUSTED CERTIFICATE-----" + body + "-----END TRUSTED CERTIFICATE-----",
        "  " + Replace(crlf, "\r\n", " \t\r\n"),
        // Bytes above 127 (a full-width space of code page 936) are dropped too.
        Replace(body, "A", "\xA1\xA1" "A"),
    };
    for (const std::string& text : forms) {
        Bytes got;
        ASSERT_EQ(0, ToDer(text, &got)) << text.substr(0, 80);
        EXPECT_EQ(der, got) << text.substr(0, 80);
    }
}

TEST(PemToDer, IncompleteArmourFails)
{
    const std::string crlf = Pem(Der(100));
    const std::string withoutFooter = crlf.substr(0, crlf.find("-----END"));
    const std::string texts[] = {
        withoutFooter,
        "-----BEGIN CERTIFICATE",                  // the header line never closes
        "-----BEGIN CERTIFICATE-----",             // nothing after the header
        "----",                                    // the text ends within five bytes of the dash
        "MIIB-",                                   // a dash after body characters opens an armour
    };
    for (const std::string& text : texts) {
        Bytes got;
        EXPECT_EQ(-1, ToDer(text, &got)) << text;
    }
    // The length given bounds the text: the footer behind it is not seen.
    unsigned char der[200];
    uint32_t length = 1;
    EXPECT_EQ(-1, PemToDer(crlf.c_str(), static_cast<uint32_t>(withoutFooter.size()), der, sizeof(der), &length));
    EXPECT_EQ(0, PemToDer(crlf.c_str(), static_cast<uint32_t>(crlf.size()), der, sizeof(der), &length));
    EXPECT_EQ(100u, length);
}

TEST(PemToDer, BytesMustFitTheBuffer)
{
    const std::string text = Pem(Der(1000));
    for (uint32_t size : {999u, 1000u, 1001u}) {
        Bytes got;
        EXPECT_EQ(size < 1000 ? -1 : 0, ToDer(text, &got, size)) << size;
    }
    // A long bare text can decode beyond any certificate buffer.
    Bytes got;
    EXPECT_EQ(-1, ToDer(std::string(4 * 683, 'A'), &got)) << "2,049 bytes";
    EXPECT_EQ(0, ToDer(std::string(4 * 682, 'A') + "AA==", &got)) << "2,047 bytes";
    EXPECT_EQ(2047u, got.size());
}

TEST(PemToDer, EmptyBodiesAndNullPointers)
{
    Bytes got;
    EXPECT_EQ(0, ToDer("-----BEGIN CERTIFICATE-----\r\n-----END CERTIFICATE-----\r\n", &got));
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(0, ToDer("\r\n \r\n", &got));
    EXPECT_TRUE(got.empty());

    unsigned char der[8];
    uint32_t length = 5;
    EXPECT_EQ(0, PemToDer(nullptr, 0, der, sizeof(der), &length));
    EXPECT_EQ(0u, length);
    length = 5;
    EXPECT_EQ(-1, PemToDer(nullptr, 4, der, sizeof(der), &length));
    EXPECT_EQ(-1, PemToDer("QUJD", 4, nullptr, sizeof(der), &length));
    EXPECT_EQ(-1, PemToDer("QUJD", 4, der, sizeof(der), nullptr));
    EXPECT_EQ(5u, length);
}

TEST(PemText, EveryCertificateSizeComesBack)
{
    for (uint32_t length = 1; length <= kMaxCertDerSize; length += (length < 200 ? 1 : 37)) {
        const Bytes der = Der(length, length);
        PemResult r = ToPem(der, kCertTextSize);
        ASSERT_EQ(0, r.rc) << length;
        Bytes back;
        ASSERT_EQ(0, ToDer(r.buffer.substr(0, r.length), &back)) << length;
        EXPECT_EQ(der, back) << length;
    }
}

// GetDnAttribute

const char kExample[] = "C=CN, O=Org, OU=Unit A, OU=Unit B, CN=Li";

TEST(GetDnAttribute, FirstAttributeOfItsNameInTextOrder)
{
    std::string value;
    EXPECT_EQ(6, GetDnAttribute(kExample, "OU", value));
    EXPECT_EQ("Unit A", value);
    EXPECT_EQ(2, GetDnAttribute(kExample, "CN", value));
    EXPECT_EQ("Li", value);
    EXPECT_EQ(2, GetDnAttribute("CN=Li, CN=Wang", "CN", value));
    EXPECT_EQ("Li", value);
}

TEST(GetDnAttribute, QuotedValuesKeepTheirQuotesAndStopAtAComma)
{
    std::string value;
    EXPECT_EQ(11, GetDnAttribute("O=Org, CN=\"Zhang San\"", "CN", value));
    EXPECT_EQ("\"Zhang San\"", value);
    EXPECT_EQ(3, GetDnAttribute("C=CN, O=Org, CN=\"Li, Si\"", "CN", value));
    EXPECT_EQ("\"Li", value);
}

TEST(GetDnAttribute, AbsentNameLeavesTheValueAlone)
{
    const char* subjects[] = {"C=CN, O=Org, OU=Unit A", "", ",,,", "cn=li, ou=x", "CN Li, OUT=x", "C=CN"};
    for (const char* subject : subjects) {
        std::string value = "unchanged";
        EXPECT_EQ(0, GetDnAttribute(subject, "CN", value)) << subject;
        EXPECT_EQ("unchanged", value) << subject;
    }
    std::string value = "unchanged";
    EXPECT_EQ(0, GetDnAttribute(nullptr, "CN", value));
    EXPECT_EQ(0, GetDnAttribute(kExample, nullptr, value));
    EXPECT_EQ("unchanged", value);
}

TEST(GetDnAttribute, PresentButEmptyValueIsStored)
{
    std::string value = "unchanged";
    EXPECT_EQ(0, GetDnAttribute("O=Org,,CN=  ,OU=x", "CN", value));
    EXPECT_EQ("", value);
}

TEST(GetDnAttribute, WhiteSpaceIsTrimmedAndOtherBytesKept)
{
    std::string value;
    EXPECT_EQ(6, GetDnAttribute("O=Org,CN= \tLi  Si \r\n", "CN", value));
    EXPECT_EQ("Li  Si", value);
    // "张三" in code page 936: lead bytes above 127 are part of the value.
    EXPECT_EQ(4, GetDnAttribute("C=CN, CN=\xD5\xC5\xC8\xFD, OU=\xBC\xBC\xCA\xF5\xB2\xBF", "CN", value));
    EXPECT_EQ("\xD5\xC5\xC8\xFD", value);
    // The name is found anywhere in a token, after a longer name too.
    EXPECT_EQ(1, GetDnAttribute("E=a@b, OOU=x", "OU", value));
    EXPECT_EQ("x", value);
}

}  // namespace
