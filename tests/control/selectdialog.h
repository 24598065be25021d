// SignMessage's certificate selection dialog as a test sees and drives it:
// from a second thread, with window messages, while the control runs the
// dialog's modal loop on the thread that called it.
#ifndef QEL_TESTS_CONTROL_SELECTDIALOG_H
#define QEL_TESTS_CONTROL_SELECTDIALOG_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "nocopy.h"
#include "logtest.h"

namespace ocx {

extern const wchar_t kSelectDialogCaption[];
const int kSelectList = 1001, kSelectView = 1002;

// The selection dialog shown on this desktop, or null.
HWND FindSelectDialog();

// What a user sees and does in the dialog.
struct CSelectDialog {
    HWND hwnd;

    HWND Item(int id) const { return GetDlgItem(hwnd, id); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    std::vector<std::string> Items() const;  // the list's texts, ANSI code page
    int Selection() const;
    void Select(int index) const;  // as a click on the item would, LBN_SELCHANGE included
    void DoubleClick() const;
    void Click(int id) const;
    void Key(WPARAM key) const;  // pressed and released on the list
    void CloseBox() const;
    bool Open() const { return IsWindow(hwnd) && IsWindowVisible(hwnd); }
};

// Runs `call` (which shows the dialog) on this thread while `user` acts on
// the dialog from a second one. True when a dialog showed within 10 s and
// closed within 5 s of `user` returning; a dialog left open is closed by
// its close box so that `call` returns.
bool WithSelectDialog(const std::function<void()>& call, const std::function<void(const CSelectDialog&)>& user);

// Cancels every selection dialog that shows while the object lives, as a
// user pressing Cancel at once would.
class CDialogCanceller : private CNoCopy {
public:
    CDialogCanceller();
    ~CDialogCanceller();

    // Dialogs seen so far.
    long Cancelled() const { return m_cancelled; }

private:
    void Watch();

    HANDLE m_stop;
    volatile long m_cancelled = 0;
    logtest::Thread m_thread;
};

}  // namespace ocx

#endif
