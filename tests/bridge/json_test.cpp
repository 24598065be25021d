// The host's strict UTF-8 and JSON: well-formed UTF-8 as the Unicode
// Standard's table of well-formed byte sequences (Table 3-7) defines it, the
// UTF-16 it converts to, and the JSON grammar of RFC 8259 with its limits.
#include "json.h"
#include "utf8.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

using bridge::json::Value;

struct Utf8Case {
    const char* bytes;
    size_t length;
    bool valid;
    size_t errorOffset;
};

#define B(s) s, sizeof(s) - 1
const Utf8Case kUtf8Cases[] = {
    {B(""), true, 0},
    {B("plain ASCII \x7F"), true, 0},
    {B("\xC2\x80\xDF\xBF"), true, 0},                   // U+0080, U+07FF
    {B("\xE0\xA0\x80\xED\x9F\xBF"), true, 0},           // U+0800, U+D7FF
    {B("\xEE\x80\x80\xEF\xBF\xBF"), true, 0},           // U+E000, U+FFFF
    {B("\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"), true, 0},   // U+10000, U+10FFFF
    {B("\xE4\xB8\xAD\xE6\x96\x87"), true, 0},           // Chinese
    {B("\xC0\xAF"), false, 0},                          // overlong "/"
    {B("ab\xC1\xBF"), false, 2},                        // overlong
    {B("\xE0\x80\xAF"), false, 0},                      // overlong, three bytes
    {B("\xE0\x9F\xBF"), false, 0},                      // U+07FF in three bytes
    {B("\xF0\x8F\xBF\xBF"), false, 0},                  // U+FFFF in four bytes
    {B("\xED\xA0\x80"), false, 0},                      // surrogate U+D800
    {B("x\xED\xBF\xBF"), false, 1},                     // surrogate U+DFFF
    {B("\xED\xA0\xBD\xED\xB8\x80"), false, 0},          // a surrogate pair encoded as two
    {B("\xF4\x90\x80\x80"), false, 0},                  // above U+10FFFF
    {B("\xF5\x80\x80\x80"), false, 0},
    {B("\xFE"), false, 0},
    {B("\xFF"), false, 0},
    {B("\x80"), false, 0},                              // stray continuation byte
    {B("a\xBF"), false, 1},
    {B("\xC2"), false, 0},                              // truncated
    {B("ok\xE4\xB8"), false, 2},
    {B("\xF0\x9F\x98"), false, 0},
    {B("\xE4\xB8\x41"), false, 0},                      // a continuation byte missing
};

TEST(Utf8, WellFormedSequencesOnly)
{
    for (const Utf8Case& c : kUtf8Cases) {
        const std::string text(c.bytes, c.length);
        size_t offset = 999;
        EXPECT_EQ(c.valid, bridge::IsValidUtf8(text.data(), text.size(), &offset)) << testing::PrintToString(text);
        if (!c.valid) {
            EXPECT_EQ(c.errorOffset, offset) << testing::PrintToString(text);
        }
        std::u16string wide;
        EXPECT_EQ(c.valid, bridge::Utf8ToUtf16(text, &wide)) << testing::PrintToString(text);
        // Inside a JSON string the same bytes are refused the same way.
        Value v;
        EXPECT_EQ(c.valid, bridge::json::Parse(("\"" + text + "\"").data(), text.size() + 2, &v, nullptr))
            << testing::PrintToString(text);
    }
}

TEST(Utf8, ConvertsToAndFromUtf16)
{
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"\xC3\xA9", u"\u00E9"},
        {"\xE4\xB8\xAD\xE6\x96\x87", u"\u4E2D\u6587"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const auto& c : cases) {
        std::u16string wide;
        ASSERT_TRUE(bridge::Utf8ToUtf16(c.utf8, &wide)) << c.utf8;
        EXPECT_EQ(c.utf16, wide) << c.utf8;
        EXPECT_EQ(c.utf8, bridge::Utf16ToUtf8(c.utf16.data(), c.utf16.size())) << c.utf8;
    }
    // Unpaired surrogates cannot be UTF-8: each becomes U+FFFD.
    const struct {
        std::u16string utf16;
        std::string utf8;
    } lone[] = {
        {u"\xD800", "\xEF\xBF\xBD"},
        {std::u16string(1, u'\xDC00') + u"A", "\xEF\xBF\xBD" "A"},
        {std::u16string(1, u'\xDE00') + std::u16string(1, u'\xD83D'), "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {u"A" + std::u16string(1, u'\xD83D'), "A\xEF\xBF\xBD"},
    };
    for (const auto& c : lone)
        EXPECT_EQ(c.utf8, bridge::Utf16ToUtf8(c.utf16.data(), c.utf16.size()));
}

TEST(Json, AcceptsTheGrammarAndWritesItCompactly)
{
    const struct {
        const char* text;
        const char* written;
    } cases[] = {
        {"null", "null"},
        {" \t\r\ntrue ", "true"},
        {"false", "false"},
        {"0", "0"},
        {"-0", "-0"},
        {"-12.5e+3", "-12.5e+3"},
        {"1E-7", "1E-7"},
        {"\"a\"", "\"a\""},
        {"\"\\u00e9\\u4E2D\"", "\"\xC3\xA9\xE4\xB8\xAD\""},
        {"\"\\ud83d\\ude00\"", "\"\xF0\x9F\x98\x80\""},
        {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\\"\\\\/\\b\\f\\n\\r\\t\""},
        {"\"\\u0000\\u001f\"", "\"\\u0000\\u001f\""},
        {"\"\xE4\xB8\xAD\xE6\x96\x87\"", "\"\xE4\xB8\xAD\xE6\x96\x87\""},
        {"[]", "[]"},
        {"[1, [2, [3]], {}]", "[1,[2,[3]],{}]"},
        {" { \"a\" : 1 , \"b\" : [ true , null ] } ", "{\"a\":1,\"b\":[true,null]}"},
        {"{\"\":\"\"}", "{\"\":\"\"}"},
    };
    for (const auto& c : cases) {
        Value v;
        bridge::json::ParseError error;
        ASSERT_TRUE(bridge::json::Parse(c.text, strlen(c.text), &v, &error)) << c.text << ": " << error.message;
        EXPECT_EQ(c.written, bridge::json::Write(v)) << c.text;
    }
}

