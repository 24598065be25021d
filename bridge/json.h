// A small, strict JSON reader and writer (RFC 8259) for the messages of the
// native-messaging host. Portable code: built natively too.
//
// The reader accepts exactly the JSON grammar over valid UTF-8 (utf8.h):
// no byte order mark, no comments, no trailing commas, no leading zeros or
// "+" in numbers, no control characters or invalid escapes in strings, no
// \u escape of a lone surrogate, no duplicate member names in an object.
// It refuses texts longer than Limits::maxBytes, nesting deeper than
// Limits::maxDepth and more than Limits::maxValues values, so neither the
// stack nor memory grows with what a sender chooses.
//
// Numbers keep the text they were written with; AsInteger reads those
// written as integers (no fraction, no exponent). Strings hold UTF-8 and may
// contain NUL. The writer produces compact JSON in valid UTF-8.
#ifndef QEL_BRIDGE_JSON_H
#define QEL_BRIDGE_JSON_H

#include <cstddef>
#include <string>
#include <vector>

namespace bridge {
namespace json {

enum class Type { Null, Bool, Number, String, Array, Object };

class Value {
public:
    Value() = default;  // null
    static Value Boolean(bool value);
    static Value Integer(long long value);
    static Value String(std::string utf8);
    static Value Array();
    static Value Object();

    Type GetType() const { return m_type; }
    bool Is(Type t) const { return m_type == t; }
    bool AsBool() const { return m_bool; }
    const std::string& Text() const { return m_text; }  // a string's UTF-8, a number's lexeme
    // A number written as an integer that fits a long long.
    bool AsInteger(long long* out) const;

    // Array items, or the values of an object's members.
    const std::vector<Value>& Items() const { return m_items; }
    // The names of an object's members, in the order of Items().
    const std::vector<std::string>& Keys() const { return m_keys; }
    // An object's member, or null when there is none.
    const Value* Find(const std::string& key) const;

    // Building (the writer does not check names for duplicates).
    Value& Push(Value item);
    Value& Set(std::string key, Value item);

private:
    friend class Parser;
    Type m_type = Type::Null;
    bool m_bool = false;
    std::string m_text;
    std::vector<Value> m_items;
    std::vector<std::string> m_keys;
};

struct Limits {
    size_t maxBytes = 1u << 20;
    int maxDepth = 32;        // arrays and objects inside each other
    size_t maxValues = 1u << 16;
};

struct ParseError {
    size_t offset = 0;        // byte offset in the text
    std::string message;      // English, for replies and diagnostics
};

// Parses text[0..length) as one JSON value with optional whitespace around.
// On failure returns false, leaves *out null and describes the first fault.
bool Parse(const char* text, size_t length, Value* out, ParseError* error, const Limits& limits = Limits());

std::string Write(const Value& value);

// Appends a JSON string literal for `utf8`; bytes that are not valid UTF-8
// are written as U+FFFD.
void AppendString(std::string& out, const std::string& utf8);

}  // namespace json
}  // namespace bridge

#endif
