// Converts the UTF-8 text table (resources/texts.txt) to code page 936 at
// build time. A build-machine program, like kvoicons.cpp.
//
//   textgen TEXTS OUTDIR
//
// writes OUTDIR/texts936.h, a `inline constexpr char NAME[]` of the code page
// 936 bytes for every line of the table (namespace texts), and
// OUTDIR/texts936_table.inc, the rows {name, bytes, length, UTF-8 text} that
// the tests check the conversion with. Nothing is written, and the program
// ends with 1, when the table has a line it cannot read, a name twice, or a
// character that has no code page 936 form.
//
// The conversion is glibc's iconv (module GBK, which needs no locale).
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iconv.h>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Text {
    std::string name;
    std::string utf8;    // the text, escapes resolved
    std::string quoted;  // the text as written between the quotes
    std::string cp936;
};

struct Failure {
    std::string message;
};

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNameChar(char c) { return IsNameStart(c) || (c >= '0' && c <= '9'); }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The code point of the UTF-8 sequence at `s` (at most `n` bytes), or -1
// when it is no valid sequence.
long DecodeUtf8(const unsigned char* s, size_t n, size_t& length)
{
    length = 1;
    if (n == 0)
        return -1;
    const unsigned char c = s[0];
    if (c < 0x80)
        return c;
    long cp;
    long min;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return -1;
    }
    if (length > n)
        return -1;
    for (size_t i = 1; i < length; ++i) {
        if ((s[i] & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    return cp;
}

std::string CodePointName(long cp)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04lX", cp);
    return buf;
}

// UTF-8 to code page 936; throws Failure naming the first character that
// has no code page 936 form or is no UTF-8.
std::string ToCp936(const std::string& utf8)
{
    // Validated first, so that iconv's EILSEQ can only mean an unmapped character.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    for (size_t i = 0; i < utf8.size();) {
        size_t length;
        if (DecodeUtf8(bytes + i, utf8.size() - i, length) < 0)
            throw Failure{"byte " + std::to_string(i) + " of the text is no UTF-8"};
        i += length;
    }
    iconv_t cd = iconv_open("CP936", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw Failure{"iconv has no conversion from UTF-8 to CP936"};
    std::string in = utf8;
    std::string out(in.size() * 2 + 16, '\0');
    char* src = &in[0];
    size_t left = in.size();
    char* dst = &out[0];
    size_t room = out.size();
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    const int error = errno;
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) {
        const size_t at = static_cast<size_t>(src - &in[0]);
        size_t length;
        const long cp = DecodeUtf8(bytes + at, utf8.size() - at, length);
        if (error == EILSEQ)
            throw Failure{"\"" + utf8.substr(at, length) + "\" (" + CodePointName(cp) +
                          ") has no code page 936 form"};
        throw Failure{"iconv failed at byte " + std::to_string(at)};
    }
    // Characters iconv would drop or approximate do not occur: it was asked
    // for neither (no //IGNORE, no //TRANSLIT), and every input byte is used.
    if (r != 0)
        throw Failure{"iconv converted " + std::to_string(r) + " characters irreversibly"};
    out.resize(out.size() - room);
    return out;
}

// One line of the table: NAME "text". Returns false for a line with nothing.
bool ParseLine(const std::string& line, Text& text)
{
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == line.size() || line[i] == '#')
        return false;
    if (!IsNameStart(line[i]))
        throw Failure{"a line starts with a name"};
    const size_t nameStart = i;
    while (i < line.size() && IsNameChar(line[i]))
        ++i;
    text.name = line.substr(nameStart, i - nameStart);
    const size_t afterName = i;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i == afterName || i == line.size() || line[i] != '"')
        throw Failure{text.name + ": the name is followed by blanks and a quoted text"};
    const size_t quoteStart = ++i;
    text.utf8.clear();
    for (;; ++i) {
        if (i == line.size())
            throw Failure{text.name + ": the text has no closing quote"};
        const char c = line[i];
        if (c == '"')
            break;
        if (c == '\r' || c == '\n' || c == '\0' || c == '\t')
            throw Failure{text.name + ": a control character in the text (write \\r, \\n or \\t)"};
        if (c != '\\') {
            text.utf8 += c;
            continue;
        }
        if (++i == line.size())
            throw Failure{text.name + ": the text has no closing quote"};
        switch (line[i]) {
        case 'r': text.utf8 += '\r'; break;
        case 'n': text.utf8 += '\n'; break;
        case 't': text.utf8 += '\t'; break;
        case '\\': text.utf8 += '\\'; break;
        case '"': text.utf8 += '"'; break;
        default: throw Failure{text.name + ": unknown escape \\" + std::string(1, line[i])};
        }
    }
    text.quoted = line.substr(quoteStart, i - quoteStart);
    for (++i; i < line.size(); ++i) {
        if (!IsBlank(line[i]))
            throw Failure{text.name + ": something follows the closing quote"};
    }
    return true;
}

// A C++ string literal of `bytes`: printable ASCII as it is, the rest as
// escapes. A hex escape followed by a hex digit ends the literal there, so
// that the digit does not become part of the escape.
std::string Literal(const std::string& bytes)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    bool afterHex = false;
    for (const char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool hexDigit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (afterHex && hexDigit)
            out += "\" \"";
        afterHex = false;
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c >= 0x20 && c < 0x7F && c != '?') {
            out += ch;
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
            afterHex = true;
        }
    }
    return out + "\"";
}

std::vector<Text> ReadTable(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Failure{std::string(path) + ": cannot be read"};
    std::vector<Text> texts;
    std::set<std::string> names;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        try {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            Text text;
            if (!ParseLine(line, text))
                continue;
            if (!names.insert(text.name).second)
                throw Failure{text.name + ": the name is already in the table"};
            text.cp936 = ToCp936(text.utf8);
            texts.push_back(text);
        } catch (const Failure& failure) {
            throw Failure{std::string(path) + ":" + std::to_string(number) + ": " + failure.message};
        }
    }
    if (texts.empty())
        throw Failure{std::string(path) + ": no text"};
    return texts;
}

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out)
        throw Failure{path + ": cannot be written"};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: textgen TEXTS OUTDIR\n";
        return 2;
    }
    try {
        const std::vector<Text> texts = ReadTable(argv[1]);
        const std::string outDir = argv[2];

        std::ostringstream header;
        header << "// Generated from resources/texts.txt by resources/textgen.cpp: edit the table, not this file.\n"
               << "// The texts in code page 936, as the programs show and store them.\n"
               << "#ifndef QEL_TEXTS936_H\n#define QEL_TEXTS936_H\n\nnamespace texts {\n\n";
        std::ostringstream table;
        table << "// Generated from resources/texts.txt by resources/textgen.cpp.\n"
              << "// {name, code page 936 text, its length, UTF-8 text} for each line of the table.\n";
        for (const Text& text : texts) {
            header << "// \"" << text.quoted << "\"\n"
                   << "inline constexpr char " << text.name << "[] = " << Literal(text.cp936) << ";\n";
            table << "{\"" << text.name << "\", texts::" << text.name << ", " << text.cp936.size() << ", "
                  << Literal(text.utf8) << "},\n";
        }
        header << "\n}  // namespace texts\n\n#endif\n";

        WriteFile(outDir + "/texts936_table.inc", table.str());
        WriteFile(outDir + "/texts936.h", header.str());
        return 0;
    } catch (const Failure& failure) {
        std::cerr << "textgen: " << failure.message << "\n";
        return 1;
    }
}
