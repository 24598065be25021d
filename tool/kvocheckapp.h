// CKvoCheckApp: KvoCheck's application object. While its main dialog runs it
// holds the named mutex whose existence tells every QelCrypt control on the
// machine to write the diagnostic log; a second copy finds the mutex there
// and ends at once, showing nothing and touching nothing.
#ifndef QEL_TOOL_KVOCHECKAPP_H
#define QEL_TOOL_KVOCHECKAPP_H

#include <windows.h>

class CKvoCheckApp {
public:
    CKvoCheckApp() = default;
    CKvoCheckApp(const CKvoCheckApp&) = delete;
    CKvoCheckApp& operator=(const CKvoCheckApp&) = delete;

    // Creates the mutex and runs the main dialog to its end; false always,
    // the program has nothing left to do afterwards.
    bool InitInstance();
    // Closes the mutex (the controls stop logging) and OLE. The exit code.
    int ExitInstance();

    // What CreateToolMutex returned: 0 failed, 1 the mutex was there
    // already, else the handle of the mutex this process created.
    HANDLE m_hMutex = nullptr;

private:
    bool m_bOleInitialized = false;
};

#endif
