// QelCryptHost.exe: the native-messaging host that gives pages in browsers
// with extensions the control's methods. The browser starts one host per
// connection with the connection on standard input and output (binary,
// framed as session.h says); the host serves it on one STA thread with one
// control, so the control's state lasts as long as the page's connection.
// Diagnostics go to standard error only. Command-line arguments (the
// browser passes the extension's origin and, on Windows, its window) are
// not used.
#include "allowlist.h"
#include "controltarget.h"
#include "pumpingsource.h"
#include "session.h"
#include "writeall.h"

#include <windows.h>
#include <ole2.h>

#include <string>
#include <vector>

namespace {

class CHandleSink : public bridge::ByteSink {
public:
    explicit CHandleSink(HANDLE h) : m_h(h) {}
    bool Write(const void* data, size_t size) override { return qel::WriteAll(m_h, data, size); }

private:
    HANDLE m_h;
};

void Diagnose(const std::string& line)
{
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err == nullptr || err == INVALID_HANDLE_VALUE)
        return;
    const std::string text = "QelCryptHost: " + line + "\n";
    DWORD done = 0;
    WriteFile(err, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
}

}  // namespace

int main()
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE || out == nullptr || out == INVALID_HANDLE_VALUE) {
        Diagnose("no standard input or output: start the host from a browser");
        return bridge::kExitStartFailed;
    }
    // The replies are the only thing on the output: whatever else in the
    // process asks for the standard output from now on gets the error stream.
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));

    const HRESULT hr = OleInitialize(nullptr);
    if (FAILED(hr)) {
        Diagnose("OLE could not be initialised");
        return bridge::kExitStartFailed;
    }

    bridge::OriginPolicy policy;
    std::vector<std::string> rejected;
    bridge::LoadAllowList(policy, &rejected);
    for (const std::string& r : rejected)
        Diagnose("allow-list: " + r);

    int rc;
    {
        bridge::CControlTarget target;
        bridge::Session session(target, policy);
        // Left to the end of the process: after a message too large or a
        // closed output its reader is still blocked in ReadFile, which
        // nothing before Vista can cancel, and would fill a freed buffer.
        bridge::CPumpingSource* source = new bridge::CPumpingSource(in);
        CHandleSink sink(out);
        std::string why;
        if (!source->Started()) {
            why = "the input could not be read";
            rc = bridge::kExitStartFailed;
        } else {
            rc = bridge::Serve(*source, sink, session, &why);
        }
        if (rc != bridge::kExitClosed)
            Diagnose(why);
        target.Release();
    }
    OleUninitialize();
    return rc;
}
