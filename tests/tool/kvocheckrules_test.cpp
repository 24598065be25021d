// KvoCheck's decisions: the lines and icons of the main dialog, the system
// information record, the log list's subjects, export names, the password
// and the record a double click opens, and whether a copy may run.
#include "kvocheckrules.h"
#include "texts936.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using kvo::Icon;

const char* IconName(Icon icon)
{
    return icon == Icon::Red ? "red" : icon == Icon::Yellow ? "yellow" : "green";
}

// Texts of the dialog (code page 936); the whole ones from resources/texts.txt.
const std::string kVersionWord = "\xB0\xE6\xB1\xBE";                                 // 版本
const std::string kBuildWord = "\xC4\xDA\xB2\xBF\xB0\xE6\xB1\xBE\xBA\xC5";           // 内部版本号
const std::string kIePrefix = texts::kIeVersionPrefix;
const std::string kControlPrefix = texts::kControlVersionPrefix;
const std::string kBrowserPrefix = texts::kBrowserPrefix;

TEST(KvoWindowsVersion, FamilyTable)
{
    const struct {
        uint32_t platform, major, minor;
        int code;
        const char* name;
    } cases[] = {
        {0, 3, 10, 100, "Microsoft Windows"},       {1, 4, 0, 101, "Microsoft Windows 95"},
        {1, 4, 10, 102, "Microsoft Windows 98"},    {1, 4, 90, 103, "Microsoft Windows ME"},
        {1, 4, 5, 0, ""},                           {1, 5, 0, 0, ""},
        {2, 3, 51, 104, "Microsoft Windows NT"},    {2, 4, 0, 104, "Microsoft Windows NT"},
        {2, 5, 0, 105, "Microsoft Windows 2000"},   {2, 5, 1, 106, "Microsoft Windows XP"},
        {2, 5, 2, 107, "Microsoft Windows 2003"},   {2, 5, 3, 0, ""},
        {2, 6, 1, 0, ""},                           {2, 10, 0, 0, ""},
        {3, 5, 1, 0, ""},
    };
    for (const auto& c : cases) {
        const kvo::WindowsFamily family = kvo::LookupWindowsFamily(c.platform, c.major, c.minor);
        EXPECT_EQ(c.code, family.code) << "platform " << c.platform << ", " << c.major << "." << c.minor;
        EXPECT_STREQ(c.name, family.name) << "platform " << c.platform << ", " << c.major << "." << c.minor;
    }
}

kvo::WindowsVersionInfo Version(int code, const char* name, int major, int minor, int build, int sp)
{
    kvo::WindowsVersionInfo info;
    info.code = code;
    std::strcpy(info.name, name);
    info.major = major;
    info.minor = minor;
    info.build = build;
    info.servicePack = sp;
    return info;
}

TEST(KvoWindowsVersion, LineAndIcon)
{
    const std::string tail = " " + kVersionWord + ": ";
    const struct {
        kvo::WindowsVersionInfo info;
        std::string text;
        Icon icon;
        bool tooOld;
    } cases[] = {
        {Version(106, "Microsoft Windows XP", 5, 1, 2600, 3),
         "Microsoft Windows XP" + tail + "5.1 (" + kBuildWord + " 2600) Service Pack 3", Icon::Green, false},
        {Version(107, "Microsoft Windows 2003", 5, 2, 3790, 2),
         "Microsoft Windows 2003" + tail + "5.2 (" + kBuildWord + " 3790) Service Pack 2", Icon::Green, false},
        {Version(105, "Microsoft Windows 2000", 5, 0, 2195, 4),
         "Microsoft Windows 2000" + tail + "5.0 (" + kBuildWord + " 2195) Service Pack 4", Icon::Green, false},
        {Version(104, "Microsoft Windows NT", 4, 0, 1381, 6),
         "Microsoft Windows NT" + tail + "4.0 (" + kBuildWord + " 1381) Service Pack 6", Icon::Yellow, false},
        // Not in the table: the line is the formatted part alone.
        {Version(0, "", 6, 1, 7601, 1), tail + "6.1 (" + kBuildWord + " 7601) Service Pack 1", Icon::Yellow, false},
        {Version(100, "Microsoft Windows", 3, 10, 0, 0),
         "Microsoft Windows" + tail + "3.10 (" + kBuildWord + " 0) Service Pack 0", Icon::Yellow, false},
        {Version(102, "Microsoft Windows 98", 4, 10, 67766446, 0), "Microsoft Windows 98", Icon::Red, true},
        {Version(101, "Microsoft Windows 95", 4, 0, 950, 0), "Microsoft Windows 95", Icon::Red, true},
        {Version(103, "Microsoft Windows ME", 4, 90, 3000, 0), "Microsoft Windows ME", Icon::Red, true},
    };
    for (const auto& c : cases) {
        const kvo::Line line = kvo::WindowsLine(&c.info);
        EXPECT_EQ(c.text, line.text) << "code " << c.info.code;
        EXPECT_STREQ(IconName(c.icon), IconName(line.icon)) << "code " << c.info.code;
        EXPECT_EQ(c.tooOld, kvo::IsOsTooOld(c.info.code)) << "code " << c.info.code;
    }
    const kvo::Line unknown = kvo::WindowsLine(nullptr);
    EXPECT_EQ(texts::kNoWindowsVersion, unknown.text);
    EXPECT_STREQ("yellow", IconName(unknown.icon)) << "version unreadable";
}

