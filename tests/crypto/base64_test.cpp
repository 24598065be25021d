// Base64 codec: RFC 4648 vectors, the decoder's stopping rules, buffer bounds,
// and agreement with OpenSSL's encoder on random data.
#include "base64.h"
#include "refdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using crypto::Base64Decode;
using crypto::Base64Encode;

namespace {

const uint32_t kUntouched = 0xA5A5A5A5u;
const unsigned char kCanary = 0xCC;

std::string Encode(const std::string& in)
{
    std::vector<char> out(4 * ((in.size() + 2) / 3) + 1 + 8, static_cast<char>(kCanary));
    uint32_t len = kUntouched;
    int rc = Base64Encode(reinterpret_cast<const unsigned char*>(in.data()),
                          static_cast<uint32_t>(in.size()), out.data(), &len);
    EXPECT_EQ(0, rc);
    size_t expected = 4 * ((in.size() + 2) / 3);
    EXPECT_EQ(expected, len) << "length for " << in.size() << " input bytes";
    EXPECT_EQ('\0', out[expected]) << "no NUL behind the text";
    for (size_t i = expected + 1; i < out.size(); ++i)
        EXPECT_EQ(static_cast<char>(kCanary), out[i]) << "encoder wrote past its text at " << i;
    return std::string(out.data(), len);
}

struct Decoded {
    int rc;
    uint32_t len;        // kUntouched when the decoder left it alone
    std::string bytes;   // the first len bytes, or everything written on -1
};

// Decodes into a buffer of exactly 3 * (nInLen / 4) bytes followed by a canary.
Decoded Decode(const std::string& text, uint32_t nInLen)
{
    size_t room = 3 * (nInLen / 4);
    std::vector<unsigned char> out(room + 8, kCanary);
    Decoded d{0, kUntouched, {}};
    d.rc = Base64Decode(text.c_str(), nInLen, out.data(), &d.len);
    for (size_t i = room; i < out.size(); ++i)
        EXPECT_EQ(kCanary, out[i]) << "decoder wrote past 3*(n/4) at " << i << " for \"" << text << "\"";
    size_t shown = d.len == kUntouched ? room : d.len;
    size_t used = 0;
    while (used < shown && out[used] != kCanary) ++used;
    d.bytes.assign(reinterpret_cast<const char*>(out.data()), d.len == kUntouched ? used : d.len);
    return d;
}

Decoded Decode(const std::string& text) { return Decode(text, static_cast<uint32_t>(text.size())); }

// RFC 4648 section 10.
const struct { const char* plain; const char* text; } kRfc4648[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64, Rfc4648VectorsBothWays)
{
    for (const auto& v : kRfc4648) {
        EXPECT_EQ(v.text, Encode(v.plain)) << "encoding \"" << v.plain << "\"";
        Decoded d = Decode(v.text);
        EXPECT_EQ(0, d.rc);
        EXPECT_EQ(std::strlen(v.plain), d.len) << "decoding \"" << v.text << "\"";
        EXPECT_EQ(v.plain, d.bytes);
    }
}

TEST(Base64, EncoderCoversEveryByteValue)
{
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    std::string text = Encode(all);
    EXPECT_EQ(all, Decode(text).bytes);
    EXPECT_EQ("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4",
              text.substr(0, 76));
    EXPECT_EQ("+/w==", text.substr(text.size() - 5));
}

TEST(Base64, ShortTextsDecodeToNothing)
{
    for (const char* text : {"", "Z", "Zm", "Zm9", "==="}) {
        Decoded d = Decode(text);
        EXPECT_EQ(0, d.rc) << "\"" << text << "\"";
        EXPECT_EQ(0u, d.len) << "\"" << text << "\"";
    }
}

TEST(Base64, LooseTrailingCharactersAreIgnored)
{
    for (const char* text : {"Zm9vY", "Zm9vYg", "Zm9vYmE"}) {
        Decoded d = Decode(text);
        EXPECT_EQ(0, d.rc) << text;
        EXPECT_EQ("foo", d.bytes) << text;
    }
}

TEST(Base64, PadsEndDecoding)
{
    // A group with '=' is the last one; the rest of the text is ignored.
    EXPECT_EQ("f", Decode("Zg==Zm9v").bytes);
    EXPECT_EQ("fo", Decode("Zm8=Zm9vYmFy").bytes);
    EXPECT_EQ("foof", Decode("Zm9vZg==garbage!").bytes);
    // Three or four pads append nothing.
    EXPECT_EQ(0u, Decode("Z===").len);
    EXPECT_EQ(0u, Decode("====").len);
    EXPECT_EQ("foo", Decode("Zm9v====Zm9v").bytes);
    // A pad in front of an alphabet character still counts as a pad.
    Decoded d = Decode("Zm=v");
    EXPECT_EQ(0, d.rc);
    EXPECT_EQ(2u, d.len);
    EXPECT_EQ('f', d.bytes[0]);
}

TEST(Base64, TextEndingInsideAGroupFails)
{
    // The caller's length promises more than the text holds: the second group
    // is cut short by the NUL.
    Decoded d = Decode("Zm9vYg", 8);
    EXPECT_EQ(-1, d.rc);
    EXPECT_EQ(kUntouched, d.len) << "the length must be left untouched on failure";
    EXPECT_EQ("foo", d.bytes.substr(0, 3)) << "the groups before stay in the buffer";

    d = Decode("", 4);
    EXPECT_EQ(-1, d.rc);
    EXPECT_EQ(kUntouched, d.len);
}

TEST(Base64, CallerLengthBoundsTheText)
{
    Decoded d = Decode("Zm9vYmFy", 4);
    EXPECT_EQ(0, d.rc);
    EXPECT_EQ("foo", d.bytes);
}

TEST(Base64, CharactersOutsideTheAlphabetTakeAPlace)
{
    // "Zm\r\n" is one group: it yields three bytes without reading further.
    Decoded d = Decode("Zm\r\nZm9v");
    EXPECT_EQ(0, d.rc);
    EXPECT_EQ(6u, d.len);
    EXPECT_EQ("foo", d.bytes.substr(3));
    EXPECT_EQ('f', d.bytes[0]);
}

TEST(Base64, AgreesWithOpenSsl)
{
    auto vectors = refdata::Load("b64");
    ASSERT_GT(vectors.size(), 200u) << "no reference vectors in " << refdata::FilePath();
    for (const auto& v : vectors) {
        ASSERT_EQ(2u, v.size());
        refdata::Bytes in = refdata::FromHex(v[0]);
        std::string plain(in.begin(), in.end());
        ASSERT_EQ(v[1], Encode(plain)) << "input of " << in.size() << " bytes";
        Decoded d = Decode(v[1]);
        ASSERT_EQ(0, d.rc);
        ASSERT_EQ(plain, d.bytes) << "decoding OpenSSL's text of " << in.size() << " bytes";
    }
}

}  // namespace
