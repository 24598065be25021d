#include "window.h"

#include <cstring>

namespace fw {

// Through the UTF-16 messages: their lengths are exact, where an ANSI
// length asked of a Unicode window need not be.
std::string CWindow::Text() const
{
    int length = GetWindowTextLengthW(m_hWnd);
    if (length <= 0)
        return std::string();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(m_hWnd, &text[0], length + 1)));
    return WideToAnsi(text);
}

bool CWindow::SetText(const std::string& text) const
{
    return SetWindowTextW(m_hWnd, AnsiToWide(text).c_str()) != FALSE;
}

// ---------------------------------------------------------------------------
// Message tables

bool MsgEntry::Matches(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    switch (kind) {
    case MsgKind::Message:
        return msg == code;
    case MsgKind::Command:
        return msg == WM_COMMAND && LOWORD(wParam) == id && HIWORD(wParam) == code;
    case MsgKind::Notify: {
        if (msg != WM_NOTIFY || !lParam)
            return false;
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        return header->idFrom == id && header->code == code;
    }
    }
    return false;
}

const MsgEntry* MsgTable::Find(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    for (size_t i = 0; i < count; ++i)
        if (entries[i].Matches(msg, wParam, lParam))
            return &entries[i];
    return nullptr;
}

const MsgTable& CMessageMap::GetMessageTable() const
{
    static const MsgTable none = {nullptr, 0};
    return none;
}

bool CMessageMap::ProcessWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const MsgEntry* row = GetMessageTable().Find(msg, wParam, lParam);
    if (!row)
        return false;
    bool handled = true;
    LRESULT r = row->handler(*this, msg, wParam, lParam, handled);
    if (handled)
        result = r;
    return handled;
}

// ---------------------------------------------------------------------------
// Window classes and CWindowImpl

bool RegisterWindowClass(HINSTANCE instance, const WindowClass& wc)
{
    WNDCLASSEXW info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (GetClassInfoExW(instance, wc.name, &info)) {
        if (info.lpfnWndProc == &CWindowImpl::WindowProc)
            return true;
        // The procedure of an earlier load of the module, now gone.
        UnregisterClassW(wc.name, instance);
    }
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.style = wc.style;
    info.lpfnWndProc = &CWindowImpl::WindowProc;
    info.hInstance = instance;
    info.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    info.hbrBackground = wc.background;
    info.lpszClassName = wc.name;
    return RegisterClassExW(&info) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

CWindowImpl::~CWindowImpl()
{
    if (m_hWnd)
        DestroyWindow(Detach());
}

HWND CWindowImpl::Create(HINSTANCE instance, const WindowClass& wc, HWND parent, const RECT& rect, DWORD style,
                         DWORD exStyle, const wchar_t* title, UINT_PTR id)
{
    if (m_hWnd) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);  // one window per object
        return nullptr;
    }
    if (!RegisterWindowClass(instance, wc))
        return nullptr;
    SetLastError(0);
    // WM_NCCREATE sets m_hWnd; a window that fails later in creation has
    // gone through WM_NCDESTROY, which clears it again.
    CreateWindowExW(exStyle, wc.name, title, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(id), instance, this);
    return m_hWnd;
}

HWND CWindowImpl::Detach()
{
    HWND hwnd = m_hWnd;
    if (hwnd)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    m_hWnd = nullptr;
    return hwnd;
}

LRESULT CALLBACK CWindowImpl::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<CWindowImpl*>(create->lpCreateParams);
        if (self) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->m_hWnd = hwnd;
        }
    }
    auto* self = reinterpret_cast<CWindowImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->m_hWnd != hwnd)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
        self->Detach();
        LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
        try {
            self->OnFinalMessage(hwnd);
        } catch (...) {
            // Nothing may unwind into the system.
        }
        return result;
    }
    try {
        LRESULT result = 0;
        if (self->ProcessWindowMessage(msg, wParam, lParam, result))
            return result;
    } catch (...) {
        // Nothing may unwind into the system; the message gets the default.
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace fw