TEST(Json, RefusesWhatTheGrammarDoesNotAllow)
{
    const struct {
        const char* text;
        size_t offset;
    } cases[] = {
        {"", 0}, {"   ", 3}, {"nul", 0}, {"True", 0}, {"NaN", 0}, {"Infinity", 0}, {"'a'", 0},
        {"01", 1}, {"-", 1}, {"1.", 2}, {".5", 0}, {"1e", 2}, {"1e+", 3}, {"+1", 0}, {"0x10", 1}, {"- 1", 1},
        {"\"abc", 0}, {"\"a\tb\"", 2}, {"\"\\x\"", 1}, {"\"\\u12\"", 3}, {"\"\\u12G4\"", 5},
        {"\"\\ud800\"", 1}, {"\"\\udc00\"", 1}, {"\"\\ud800\\u0041\"", 1}, {"\"\\ud800\\n\"", 1},
        {"[1,]", 3}, {"[,1]", 1}, {"[1 2]", 3}, {"[", 1}, {"{\"a\":1,}", 7}, {"{\"a\" 1}", 5}, {"{a:1}", 1},
        {"{\"a\":1 \"b\":2}", 7}, {"{\"a\":1,\"a\":2}", 7}, {"{\"a\"}", 4},
        {"[1] [2]", 4}, {"\xEF\xBB\xBF{}", 0}, {"// c\n1", 0}, {"/* c */ 1", 0}, {"\xFF", 0},
        {"\"\xC0\xAF\"", 1},
    };
    for (const auto& c : cases) {
        Value v = Value::Boolean(true);
        bridge::json::ParseError error;
        EXPECT_FALSE(bridge::json::Parse(c.text, strlen(c.text), &v, &error)) << c.text;
        EXPECT_EQ(c.offset, error.offset) << c.text << ": " << error.message;
        EXPECT_TRUE(v.Is(bridge::json::Type::Null)) << c.text;
    }
}

TEST(Json, LimitsBoundTheInput)
{
    const auto limits = [](int depth, size_t values, size_t bytes) {
        bridge::json::Limits l;
        l.maxDepth = depth;
        l.maxValues = values;
        l.maxBytes = bytes;
        return l;
    };
    const struct {
        std::string text;
        bridge::json::Limits limits;
        bool ok;
    } cases[] = {
        {"[[[[1]]]]", limits(4, 100, 100), true},
        {"[[[[[1]]]]]", limits(4, 100, 100), false},  // five deep
        {"{\"a\":{\"b\":{\"c\":{}}}}", limits(4, 100, 100), true},
        {"{\"a\":{\"b\":{\"c\":{\"d\":{}}}}}", limits(4, 100, 100), false},
        {"[1,2,3,4,5]", limits(4, 6, 100), true},  // six values
        {"[1,2,3,4,5,6]", limits(4, 6, 100), false},
        {"\"" + std::string(18, 'x') + "\"", limits(4, 100, 20), true},  // twenty bytes
        {"\"" + std::string(19, 'x') + "\"", limits(4, 100, 20), false},
    };
    for (const auto& c : cases) {
        Value v;
        EXPECT_EQ(c.ok, bridge::json::Parse(c.text.data(), c.text.size(), &v, nullptr, c.limits)) << c.text;
    }
    // Deep nesting under the default limits fails without exhausting the stack.
    const std::string deep(200000, '[');
    Value v;
    EXPECT_FALSE(bridge::json::Parse(deep.data(), deep.size(), &v, nullptr));
}

TEST(Json, IntegersAreThoseWrittenWithoutFractionOrExponent)
{
    const struct {
        const char* text;
        bool integral;
        long long value;
    } cases[] = {
        {"0", true, 0}, {"-0", true, 0}, {"2147483648", true, 2147483648LL},
        {"9223372036854775807", true, LLONG_MAX}, {"-9223372036854775808", true, LLONG_MIN},
        {"9223372036854775808", false, 0}, {"-9223372036854775809", false, 0},
        {"1.0", false, 0}, {"1e3", false, 0}, {"\"1\"", false, 0}, {"true", false, 0},
    };
    for (const auto& c : cases) {
        Value v;
        ASSERT_TRUE(bridge::json::Parse(c.text, strlen(c.text), &v, nullptr)) << c.text;
        long long n = 12345;
        EXPECT_EQ(c.integral, v.AsInteger(&n)) << c.text;
        if (c.integral) {
            EXPECT_EQ(c.value, n) << c.text;
        }
    }
}

TEST(Json, WriterEmitsValidUtf8Only)
{
    std::string out;
    bridge::json::AppendString(out, std::string("a\xFF" "b\xED\xA0\x80" "c\x01", 8));
    EXPECT_EQ("\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "c\\u0001\"", out);
    EXPECT_TRUE(bridge::IsValidUtf8(out.data(), out.size()));
}

}  // namespace
