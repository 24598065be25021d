#include "kvodriver.h"

#include <commctrl.h>

#include <cstdint>
#include <cstdio>

#include "textconv.h"

namespace kvotest {

std::string TestDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file = path;
    return file.substr(0, file.find_last_of('\\') + 1);
}

std::string Text(HWND window)
{
    wchar_t text[4096] = L"";
    const LRESULT n = SendMessageW(window, WM_GETTEXT, sizeof text / sizeof text[0], reinterpret_cast<LPARAM>(text));
    return qel::WideToAnsi(text, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

std::vector<std::string> ListBoxLines(HWND list)
{
    std::vector<std::string> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[1024] = L"";
        if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) >= 1024)
            return lines;
        const LRESULT n = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.push_back(qel::WideToAnsi(text, n > 0 ? static_cast<size_t>(n) : 0));
    }
    return lines;
}

namespace {

struct Search {
    DWORD thread;
    HWND except;
    std::wstring caption;
    bool anyCaption;
    HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    wchar_t name[16] = L"";
    GetClassNameW(window, name, 16);
    if (window == search->except || lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    if (search->thread && GetWindowThreadProcessId(window, nullptr) != search->thread)
        return TRUE;
    wchar_t caption[256] = L"";
    GetWindowTextW(window, caption, 256);
    if (!search->anyCaption && search->caption != caption)
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND WaitFor(Search search, DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        search.found = nullptr;
        EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
        Sleep(50);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

}  // namespace

HWND WaitForDialog(const std::string& caption, DWORD thread, DWORD ms)
{
    return WaitFor({thread, nullptr, qel::AnsiToWide(caption), false, nullptr}, ms);
}

HWND WaitForOtherDialog(DWORD thread, HWND except, DWORD ms)
{
    return WaitFor({thread, except, std::wstring(), true, nullptr}, ms);
}

bool WaitGone(HWND window, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(50);
    }
    return true;
}

// ---------------------------------------------------------------------------
// CListView

CListView::CListView(HWND list) : m_list(list)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    m_process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                            FALSE, pid);
    if (m_process)
        m_buffer = VirtualAllocEx(m_process, nullptr, kBufferSize, MEM_COMMIT, PAGE_READWRITE);
#ifdef _WIN64
    BOOL wow64 = FALSE;
    m_b32BitTarget = m_process && IsWow64Process(m_process, &wow64) && wow64;
#endif
}

CListView::~CListView()
{
    if (m_buffer)
        VirtualFreeEx(m_process, m_buffer, 0, MEM_RELEASE);
    if (m_process)
        CloseHandle(m_process);
}

void* CListView::Remote(size_t offset) const { return static_cast<char*>(m_buffer) + offset; }

int CListView::Count() const { return static_cast<int>(SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }

std::string CListView::ItemText(int item, int column) const
{
    if (!m_buffer)
        return "<no buffer>";
    const size_t textOffset = 256;
    const int cchTextMax = static_cast<int>((kBufferSize - textOffset) / sizeof(wchar_t));
    if (m_b32BitTarget) {
        // The x86 list of a 64-bit driver reads its LVITEMW in the x86
        // layout: pointers of four bytes (the buffer lies below 4 GiB there).
        struct {
            UINT mask, iItem, iSubItem, state, stateMask, pszText, cchTextMax, rest[8];
        } lvi32 = {};
        lvi32.iSubItem = static_cast<UINT>(column);
        lvi32.pszText = static_cast<UINT>(reinterpret_cast<UINT_PTR>(Remote(textOffset)));
        lvi32.cchTextMax = static_cast<UINT>(cchTextMax);
        WriteProcessMemory(m_process, m_buffer, &lvi32, sizeof lvi32, nullptr);
    } else {
        LVITEMW lvi = {};
        lvi.iSubItem = column;
        lvi.pszText = static_cast<wchar_t*>(Remote(textOffset));
        lvi.cchTextMax = cchTextMax;
        WriteProcessMemory(m_process, m_buffer, &lvi, sizeof lvi, nullptr);
    }
    const LRESULT n = SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(m_buffer));
    std::wstring text(static_cast<size_t>(cchTextMax), L'\0');
    ReadProcessMemory(m_process, Remote(textOffset), &text[0], text.size() * sizeof(wchar_t), nullptr);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return qel::WideToAnsi(text);
}

