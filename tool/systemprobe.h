// What KvoCheck asks of the system: the Windows version, the Internet
// Explorer version, the default browser's file description, the installed
// CSPs, and the QelCrypt control's version through the control itself.
// What the answers mean for the dialog is kvocheckrules.h.
#ifndef QEL_TOOL_SYSTEMPROBE_H
#define QEL_TOOL_SYSTEMPROBE_H

#include <windows.h>

#include <string>
#include <vector>

#include "container.h"
#include "kvocheckrules.h"

class CSystemProbe {
public:
    virtual ~CSystemProbe() = default;

    // GetVersionExA with the extended structure, else the short one (service
    // pack 0), and the family of the table. 0, or -1 when neither call works.
    int GetWindowsVersionInfo(kvo::WindowsVersionInfo& info);

    // The "Version" value of HKLM\SOFTWARE\Microsoft\Internet Explorer (at
    // most 31 characters; empty when missing or longer) and the major
    // version it names. 0 when the key could be opened, -1 when not.
    int GetIeVersion(int& major, std::string& text);

    // The file description of the program that opens
    // %windir%\Web\tip.htm, empty when there is none or it has none.
    // 1 when it names Internet Explorer, else 0.
    int GetDefaultBrowser(std::string& description);
};

// The names of the CSPs registered under
// HKLM\SOFTWARE\Microsoft\Cryptography\Defaults\Provider, in registry
// order; `names` is emptied first. Returns their number.
int EnumCspNames(std::vector<std::string>& names);

// The tool's client of the QelCrypt control: the control created by its
// CLSID as a child window (OLE must be initialised on the thread), asked
// for its version by DISPID 1. The window goes with the object.
class CQelCrypt {
public:
    // A visible child of `parent` with an empty rectangle. Fails when the
    // control is not registered or cannot be loaded.
    HRESULT Create(HWND parent, UINT id = 0);
    // GetVersion as a method, its result taken as a 32-bit integer.
    HRESULT GetVersion(long& version) const;
    void Destroy() { m_host.Destroy(); }

private:
    fw::CControlHost m_host;
};

#endif
