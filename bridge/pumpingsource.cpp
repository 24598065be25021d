#include "pumpingsource.h"

#include <cstring>

namespace bridge {

CPumpingSource::CPumpingSource(HANDLE in)
    : m_in(in), m_buffer(64 * 1024), m_ready(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_taken(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    if (m_ready && m_taken)
        m_thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

size_t CPumpingSource::Read(void* buffer, size_t size)
{
    // Nothing of the reader's is looked at before its first piece is
    // announced: it may fill the buffer before the first call, and a
    // piece taken then without its announcement would be taken twice.
    if (!m_handedOut || m_pos == m_size) {
        if (m_handedOut) {
            if (m_end)
                return 0;
            SetEvent(m_taken);  // the piece is used up: read the next
        }
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

DWORD WINAPI CPumpingSource::Run(void* self)
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

void CPumpingSource::WaitServingMessages()
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

}  // namespace bridge