TEST(KvoProbeLines, InternetExplorer)
{
    const struct {
        bool key;
        std::string version;
        int major;
        Icon icon;
    } cases[] = {
        {true, "6.0.2900.5512", 6, Icon::Green},  {true, "8.0.6001.18702", 8, Icon::Green},
        {true, "9.11.9600.19036", 9, Icon::Green}, {true, "10.0.1", 10, Icon::Green},
        {true, "5.50.4807.2300", 5, Icon::Red},   {true, "", 0, Icon::Red},
        {true, "abc", 0, Icon::Red},              {true, " 7.0", 0, Icon::Red},
    };
    for (const auto& c : cases) {
        const kvo::Line line = kvo::IeLine(c.key, c.version);
        EXPECT_EQ(c.major, kvo::IeMajorVersion(c.version)) << "\"" << c.version << "\"";
        EXPECT_EQ(kIePrefix + c.version, line.text);
        EXPECT_STREQ(IconName(c.icon), IconName(line.icon)) << "\"" << c.version << "\"";
    }
    const kvo::Line noKey = kvo::IeLine(false, "6.0");
    EXPECT_EQ(texts::kNoIeVersion, noKey.text);
    EXPECT_STREQ("yellow", IconName(noKey.icon)) << "no Internet Explorer key";
}

TEST(KvoProbeLines, ControlVersionAndState)
{
    const struct {
        long version;
        const char* dotted;
    } dots[] = {
        {1010, "1.0.1.0"}, {1011, "1.0.1.1"}, {5, "5..."}, {0, "0..."}, {12, "1.2.."},
        {123, "1.2.3."},   {12345, "1.2.3.45"}, {-1, "-.1.."},
    };
    for (const auto& d : dots)
        EXPECT_EQ(d.dotted, kvo::DottedVersion(d.version)) << d.version;

    const struct {
        kvo::ControlProbe probe;
        long version;
        std::string text;
        Icon icon;
    } cases[] = {
        {kvo::ControlProbe::NotInstalled, 0, texts::kControlMissing, Icon::Red},
        {kvo::ControlProbe::Answered, 1010, kControlPrefix + "1.0.1.0", Icon::Green},
        {kvo::ControlProbe::Answered, 1011, kControlPrefix + "1.0.1.1", Icon::Yellow},
        {kvo::ControlProbe::Answered, 5, kControlPrefix + "5...", Icon::Yellow},
        {kvo::ControlProbe::NoAnswer, 1010, texts::kControlVersionUnknown, Icon::Yellow},
    };
    for (const auto& c : cases) {
        const kvo::Line line = kvo::ControlLine(c.probe, c.version);
        EXPECT_EQ(c.text, line.text) << "version " << c.version;
        EXPECT_STREQ(IconName(c.icon), IconName(line.icon)) << "version " << c.version;
    }
}

TEST(KvoProbeLines, DefaultBrowser)
{
    const struct {
        std::string description;
        Icon icon;
    } cases[] = {
        {"Internet Explorer", Icon::Green},
        {"Wine Internet Explorer", Icon::Green},
        {"internet explorer", Icon::Yellow},  // the match is case-sensitive
        {"Mozilla Firefox", Icon::Yellow},
        {"", Icon::Yellow},  // no program for .htm files
    };
    for (const auto& c : cases) {
        const kvo::Line line = kvo::BrowserLine(c.description);
        EXPECT_EQ(kBrowserPrefix + c.description, line.text);
        EXPECT_STREQ(IconName(c.icon), IconName(line.icon)) << "\"" << c.description << "\"";
        EXPECT_EQ(c.icon == Icon::Green, kvo::IsInternetExplorer(c.description));
    }
}

