// Every method of the registered control, called as a hostile page would:
// texts of every length around the working buffers (up to 1 MiB), NULL and
// embedded NULs, format directives, damaged Base64 and PEM, Chinese text,
// boundary numbers, and for file parameters long, relative, UNC, device,
// stream and trailing-dot paths. One argument at a time against a working
// call, all combinations over a reduced set, and random three-call
// sequences (seed printed; QEL_FUZZ_SEED and QEL_FUZZ_SEQUENCES override).
//
// Each call must return S_OK within 5 s of processor time (60 s by the
// clock) with the result the method gives for
// that input, computed here from the fixture table and from keys used
// through CryptoAPI. The program runs in a sandbox directory (current
// directory and TEMP); a listing before and after each phase allows new or
// changed files only where a successful call writes its output, and the
// tool's log while the tool's mutex exists. The selection dialog is
// cancelled as soon as it shows.
//
// The pieces: dispatch_fuzz_values (the hostile values and seed files),
// dispatch_fuzz_expected (what each method must give), dispatch_fuzz_sandbox
// (the directory and its listings), dispatch_fuzz_phase (calls and checks),
// dispatch_fuzz_support (ANSI text, Base64, the fixtures and their keys).
#include "dispatch_fuzz_phase.h"
#include "dispatch_fuzz_support.h"
#include "fixtures.h"
#include "logfile.h"
#include "logtest.h"
#include "methods.h"
#include "selectdialog.h"
#include "toolmutex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using diaglog::CLogFile;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::kToolMutexName;

namespace {

using namespace fuzz;
using fixtures::CFixture;
using methods::Method;

// Runs work(0) to work(count - 1) on two threads at once, as two pages of a
// browser would call their controls; each thread takes the next item when
// it is done with one.
void OnTwoPages(size_t count, const std::function<void(size_t)>& work)
{
    volatile LONG next = -1;
    std::vector<std::unique_ptr<logtest::Thread>> pages;
    for (int page = 0; page < 2; ++page)
        pages.emplace_back(new logtest::Thread([&] {
            CoInitialize(nullptr);
            for (LONG i = InterlockedIncrement(&next); i < static_cast<LONG>(count); i = InterlockedIncrement(&next))
                work(static_cast<size_t>(i));
            CoUninitialize();
        }));
    pages.clear();  // joined
}

class DispatchFuzz : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        s_sandbox = new CSandbox;
        const bool fixtures = !PemOf("zhangsan-a").empty();
        s_values = new CValues(*s_sandbox, fixtures);
        // Fill the caches of the expectations before threads read them.
        for (const CFixture& f : fixtures::All())
            PemOf(f.m_pszId);
        Holder("", "");
        s_canceller = new ocx::CDialogCanceller;
    }
    static void TearDownTestSuite()
    {
        delete s_canceller;
        delete s_values;
        delete s_sandbox;
        CoUninitialize();
    }
    void SetUp() override
    {
        ASSERT_FALSE(PemOf("zhangsan-a").empty()) << "the certificate fixtures are missing";
        ASSERT_TRUE(NewControl()) << "the control is not registered";
    }

    // Every parameter of every method swept over its pool, the others at
    // their working values; a new control for each method.
    void SweepEachArgument(CPhase& phase, bool (*methodFilter)(const Method&))
    {
        std::vector<const Method*> chosen;
        for (const Method& m : methods::All())
            if (methodFilter(m))
                chosen.push_back(&m);
        OnTwoPages(chosen.size(), [&](size_t i) {
            const Method& m = *chosen[i];
            fw::CComPtr<IDispatch> control = NewControl();
            if (!control)
                return phase.Fail(std::string("no control for ") + m.name);
            const std::vector<const CValue*> baseline = s_values->Baselines(m);
            phase.Call(control.Get(), m, baseline, "working call ");
            for (size_t p = 0; p < m.params.size(); ++p)
                for (const CValue* v : s_values->Pool(m.params[p].role, true)) {
                    std::vector<const CValue*> args = baseline;
                    args[p] = v;
                    phase.Call(control.Get(), m, args);
                }
        });
    }

    static CSandbox* s_sandbox;
    static CValues* s_values;
    static ocx::CDialogCanceller* s_canceller;
};

CSandbox* DispatchFuzz::s_sandbox = nullptr;
CValues* DispatchFuzz::s_values = nullptr;
ocx::CDialogCanceller* DispatchFuzz::s_canceller = nullptr;

TEST_F(DispatchFuzz, EachArgumentOverTheFullValueSet)
{
    CPhase phase(*s_sandbox, false);
    SweepEachArgument(phase, [](const Method&) { return true; });
    phase.Finish();
    // The cipher file made with the fixture's key came back whole.
    EXPECT_EQ(s_values->SealedPlain(), ReadWholeFile(s_sandbox->Box() + L"cipher")) << "DecryptFilePriKey's output";
    EXPECT_GT(s_canceller->Cancelled(), 0) << "SignMessage showed its dialog";
}

