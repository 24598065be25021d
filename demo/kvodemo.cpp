// The demo's hands on the desktop: what a user would do with the mouse while
// the demo's page script runs, for a demo that runs without anyone watching.
//
//   kvodemo wait MS           wait until KvoCheck's main dialog shows
//   kvodemo confirm MS        wait for the certificate selection dialog and
//                             press OK on the certificate it selected
//   kvodemo refresh           press KvoCheck's refresh button, print the
//                             control's state, the CSPs, certificates and log rows
//   kvodemo shot FILE.png     save what the screen shows of KvoCheck
//   kvodemo close             close KvoCheck and wait until it is gone
//
// Exit code 0 when the step was done, 1 when the window never showed.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "kvodriver.h"
#include "resource.h"
#include "textconv.h"

namespace {

// Vantor控件客户端检测工具 1.0.1.0
const char kMainCaption[] =
    "Vantor\xBF\xD8\xBC\xFE\xBF\xCD\xBB\xA7\xB6\xCB\xBC\xEC\xB2\xE2\xB9\xA4\xBE\xDF 1.0.1.0";
const char kSelectCaption[] = "Vantor 1.0.1.0";
const int kSelectList = 1001;

// The tool's texts (code page 936) as UTF-8, for the Linux terminal that
// shows the demo's output.
std::string Utf8(const std::string& ansi)
{
    const std::wstring wide = qel::AnsiToWide(ansi.c_str(), ansi.size());
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

HWND Main(DWORD ms)
{
    HWND main = kvotest::WaitForDialog(kMainCaption, 0, ms);
    if (!main)
        std::fprintf(stderr, "kvodemo: KvoCheck's window did not show\n");
    return main;
}

int Confirm(DWORD ms)
{
    HWND dialog = kvotest::WaitForDialog(kSelectCaption, 0, ms);
    if (!dialog) {
        std::fprintf(stderr, "kvodemo: the certificate selection dialog did not show\n");
        return 1;
    }
    HWND list = GetDlgItem(dialog, kSelectList);
    const LRESULT selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    const auto lines = kvotest::ListBoxLines(list);
    if (selected >= 0 && static_cast<size_t>(selected) < lines.size())
        std::printf("kvodemo: chose \"%s\" of %u certificates\n", Utf8(lines[static_cast<size_t>(selected)]).c_str(),
                    static_cast<unsigned>(lines.size()));
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return kvotest::WaitGone(dialog, 5000) ? 0 : 1;
}

int Refresh()
{
    HWND main = Main(5000);
    if (!main)
        return 1;
    HWND button = GetDlgItem(main, IDC_KVO_REFRESH);
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(IDC_KVO_REFRESH, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    std::printf("kvodemo: the control: %s\n", Utf8(kvotest::ItemText(main, IDC_KVO_CONTROL)).c_str());
    for (const auto& list : {std::make_pair("CSP", IDC_KVO_CSP_LIST), std::make_pair("certificate", IDC_KVO_CERT_LIST)})
        for (const std::string& line : kvotest::ListBoxLines(GetDlgItem(main, list.second)))
            std::printf("kvodemo: %s: %s\n", list.first, Utf8(line).c_str());
    const kvotest::CListView log(GetDlgItem(main, IDC_KVO_LOG_LIST));
    const int rows = log.Count();
    std::printf("kvodemo: KvoCheck shows %d log records\n", rows);
    for (int i = 0; i < rows; ++i)
        std::printf("  %s  %s\n", Utf8(log.ItemText(i, 0)).c_str(), Utf8(log.ItemText(i, 1)).c_str());
    return 0;
}

int Shot(const char* path)
{
    HWND main = Main(5000);
    if (!main)
        return 1;
    kvotest::Foreground(main);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    Sleep(300);
    return kvotest::SavePng(main, path) ? 0 : 1;
}

int Close()
{
    HWND main = Main(2000);
    if (!main)
        return 0;
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return kvotest::WaitGone(main, 10000) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 lines ending in LF, for the Linux terminal
    const std::string command = argc >= 2 ? argv[1] : "";
    const DWORD ms = argc >= 3 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 20000;
    if (command == "wait")
        return Main(ms) ? 0 : 1;
    if (command == "confirm")
        return Confirm(ms);
    if (command == "refresh")
        return Refresh();
    if (command == "shot" && argc == 3)
        return Shot(argv[2]);
    if (command == "close")
        return Close();
    std::fprintf(stderr, "usage: kvodemo wait|confirm [MS] | refresh | shot FILE.png | close\n");
    return 2;
}
