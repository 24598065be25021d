// Thin typed wrappers over the standard controls the dialogs use: each is a
// CWindow (an HWND it does not own) whose members send one message or two.
// Text goes in and out as 8-bit text in the ANSI code page; it crosses the
// control as UTF-16, whose lengths are exact. Indexes are 0-based; -1 means
// none or failure, as the controls report it (LB_ERR, CB_ERR).
//
// Edit and static text, enabling and showing are CWindow's (Text, SetText,
// Enable, Show).
//
// CListViewCtrl needs comctl32: link it and call InitListViewClass before a
// list view is created (e.g. before DoModal of a dialog that has one).
#ifndef QEL_FRAMEWORK_CONTROLS_H
#define QEL_FRAMEWORK_CONTROLS_H

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "window.h"

namespace fw {

namespace detail {

// Text of item `index` through a length message and a text message.
inline std::string ItemText(HWND hwnd, UINT lengthMsg, UINT textMsg, int index)
{
    LRESULT length = SendMessageW(hwnd, lengthMsg, static_cast<WPARAM>(index), 0);
    if (length <= 0)
        return std::string();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT got = SendMessageW(hwnd, textMsg, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return WideToAnsi(text);
}

}  // namespace detail

class CListBox : public CWindow {
public:
    CListBox(HWND hwnd = nullptr) : CWindow(hwnd) {}

    int AddString(const std::string& text) const
    {
        return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AnsiToWide(text).c_str())));
    }
    void ResetContent() const { Send(LB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(Send(LB_GETCOUNT)); }
    std::string GetText(int index) const { return detail::ItemText(m_hWnd, LB_GETTEXTLEN, LB_GETTEXT, index); }
    bool SetItemData(int index, LPARAM data) const
    {
        return Send(LB_SETITEMDATA, static_cast<WPARAM>(index), data) != LB_ERR;
    }
    LPARAM GetItemData(int index) const { return Send(LB_GETITEMDATA, static_cast<WPARAM>(index)); }
    // Single-selection list boxes.
    int GetCurSel() const { return static_cast<int>(Send(LB_GETCURSEL)); }
    bool SetCurSel(int index) const
    {
        return Send(LB_SETCURSEL, static_cast<WPARAM>(index)) != LB_ERR || index == -1;
    }
};

class CComboBox : public CWindow {
public:
    CComboBox(HWND hwnd = nullptr) : CWindow(hwnd) {}

    int AddString(const std::string& text) const
    {
        return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AnsiToWide(text).c_str())));
    }
    void ResetContent() const { Send(CB_RESETCONTENT); }
    int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    std::string GetText(int index) const { return detail::ItemText(m_hWnd, CB_GETLBTEXTLEN, CB_GETLBTEXT, index); }
    int GetCurSel() const { return static_cast<int>(Send(CB_GETCURSEL)); }
    bool SetCurSel(int index) const
    {
        return Send(CB_SETCURSEL, static_cast<WPARAM>(index)) != CB_ERR || index == -1;
    }
};

class CButton : public CWindow {
public:
    CButton(HWND hwnd = nullptr) : CWindow(hwnd) {}

    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
    int GetCheck() const { return static_cast<int>(Send(BM_GETCHECK)); }
    void SetCheck(int state) const { Send(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

// An icon static (SS_ICON).
class CStatic : public CWindow {
public:
    CStatic(HWND hwnd = nullptr) : CWindow(hwnd) {}

    // The icon stays the caller's; returns the one shown before.
    HICON SetIcon(HICON icon) const
    {
        return reinterpret_cast<HICON>(Send(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
    HICON GetIcon() const { return reinterpret_cast<HICON>(Send(STM_GETICON)); }
};

// A list view in report view (LVS_REPORT).
class CListViewCtrl : public CWindow {
public:
    CListViewCtrl(HWND hwnd = nullptr) : CWindow(hwnd) {}

    // Registers the list view class (ICC_LISTVIEW_CLASSES); once is enough.
    static bool InitListViewClass()
    {
        INITCOMMONCONTROLSEX icc = {static_cast<DWORD>(sizeof icc), ICC_LISTVIEW_CLASSES};
        return InitCommonControlsEx(&icc) != FALSE;
    }

    // LVS_EX_* bits under `mask` (0: all of exStyle); returns the old ones.
    DWORD SetExtendedListViewStyle(DWORD exStyle, DWORD mask = 0) const
    {
        return static_cast<DWORD>(Send(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, static_cast<LPARAM>(exStyle)));
    }
    DWORD GetExtendedListViewStyle() const { return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)); }

    int InsertColumn(int column, const std::string& title, int width, int format = LVCFMT_LEFT) const
    {
        std::wstring text = AnsiToWide(title);
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        col.fmt = format;
        col.cx = width;
        col.pszText = &text[0];
        return static_cast<int>(Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
    }
    // Returns the index the item got, -1 on failure.
    int InsertItem(int item, const std::string& text) const
    {
        std::wstring wide = AnsiToWide(text);
        LVITEMW lvi = {};
        lvi.mask = LVIF_TEXT;
        lvi.iItem = item;
        lvi.pszText = &wide[0];
        return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lvi)));
    }
    bool SetItemText(int item, int subItem, const std::string& text) const
    {
        std::wstring wide = AnsiToWide(text);
        LVITEMW lvi = {};
        lvi.iSubItem = subItem;
        lvi.pszText = &wide[0];
        return Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi)) != FALSE;
    }
    std::string GetItemText(int item, int subItem) const
    {
        // The message gives no length: grow the buffer until the text fits.
        for (size_t size = 256;; size *= 4) {
            std::wstring text(size, L'\0');
            LVITEMW lvi = {};
            lvi.iSubItem = subItem;
            lvi.pszText = &text[0];
            lvi.cchTextMax = static_cast<int>(size);
            LRESULT got = Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi));
            if (got < 0 || static_cast<size_t>(got) + 1 < size || size >= 65536) {
                text.resize(got > 0 ? static_cast<size_t>(got) : 0);
                return WideToAnsi(text);
            }
        }
    }
    bool DeleteAllItems() const { return Send(LVM_DELETEALLITEMS) != FALSE; }
    int GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    // The first selected item, -1 when none is.
    int GetSelectedIndex() const
    {
        return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
    }
    // Selects and focuses `item` (-1: all items) or takes that away.
    bool SelectItem(int item, bool select = true) const
    {
        LVITEMW lvi = {};
        lvi.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        lvi.state = select ? lvi.stateMask : 0;
        return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvi)) != FALSE;
    }
};

}  // namespace fw

#endif
