// The generated texts (resources/texts.txt through textgen into texts936.h):
// each holds exactly the code page 936 form of its UTF-8 text as the
// platform converts it (Windows' own code page 936 under Wine), and reads
// back to that text.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "cp936text.h"
#include "texts936.h"

namespace {

struct GeneratedText {
    const char* name;
    const char* cp936;
    size_t length;
    const char* utf8;
};

const GeneratedText kTexts[] = {
#include "texts936_table.inc"
};

std::string Hex(const std::string& bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 15];
        out += ' ';
    }
    return out;
}

TEST(Texts, EachIsTheCodePage936FormOfItsUtf8Text)
{
    for (const GeneratedText& t : kTexts) {
        SCOPED_TRACE(t.name);
        const std::string generated(t.cp936, t.length);
        EXPECT_EQ(t.length, std::strlen(t.cp936)) << "no NUL inside, one at the end";
        std::string expected;
        ASSERT_TRUE(testtext::Cp936FromUtf8(t.utf8, expected)) << "the platform cannot convert it";
        EXPECT_EQ(Hex(expected), Hex(generated));
        std::string back;
        ASSERT_TRUE(testtext::Utf8FromCp936(generated, back));
        EXPECT_EQ(std::string(t.utf8), back);
    }
}

TEST(Texts, NamesAreUniqueAndTextsNotEmpty)
{
    std::set<std::string> names;
    for (const GeneratedText& t : kTexts) {
        EXPECT_TRUE(names.insert(t.name).second) << t.name;
        EXPECT_NE(0u, t.length) << t.name;
    }
    EXPECT_GE(names.size(), 70u) << "the table lost texts";
}

// A few texts whose bytes a reader can check by eye: ASCII parts, escapes,
// and a hex digit right after a double-byte character.
TEST(Texts, KnownBytes)
{
    const struct {
        const char* name;
        std::string text;
        std::string bytes;
    } cases[] = {
        {"kTimeColumn", texts::kTimeColumn, "\xCA\xB1\xBC\xE4"},
        {"kOpenCspFailed", texts::kOpenCspFailed, "\xB4\xF2\xBF\xAA" "CSP\xB4\xED\xCE\xF3"},
        {"kNone", texts::kNone, "  \xCE\xDE\r\n"},
        {"kItemFormat", texts::kItemFormat, "   %d\xA1\xA2"},
        {"kNoWindowsVersion", texts::kNoWindowsVersion,
         "\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1" "Windows\xB0\xE6\xB1\xBE\xD0\xC5\xCF\xA2.\n"},
        {"kVerifyZeroLength", texts::kVerifyZeroLength,
         "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xC3\xF7\xCE\xC4\xB3\xA4\xB6\xC8\xCE\xAA" "0\xA3\xA1"},
        {"kVerifyCspFailed (full-width letters)", texts::kVerifyCspFailed,
         "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xB7\xC3\xCE\xCA\xA3\xC3\xA3\xD3\xA3\xD0\xCA\xA7\xB0\xDC\xA3\xA1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(c.bytes), Hex(c.text)) << c.name;
}

}  // namespace
