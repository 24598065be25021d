#include "kvocheckapp.h"

#include <ole2.h>

#include <cstdint>

#include "controls.h"
#include "kvocheckdlg.h"
#include "kvocheckrules.h"
#include "toolmutex.h"

using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::kToolMutexName;

namespace {

CKvoCheckApp theApp;

}  // namespace

bool CKvoCheckApp::InitInstance()
{
    // The control probe hosts the QelCrypt control in the main dialog.
    m_bOleInitialized = SUCCEEDED(OleInitialize(nullptr));
    fw::CListViewCtrl::InitListViewClass();

    // CreateToolMutex sees a mutex that exists; one that another copy
    // creates at the same moment shows as ERROR_ALREADY_EXISTS of its
    // creating call.
    SetLastError(ERROR_SUCCESS);
    m_hMutex = CreateToolMutex(kToolMutexName);
    const bool createdExisting = GetLastError() == ERROR_ALREADY_EXISTS;
    if (!kvo::MayRun(reinterpret_cast<uintptr_t>(m_hMutex), createdExisting))
        return false;

    CKvoCheckDlg dlg;
    dlg.DoModal();
    return false;
}

int CKvoCheckApp::ExitInstance()
{
    CloseToolMutex(m_hMutex);
    m_hMutex = nullptr;
    if (m_bOleInitialized)
        OleUninitialize();
    m_bOleInitialized = false;
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    theApp.InitInstance();
    return theApp.ExitInstance();
}
