// The dispatch fuzzer's calls: one phase of calls, every result checked
// against the documented one within the time limit, every file the calls
// may write recorded, and the sandbox compared before and after.
#ifndef QEL_TESTS_CONTROL_DISPATCH_FUZZ_PHASE_H
#define QEL_TESTS_CONTROL_DISPATCH_FUZZ_PHASE_H

#include "nocopy.h"
#include "comutil.h"
#include "dispatch_fuzz_expected.h"
#include "dispatch_fuzz_sandbox.h"
#include "dispatch_fuzz_values.h"
#include "methods.h"

#include <set>
#include <string>
#include <vector>

namespace fuzz {

// A new control by its CLSID, as a page creates it; null when it is not registered.
fw::CComPtr<IDispatch> NewControl();

// One phase of calls: every result checked, every file the calls may write
// recorded, and the sandbox compared before and after.
class CPhase : private CNoCopy {
public:
    CPhase(const CSandbox& sandbox, bool logging) : m_sandbox(sandbox), m_ctx{logging}, m_before(sandbox.List())
    {
        InitializeCriticalSection(&m_lock);
        if (logging)
            m_allowed.insert(Lower(sandbox.Box() + L"KvoLog.log"));
    }
    ~CPhase() { DeleteCriticalSection(&m_lock); }

    void SetLogging(bool logging)
    {
        m_ctx.logging = logging;
        if (logging)
            m_allowed.insert(Lower(m_sandbox.Box() + L"KvoLog.log"));
    }

    // Invokes one call; false (and a failure noted) when it went wrong. Calls
    // may come from several threads, each with its own control.
    bool Call(IDispatch* disp, const methods::Method& m, const std::vector<const CValue*>& args,
              const std::string& where = "");

    static std::string Signature(const methods::Method& m, const std::vector<const CValue*>& args);

    void Fail(const std::string& what);

    // Compares the sandbox with its state before the phase, and checks that
    // nothing appeared outside it.
    void Finish();

    long Calls() const { return m_calls; }

private:
    // Holds a critical section for its lifetime.
    class CLock {
    public:
        explicit CLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
        ~CLock() { LeaveCriticalSection(&m_cs); }
        CLock(const CLock&) = delete;
        CLock& operator=(const CLock&) = delete;

    private:
        CRITICAL_SECTION& m_cs;
    };

    // The full path of the file a call of a file method writes, by its
    // documented name; empty for the other methods.
    static std::wstring OutputOf(const methods::Method& m, const std::vector<const CValue*>& args);

    // In the box the output may appear when the call succeeded, outside never.
    void NoteOutput(const std::wstring& full, bool succeeded);

    const CSandbox& m_sandbox;
    CRITICAL_SECTION m_lock;
    CContext m_ctx;
    CListing m_before;
    std::set<std::wstring> m_allowed;
    std::set<std::wstring> m_outside;
    std::vector<std::string> m_failures;
    long m_failureCount = 0;
    long m_calls = 0;
    double m_slowest = 0;
};

}  // namespace fuzz

#endif
