// Windows of the framework: CWindow wraps an HWND it does not own;
// CMessageMap routes messages through a static table of rows, one table per
// class; CWindowImpl is a window of a class we register, whose messages go
// through its table.
//
// A message table is a static array of MsgEntry rows plus a MsgTable that
// points at it, in the manner of DispTable. Rows are built by OnMessage,
// OnCommand and OnNotify from a member function of the class:
//
//   const fw::MsgTable& CMyWindow::GetMessageTable() const
//   {
//       static const fw::MsgEntry rows[] = {
//           fw::OnMessage<&CMyWindow::OnPaint>(WM_PAINT),
//           fw::OnCommand<&CMyWindow::OnRefresh>(IDC_REFRESH, BN_CLICKED),
//           fw::OnNotify<&CMyWindow::OnListDblClk>(IDC_LIST, NM_DBLCLK),
//       };
//       static const fw::MsgTable table = fw::MakeMsgTable(rows);
//       return table;
//   }
//
// Handler shapes:
//   message       LRESULT F(UINT msg, WPARAM, LPARAM, bool& handled)
//                 handled starts true; a handler that clears it gets the
//                 default handling as if no row had matched.
//   command       void F()  (WM_COMMAND with that control id and code)
//   notification  LRESULT F(N& header)  (WM_NOTIFY with that id and code;
//                 N is NMHDR or the structure that starts with it and that
//                 the notification carries, e.g. NMITEMACTIVATE)
// The first matching row handles the message.
//
// CWindowImpl owns the link from its window to the object: Create passes the
// object in the creation data, WM_NCCREATE stores it (GWLP_USERDATA), and
// WM_NCDESTROY clears it, so the object outlives its window or detaches from
// it first (Detach, or the destructor). No C++ exception leaves the window
// procedure: a throwing handler gets the default handling instead.
//
// The window classes are Unicode; text crosses the wrappers as 8-bit text in
// the ANSI code page (CP_ACP). Members avoid the names windows.h turns into
// macros (SendMessage, GetWindowText...): Send, Post, Text, SetText.
#ifndef QEL_FRAMEWORK_WINDOW_H
#define QEL_FRAMEWORK_WINDOW_H

#include <windows.h>

#include <cstddef>
#include <string>

#include "textconv.h"

namespace fw {

// Conversions between 8-bit text in the ANSI code page and UTF-16.
using qel::AnsiToWide;
using qel::WideToAnsi;

// An HWND, not owned: copying it copies the handle, destroying it leaves
// the window alone.
class CWindow {
public:
    CWindow(HWND hwnd = nullptr) : m_hWnd(hwnd) {}

    HWND Handle() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }

    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    bool Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return PostMessageW(m_hWnd, msg, wParam, lParam) != FALSE;
    }

    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    HWND Parent() const { return GetParent(m_hWnd); }
    void Enable(bool enable) const { EnableWindow(m_hWnd, enable); }
    bool IsEnabled() const { return IsWindowEnabled(m_hWnd) != FALSE; }
    void Show(bool show) const { ShowWindow(m_hWnd, show ? SW_SHOW : SW_HIDE); }
    bool IsVisible() const { return IsWindowVisible(m_hWnd) != FALSE; }
    void Focus() const { SetFocus(m_hWnd); }
    void Invalidate(const RECT* rect = nullptr, bool erase = false) const { InvalidateRect(m_hWnd, rect, erase); }

    // The window text, 8-bit.
    std::string Text() const;
    bool SetText(const std::string& text) const;

    HWND m_hWnd;
};

class CMessageMap;

using MsgHandler = LRESULT (*)(CMessageMap& self, UINT msg, WPARAM wParam, LPARAM lParam, bool& handled);

enum class MsgKind : unsigned char {
    Message,  // any message: `code` is the message
    Command,  // WM_COMMAND from control `id` with notification `code`
    Notify,   // WM_NOTIFY from control `id` with notification `code`
};

struct MsgEntry {
    MsgKind kind;
    UINT code;
    UINT id;
    MsgHandler handler;

