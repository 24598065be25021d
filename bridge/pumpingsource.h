// CPumpingSource: standard input read on a thread of its own in pieces of up
// to 64 KiB (a message the browser wrote at once is then one piece), handed
// to the STA thread in order, each piece exactly once. The STA thread waits
// for the next piece with its message queue served: OLE and oleaut32 give it
// hidden top-level windows, and a thread that leaves their messages
// unanswered while it waits, which is most of a host's life, blocks every
// program that broadcasts a message with SendMessage.
#ifndef QEL_BRIDGE_PUMPINGSOURCE_H
#define QEL_BRIDGE_PUMPINGSOURCE_H

#include <windows.h>

#include <vector>

#include "session.h"

namespace bridge {

class CPumpingSource : public ByteSource {
public:
    explicit CPumpingSource(HANDLE in);
    // Not destroyed while the process runs (see the host's main): the reader
    // may still be blocked in ReadFile on the buffer when the host stops early.
    ~CPumpingSource() override = default;
    CPumpingSource(const CPumpingSource&) = delete;
    CPumpingSource& operator=(const CPumpingSource&) = delete;

    bool Started() const { return m_thread != nullptr; }
    // Up to `size` bytes of the input, 0 at its end.
    size_t Read(void* buffer, size_t size) override;

private:
    static DWORD WINAPI Run(void* self);
    void WaitServingMessages();

    HANDLE m_in;
    std::vector<char> m_buffer;  // the reader fills it while the STA thread waits for m_ready
    HANDLE m_ready, m_taken;
    HANDLE m_thread = nullptr;
    size_t m_size = 0, m_pos = 0;
    bool m_end = false;
    bool m_handedOut = false;
};

}  // namespace bridge

#endif
