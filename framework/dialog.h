// CDialog: a modal dialog built from a dialog template in the resources, plain
// (DLGTEMPLATE) or extended (DLGTEMPLATEEX), with data exchange between its
// controls and the members of the derived class.
//
// DoModal runs a message loop of its own: the dialog is created modeless,
// its owner (the top-level window of `parent`, if any) is disabled, and each
// message goes first to PreTranslateMessage, then to IsDialogMessage, then
// is dispatched. The loop ends when EndDialog was called or the window is
// gone; the owner is enabled again before the dialog window is destroyed.
// Enter clicks the default button, whose IDOK reaches OnOK; Esc and the close
// box give IDCANCEL, which reaches OnCancel.
//
// Messages reach the dialog's message table (window.h) from WM_INITDIALOG on;
// a row that handles a message sets its result (DWLP_MSGRESULT, or the
// return value for the messages that return one directly, e.g. WM_CTLCOLOR*).
// Unhandled WM_INITDIALOG, IDOK and IDCANCEL go to the virtual hooks. No
// C++ exception leaves the dialog procedure; one from PreTranslateMessage
// leaves DoModal after the dialog is taken down.
//
// The object owns its window while DoModal runs and must outlive that call.
#ifndef QEL_FRAMEWORK_DIALOG_H
#define QEL_FRAMEWORK_DIALOG_H

#include <windows.h>

#include <string>

#include "window.h"

namespace fw {

// One exchange between the controls of a dialog and its data, handed to
// DoDataExchange. Loading (saveAndValidate false) sets the controls from the
// values; saving sets the values from the controls. The first failure
// sticks: later exchanges do nothing and return false. A control id that
// the dialog lacks fails.
class CDataExchange {
public:
    CDataExchange(HWND dialog, bool saveAndValidate) : m_dialog(dialog), m_save(saveAndValidate) {}
    CDataExchange(const CDataExchange&) = delete;
    CDataExchange& operator=(const CDataExchange&) = delete;

    bool IsSaving() const { return m_save; }

    // Window text of an edit or static, 8-bit.
    bool Text(int id, std::string& value);
    // Check state of a check box or radio button: bool (checked or not) or
    // int (BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE).
    bool Check(int id, bool& value);
    bool Check(int id, int& value);
    // Selection index of a combo box; -1 (CB_ERR) is no selection.
    bool ComboIndex(int id, int& index);

    // Validation from DoDataExchange: fails the exchange at control id.
    void Fail(int id);
    bool Failed() const { return m_failedId != 0; }
    int FailedId() const { return m_failedId; }

private:
    HWND Control(int id);

    HWND m_dialog;
    bool m_save;
    int m_failedId = 0;
};

class CDialog : public CWindow, public CMessageMap {
public:
    // The template `templateId` (RT_DIALOG) in `instance`; null: the
    // module's instance (CModule), or the executable's when there is none.
    explicit CDialog(UINT templateId, HINSTANCE instance = nullptr);
    ~CDialog() override;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Shows the dialog and returns the code given to EndDialog: IDCANCEL
    // when the window went without one or WM_QUIT arrived (posted again for
    // the outer loop), -1 when there is no template or no window.
    INT_PTR DoModal(HWND parent = nullptr);
    // Ends the modal loop with `code` once the current message is handled.
    void EndDialog(INT_PTR code);
    // Runs DoDataExchange; false when it failed, with the focus moved to
    // the failing control when saving.
    bool UpdateData(bool saveAndValidate = true);

protected:
    // Base: loads the controls (UpdateData(false)) and returns true: the
    // first tab stop gets the focus.
    virtual bool OnInitDialog();
    // Base: saves the controls and, when that holds, ends with IDOK.
    virtual void OnOK();
    // Base: ends with IDCANCEL.
    virtual void OnCancel();
    // Sees every message of the modal loop first; true consumes it.
    // Base: false.
    virtual bool PreTranslateMessage(MSG& msg);
    // Base: nothing.
    virtual void DoDataExchange(CDataExchange& dx);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void RunModalLoop();

    UINT m_templateId;
    HINSTANCE m_instance;
    bool m_running = false;
    bool m_ended = false;
    INT_PTR m_result = IDCANCEL;
};

}  // namespace fw

#endif
