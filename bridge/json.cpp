#include "json.h"

#include "utf8.h"

#include <climits>
#include <set>
#include <utility>

namespace bridge {
namespace json {

Value Value::Boolean(bool value)
{
    Value v;
    v.m_type = Type::Bool;
    v.m_bool = value;
    return v;
}

Value Value::Integer(long long value)
{
    Value v;
    v.m_type = Type::Number;
    v.m_text = std::to_string(value);
    return v;
}

Value Value::String(std::string utf8)
{
    Value v;
    v.m_type = Type::String;
    v.m_text = std::move(utf8);
    return v;
}

Value Value::Array()
{
    Value v;
    v.m_type = Type::Array;
    return v;
}

Value Value::Object()
{
    Value v;
    v.m_type = Type::Object;
    return v;
}

bool Value::AsInteger(long long* out) const
{
    if (m_type != Type::Number)
        return false;
    const std::string& t = m_text;
    size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative)
        ++i;
    if (i == t.size())
        return false;
    // Accumulated as a negative number, whose range includes LLONG_MIN.
    long long v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;  // a fraction or an exponent
        const int d = t[i] - '0';
        if (v < (LLONG_MIN + d) / 10)
            return false;
        v = v * 10 - d;
    }
    if (!negative) {
        if (v == LLONG_MIN)
            return false;
        v = -v;
    }
    *out = v;
    return true;
}

const Value* Value::Find(const std::string& key) const
{
    if (m_type != Type::Object)
        return nullptr;
    for (size_t i = 0; i < m_keys.size(); ++i)
        if (m_keys[i] == key)
            return &m_items[i];
    return nullptr;
}

Value& Value::Push(Value item)
{
    m_items.push_back(std::move(item));
    return m_items.back();
}

Value& Value::Set(std::string key, Value item)
{
    m_keys.push_back(std::move(key));
    m_items.push_back(std::move(item));
    return m_items.back();
}

// ---- Reader ------------------------------------------------------------------

class Parser {
public:
    Parser(const char* text, size_t length, const Limits& limits)
        : m_s(reinterpret_cast<const unsigned char*>(text)), m_n(length), m_limits(limits)
    {
    }

    bool Run(Value* out, ParseError* error)
    {
        bool ok;
        if (m_n > m_limits.maxBytes) {
            ok = Fail(0, "text longer than " + std::to_string(m_limits.maxBytes) + " bytes");
        } else {
            SkipSpace();
            ok = ParseValue(*out, 0);
            SkipSpace();
            if (ok && m_i != m_n)
                ok = Fail(m_i, "unexpected characters after the value");
        }
        if (!ok) {
            *out = Value();
            if (error)
                *error = m_error;
        }
        return ok;
    }

private:
    bool Fail(size_t at, std::string message)
    {
        m_error.offset = at;
        m_error.message = std::move(message);
        return false;
    }
    bool FailHere(const char* expected)
    {
        if (m_i >= m_n)
            return Fail(m_i, std::string("unexpected end of text, expected ") + expected);
        return Fail(m_i, std::string("expected ") + expected);
    }

    // Takes `c` when it is the next character.
    bool Eat(char c)
    {
        if (m_i >= m_n || m_s[m_i] != c)
            return false;
        ++m_i;
        return true;
    }

    void SkipSpace()
    {
        while (m_i < m_n && (m_s[m_i] == ' ' || m_s[m_i] == '\t' || m_s[m_i] == '\n' || m_s[m_i] == '\r'))
            ++m_i;
    }

    bool Literal(const char* word)
    {
        size_t k = 0;
        while (word[k]) {
            if (m_i + k >= m_n || m_s[m_i + k] != static_cast<unsigned char>(word[k]))
                return false;
            ++k;
        }
        m_i += k;
        return true;
    }

