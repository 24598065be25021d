// Path names read byte by byte with the lead bytes of code page 936: where
// the last component and its extension start, which names reach a device,
// the last backslash. "\xD6\x5C" and "\x81\x5C" are double-byte characters
// whose trail byte is 0x5C, the byte of a backslash; "\xB2\xE2" and
// "\xCA\xD4" (the two characters of "test" in Chinese) are ordinary ones.
#include "pathname.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qel::IsCp936LeadByte;

// No byte leads: the rule of a single-byte code page.
bool NoLeadByte(unsigned char) { return false; }

// A path and where something in it starts, as a byte offset.
struct Position {
    const char* path;
    size_t start;
};

TEST(PathName, LeadBytesOfCodePage936)
{
    const struct {
        unsigned c;
        bool lead;
    } cases[] = {{0x00, false}, {0x2F, false}, {0x5C, false}, {0x7F, false}, {0x80, false},
                 {0x81, true},  {0xA1, true},  {0xD6, true},  {0xFE, true},  {0xFF, false}};
    for (const auto& c : cases)
        EXPECT_EQ(c.lead, IsCp936LeadByte(static_cast<unsigned char>(c.c))) << std::hex << c.c;
}

TEST(PathName, SameLettersIgnoresTheCaseOfAsciiLettersOnly)
{
    const struct {
        const char* a;
        const char* b;
        size_t length;
        bool same;
    } cases[] = {
        {"con", "CON", 3, true},     {"CoM1", "cOm1", 4, true},   {"abc", "abd", 3, false},
        {"abc", "abd", 2, true},     {"", "", 0, true},           {"x", "y", 0, true},
        {"[", "{", 1, false},        {"@", "`", 1, false},        {"\xE0", "\xC0", 1, false},
        {"clock$", "CLOCK$", 6, true}, {"CONIN$", "CONIN#", 6, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.same, qel::SameLetters(c.a, c.b, c.length)) << c.a << " / " << c.b << " / " << c.length;
}

TEST(PathName, NameStartIsBehindTheLastSeparator)
{
    const Position cases[] = {
        {"", 0},
        {"name.txt", 0},
        {"C:\\dir\\name.txt", 7},
        {"C:name.txt", 2},
        {"dir/name", 4},
        {"dir\\sub/name", 8},
        {"dir\\", 4},  // no name: the start is the end
        {"\\", 1},
        {"a:b:c", 4},  // every colon counts
        {"\xD6\x5C", 0},  // one character, no separator
        {"dir\\\xD6\x5C.txt", 4},
        {"\xD6\x5C\\name", 3},
        {"\x81\x5C\x81\x5C", 0},
        {"\xB2\xE2\xCA\xD4\\\xB2\xE2.txt", 5},
        {"dir\\\xD6", 4},    // a lead byte at the end stands alone
        {"dir\xD6\\x", 0},   // D6 5C: the backslash is a trail byte
        {"dir\xD6/x", 0},    // D6 2F: so is the slash
        {"dir\xFF\\x", 5},   // FF leads nothing
        {"dir\x80\\x", 5},   // nor does 80
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.start, qel::NameStart(c.path, IsCp936LeadByte)) << c.path;
    // In a single-byte code page every 5C is a backslash.
    EXPECT_EQ(5u, qel::NameStart("dir\xD6\\x", NoLeadByte));
    EXPECT_EQ(2u, qel::NameStart("\xD6\x5C", NoLeadByte));
}

TEST(PathName, ExtensionStartsWherePathFindExtensionFindsIt)
{
    const Position cases[] = {
        {"C:\\d\\a.txt.gue", 10},
        {"a.txt", 1},
        {"noext", 5},
        {"", 0},
        {"dir.d\\name", 10},  // a dot in a folder is no extension
        {"dir.d\\sub.e\\name.x", 16},
        {"a.b c", 5},         // a blank ends the extension
        {"a b.c", 3},
        {"x.", 1},
        {".gue", 0},
        {"d\\.gue", 2},
        {"dir.d/name", 3},    // a slash is no separator here
        {"a.b\x81\x5C" "c", 1},   // a trail byte 5C is no backslash
        {"\xD6\x5C.txt", 2},
        {"\xB2\xE2.\xCA\xD4", 2},
        {"a.\xD6", 1},        // a lead byte at the end
        {"dir\xFF\\x.y", 6},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.start, qel::ExtensionStart(c.path, IsCp936LeadByte)) << c.path;
    // In a single-byte code page the 5C ends the folder.
    EXPECT_EQ(6u, qel::ExtensionStart("a.b\x81\x5C" "c", NoLeadByte));
}

TEST(PathName, DeviceNamesWhateverFollowsThem)
{
    const struct Device {
        const char* path;
        bool device;
    } cases[] = {
        // The reserved names, in any case.
        {"CON", true},
        {"con", true},
        {"PRN", true},
        {"AUX", true},
        {"Nul", true},
        {"CONIN$", true},
        {"conout$", true},
        {"CLOCK$", true},
        // An extension, blanks before it, a colon.
        {"nul.txt", true},
        {"CON.gue.x", true},
        {"COM1 ", true},
        {"con   .txt", true},
        {"aux:", true},
        {"con:stream", true},
        {"NUL .", true},
        // In folders, behind a drive.
        {"C:\\dir\\CON", true},
        {"dir/sub/PRN.log", true},
        {"C:NUL", true},
        {"\xB2\xE2\xCA\xD4\\COM1", true},
        {"\xD6\x5C" "COM1", false},  // the 5C is a trail byte: "COM1" is no component
        {"\xD6\x5C\\COM1", true},
        // COM1 to COM9 and LPT1 to LPT9, no others.
        {"COM1", true},
        {"com9", true},
        {"LPT1", true},
        {"lpt9.txt", true},
        {"COM0", false},
        {"LPT0", false},
        {"COM10", false},
        {"COM", false},
        {"LPT", false},
        {"COMA", false},
        // Names that only begin or end like a device.
        {"CONX", false},
        {"XCON", false},
        {"CON1", false},
        {" CON", false},
        {"NULL", false},
        {"CONIN", false},
        {"CLOCK", false},
        {"console.txt", false},
        {"CON\\file", false},
        {"dir\\CON\\", false},
        {"", false},
        {"C:", false},
        {"a:CON", true},   // a drive colon, the second byte, separates
        {"ab:CON", false},  // no other colon does
        {"abc.txt", false},
        {"\xB2\xE2\xCA\xD4.txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.device, qel::NamesDevice(c.path, IsCp936LeadByte)) << c.path;
    // In a single-byte code page the 5C separates.
    EXPECT_TRUE(qel::NamesDevice("\xD6\x5C" "COM1", NoLeadByte));
}

TEST(PathName, LastBackslashSkipsTrailBytes)
{
    const size_t none = std::string::npos;
    const struct {
        std::string text;
        size_t last;
    } cases[] = {
        {"", none},
        {"name", none},
        {"C:\\", 2},
        {"C:\\dir\\", 6},
        {"C:\\dir\\name", 6},
        {"a/b", none},  // only backslashes count
        {"\xD6\x5C", none},
        {"C:\\\xD6\x5C", 2},
        {"C:\\\xD6\x5C\\", 5},
        {"\x81\x5C\x81\x5C", none},
        {"C:\\\xB2\xE2\xCA\xD4\\log", 7},
        {"C:\\\xD6", 2},  // a lead byte at the end
        {"C:\\x\xFF\\", 5},
        {std::string("a\\b\0c\\d", 7), 5},  // every byte is read
        {std::string("a\\\xD6\0\\", 5), 4},  // D6 takes the NUL, not the backslash after it
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.last, qel::LastBackslash(c.text, IsCp936LeadByte)) << c.text;
    EXPECT_EQ(2u, qel::LastBackslash("C:\\\xD6\x5C" "x", IsCp936LeadByte));
    EXPECT_EQ(4u, qel::LastBackslash("C:\\\xD6\x5C" "x", NoLeadByte));
}

}  // namespace
