#include "dispatch_fuzz_phase.h"

#include "dispatch_fuzz_support.h"
#include "ocx.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

// A call may use at most 5 s of its thread's processor time: the bound that
// catches work out of proportion to its input. Waiting is bounded by the
// clock, at 60 s, which a stall of a loaded machine does not reach but a call
// that waits for a device or a file does.
const double kCallCpuLimitSeconds = 5.0;
const double kCallWaitLimitSeconds = 60.0;

// Processor time of the calling thread so far, in seconds.
double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return 0;
    const auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e7;
}

// QEL_FUZZ_TRACE=1 shows each call before it is made and its time after, to
// find one that does not return.
const bool kTrace = std::getenv("QEL_FUZZ_TRACE") != nullptr;

}  // namespace

fw::CComPtr<IDispatch> NewControl()
{
    fw::CComPtr<IDispatch> disp;
    if (FAILED(CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&disp))))
        disp.Release();
    return disp;
}

bool CPhase::Call(IDispatch* disp, const methods::Method& m, const std::vector<const CValue*>& args,
                  const std::string& where)
{
    std::vector<VARIANT> rev(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& v = rev[args.size() - 1 - i];
        VariantInit(&v);
        if (args[i]->isLong) {
            V_VT(&v) = VT_I4;
            V_I4(&v) = args[i]->number;
        } else {
            V_VT(&v) = VT_BSTR;
            V_BSTR(&v) = args[i]->null ? nullptr
                                       : SysAllocStringLen(args[i]->text.data(),
                                                           static_cast<UINT>(args[i]->text.size()));
        }
    }
    DISPPARAMS params = {rev.empty() ? nullptr : rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
    if (kTrace) {
        std::printf("%s%s\n", where.c_str(), Signature(m, args).c_str());
        std::fflush(stdout);
    }
    fw::CVariant result;
    EXCEPINFO info = {};
    UINT argErr = 0;
    LARGE_INTEGER start, end;
    const double cpuStart = ThreadCpuSeconds();
    QueryPerformanceCounter(&start);
    const HRESULT hr = disp->Invoke(m.id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info,
                                    &argErr);
    QueryPerformanceCounter(&end);
    const double cpu = ThreadCpuSeconds() - cpuStart;
    for (VARIANT& v : rev)
        VariantClear(&v);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    const double seconds = Seconds(start, end);
    if (kTrace) {
        std::printf("  %.3f s\n", seconds);
        std::fflush(stdout);
    }

    std::string problem;
    if (hr != S_OK) {
        char text[32];
        std::snprintf(text, sizeof(text), "HRESULT 0x%08lX", static_cast<unsigned long>(hr));
        problem = text;
    } else if (V_VT(&result) != m.result) {
        problem = "result type " + std::to_string(V_VT(&result));
    } else if (cpu > kCallCpuLimitSeconds || seconds > kCallWaitLimitSeconds) {
        problem = "took " + std::to_string(seconds) + " s, " + std::to_string(cpu) + " s of processor time";
    } else {
        const CWant named = Expected(m, args, m_ctx, AsPath::Named);
        const CWant refused = Expected(m, args, m_ctx, AsPath::Refused);
        if (!Satisfies(named, result) && !Satisfies(refused, result))
            problem = "gave " + DescribeResult(result) + ", wanted " + Describe(named) +
                      (Describe(refused) != Describe(named) ? " or " + Describe(refused) : "");
    }
    const std::wstring output = OutputOf(m, args);
    CLock lock(m_lock);
    ++m_calls;
    m_slowest = std::max(m_slowest, seconds);
    if (!output.empty())
        NoteOutput(output, hr == S_OK && V_VT(&result) == VT_I4 && V_I4(&result) == 0);
    if (problem.empty())
        return true;
    Fail(where + Signature(m, args) + ": " + problem);
    return false;
}

std::string CPhase::Signature(const methods::Method& m, const std::vector<const CValue*>& args)
{
    std::string s = std::string(m.name) + "(";
    for (size_t i = 0; i < args.size(); ++i)
        s += (i ? ", " : "") + Shown(*args[i]);
    return s + ")";
}

void CPhase::Fail(const std::string& what)
{
    CLock lock(m_lock);
    if (m_failures.size() < 60)
        m_failures.push_back(what);
    ++m_failureCount;
}

void CPhase::Finish()
{
    const CListing after = m_sandbox.List();
    for (const auto& entry : after) {
        const auto old = m_before.find(entry.first);
        if (old != m_before.end() && old->second == entry.second)
            continue;
        if (!m_allowed.count(entry.first))
            Fail(std::string(old == m_before.end() ? "new" : "changed") + " file " + Ansi(entry.first));
    }
    for (const auto& entry : m_before)
        if (!after.count(entry.first))
            Fail("removed file " + Ansi(entry.first));
    for (const std::wstring& outside : m_outside) {
        const DWORD attributes = GetFileAttributesW(Long(outside).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            Fail("file outside the sandbox " + Ansi(outside));
    }
    std::printf("  %ld calls, slowest %.3f s, %ld failures\n", m_calls, m_slowest, m_failureCount);
    std::string text;
    for (const std::string& f : m_failures)
        text += "  " + f + "\n";
    EXPECT_EQ(0, m_failureCount) << text;
}

std::wstring CPhase::OutputOf(const methods::Method& m, const std::vector<const CValue*>& args)
{
    if (m.id == 28)
        return Resolve(args[0]->ansi + ".gse");
    if (m.id == 22)
        return Resolve(args[0]->ansi + ".gue");
    if (m.id == 24) {
        const char* path = args[0]->ansi.c_str();
        return Resolve(std::string(path, static_cast<size_t>(PathFindExtensionA(path) - path)));
    }
    return std::wstring();
}

void CPhase::NoteOutput(const std::wstring& full, bool succeeded)
{
    if (full.compare(0, m_sandbox.Box().size(), Lower(m_sandbox.Box())) == 0) {
        if (succeeded)
            m_allowed.insert(full);
    } else {
        m_outside.insert(full);
    }
}

}  // namespace fuzz
