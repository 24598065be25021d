// CIniFile on files written byte for byte: sections and keys found without
// regard to letter case, values read whole and cut to the buffer, keys kept
// to their section, double-byte names, the debug lines of failures, and the
// tool's setting written and read back.
#include "inifile.h"
#include "kvocheckrules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class CTracedIni : public CIniFile {
public:
    std::vector<std::string> lines;

protected:
    void Trace(const char* line) override { lines.push_back(line); }
};

std::string TempPath(const std::string& name)
{
    return testing::TempDir() + "kvo_ini_" + testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
           name;
}

std::string Write(const std::string& name, const std::string& bytes)
{
    const std::string path = TempPath(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, f) << path;
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

std::string ReadBytes(const std::string& path)
{
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[256];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

const char kSection[] = "\xBF\xD8\xBC\xFE\xC0\xE0\xD0\xCD";              // 控件类型
const char kKey[] = "\xBF\xD8\xBC\xFE\xD0\xE8\xC7\xF3\xC0\xE0\xD0\xCD";  // 控件需求类型

TEST(IniFileRead, SectionsAndKeys)
{
    const std::string tool = std::string("[") + kSection + "]\r\n" + kKey + "=2\r\n";
    const struct {
        const char* what;
        std::string file;
        const char* section;
        const char* key;
        bool sectionFound;
        bool found;
        std::string value;
    } cases[] = {
        {"the tool's file", tool, kSection, kKey, true, true, "2"},
        {"LF line ends", std::string("[") + kSection + "]\n" + kKey + "=1\n", kSection, kKey, true, true, "1"},
        {"section in other case", "[Config]\r\nkey=1\r\n", "CONFIG", "key", true, true, "1"},
        {"key in other case", "[s]\r\nKey=abc\r\n", "s", "kEY", true, true, "abc"},
        {"blanks belong to the value", "[s]\r\nkey= a b \r\n", "s", "key", true, true, " a b "},
        {"value up to the end of the file", "[s]\r\nkey=7", "s", "key", true, true, "7"},
        {"empty value", "[s]\r\nkey=\r\n", "s", "key", true, true, ""},
        {"\"=\" in the value", "[s]\r\nkey=a=b\r\n", "s", "key", true, true, "a=b"},
        {"a stray line before the key", "[s]\r\nstray\r\nkey=5\r\n", "s", "key", true, true, "5"},
        {"other keys first", "[s]\r\nk=1\r\nkeys=2\r\nkey=3\r\n", "s", "key", true, true, "3"},
        {"blank before \"=\" is part of the key", "[s]\r\nkey =1\r\n", "s", "key", true, false, ""},
        {"the key only in a later section", "[a]\r\nx=1\r\n[b]\r\nkey=2\r\n", "a", "key", true, false, ""},
        {"the later section itself", "[a]\r\nkey=1\r\n[b]\r\nkey=2\r\n", "b", "key", true, true, "2"},
        {"\"[\" inside a value is no header", "[s]\r\nx=[t]\r\nkey=3\r\n", "t", "key", false, false, ""},
        {"missing section", "[a]\r\nkey=1\r\n", "b", "key", false, false, ""},
        {"a header without \"]\"", "[s\r\nkey=1\r\n", "s", "key", false, false, ""},
        {"0xFF ends the search", "\xFF[s]\r\nkey=1\r\n", "s", "key", false, false, ""},
        {"trail byte \"]\"", "[\x81]]\r\nkey=9\r\n", "\x81]", "key", true, true, "9"},
        {"trail bytes compare exactly", "[\x81\x41]\r\nkey=9\r\n", "\x81\x61", "key", false, false, ""},
        {"ASCII after a double-byte character folds", "[\xC0\xE0x]\r\nkey=4\r\n", "\xC0\xE0X", "key", true, true, "4"},
        {"empty file", "", "s", "key", false, false, ""},
    };
    for (const auto& c : cases) {
        CTracedIni ini;
        ASSERT_TRUE(ini.OpenFileRead(Write("case", c.file).c_str())) << c.what;
        EXPECT_EQ(c.sectionFound, ini.ReadSection(c.section)) << c.what;
        char value[64] = "untouched";
        EXPECT_EQ(c.found, ini.ReadLine(c.key, value, sizeof value)) << c.what;
        if (c.found) {
            EXPECT_EQ(c.value, value) << c.what;
        }
        EXPECT_EQ(size_t(c.sectionFound ? 0 : 1) + (c.found ? 0 : 1), ini.lines.size()) << c.what << ": debug lines";
        ini.CloseFile();
    }
}

TEST(IniFileRead, FirstSectionNameAndValuesCutToTheBuffer)
{
    CTracedIni ini;
    // "zero": a zero byte after a lead byte inside the value.
    const std::string file = "\r\n[First]\r\nkey=abcdef\r\nwide=a\xC0\xEE\r\n" +
                             std::string("zero=a\xC0\0b\xC0\xEE\r\n", 13) + "[Second]\r\n";
    ASSERT_TRUE(ini.OpenFileRead(Write("cut", file).c_str()));
    std::string name;
    EXPECT_TRUE(ini.ReadSection(name));
    EXPECT_EQ("First", name) << "an empty name asks for the first section";

    const struct {
        const char* key;
        size_t size;
        const char* value;
    } cuts[] = {{"key", 4, "abc"}, {"key", 1, ""},     {"wide", 4, "a\xC0\xEE"}, {"wide", 3, "a"},
                {"wide", 2, "a"},  {"zero", 16, "a"}, {"zero", 3, "a"}};
    for (const auto& c : cuts) {
        ASSERT_TRUE(ini.ReadSection("First"));
        char value[16];
        ASSERT_TRUE(ini.ReadLine(c.key, value, c.size)) << c.key << " into " << c.size;
        EXPECT_EQ(std::string(c.value), value) << c.key << " into " << c.size << " bytes";
    }
    char none[4];
    EXPECT_FALSE(ini.ReadLine("key", none, 0)) << "no room at all";

    int number = 42;
    ASSERT_TRUE(ini.ReadSection("First"));
    EXPECT_FALSE(ini.ReadInt("missing", number));
    EXPECT_EQ(42, number) << "kept when the key is missing";
}

TEST(IniFileRead, FailuresAndTheirDebugLines)
{
    CTracedIni ini;
    const std::string missing = TempPath("missing.ini");
    std::remove(missing.c_str());
    std::string name;
    EXPECT_FALSE(ini.ReadSection(name)) << "nothing open";
    EXPECT_FALSE(ini.OpenFileRead(missing.c_str()));
    ASSERT_EQ(1u, ini.lines.size());
    EXPECT_EQ("CIniFile::OpenFileRead() Error (0) : Could not open file for read : <" + missing + ">\n", ini.lines[0]);

    ASSERT_TRUE(ini.OpenFileRead(Write("short", "[a]\r\n").c_str()));
    EXPECT_FALSE(ini.ReadSection("b"));
    char value[8];
    EXPECT_FALSE(ini.ReadLine("k", value, sizeof value));
    ASSERT_EQ(3u, ini.lines.size());
    EXPECT_EQ("CIniFile::ReadSection() Error(0) : Reach the end of the file in reading section <b>\n", ini.lines[1]);
    EXPECT_EQ("CIniFile::ReadLine() Error(0) : Reach the end of the file in reading named <k>\n", ini.lines[2]);

    const std::string longPath = TempPath(std::string(300, 'x'));
    EXPECT_FALSE(ini.OpenFileWrite((longPath + "\\/:*?").c_str()));
    ASSERT_EQ(4u, ini.lines.size());
    EXPECT_EQ(255u, ini.lines[3].size()) << "debug lines are cut to 255 characters";
    EXPECT_EQ(0u, ini.lines[3].find("CIniFile::OpenFileWrite() Error (0) : Could not open file for write : <"));
}

TEST(IniFileWrite, TheToolsSettingRoundTrips)
{
    const std::string path = TempPath("config.ini");
    for (int value : {2, -1, 0}) {
        CIniFile ini;
        ASSERT_TRUE(ini.OpenFileWrite(path.c_str()));
        char buffer[8];
        EXPECT_FALSE(ini.ReadLine(kKey, buffer, sizeof buffer)) << "no reading from a file open for writing";
        ini.WriteSection(kSection);
        ini.WriteInt(kKey, value);
        ini.CloseFile();
#ifdef _WIN32
        const std::string eol = "\r\n";
#else
        const std::string eol = "\n";
#endif
        EXPECT_EQ(std::string("[") + kSection + "]" + eol + kKey + "=" + std::to_string(value) + eol, ReadBytes(path))
            << "two lines, written anew";
        int read = 99;
        ReadControlSetting(path.c_str(), read);
        EXPECT_EQ(value, read);
    }

    CIniFile reader;
    ASSERT_TRUE(reader.OpenFileRead(path.c_str()));
    reader.WriteSection("ignored");
    reader.WriteInt("ignored", 1);
    reader.CloseFile();
    EXPECT_EQ(std::string::npos, ReadBytes(path).find("ignored")) << "no writing to a file open for reading";

    const struct {
        const char* what;
        std::string file;
        int value;
    } reads[] = {
        {"value outside the entries", std::string("[") + kSection + "]\r\n" + kKey + "=7\r\n", 7},
        {"no such section", std::string("[other]\r\n") + kKey + "=2\r\n", 5},
        {"no such key", std::string("[") + kSection + "]\r\nother=2\r\n", 5},
    };
    for (const auto& r : reads) {
        int value = 5;
        ReadControlSetting(Write("setting", r.file).c_str(), value);
        EXPECT_EQ(r.value, value) << r.what;
    }
    int value = 5;
    ReadControlSetting(TempPath("none.ini").c_str(), value);
    EXPECT_EQ(5, value) << "no file";
}

}  // namespace
