#include "kvocheckrules.h"

#include <cstdio>
#include <cstring>

namespace kvo {

const char kAppName[] = "KvoCheck";
const char kConfigFile[] = "config.ini";

namespace {

const char kPassword[] = "482915";

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
        text += texts::kNone;
        return;
    }
    int n = 0;
    for (const std::string& line : lines) {
        char number[32];
        std::snprintf(number, sizeof number, texts::kItemFormat, ++n);
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
        return {texts::kNoWindowsVersion, Icon::Yellow};
    std::string name(info->name, strnlen(info->name, sizeof info->name));
    if (IsOsTooOld(info->code))
        return {name, Icon::Red};
    char version[160];
    std::snprintf(version, sizeof version, texts::kWindowsVersionFormat, info->major, info->minor, info->build,
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
        return {texts::kNoIeVersion, Icon::Yellow};
    return {texts::kIeVersionPrefix + version, IeMajorVersion(version) >= 6 ? Icon::Green : Icon::Red};
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
        return {texts::kControlMissing, Icon::Red};
    case ControlProbe::Answered:
        return {texts::kControlVersionPrefix + DottedVersion(version),
                version == kExpectedControlVersion ? Icon::Green : Icon::Yellow};
    case ControlProbe::NoAnswer:
        break;
    }
    return {texts::kControlVersionUnknown, Icon::Yellow};
}

bool IsInternetExplorer(const std::string& description)
{
    return description.find("Internet Explorer") != std::string::npos;
}

Line BrowserLine(const std::string& description)
{
    return {texts::kBrowserPrefix + description, IsInternetExplorer(description) ? Icon::Green : Icon::Yellow};
}

std::string BuildSystemInfoText(const std::string& windowsLine, const std::string& ieLine,
                                const std::string& controlLine, const std::vector<std::string>& cspLines,
                                const std::vector<std::string>& certLines)
{
    std::string text = "\r\n* " + windowsLine + "\r\n";
    text += "* " + ieLine + "\r\n";
    text += "* " + controlLine + "\r\n";
    text += "* ";
    text += texts::kCspHeader;
    AppendList(text, cspLines);
    text += "* ";
    text += texts::kCertHeader;
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
    // Each operation as its button names it.
    static const struct {
        LogOperation operation;
        const char* word;
    } kWords[] = {
        {LogOperation::Clear, texts::kLogFailedClear},
        {LogOperation::Import, texts::kLogFailedImport},
        {LogOperation::Export, texts::kLogFailedExport},
        {LogOperation::Refresh, texts::kLogFailedRefresh},
    };
    for (const auto& w : kWords)
        if (w.operation == operation)
            return std::string(texts::kLogFailed) + texts::kFullWidthColon + w.word;
    return texts::kLogFailed;
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
