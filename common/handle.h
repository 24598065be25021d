// CHandle: owns one handle of any kind and releases it exactly once.
//
// A Traits class names the handle type, the value that means "no handle"
// (Invalid(), the default-constructed value unless the traits say
// otherwise) and how a handle is released. Owners are movable, not
// copyable; Receive() hands out the slot for calls that store a new handle
// and releases the old one first. Win32 owners (files, registry keys,
// kernel objects) are in winhandle.h; the CryptoAPI ones in cryptoapi.h.
#ifndef QEL_COMMON_HANDLE_H
#define QEL_COMMON_HANDLE_H

namespace qel {

template <class Traits>
class CHandle {
public:
    using Handle = typename Traits::Handle;

    CHandle() = default;
    explicit CHandle(Handle handle) : m_handle(handle) {}
    CHandle(CHandle&& other) noexcept : m_handle(other.Detach()) {}
    CHandle& operator=(CHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    ~CHandle() { Reset(); }

    Handle Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Traits::Invalid(); }

    // Gives the handle up without releasing it.
    Handle Detach()
    {
        Handle handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }

    // Releases the handle held, if any, and takes `handle`.
    void Reset(Handle handle = Traits::Invalid())
    {
        if (m_handle != Traits::Invalid())
            Traits::Release(m_handle);
        m_handle = handle;
    }

    // For a call that stores a new handle: releases the one held first.
    Handle* Receive()
    {
        Reset();
        return &m_handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

// Traits whose "no handle" is the zero value of H.
template <class H>
struct CNullInvalid {
    using Handle = H;
    static Handle Invalid() { return Handle(); }
};

}  // namespace qel

#endif
