// CControlHost: an ActiveX control hosted as a child window, for dialogs that
// create a control by CLSID and call its dispatch methods.
//
// The host window is the "AtlAxWin" class of the system's atl.dll (present
// from Windows XP on, and in Wine). atl.dll is loaded at run time on first
// use and stays loaded for the life of the process (its window class and
// host objects live in it), so nothing beyond the usual system DLLs is
// imported statically. OLE must be initialised on the calling thread
// (OleInitialize), and every call comes from the thread that owns the parent.
//
// Contract:
//   - Create makes a child window of `parent` at `rc` (client coordinates of
//     the parent) with control ID `id`, and the control of `clsid` inside it
//     (created through atl.dll by its "{...}" string, started with InitNew
//     and activated in place). An object that already hosts a control is
//     emptied first. On any failure (no parent, atl.dll or its exports
//     missing, the window not created, the class not registered or not
//     created) the result is a failure HRESULT, no window is left and the
//     object is empty.
//   - GetDispatch gives a new reference to the control's IDispatch; on
//     failure *dispatch is null.
//   - CallMethod invokes `id` as a method (DISPATCH_METHOD, no named
//     arguments), the `argCount` arguments in `args` given first to last.
//     The arguments stay the caller's and are not changed. The HRESULT is
//     Invoke's. A call refused before Invoke leaves `result` alone:
//     E_UNEXPECTED when the object is empty, E_INVALIDARG for arguments
//     counted but not given, E_NOINTERFACE for a control without IDispatch.
//     Otherwise `result` (may be null; else a valid VARIANT) is cleared and
//     receives the method's result; a failed Invoke leaves it empty, or as
//     the control left it.
//   - Destroy (also run by the destructor) destroys the host window, which
//     closes the control, and releases every reference the object holds.
//     An empty object stays empty; a host window already destroyed with its
//     parent is not touched again.
//   - Window is the host window, null when the object is empty.
#ifndef QEL_FRAMEWORK_CONTAINER_H
#define QEL_FRAMEWORK_CONTAINER_H

#include <windows.h>
#include <oleauto.h>

#include "comutil.h"

namespace fw {

class CControlHost {
public:
    CControlHost() = default;
    ~CControlHost() { Destroy(); }
    CControlHost(const CControlHost&) = delete;
    CControlHost& operator=(const CControlHost&) = delete;

    HRESULT Create(HWND parent, const RECT& rc, REFCLSID clsid, UINT id = 0);
    HRESULT GetDispatch(IDispatch** dispatch) const;
    HRESULT CallMethod(DISPID id, VARIANT* result, const VARIANT* args = nullptr, UINT argCount = 0) const;
    void Destroy();
    HWND Window() const { return m_window; }

private:
    HWND m_window = nullptr;
    CComPtr<IUnknown> m_container;  // the host's site object: keeps the control sited
    CComPtr<IUnknown> m_control;
};

}  // namespace fw

#endif