// With the tool's mutex the logging methods write KvoLog.log in TEMP, and
// AddLog answers 1.
TEST_F(DispatchFuzz, LoggingMethodsWhileTheToolRuns)
{
    HANDLE tool = CreateToolMutex(kToolMutexName);
    ASSERT_NE(nullptr, tool);
    {
        CPhase phase(*s_sandbox, true);
        SweepEachArgument(phase, [](const Method& m) {
            return m.id == 2 || m.id == 16 || m.id == 17 || m.id == 19 || m.id == 20 || m.id == 21 || m.id == 23;
        });
        phase.Finish();
    }
    CloseToolMutex(tool);
    CLogFile log;
    EXPECT_EQ(Ansi(s_sandbox->Box() + L"KvoLog.log"), log.GetPath());
    EXPECT_TRUE(log.Load(log.GetPath().c_str()));
    EXPECT_GT(log.GetCount(), 0);
}

// Two- and three-argument methods (and SignData) over every combination of
// a reduced set.
TEST_F(DispatchFuzz, CombinationsOverAReducedSet)
{
    CPhase phase(*s_sandbox, false);
    std::vector<const Method*> chosen;
    for (const Method& m : methods::All())
        if (m.params.size() >= 2)
            chosen.push_back(&m);
    OnTwoPages(chosen.size(), [&](size_t index) {
        const Method& m = *chosen[index];
        fw::CComPtr<IDispatch> control = NewControl();
        if (!control)
            return phase.Fail(std::string("no control for ") + m.name);
        std::vector<std::vector<const CValue*>> pools;
        for (const methods::Param& p : m.params)
            pools.push_back(s_values->Reduced(p.role));
        std::vector<size_t> at(pools.size(), 0);
        for (;;) {
            std::vector<const CValue*> args;
            for (size_t i = 0; i < pools.size(); ++i)
                args.push_back(pools[i][at[i]]);
            phase.Call(control.Get(), m, args);
            size_t i = 0;
            while (i < at.size() && ++at[i] == pools[i].size())
                at[i++] = 0;
            if (i == at.size())
                break;
        }
    });
    phase.Finish();
}

using CPools = std::map<Role, std::vector<const CValue*>>;

// Sequence `s` of the random run: three methods and their arguments drawn
// from a generator seeded with the run's seed and the sequence's number, so
// that a sequence comes out the same whichever thread runs it, on a new
// control.
void RunSequence(CPhase& phase, uint32_t seed, long s, const CPools& pools)
{
    uint64_t state = ((static_cast<uint64_t>(seed) << 32) | static_cast<uint32_t>(s)) * 0x9E3779B97F4A7C15ull + 1;
    const auto next = [&](size_t n) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return static_cast<size_t>(state % n);
    };
    const std::string where = "sequence " + std::to_string(s) + ", call ";
    fw::CComPtr<IDispatch> control = NewControl();
    if (!control) {
        phase.Fail(where + "0: no control");
        return;
    }
    std::string history;
    for (int c = 0; c < 3; ++c) {
        const Method& m = methods::All()[next(methods::All().size())];
        std::vector<const CValue*> args;
        for (const methods::Param& p : m.params)
            args.push_back(pools.at(p.role)[next(pools.at(p.role).size())]);
        phase.Call(control.Get(), m, args,
                   where + std::to_string(c + 1) + (history.empty() ? "" : " after " + history) + ": ");
        history += (history.empty() ? "" : "; ") + CPhase::Signature(m, args);
    }
}

// 10,000 sequences of three calls, each on a new control, methods and
// arguments drawn at random, on two threads (two pages) at once; the tool's
// mutex exists for every other thousand.
TEST_F(DispatchFuzz, RandomSequencesOfThreeCalls)
{
    const char* seedText = std::getenv("QEL_FUZZ_SEED");
    const char* countText = std::getenv("QEL_FUZZ_SEQUENCES");
    const uint32_t seed = seedText ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : 20261208u;
    const long sequences = countText ? std::strtol(countText, nullptr, 10) : 10000;
    std::printf("  random sequences: seed %u (QEL_FUZZ_SEED), %ld sequences (QEL_FUZZ_SEQUENCES)\n", seed, sequences);
    RecordProperty("seed", std::to_string(seed));

    CPools pools;
    for (const Method& m : methods::All())
        for (const methods::Param& p : m.params)
            pools[p.role] = s_values->Pool(p.role, false);

    CPhase phase(*s_sandbox, false);
    const long kBlock = 1000;
    for (long from = 0; from < sequences; from += kBlock) {
        const bool logging = (from / kBlock) % 2 == 1;
        HANDLE tool = logging ? CreateToolMutex(kToolMutexName) : nullptr;
        phase.SetLogging(logging);
        const long to = std::min(sequences, from + kBlock);
        OnTwoPages(static_cast<size_t>(to - from),
                   [&](size_t i) { RunSequence(phase, seed, from + static_cast<long>(i), pools); });
        if (tool)
            CloseToolMutex(tool);
    }
    phase.Finish();
}

}  // namespace