    bool ParseValue(Value& v, int depth)
    {
        if (++m_values > m_limits.maxValues)
            return Fail(m_i, "more than " + std::to_string(m_limits.maxValues) + " values");
        if (m_i >= m_n)
            return FailHere("a value");
        switch (m_s[m_i]) {
        case '{': return ParseObject(v, depth + 1);
        case '[': return ParseArray(v, depth + 1);
        case '"':
            v.m_type = Type::String;
            return ParseString(v.m_text);
        case 't':
        case 'f':
        case 'n':
            if (Literal("true")) {
                v.m_type = Type::Bool;
                v.m_bool = true;
                return true;
            }
            if (Literal("false")) {
                v.m_type = Type::Bool;
                return true;
            }
            if (Literal("null"))
                return true;
            return FailHere("a value");
        default:
            if (m_s[m_i] == '-' || (m_s[m_i] >= '0' && m_s[m_i] <= '9'))
                return ParseNumber(v);
            if (m_s[m_i] >= 0x80 && Utf8SequenceLength(m_s + m_i, m_n - m_i) == 0)
                return Fail(m_i, "invalid UTF-8");
            return FailHere("a value");
        }
    }

    bool Digits()
    {
        const size_t start = m_i;
        while (m_i < m_n && m_s[m_i] >= '0' && m_s[m_i] <= '9')
            ++m_i;
        return m_i > start;
    }

    bool ParseNumber(Value& v)
    {
        const size_t start = m_i;
        if (m_s[m_i] == '-')
            ++m_i;
        if (m_i < m_n && m_s[m_i] == '0') {
            ++m_i;
        } else if (!Digits()) {
            return FailHere("a digit");
        }
        if (m_i < m_n && m_s[m_i] == '.') {
            ++m_i;
            if (!Digits())
                return FailHere("a digit after the decimal point");
        }
        if (m_i < m_n && (m_s[m_i] == 'e' || m_s[m_i] == 'E')) {
            ++m_i;
            if (m_i < m_n && (m_s[m_i] == '+' || m_s[m_i] == '-'))
                ++m_i;
            if (!Digits())
                return FailHere("a digit in the exponent");
        }
        v.m_type = Type::Number;
        v.m_text.assign(reinterpret_cast<const char*>(m_s + start), m_i - start);
        return true;
    }

    bool Hex4(unsigned long* out)
    {
        if (m_n - m_i < 4)
            return Fail(m_i, "unexpected end of text in a \\u escape");
        unsigned long v = 0;
        for (int k = 0; k < 4; ++k) {
            const unsigned char c = m_s[m_i + k];
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return Fail(m_i + k, "expected four hexadecimal digits in a \\u escape");
            v = v * 16 + static_cast<unsigned long>(d);
        }
        m_i += 4;
        *out = v;
        return true;
    }