TEST(KvoSystemInfo, RecordText)
{
    const std::string csp = std::string("* ") + texts::kCspHeader;
    const std::string certs = std::string("* ") + texts::kCertHeader;
    const std::string none = texts::kNone;
    const std::string item = "\xA1\xA2";                                                                      // 、
    EXPECT_EQ("\r\n* W\r\n* I\r\n* C\r\n" + csp + none + certs + none, kvo::BuildSystemInfoText("W", "I", "C", {}, {}))
        << "both lists empty";
    EXPECT_EQ("\r\n* W\n\r\n* I\r\n* C\r\n" + csp + "   1" + item + "A CSP\r\n   2" + item + "B CSP\r\n" + certs +
                  "   1" + item + "\r\n   2" + item + "\xC0\xEE\xCB\xC4\r\n",
              kvo::BuildSystemInfoText("W\n", "I", "C", {"A CSP", "B CSP"}, {"", "\xC0\xEE\xCB\xC4"}))
        << "lines numbered from 1, an empty CN kept";
}

TEST(KvoLogView, SubjectsExportNamesAndPassword)
{
    const struct {
        std::string field;
        std::string shown;
    } subjects[] = {
        {"*\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD", "\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD"},  // *签名数据
        {" x", " x"}, {"**x", "*x"}, {"x*", "x*"}, {"*", ""}, {"", ""},
        {std::string(64, 'a'), std::string(64, 'a')},  // a full field has no terminator
    };
    for (const auto& s : subjects) {
        char field[64] = {};
        std::memcpy(field, s.field.data(), s.field.size());
        EXPECT_EQ(s.shown, kvo::DisplaySubject(field, sizeof field)) << "\"" << s.field << "\"";
    }

    const struct {
        const char* chosen;
        const char* written;
    } exports[] = {
        {"C:\\logs\\a.log", "C:\\logs\\a.log"}, {"a.LOG", "a.LOG.log"}, {"a", "a.log"},
        {"log", "log.log"},                     {".log", ".log"},       {"a.log.bak", "a.log.bak.log"},
        {"a.Log", "a.Log.log"},
    };
    for (const auto& e : exports)
        EXPECT_EQ(e.written, kvo::ExportPath(e.chosen)) << e.chosen;

    for (const char* wrong : {"", "48291", "4829150", " 482915", "482915 "})
        EXPECT_FALSE(kvo::IsUnlockPassword(wrong)) << "\"" << wrong << "\"";
    EXPECT_FALSE(kvo::IsUnlockPassword(std::string("482915\0", 7))) << "a trailing NUL";
    EXPECT_TRUE(kvo::IsUnlockPassword("482915"));
}

TEST(KvoLogView, RecordADoubleClickOpens)
{
    const struct {
        bool osTooOld, unlocked;
        int selected;
        size_t headers, contents;
        int opened;
    } cases[] = {
        {false, true, 0, 1, 1, 0},   {false, true, 2, 3, 3, 2},  {false, false, 0, 1, 1, -1},
        {true, true, 0, 1, 1, -1},   {false, true, -1, 1, 1, -1}, {false, true, 1, 1, 1, -1},
        {false, true, 1, 2, 1, -1},  {false, true, 1, 1, 2, -1},  {false, true, 0, 0, 0, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.opened, kvo::RecordToOpen(c.osTooOld, c.unlocked, c.selected, c.headers, c.contents))
            << "old " << c.osTooOld << ", unlocked " << c.unlocked << ", line " << c.selected << " of "
            << c.headers << "/" << c.contents;
}

// The words are those of the dialog's buttons (resources/kvocheck.rc).
TEST(KvoLogFailure, NamesTheOperationAsItsButtonDoes)
{
    const std::string failed = "\xC8\xD5\xD6\xBE\xB2\xD9\xD7\xF7\xCA\xA7\xB0\xDC";  // 日志操作失败
    const std::string colon = "\xA3\xBA";                                                // ：
    const struct {
        kvo::LogOperation operation;
        std::string text;
    } cases[] = {
        {kvo::LogOperation::Clear, failed + colon + "\xC7\xE5\xB3\xFD"},    // 清除
        {kvo::LogOperation::Import, failed + colon + "\xB5\xBC\xC8\xEB"},   // 导入
        {kvo::LogOperation::Export, failed + colon + "\xB5\xBC\xB3\xF6"},   // 导出
        {kvo::LogOperation::Refresh, failed + colon + "\xCB\xA2\xD0\xC2"},  // 刷新
        {static_cast<kvo::LogOperation>(-1), failed},
        {static_cast<kvo::LogOperation>(4), failed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, kvo::LogFailureText(c.operation)) << static_cast<int>(c.operation);
}

TEST(KvoStartUp, OneCopyAtATime)
{
    const struct {
        uintptr_t mutex;
        bool createdExisting;
        bool runs;
    } cases[] = {
        {0, false, false}, {1, false, false}, {10, false, false}, {11, false, true}, {0x1234, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.runs, kvo::MayRun(c.mutex, c.createdExisting)) << c.mutex << ", " << c.createdExisting;
}

}  // namespace