std::string CListView::ColumnTitle(int column) const
{
    if (!m_buffer)
        return "<no buffer>";
    const size_t textOffset = 256;
    LVCOLUMNW col = {};
    col.mask = LVCF_TEXT;
    col.pszText = static_cast<wchar_t*>(Remote(textOffset));
    col.cchTextMax = 256;
    WriteProcessMemory(m_process, m_buffer, &col, sizeof col, nullptr);
    if (!SendMessageW(m_list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(m_buffer)))
        return "<no column>";
    wchar_t text[256] = L"";
    ReadProcessMemory(m_process, Remote(textOffset), text, sizeof text - sizeof text[0], nullptr);
    return qel::WideToAnsi(text);
}

int CListView::ColumnWidth(int column) const
{
    return static_cast<int>(SendMessageW(m_list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

DWORD CListView::ExtendedStyle() const
{
    return static_cast<DWORD>(SendMessageW(m_list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

bool CListView::Select(int item) const
{
    if (!m_buffer)
        return false;
    LVITEMW lvi = {};
    lvi.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    lvi.state = lvi.stateMask;
    WriteProcessMemory(m_process, m_buffer, &lvi, sizeof lvi, nullptr);
    return SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(m_buffer)) != 0;
}

void CListView::DoubleClick(int item) const
{
    RECT rect = {LVIR_LABEL, 0, 0, 0};
    if (m_buffer) {
        WriteProcessMemory(m_process, m_buffer, &rect, sizeof rect, nullptr);
        SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(m_buffer));
        ReadProcessMemory(m_process, m_buffer, &rect, sizeof rect, nullptr);
    }
    const LPARAM at = MAKELPARAM(rect.left + 4, (rect.top + rect.bottom) / 2);
    SendMessageW(m_list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(m_list, WM_LBUTTONUP, 0, at);
}

// ---------------------------------------------------------------------------
// Input

void Press(std::initializer_list<BYTE> keys)
{
    for (BYTE k : keys)
        keybd_event(k, 0, 0, 0);
    for (auto k = keys.end(); k != keys.begin();)
        keybd_event(*--k, 0, KEYEVENTF_KEYUP, 0);
    Sleep(50);
}

void Type(const std::string& text)
{
    for (char c : text)
        Press({static_cast<BYTE>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c)});
}

bool Foreground(HWND window)
{
    for (int i = 0; i < 40; ++i) {
        SetForegroundWindow(window);
        if (GetForegroundWindow() == window)
            return true;
        Sleep(50);
    }
    return false;
}

HWND PressForDialog(HWND window, std::initializer_list<BYTE> keys, const std::string& caption, DWORD thread)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Foreground(window))
            Press(keys);
        if (HWND dialog = WaitForDialog(caption, thread, 3000))
            return dialog;
    }
    return nullptr;
}

bool PressUntilGone(HWND window, std::initializer_list<BYTE> keys)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (Foreground(window))
            Press(keys);
        if (WaitGone(window, 3000))
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// PNG: 8-bit RGB, no filtering, zlib stream of stored blocks.

namespace {

uint32_t Crc32(const unsigned char* data, size_t size, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void Be32(std::vector<unsigned char>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<unsigned char>(v >> shift));
}

void Chunk(std::vector<unsigned char>& out, const char* type, const std::vector<unsigned char>& data)
{
    Be32(out, static_cast<uint32_t>(data.size()));
    std::vector<unsigned char> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    Be32(out, Crc32(body.data(), body.size()));
}

}  // namespace

bool SavePng(HWND window, const std::string& path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return false;
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const bool copied = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    SelectObject(memory, old);

    std::vector<unsigned char> raw;  // filter byte, then RGB, per row
    if (copied && bits) {
        const auto* pixels = static_cast<const unsigned char*>(bits);
        for (int y = 0; y < height; ++y) {
            raw.push_back(0);
            for (int x = 0; x < width; ++x) {
                const unsigned char* bgra = pixels + (static_cast<size_t>(y) * width + x) * 4;
                raw.push_back(bgra[2]);
                raw.push_back(bgra[1]);
                raw.push_back(bgra[0]);
            }
        }
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (raw.empty())
        return false;

    std::vector<unsigned char> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size(); at += 65535) {
        const size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back(static_cast<unsigned char>(n));
        z.push_back(static_cast<unsigned char>(n >> 8));
        z.push_back(static_cast<unsigned char>(~n));
        z.push_back(static_cast<unsigned char>(~n >> 8));
        z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + n));
    }
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    Be32(z, b << 16 | a);

    std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<unsigned char> header;
    Be32(header, static_cast<uint32_t>(width));
    Be32(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});
    Chunk(png, "IHDR", header);
    Chunk(png, "IDAT", z);
    Chunk(png, "IEND", {});
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
    return std::fclose(f) == 0 && written;
}

}  // namespace kvotest
