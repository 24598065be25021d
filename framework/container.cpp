#include "container.h"

#include <objbase.h>

#include <algorithm>
#include <vector>

namespace fw {

namespace {

using AxWinInitFn = BOOL(WINAPI*)();
using AxCreateControlExFn = HRESULT(WINAPI*)(LPCOLESTR name, HWND window, IStream* stream, IUnknown** container,
                                             IUnknown** control, REFIID sinkIid, IUnknown* sink);
using AxGetControlFn = HRESULT(WINAPI*)(HWND window, IUnknown** control);

const wchar_t kHostClass[] = L"AtlAxWin";

// The exports of atl.dll this file uses, looked up once for the process.
struct AtlExports {
    HRESULT status = S_OK;  // why they are not there
    AxCreateControlExFn createControlEx = nullptr;
    AxGetControlFn getControl = nullptr;
};

template <class Fn>
Fn Export(HMODULE module, const char* name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

AtlExports LoadAtl()
{
    AtlExports atl;
    // From the system directory only: never a file that happens to lie
    // beside the program.
    wchar_t path[MAX_PATH + 16] = L"";
    UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        atl.status = HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        return atl;
    }
    lstrcatW(path, L"\\atl.dll");
    // Never freed: the host window class and the host objects live in it.
    HMODULE module = LoadLibraryW(path);
    if (!module) {
        DWORD error = GetLastError();
        atl.status = HRESULT_FROM_WIN32(error ? error : ERROR_MOD_NOT_FOUND);
        return atl;
    }
    auto init = Export<AxWinInitFn>(module, "AtlAxWinInit");
    atl.createControlEx = Export<AxCreateControlExFn>(module, "AtlAxCreateControlEx");
    atl.getControl = Export<AxGetControlFn>(module, "AtlAxGetControl");
    if (!init || !atl.createControlEx || !atl.getControl) {
        atl.status = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        return atl;
    }
    // Registers the host window class. Some versions answer FALSE when the
    // class is registered already (another part of the process called it),
    // so the result is not final: creating the window tells.
    init();
    return atl;
}

const AtlExports& Atl()
{
    static const AtlExports atl = LoadAtl();
    return atl;
}

HRESULT LastErrorOr(HRESULT fallback)
{
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : fallback;
}

}  // namespace

HRESULT CControlHost::Create(HWND parent, const RECT& rc, REFCLSID clsid, UINT id)
{
    Destroy();
    if (!parent || !IsWindow(parent))
        return E_INVALIDARG;
    const AtlExports& atl = Atl();
    if (FAILED(atl.status))
        return atl.status;
    wchar_t name[40] = L"";
    if (!StringFromGUID2(clsid, name, 40))
        return E_UNEXPECTED;

    // No title: the host window creates the control its title names when it
    // is created, and none for an empty one. The control comes next, so that
    // its failure is seen.
    SetLastError(0);
    HWND window = CreateWindowExW(0, kHostClass, L"", WS_CHILD | WS_VISIBLE, rc.left, rc.top, rc.right - rc.left,
                                  rc.bottom - rc.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window)
        return LastErrorOr(E_FAIL);

    CComPtr<IUnknown> container, control;
    HRESULT hr = atl.createControlEx(name, window, nullptr, &container, &control, IID_NULL, nullptr);
    if (SUCCEEDED(hr) && !control)
        hr = atl.getControl(window, &control);
    if (SUCCEEDED(hr) && (!control || !container))
        hr = E_FAIL;  // created, but not sited in the window
    if (FAILED(hr)) {
        DestroyWindow(window);
        return hr;
    }
    m_window = window;
    m_container = container;
    m_control = control;
    return S_OK;
}

HRESULT CControlHost::GetDispatch(IDispatch** dispatch) const
{
    if (!dispatch)
        return E_POINTER;
    *dispatch = nullptr;
    if (!m_control)
        return E_UNEXPECTED;
    return m_control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch));
}

HRESULT CControlHost::CallMethod(DISPID id, VARIANT* result, const VARIANT* args, UINT argCount) const
{
    if (argCount && !args)
        return E_INVALIDARG;
    CComPtr<IDispatch> dispatch;
    HRESULT hr = GetDispatch(&dispatch);
    if (FAILED(hr))
        return hr;

    // DISPPARAMS lists positional arguments last first. The copies are
    // shallow: Invoke neither frees nor changes its arguments.
    std::vector<VARIANT> reversed(args, args + argCount);
    std::reverse(reversed.begin(), reversed.end());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, argCount, 0};
    if (result)
        VariantClear(result);
    EXCEPINFO info = {};
    UINT argErr = 0;
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, &info, &argErr);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return hr;
}

void CControlHost::Destroy()
{
    HWND window = m_window;
    m_window = nullptr;
    // Destroying the host window closes the control and takes it off its
    // site; the window is gone already when its parent went first.
    if (window && IsWindow(window))
        DestroyWindow(window);
    m_control.Release();
    m_container.Release();
}

}  // namespace fw
