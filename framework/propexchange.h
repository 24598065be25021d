// CPropExchange: one load or save of a control's properties, over a stream
// or a property bag.
#ifndef QEL_FRAMEWORK_PROPEXCHANGE_H
#define QEL_FRAMEWORK_PROPEXCHANGE_H

#include <windows.h>
#include <ocidl.h>

namespace fw {

// One load or save of the control's properties, handed to DoPropExchange.
// Over a stream the values follow each other in the order they are
// exchanged (names unused); over a property bag each value is stored under
// its name. The first failure sticks: later exchanges do nothing and return
// false, and Result() reports it.
class CPropExchange {
public:
    // Loads from or saves to the stream at its current position. A null
    // stream on save only counts the bytes a save would write.
    CPropExchange(IStream* stream, bool loading);
    // Loads from or saves to the property bag; errorLog (may be null) is
    // passed to IPropertyBag::Read.
    CPropExchange(IPropertyBag* bag, IErrorLog* errorLog, bool loading);
    CPropExchange(const CPropExchange&) = delete;
    CPropExchange& operator=(const CPropExchange&) = delete;

    bool IsLoading() const { return m_loading; }

    // Save: writes `current` and sets version to it. Load: sets version to
    // the stored version (absent: current). With convert any stored version
    // is accepted; without, a stored version other than current fails the
    // load (STG_E_OLDFORMAT when older, STG_E_OLDDLL when newer). Stream:
    // a DWORD; property bag: "_Version".
    bool ExchangeVersion(DWORD& version, DWORD current, bool convert);

    // One LONG: on save writes value; on load sets value to the stored one,
    // or to defaultValue when absent (or, in a property bag, not a number).
    bool ExchangeLong(const wchar_t* name, LONG& value, LONG defaultValue);

    bool IsVersionExchanged() const { return m_versionExchanged; }
    // The version written or found; valid once ExchangeVersion ran.
    DWORD Version() const { return m_version; }
    // S_OK, or the first failure of this exchange.
    HRESULT Result() const { return m_result; }
    // Bytes written to (or counted for) the stream so far.
    ULONGLONG ByteCount() const { return m_bytes; }

private:
    // Stream I/O: `absent` is set when the stream ended before the value.
    bool Read(void* data, ULONG size, bool& absent);
    bool Write(const void* data, ULONG size);
    bool ReadBag(const wchar_t* name, LONG& value, bool& absent);
    bool WriteBag(const wchar_t* name, LONG value);
    bool Fail(HRESULT hr);

    IStream* m_stream = nullptr;
    IPropertyBag* m_bag = nullptr;
    IErrorLog* m_errorLog = nullptr;
    bool m_loading;
    bool m_versionExchanged = false;
    DWORD m_version = 0;
    HRESULT m_result = S_OK;
    ULONGLONG m_bytes = 0;
};

}  // namespace fw

#endif
