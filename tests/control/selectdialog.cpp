#include "selectdialog.h"

#include "textconv.h"

namespace ocx {

const wchar_t kSelectDialogCaption[] = L"Vantor 1.0.1.0";

HWND FindSelectDialog()
{
    return FindWindowW(L"#32770", kSelectDialogCaption);
}

std::vector<std::string> CSelectDialog::Items() const
{
    std::vector<std::string> items;
    const int n = static_cast<int>(SendMessageW(Item(kSelectList), LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t text[256] = L"";
        SendMessageW(Item(kSelectList), LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(qel::WideToAnsi(text));
    }
    return items;
}

int CSelectDialog::Selection() const
{
    return static_cast<int>(SendMessageW(Item(kSelectList), LB_GETCURSEL, 0, 0));
}

void CSelectDialog::Select(int index) const
{
    SendMessageW(Item(kSelectList), LB_SETCURSEL, index, 0);
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kSelectList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(Item(kSelectList)));
}

void CSelectDialog::DoubleClick() const
{
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(kSelectList, LBN_DBLCLK), reinterpret_cast<LPARAM>(Item(kSelectList)));
}

void CSelectDialog::Click(int id) const { PostMessageW(Item(id), BM_CLICK, 0, 0); }

void CSelectDialog::Key(WPARAM key) const
{
    PostMessageW(Item(kSelectList), WM_KEYDOWN, key, 1);
    PostMessageW(Item(kSelectList), WM_KEYUP, key, 0xC0000001);
}

void CSelectDialog::CloseBox() const { PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }

bool WithSelectDialog(const std::function<void()>& call, const std::function<void(const CSelectDialog&)>& user)
{
    bool closed = false;
    logtest::Thread robot([&] {
        CSelectDialog d{nullptr};
        // The frame has its caption before its controls exist; the dialog
        // shows itself once they do.
        for (int i = 0; i < 200 && !d.hwnd; ++i, Sleep(50)) {
            d.hwnd = FindSelectDialog();
            if (d.hwnd && !IsWindowVisible(d.hwnd))
                d.hwnd = nullptr;
        }
        if (!d.hwnd)
            return;
        user(d);
        for (int i = 0; i < 100 && IsWindow(d.hwnd); ++i)
            Sleep(50);
        closed = !IsWindow(d.hwnd);
        if (!closed)
            d.CloseBox();
    });
    call();
    robot.join();
    return closed;
}

CDialogCanceller::CDialogCanceller()
    : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_thread([this] { Watch(); })
{
}

CDialogCanceller::~CDialogCanceller()
{
    SetEvent(m_stop);
    m_thread.join();
    CloseHandle(m_stop);
}

void CDialogCanceller::Watch()
{
    HWND last = nullptr;
    // A few milliseconds between looks: a dialog is cancelled about as soon
    // as it shows, and the watch costs little while none does.
    while (WaitForSingleObject(m_stop, 2) == WAIT_TIMEOUT) {
        const HWND hwnd = FindSelectDialog();
        if (!hwnd)
            continue;
        if (hwnd != last)
            InterlockedIncrement(&m_cancelled);
        last = hwnd;
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        // The dialog takes the message at its next turn of the loop.
        WaitForSingleObject(m_stop, 5);
    }
}

}  // namespace ocx
