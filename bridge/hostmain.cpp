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
#include "session.h"
#include "writeall.h"

#include <windows.h>
#include <ole2.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The standard input, read on a thread of its own in pieces of up to 64 KiB
// (a message the browser wrote at once is then one piece). The STA thread
// waits for the next piece with its message queue served: OLE and oleaut32
// give it hidden top-level windows, and a thread that leaves their messages
// unanswered while it waits, which is most of a host's life, blocks every
// program that broadcasts a message with SendMessage.
class CPumpingSource : public bridge::ByteSource {
public:
    explicit CPumpingSource(HANDLE in)
        : m_in(in), m_buffer(64 * 1024), m_ready(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          m_taken(CreateEventW(nullptr, FALSE, FALSE, nullptr))
    {
        if (m_ready && m_taken)
            m_thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    // Not destroyed while the process runs (see main): the reader may still
    // be blocked in ReadFile on the buffer when the host stops early.
    ~CPumpingSource() override = default;
    CPumpingSource(const CPumpingSource&) = delete;
    CPumpingSource& operator=(const CPumpingSource&) = delete;

    bool Started() const { return m_thread != nullptr; }

    size_t Read(void* buffer, size_t size) override
    {
        if (m_pos == m_size) {
            if (m_end)
                return 0;
            if (m_handedOut)
                SetEvent(m_taken);  // the piece is used up: read the next
            WaitServingMessages();
            m_handedOut = true;
            m_pos = 0;
            if (m_size == 0)
                return 0;
        }
        const size_t n = size < m_size - m_pos ? size : m_size - m_pos;
        std::memcpy(buffer, m_buffer.data() + m_pos, n);
        m_pos += n;
        return n;
    }

private:
    static DWORD WINAPI Run(void* self)
    {
        CPumpingSource* s = static_cast<CPumpingSource*>(self);
        for (;;) {
            DWORD got = 0;
            // A closed pipe fails (ERROR_BROKEN_PIPE), a file ends with 0 bytes.
            if (!ReadFile(s->m_in, s->m_buffer.data(), static_cast<DWORD>(s->m_buffer.size()), &got, nullptr))
                got = 0;
            s->m_size = got;
            s->m_end = got == 0;
            SetEvent(s->m_ready);
            if (got == 0)
                return 0;
            WaitForSingleObject(s->m_taken, INFINITE);
        }
    }

    void WaitServingMessages()
    {
        for (;;) {
            const DWORD r = MsgWaitForMultipleObjects(1, &m_ready, FALSE, INFINITE, QS_ALLINPUT);
            if (r == WAIT_OBJECT_0)
                return;
            if (r != WAIT_OBJECT_0 + 1) {  // cannot wait for messages: wait for the input alone
                WaitForSingleObject(m_ready, INFINITE);
                return;
            }
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

    HANDLE m_in;
    std::vector<char> m_buffer;  // the reader fills it while the STA thread waits for m_ready
    HANDLE m_ready, m_taken;
    HANDLE m_thread = nullptr;
    size_t m_size = 0, m_pos = 0;
    bool m_end = false;
    bool m_handedOut = false;
};

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
        CPumpingSource* source = new CPumpingSource(in);
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
