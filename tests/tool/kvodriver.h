// Driving KvoCheck's windows from a test: reading texts, list boxes and the
// log list view (also of another process), finding the dialogs a process
// shows, real keyboard input, and screenshots saved as PNG files.
#ifndef QEL_TESTS_TOOL_KVODRIVER_H
#define QEL_TESTS_TOOL_KVODRIVER_H

#include "nocopy.h"
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace kvotest {

// The directory of the test program, with its trailing backslash.
std::string TestDir();

std::string Text(HWND window);
std::string ItemText(HWND dialog, int id);
std::vector<std::string> ListBoxLines(HWND list);

// A visible top-level dialog (#32770) of thread `thread` (0: any) with this
// caption, waited for up to `ms`; null when none shows.
HWND WaitForDialog(const std::string& caption, DWORD thread, DWORD ms);
// The first visible top-level dialog of `thread` other than `except`.
HWND WaitForOtherDialog(DWORD thread, HWND except, DWORD ms);
// Waits until `window` is gone; false after `ms`.
bool WaitGone(HWND window, DWORD ms);

// A report-view list view, possibly of another process: the item texts go
// through a buffer in the list's process.
class CListView : private CNoCopy {
public:
    explicit CListView(HWND list);
    ~CListView();

    int Count() const;
    std::string ItemText(int item, int column) const;
    std::string ColumnTitle(int column) const;
    int ColumnWidth(int column) const;
    DWORD ExtendedStyle() const;
    bool Select(int item) const;
    // A double click on the first column of `item`, as the mouse makes it;
    // returns once the list has handled it.
    void DoubleClick(int item) const;

private:
    void* Remote(size_t size) const;

    HWND m_list;
    HANDLE m_process = nullptr;
    void* m_buffer = nullptr;
    bool m_b32BitTarget = false;  // the list of an x86 process, read from x64
    static const size_t kBufferSize = 4096;
};

// Presses `keys` in order and releases them in reverse, as real input.
void Press(std::initializer_list<BYTE> keys);
// Types ASCII digits and letters.
void Type(const std::string& text);
// Brings `window` of another process to the foreground for real input.
bool Foreground(HWND window);
// Presses `keys` into `window` until a dialog of `thread` with `caption`
// shows (input can go astray while another program's window comes to the
// front); null when none shows after three tries.
HWND PressForDialog(HWND window, std::initializer_list<BYTE> keys, const std::string& caption, DWORD thread);
// Presses `keys` into `window` until it is gone; false after three tries.
bool PressUntilGone(HWND window, std::initializer_list<BYTE> keys);

// Saves what the screen shows of `window` as a PNG file.
bool SavePng(HWND window, const std::string& path);

}  // namespace kvotest

#endif
