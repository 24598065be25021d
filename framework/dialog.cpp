#include "dialog.h"

#include "module.h"

namespace fw {

// ---------------------------------------------------------------------------
// CDataExchange

HWND CDataExchange::Control(int id)
{
    if (Failed())
        return nullptr;
    HWND control = GetDlgItem(m_dialog, id);
    if (!control)
        Fail(id);
    return control;
}

void CDataExchange::Fail(int id)
{
    if (!Failed())
        m_failedId = id ? id : -1;
}

bool CDataExchange::Text(int id, std::string& value)
{
    CWindow control(Control(id));
    if (!control)
        return false;
    if (m_save)
        value = control.Text();
    else
        control.SetText(value);
    return true;
}

bool CDataExchange::Check(int id, int& value)
{
    CWindow control(Control(id));
    if (!control)
        return false;
    if (m_save)
        value = static_cast<int>(control.Send(BM_GETCHECK));
    else
        control.Send(BM_SETCHECK, static_cast<WPARAM>(value));
    return true;
}

bool CDataExchange::Check(int id, bool& value)
{
    int state = value ? BST_CHECKED : BST_UNCHECKED;
    if (!Check(id, state))
        return false;
    value = state == BST_CHECKED;
    return true;
}

bool CDataExchange::ComboIndex(int id, int& index)
{
    CWindow control(Control(id));
    if (!control)
        return false;
    if (m_save)
        index = static_cast<int>(control.Send(CB_GETCURSEL));
    else
        control.Send(CB_SETCURSEL, static_cast<WPARAM>(index));
    return true;
}

// ---------------------------------------------------------------------------
// CDialog

CDialog::CDialog(UINT templateId, HINSTANCE instance) : m_templateId(templateId), m_instance(instance)
{
    if (!m_instance)
        m_instance = CModule::Instance();
    if (!m_instance)
        m_instance = GetModuleHandleW(nullptr);
}

CDialog::~CDialog()
{
    if (m_hWnd) {
        HWND hwnd = m_hWnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        m_hWnd = nullptr;
        DestroyWindow(hwnd);
    }
}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialog::OnOK()
{
    if (UpdateData(true))
        EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::PreTranslateMessage(MSG&) { return false; }

void CDialog::DoDataExchange(CDataExchange&) {}

bool CDialog::UpdateData(bool saveAndValidate)
{
    CDataExchange dx(m_hWnd, saveAndValidate);
    DoDataExchange(dx);
    if (!dx.Failed())
        return true;
    HWND control = GetDlgItem(m_hWnd, dx.FailedId());
    if (saveAndValidate && control)
        Send(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    return false;
}

void CDialog::EndDialog(INT_PTR code)
{
    m_result = code;
    m_ended = true;
    // Wakes the loop should no message follow.
    if (m_hWnd)
        Post(WM_NULL);
}

INT_PTR CDialog::DoModal(HWND parent)
{
    if (m_running || m_hWnd)
        return -1;  // one window per object
    HRSRC resource = FindResourceW(m_instance, MAKEINTRESOURCEW(m_templateId), reinterpret_cast<LPCWSTR>(RT_DIALOG));
    HGLOBAL loaded = resource ? LoadResource(m_instance, resource) : nullptr;
    auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(loaded ? LockResource(loaded) : nullptr);
    if (!dialogTemplate)
        return -1;

    HWND owner = parent ? GetAncestor(parent, GA_ROOT) : nullptr;
    m_ended = false;
    m_result = IDCANCEL;
    // WM_INITDIALOG sets m_hWnd; a dialog that fails on the way has gone
    // through WM_NCDESTROY, which clears it again.
    CreateDialogIndirectParamW(m_instance, dialogTemplate, owner, &CDialog::DialogProc,
                               reinterpret_cast<LPARAM>(this));
    if (!m_hWnd)
        return -1;

    // Takes the dialog down however the loop ends.
    struct Running {
        CDialog& self;
        HWND owner;
        bool reenable;
        ~Running()
        {
            if (reenable)
                EnableWindow(owner, TRUE);  // first: the owner gets the activation back
            if (self.m_hWnd)
                DestroyWindow(self.m_hWnd);
            self.m_running = false;
        }
    } running{*this, owner, owner && IsWindowEnabled(owner)};
    m_running = true;
    if (running.reenable)
        EnableWindow(owner, FALSE);
    if (!m_ended && !IsWindowVisible(m_hWnd))
        ShowWindow(m_hWnd, SW_SHOWNORMAL);
    RunModalLoop();
    return m_result;
}

void CDialog::RunModalLoop()
{
    MSG msg;
    while (!m_ended && m_hWnd) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got < 0)
            return;
        if (PreTranslateMessage(msg))
            continue;
        if (m_hWnd && IsDialogMessageW(m_hWnd, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

INT_PTR CDialog::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (ProcessWindowMessage(msg, wParam, lParam, result)) {
        switch (msg) {
        case WM_INITDIALOG:
        case WM_CHARTOITEM:
        case WM_VKEYTOITEM:
        case WM_COMPAREITEM:
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
            return static_cast<INT_PTR>(result);
        default:
            SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
            return TRUE;
        }
    }
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            break;
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialog*>(lParam);
        if (self) {
            SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
            self->m_hWnd = hwnd;
        }
    }
    auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self || self->m_hWnd != hwnd)
        return FALSE;
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        return FALSE;
    }
    try {
        return self->HandleMessage(msg, wParam, lParam);
    } catch (...) {
        // Nothing may unwind into the system; the message gets the default.
        return FALSE;
    }
}

}  // namespace fw