    bool ParseString(std::string& out)
    {
        const size_t open = m_i++;
        for (;;) {
            if (m_i >= m_n)
                return Fail(open, "unterminated string");
            const unsigned char c = m_s[m_i];
            if (c == '"') {
                ++m_i;
                return true;
            }
            if (c < 0x20)
                return Fail(m_i, "control character in a string");
            if (c >= 0x80) {
                const size_t len = Utf8SequenceLength(m_s + m_i, m_n - m_i);
                if (len == 0)
                    return Fail(m_i, "invalid UTF-8");
                out.append(reinterpret_cast<const char*>(m_s + m_i), len);
                m_i += len;
                continue;
            }
            if (c != '\\') {
                out += static_cast<char>(c);
                ++m_i;
                continue;
            }
            const size_t escape = m_i++;
            if (m_i >= m_n)
                return Fail(open, "unterminated string");
            switch (m_s[m_i++]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned long cp;
                if (!Hex4(&cp))
                    return false;
                if (cp >= 0xDC00 && cp <= 0xDFFF)
                    return Fail(escape, "\\u escape of a lone low surrogate");
                if (cp >= 0xD800 && cp <= 0xDBFF) {
                    unsigned long low;
                    if (m_n - m_i < 2 || m_s[m_i] != '\\' || m_s[m_i + 1] != 'u')
                        return Fail(escape, "\\u escape of a lone high surrogate");
                    m_i += 2;
                    if (!Hex4(&low))
                        return false;
                    if (low < 0xDC00 || low > 0xDFFF)
                        return Fail(escape, "\\u escape of a lone high surrogate");
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                }
                AppendUtf8(out, cp);
                break;
            }
            default:
                return Fail(escape, "invalid escape in a string");
            }
        }
    }

    bool ParseArray(Value& v, int depth)
    {
        if (depth > m_limits.maxDepth)
            return Fail(m_i, "nesting deeper than " + std::to_string(m_limits.maxDepth));
        v.m_type = Type::Array;
        ++m_i;
        SkipSpace();
        if (Eat(']'))
            return true;
        for (;;) {
            SkipSpace();
            v.m_items.emplace_back();
            if (!ParseValue(v.m_items.back(), depth))
                return false;
            SkipSpace();
            if (Eat(','))
                continue;
            if (Eat(']'))
                return true;
            return FailHere("',' or ']'");
        }
    }

    bool ParseObject(Value& v, int depth)
    {
        if (depth > m_limits.maxDepth)
            return Fail(m_i, "nesting deeper than " + std::to_string(m_limits.maxDepth));
        v.m_type = Type::Object;
        ++m_i;
        SkipSpace();
        if (Eat('}'))
            return true;
        std::set<std::string> seen;
        for (;;) {
            SkipSpace();
            if (m_i >= m_n || m_s[m_i] != '"')
                return FailHere("a member name");
            const size_t at = m_i;
            std::string key;
            if (!ParseString(key))
                return false;
            if (!seen.insert(key).second)
                return Fail(at, "duplicate member name");
            SkipSpace();
            if (m_i >= m_n || m_s[m_i] != ':')
                return FailHere("':'");
            ++m_i;
            SkipSpace();
            v.m_keys.push_back(std::move(key));
            v.m_items.emplace_back();
            if (!ParseValue(v.m_items.back(), depth))
                return false;
            SkipSpace();
            if (Eat(','))
                continue;
            if (Eat('}'))
                return true;
            return FailHere("',' or '}'");
        }
    }

    const unsigned char* m_s;
    size_t m_n;
    size_t m_i = 0;
    size_t m_values = 0;
    const Limits& m_limits;
    ParseError m_error;
};

bool Parse(const char* text, size_t length, Value* out, ParseError* error, const Limits& limits)
{
    *out = Value();
    if (!text && length)
        return false;
    Parser parser(text ? text : "", length, limits);
    return parser.Run(out, error);
}

// ---- Writer ------------------------------------------------------------------

void AppendString(std::string& out, const std::string& utf8)
{
    static const char kHex[] = "0123456789abcdef";
    const unsigned char* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    out += '"';
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c >= 0x80) {
            const size_t len = Utf8SequenceLength(s + i, n - i);
            if (len == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(reinterpret_cast<const char*>(s + i), len);
                i += len;
            }
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
}

namespace {

void WriteTo(std::string& out, const Value& v)
{
    switch (v.GetType()) {
    case Type::Null: out += "null"; break;
    case Type::Bool: out += v.AsBool() ? "true" : "false"; break;
    case Type::Number: out += v.Text(); break;
    case Type::String: AppendString(out, v.Text()); break;
    case Type::Array:
        out += '[';
        for (size_t i = 0; i < v.Items().size(); ++i) {
            if (i)
                out += ',';
            WriteTo(out, v.Items()[i]);
        }
        out += ']';
        break;
    case Type::Object:
        out += '{';
        for (size_t i = 0; i < v.Items().size(); ++i) {
            if (i)
                out += ',';
            AppendString(out, v.Keys()[i]);
            out += ':';
            WriteTo(out, v.Items()[i]);
        }
        out += '}';
        break;
    }
}

}  // namespace

std::string Write(const Value& value)
{
    std::string out;
    WriteTo(out, value);
    return out;
}

}  // namespace json
}  // namespace bridge
