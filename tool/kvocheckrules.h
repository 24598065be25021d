// KvoCheck's decisions, apart from its dialogs: what each line of the main
// dialog says and which state icon it gets, the system information text, how
// a log record shows, where an export goes, the password of the record
// detail view and the start-up decision. Portable code: no platform call, no
// state, so the tables of tests/tool run natively and under Wine.
//
// Text is 8-bit, code page 936. The Chinese texts come from
// resources/texts.txt (texts936.h, generated at build time).
#ifndef QEL_TOOL_KVOCHECKRULES_H
#define QEL_TOOL_KVOCHECKRULES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "texts936.h"

namespace kvo {

// Caption of the tool's message boxes.
extern const char kAppName[];  // "KvoCheck"
// Subject of the record that opens every log the tool starts.
using texts::kSystemInfoSubject;  // 系统信息
// The configuration file, in the current directory, and its one setting.
extern const char kConfigFile[];     // "config.ini"
using texts::kConfigSection;  // 控件类型
using texts::kConfigKey;      // 控件需求类型
// Column titles of the log list.
using texts::kTimeColumn;     // 时间
using texts::kSubjectColumn;  // 主题
// Message boxes of import and export.
using texts::kImportDone;    // 成功导入日志！
using texts::kImportFailed;  // 导入日志失败！
using texts::kExportFailed;  // 导出日志失败！

// The log operations of the dialog's buttons, and the message box that says
// one of them met a failure of the log store: "日志操作失败：" and the
// button's word (清除, 导入, 导出, 刷新); without a word for any other value.
enum class LogOperation { Clear, Import, Export, Refresh };
std::string LogFailureText(LogOperation operation);

// The version GetVersion answers for the control this tool goes with.
const long kExpectedControlVersion = 1010;

// The state icon in front of a line or a section.
enum class Icon { Red, Yellow, Green };

// A line of the main dialog's upper part and its icon.
struct Line {
    std::string text;
    Icon icon;
};

// What GetVersionExA told, as the probe keeps it.
struct WindowsVersionInfo {
    int code = 0;         // family code of the table in kvocheckrules.cpp; 0: not in it
    int major = 0;
    int minor = 0;
    int build = 0;        // dwBuildNumber, taken whole
    int servicePack = 0;  // wServicePackMajor; 0 from the short structure
    char name[256] = {};  // family name; empty when not in the table
};

// Family code and name for a platform id and version: 100 Win32s, 101 to
// 103 Windows 95/98/ME, 104 NT 4 and older, 105 to 107 Windows
// 2000/XP/2003; 0 and an empty name for everything else (NT 6 and later).
struct WindowsFamily {
    int code;
    const char* name;
};
WindowsFamily LookupWindowsFamily(uint32_t platformId, uint32_t major, uint32_t minor);

// Windows 95, 98 and ME: the tool shows nothing but the version and turns
// its log operations off.
bool IsOsTooOld(int code);

// The Windows line: null `info` when the version could not be read.
Line WindowsLine(const WindowsVersionInfo* info);

// What the three other lines say on Windows 95, 98 and ME.
using texts::kOsTooOldText;

// The Internet Explorer line: `keyOpened` false when its registry key is
// missing; `version` the "Version" value, empty when it could not be read.
Line IeLine(bool keyOpened, const std::string& version);
// The major version of a version text: the number its leading digits make,
// 0 when it starts with none.
int IeMajorVersion(const std::string& version);

// The control line.
enum class ControlProbe {
    NotInstalled,   // the control could not be created
    Answered,       // GetVersion answered `version`
    NoAnswer,       // created, but GetVersion failed
};
Line ControlLine(ControlProbe probe, long version);
// The version number with dots put in: "%d" of it, then a dot inserted at
// index 3, 2 and 1 (appended where the text is shorter): 1010 is "1.0.1.0".
std::string DottedVersion(long version);

// The default browser line, from the file description of the program that
// opens .htm files (empty when none was found).
Line BrowserLine(const std::string& description);
bool IsInternetExplorer(const std::string& description);

// The "系统信息" record: the Windows, Internet Explorer and control lines
// as shown, then the CSP names and the certificate lines as the two list
// boxes show them (in their order, numbered from 1), or "无" for an empty list.
std::string BuildSystemInfoText(const std::string& windowsLine, const std::string& ieLine,
                                const std::string& controlLine, const std::vector<std::string>& cspLines,
                                const std::vector<std::string>& certLines);

// Column 1 of a log line: the subject field of a record header (64 bytes,
// not terminated when full) without a leading "*", which marks records that
// carry a signature.
std::string DisplaySubject(const char* subject, size_t fieldSize);

// The file an export writes: the chosen path, with ".log" appended unless it
// already ends in exactly ".log" (case-sensitive).
std::string ExportPath(const std::string& chosen);

// The password that unlocks the record detail view: byte for byte.
bool IsUnlockPassword(const std::string& text);

// The record a double click on the log list opens, or -1 for none: the
// tool must not be on too old a system and must be unlocked, a line must
// be selected, and the line must have both its header and its content in
// the loaded log.
int RecordToOpen(bool osTooOld, bool unlocked, int selected, size_t headerCount, size_t contentCount);

// Start-up: the tool runs only with a mutex of its own. `mutexValue` is what
// CreateToolMutex returned (0 failed, 1 the mutex existed, else a handle);
// `createdExisting` that the creating call found the mutex already there
// (another copy was starting at the same moment).
bool MayRun(uintptr_t mutexValue, bool createdExisting);

}  // namespace kvo

#endif
