// Fuzzes CIniFile's reading with arbitrary bytes as the file. Checked on
// every input:
//  - the first section's name is at most 255 bytes, and searching for it by
//    that name finds a section again;
//  - ReadLine, for the tool's key and for a key taken from the file, into a
//    small buffer and into ReadInt's 256 bytes: a found value is terminated
//    inside the buffer, holds no line end, does not end in half a
//    double-byte character and is a piece of the file; a value not found
//    leaves the buffer untouched;
//  - ReadControlSetting, on the file on disk as the tool reads it, gives what
//    ReadSection and ReadLine gave.
// Then the round trip: a section name and a key made of the input's own
// bytes (those a name can hold), written with WriteSection and WriteInt,
// read back to the same value. The class reads and writes memory streams
// here (OpenStream), the file on disk is read once per input.
#include "inifile.h"
#include "kvocheckrules.h"
#include "logformat.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using diaglog::IsLogLeadByte;

namespace {

const unsigned char kUntouched = 0xA5;

// One file per process, so that parallel fuzzing jobs do not share it; in
// memory where the system has a memory file system.
const std::string& FilePath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string p = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : dir && *dir ? dir : "/tmp";
        p += "/qel_ini_fuzz_" + std::to_string(getpid()) + ".ini";
        std::atexit([] { std::remove(FilePath().c_str()); });
        return p;
    }();
    return path;
}

void WriteFile(const std::string& bytes)
{
    FILE* f = std::fopen(FilePath().c_str(), "wb");
    if (!f)
        std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        std::abort();
    std::fclose(f);
}

// CIniFile on memory: a path opened for reading reads `m_file`, one opened
// for writing fills `m_written`.
class CMemoryIni : public CIniFile {
public:
    explicit CMemoryIni(const std::string& file) : m_file(file) {}
    ~CMemoryIni() override
    {
        CloseFile();
        std::free(m_pWritten);
    }
    std::string Written() const { return std::string(m_pWritten ? m_pWritten : "", m_nWritten); }

protected:
    FILE* OpenStream(const char*, const char* mode) override
    {
        if (mode[0] == 'w') {
            std::free(m_pWritten);
            m_pWritten = nullptr;
            m_nWritten = 0;
            return open_memstream(&m_pWritten, &m_nWritten);
        }
        return fmemopen(&m_file[0], m_file.size(), "r");
    }

private:
    std::string m_file;
    char* m_pWritten = nullptr;
    size_t m_nWritten = 0;
};

// The value ends on a character boundary, walking from its start.
bool WholeCharacters(const char* text, size_t n)
{
    size_t i = 0;
    while (i < n)
        i += IsLogLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
    return i == n;
}

void CheckReadLine(CIniFile& ini, const std::string& section, const std::string& key, size_t size,
                   const std::string& file)
{
    ini.ReadSection(section.c_str());
    // Exactly `size` bytes on the heap: a write past them is caught.
    std::unique_ptr<char[]> buffer(new char[size]);
    std::memset(buffer.get(), kUntouched, size);
    if (!ini.ReadLine(key.c_str(), buffer.get(), size)) {
        for (size_t i = 0; i < size; ++i)
            if (static_cast<unsigned char>(buffer[i]) != kUntouched)
                std::abort();
        return;
    }
    const char* end = static_cast<const char*>(std::memchr(buffer.get(), '\0', size));
    if (!end)
        std::abort();
    const size_t n = static_cast<size_t>(end - buffer.get());
    if (std::memchr(buffer.get(), '\r', n) || std::memchr(buffer.get(), '\n', n) || !WholeCharacters(buffer.get(), n))
        std::abort();
    if (n > 0 && !memmem(file.data(), file.size(), buffer.get(), n))
        std::abort();
}

// A name the file can hold: printable ASCII but "[", "]" and "=", and
// double-byte characters (whose trail byte may be "[" or "]").
bool Writable(const std::string& name, size_t limit)
{
    if (name.empty() || name.size() > limit)
        return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (IsLogLeadByte(c)) {
            if (i + 1 >= name.size())
                return false;
            const unsigned char t = static_cast<unsigned char>(name[++i]);
            if (t < 0x40 || t == 0x7F || t == 0xFF)
                return false;
        } else if (c < 0x20 || c > 0x7E || c == '[' || c == ']' || c == '=') {
            return false;
        }
    }
    return true;
}

void CheckRoundTrip(const std::string& section, const std::string& key, int value)
{
    CMemoryIni writer("");
    if (!writer.OpenFileWrite("config.ini"))
        std::abort();
    writer.WriteSection(section.c_str());
    writer.WriteInt(key.c_str(), value);
    writer.CloseFile();
    CMemoryIni reader(writer.Written());
    if (!reader.OpenFileRead("config.ini"))
        std::abort();
    std::string first;
    int read = value ^ 1;
    if (!reader.ReadSection(first) || first != section || !reader.ReadSection(section.c_str()) ||
        !reader.ReadInt(key.c_str(), read) || read != value)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 14)
        return 0;
    const std::string file(reinterpret_cast<const char*>(data), size);
    CMemoryIni ini(file);
    if (!ini.OpenFileRead("config.ini"))
        std::abort();
    std::string first;
    const bool hasSection = ini.ReadSection(first);
    if (first.size() > 255)
        std::abort();
    if (hasSection && first.find('\0') == std::string::npos && !ini.ReadSection(first.c_str()))
        std::abort();

    // A key from the file: the text before its first "=", on that line.
    std::string key;
    const size_t equals = file.find('=');
    if (equals != std::string::npos) {
        const size_t lineEnd = file.find_last_of("\r\n", equals);
        const size_t start = lineEnd == std::string::npos ? 0 : lineEnd + 1;
        key = file.substr(start, equals - start);
        if (key.find('\0') != std::string::npos)
            key.clear();
    }
    std::vector<std::string> sections = {kvo::kConfigSection};
    if (hasSection && first.find('\0') == std::string::npos)
        sections.push_back(first);
    std::vector<std::string> keys = {kvo::kConfigKey};
    if (!key.empty())
        keys.push_back(key);
    const size_t smallSize = 1 + size % 16;
    for (const std::string& s : sections) {
        for (const std::string& k : keys) {
            CheckReadLine(ini, s, k, smallSize, file);
            CheckReadLine(ini, s, k, 256, file);
        }
    }

    // The tool's setting, read as the tool reads it.
    int expected = -12345;
    if (ini.ReadSection(kvo::kConfigSection)) {
        char text[256];
        if (ini.ReadLine(kvo::kConfigKey, text, sizeof text))
            expected = std::atoi(text);
    }
    ini.CloseFile();
    WriteFile(file);
    int setting = -12345;
    ReadControlSetting(FilePath().c_str(), setting);
    if (setting != expected)
        std::abort();

    if (hasSection && Writable(first, 255) && Writable(key, 256)) {
        int value = 0;
        std::memcpy(&value, data + size - (size >= sizeof value ? sizeof value : size),
                    size >= sizeof value ? sizeof value : size);
        CheckRoundTrip(first, key, value);
    }
    return 0;
}
