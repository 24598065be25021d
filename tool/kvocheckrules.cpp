#include "kvocheckrules.h"

#include <cstdio>
#include <cstring>

namespace kvo {

const char kAppName[] = "KvoCheck";
const char kSystemInfoSubject[] = "\xCF\xB5\xCD\xB3\xD0\xC5\xCF\xA2";  // 系统信息
const char kConfigFile[] = "config.ini";
const char kConfigSection[] = "\xBF\xD8\xBC\xFE\xC0\xE0\xD0\xCD";                  // 控件类型
const char kConfigKey[] = "\xBF\xD8\xBC\xFE\xD0\xE8\xC7\xF3\xC0\xE0\xD0\xCD";      // 控件需求类型
const char kTimeColumn[] = "\xCA\xB1\xBC\xE4";                                      // 时间
const char kSubjectColumn[] = "\xD6\xF7\xCC\xE2";                                   // 主题
const char kImportDone[] = "\xB3\xC9\xB9\xA6\xB5\xBC\xC8\xEB\xC8\xD5\xD6\xBE\xA3\xA1";    // 成功导入日志！
const char kImportFailed[] = "\xB5\xBC\xC8\xEB\xC8\xD5\xD6\xBE\xCA\xA7\xB0\xDC\xA3\xA1";  // 导入日志失败！
const char kExportFailed[] = "\xB5\xBC\xB3\xF6\xC8\xD5\xD6\xBE\xCA\xA7\xB0\xDC\xA3\xA1";  // 导出日志失败！

// 由于您操作系统版本过低,因此无法显示此部分内容.
const char kOsTooOldText[] =
    "\xD3\xC9\xD3\xDA\xC4\xFA\xB2\xD9\xD7\xF7\xCF\xB5\xCD\xB3\xB0\xE6\xB1\xBE\xB9\xFD\xB5\xCD,"
    "\xD2\xF2\xB4\xCB\xCE\xDE\xB7\xA8\xCF\xD4\xCA\xBE\xB4\xCB\xB2\xBF\xB7\xD6\xC4\xDA\xC8\xDD.";

namespace {

// 无法获取Windows版本信息.
const char kNoWindowsVersion[] = "\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1" "Windows\xB0\xE6\xB1\xBE\xD0\xC5\xCF\xA2.\n";
//  版本: %d.%d (内部版本号 %d) Service Pack %d
const char kWindowsVersionFormat[] =
    " \xB0\xE6\xB1\xBE: %d.%d (\xC4\xDA\xB2\xBF\xB0\xE6\xB1\xBE\xBA\xC5 %d) Service Pack %d";
// 无法获取IE浏览器版本信息
const char kNoIeVersion[] = "\xCE\xDE\xB7\xA8\xBB\xF1\xC8\xA1" "IE\xE4\xAF\xC0\xC0\xC6\xF7\xB0\xE6\xB1\xBE\xD0\xC5\xCF\xA2";
// Internet Explorer 版本为: 
const char kIeVersionPrefix[] = "Internet Explorer \xB0\xE6\xB1\xBE\xCE\xAA: ";
// Vantor控件尚未安装.
const char kControlMissing[] = "Vantor\xBF\xD8\xBC\xFE\xC9\xD0\xCE\xB4\xB0\xB2\xD7\xB0.";
// Vantor控件已安装，版本号为: 
const char kControlVersionPrefix[] = "Vantor\xBF\xD8\xBC\xFE\xD2\xD1\xB0\xB2\xD7\xB0\xA3\xAC\xB0\xE6\xB1\xBE\xBA\xC5\xCE\xAA: ";
// Vantor控件已安装，版本号未知.
const char kControlVersionUnknown[] =
    "Vantor\xBF\xD8\xBC\xFE\xD2\xD1\xB0\xB2\xD7\xB0\xA3\xAC\xB0\xE6\xB1\xBE\xBA\xC5\xCE\xB4\xD6\xAA.";
// 默认浏览器为:
const char kBrowserPrefix[] = "\xC4\xAC\xC8\xCF\xE4\xAF\xC0\xC0\xC6\xF7\xCE\xAA:";
// CSP (加密服务提供商)：
const char kCspHeader[] = "CSP (\xBC\xD3\xC3\xDC\xB7\xFE\xCE\xF1\xCC\xE1\xB9\xA9\xC9\xCC)\xA3\xBA\r\n";
// 证书信息：
const char kCertHeader[] = "\xD6\xA4\xCA\xE9\xD0\xC5\xCF\xA2\xA3\xBA\r\n";
//   无
const char kNone[] = "  \xCE\xDE\r\n";
//    %d、
const char kItemFormat[] = "   %d\xA1\xA2";

const char kPassword[] = "482915";

// 日志操作失败
const char kLogFailed[] = "\xC8\xD5\xD6\xBE\xB2\xD9\xD7\xF7\xCA\xA7\xB0\xDC";
// ：
const char kFullWidthColon[] = "\xA3\xBA";

struct FamilyRow {
    uint32_t platformId;
    uint32_t major;  // kAny: any
    uint32_t minor;  // kAny: any
    int code;
    const char* name;
};
const uint32_t kAny = 0xFFFFFFFFu;

const FamilyRow kFamilies[] = {
    {0, kAny, kAny, 100, "Microsoft Windows"},
    {1, 4, 0, 101, "Microsoft Windows 95"},
    {1, 4, 10, 102, "Microsoft Windows 98"},
    {1, 4, 90, 103, "Microsoft Windows ME"},
    {2, 5, 0, 105, "Microsoft Windows 2000"},
    {2, 5, 1, 106, "Microsoft Windows XP"},
    {2, 5, 2, 107, "Microsoft Windows 2003"},
};

void AppendList(std::string& text, const std::vector<std::string>& lines)
{
    if (lines.empty()) {
        text += kNone;
        return;
    }
    int n = 0;
    for (const std::string& line : lines) {
        char number[32];
        std::snprintf(number, sizeof number, kItemFormat, ++n);
        text += number;
        text += line;
        text += "\r\n";
    }
}

}  // namespace

WindowsFamily LookupWindowsFamily(uint32_t platformId, uint32_t major, uint32_t minor)
{
    if (platformId == 2 && major <= 4)
        return {104, "Microsoft Windows NT"};
    for (const FamilyRow& row : kFamilies) {
        if (row.platformId == platformId && (row.major == kAny || row.major == major) &&
            (row.minor == kAny || row.minor == minor))
            return {row.code, row.name};
    }
    return {0, ""};
}

bool IsOsTooOld(int code) { return code == 101 || code == 102 || code == 103; }

Line WindowsLine(const WindowsVersionInfo* info)
{
    if (!info)
        return {kNoWindowsVersion, Icon::Yellow};
    std::string name(info->name, strnlen(info->name, sizeof info->name));
    if (IsOsTooOld(info->code))
        return {name, Icon::Red};
    char version[160];
    std::snprintf(version, sizeof version, kWindowsVersionFormat, info->major, info->minor, info->build,
                  info->servicePack);
    const bool supported = info->code == 105 || info->code == 106 || info->code == 107;
    return {name + version, supported ? Icon::Green : Icon::Yellow};
}

int IeMajorVersion(const std::string& version)
{
    int major = 0;
    for (char c : version) {
        if (c < '0' || c > '9' || major > 100000)
            break;
        major = major * 10 + (c - '0');
    }
    return major;
}

Line IeLine(bool keyOpened, const std::string& version)
{
    if (!keyOpened)
        return {kNoIeVersion, Icon::Yellow};
    return {kIeVersionPrefix + version, IeMajorVersion(version) >= 6 ? Icon::Green : Icon::Red};
}

std::string DottedVersion(long version)
{
    std::string text = std::to_string(version);
    for (size_t at : {3, 2, 1})
        text.insert(at < text.size() ? at : text.size(), 1, '.');
    return text;
}

Line ControlLine(ControlProbe probe, long version)
{
    switch (probe) {
    case ControlProbe::NotInstalled:
        return {kControlMissing, Icon::Red};
    case ControlProbe::Answered:
        return {kControlVersionPrefix + DottedVersion(version),
                version == kExpectedControlVersion ? Icon::Green : Icon::Yellow};
    case ControlProbe::NoAnswer:
        break;
    }
    return {kControlVersionUnknown, Icon::Yellow};
}

bool IsInternetExplorer(const std::string& description)
{
    return description.find("Internet Explorer") != std::string::npos;
}

Line BrowserLine(const std::string& description)
{
    return {kBrowserPrefix + description, IsInternetExplorer(description) ? Icon::Green : Icon::Yellow};
}

std::string BuildSystemInfoText(const std::string& windowsLine, const std::string& ieLine,
                                const std::string& controlLine, const std::vector<std::string>& cspLines,
                                const std::vector<std::string>& certLines)
{
    std::string text = "\r\n* " + windowsLine + "\r\n";
    text += "* " + ieLine + "\r\n";
    text += "* " + controlLine + "\r\n";
    text += "* ";
    text += kCspHeader;
    AppendList(text, cspLines);
    text += "* ";
    text += kCertHeader;
    AppendList(text, certLines);
    return text;
}

std::string DisplaySubject(const char* subject, size_t fieldSize)
{
    std::string text(subject, strnlen(subject, fieldSize));
    if (!text.empty() && text[0] == '*')
        text.erase(0, 1);
    return text;
}

std::string ExportPath(const std::string& chosen)
{
    static const char kExtension[] = ".log";
    const size_t n = sizeof kExtension - 1;
    if (chosen.size() >= n && chosen.compare(chosen.size() - n, n, kExtension) == 0)
        return chosen;
    return chosen + kExtension;
}

bool IsUnlockPassword(const std::string& text) { return text == kPassword; }

std::string LogFailureText(LogOperation operation)
{
    const char* word = nullptr;
    switch (operation) {
    case LogOperation::Clear:
        word = "\xC7\xE5\xB3\xFD";  // 清除
        break;
    case LogOperation::Import:
        word = "\xB5\xBC\xC8\xEB";  // 导入
        break;
    case LogOperation::Export:
        word = "\xB5\xBC\xB3\xF6";  // 导出
        break;
    case LogOperation::Refresh:
        word = "\xCB\xA2\xD0\xC2";  // 刷新
        break;
    }
    return word ? std::string(kLogFailed) + kFullWidthColon + word : std::string(kLogFailed);
}

int RecordToOpen(bool osTooOld, bool unlocked, int selected, size_t headerCount, size_t contentCount)
{
    if (osTooOld || !unlocked || selected < 0)
        return -1;
    const size_t index = static_cast<size_t>(selected);
    return index < headerCount && index < contentCount ? selected : -1;
}

bool MayRun(uintptr_t mutexValue, bool createdExisting) { return mutexValue > 10 && !createdExisting; }

}  // namespace kvo