    bool Matches(UINT msg, WPARAM wParam, LPARAM lParam) const;
};

struct MsgTable {
    const MsgEntry* entries;
    size_t count;

    const MsgEntry* Find(UINT msg, WPARAM wParam, LPARAM lParam) const;
};

template <size_t N>
constexpr MsgTable MakeMsgTable(const MsgEntry (&rows)[N])
{
    return MsgTable{rows, N};
}

// Routes messages through the table of the most derived class.
class CMessageMap {
public:
    virtual ~CMessageMap() = default;

    // Runs the row that matches; false when none does or it left the
    // message unhandled. Exceptions pass through to the caller.
    bool ProcessWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

protected:
    // Base: no rows.
    virtual const MsgTable& GetMessageTable() const;
};

namespace detail {

template <class F>
struct Member;
template <class C, class R, class... A>
struct Member<R (C::*)(A...)> {
    using Class = C;
};

template <class F>
struct NotifyArg;
template <class C, class N>
struct NotifyArg<LRESULT (C::*)(N&)> {
    using Type = N;
};

template <auto F>
using ClassOf = typename Member<decltype(F)>::Class;

}  // namespace detail

template <auto F>
constexpr MsgEntry OnMessage(UINT msg)
{
    return {MsgKind::Message, msg, 0, [](CMessageMap& self, UINT m, WPARAM w, LPARAM l, bool& handled) -> LRESULT {
                return (static_cast<detail::ClassOf<F>&>(self).*F)(m, w, l, handled);
            }};
}

template <auto F>
constexpr MsgEntry OnCommand(UINT id, UINT code)
{
    return {MsgKind::Command, code, id, [](CMessageMap& self, UINT, WPARAM, LPARAM, bool&) -> LRESULT {
                (static_cast<detail::ClassOf<F>&>(self).*F)();
                return 0;
            }};
}

template <auto F>
constexpr MsgEntry OnNotify(UINT id, UINT code)
{
    return {MsgKind::Notify, code, id, [](CMessageMap& self, UINT, WPARAM, LPARAM l, bool&) -> LRESULT {
                using N = typename detail::NotifyArg<decltype(F)>::Type;
                return (static_cast<detail::ClassOf<F>&>(self).*F)(*reinterpret_cast<N*>(l));
            }};
}

// A window class of CWindowImpl windows (arrow cursor, no icon).
struct WindowClass {
    const wchar_t* name;
    UINT style;         // CS_*
    HBRUSH background;  // e.g. (HBRUSH)(COLOR_WINDOW + 1); null: none
};

// Registers the class with CWindowImpl's procedure in `instance`, once: a
// class of that name with this procedure is left as it is, one with another
// procedure (left by an earlier load of the module at another address) is
// unregistered and registered afresh. False, with the last error, on failure.
bool RegisterWindowClass(HINSTANCE instance, const WindowClass& wc);

// A window of a class registered with RegisterWindowClass, owned by this
// object: its messages go through the table. The window goes when the
// object does (without reaching the object's handlers).
class CWindowImpl : public CWindow, public CMessageMap {
public:
    CWindowImpl() = default;
    ~CWindowImpl() override;
    CWindowImpl(const CWindowImpl&) = delete;
    CWindowImpl& operator=(const CWindowImpl&) = delete;

    // Registers the class if needed and creates the window; `id` is the
    // child id (children) or the menu. Null, with the last error, on failure.
    HWND Create(HINSTANCE instance, const WindowClass& wc, HWND parent, const RECT& rect, DWORD style,
                DWORD exStyle = 0, const wchar_t* title = L"", UINT_PTR id = 0);
    // Cuts the link: later messages get default handling, and m_hWnd is null.
    // Returns the window, which lives on.
    HWND Detach();

protected:
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam) const
    {
        return DefWindowProcW(m_hWnd, msg, wParam, lParam);
    }
    // After WM_NCDESTROY, with m_hWnd already null.
    virtual void OnFinalMessage(HWND) {}

private:
    friend bool RegisterWindowClass(HINSTANCE, const WindowClass&);
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
};

}  // namespace fw

#endif
