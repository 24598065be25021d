// What each method must give for the dispatch fuzzer's arguments, worked
// out from the fixture table, the keys and the seed files: the documented
// result of every one of the 32 methods for every kind of input.
#ifndef QEL_TESTS_CONTROL_DISPATCH_FUZZ_EXPECTED_H
#define QEL_TESTS_CONTROL_DISPATCH_FUZZ_EXPECTED_H

#include "dispatch_fuzz_support.h"
#include "dispatch_fuzz_values.h"
#include "methods.h"

#include <string>
#include <utility>
#include <vector>

namespace fuzz {

// What a call must return.
struct CWant {
    enum Kind { Number, Exact, Signature, KeyText, CipherLength, Nothing };
    Kind kind = Nothing;
    long number = 0;
    std::string text;
    size_t length = 0;

    static CWant Long(long n) { CWant w; w.kind = Number; w.number = n; return w; }
    static CWant Str(std::string s) { CWant w; w.kind = Exact; w.text = std::move(s); return w; }
    static CWant SignatureBy(const fixtures::CFixture* f)
    {
        if (!Signs(f))
            return Str("");
        CWant w;
        w.kind = Signature;
        w.length = f->m_dwBits / 8;
        return w;
    }
};

// Whether a result is what `want` asks for, and both in words.
bool Satisfies(const CWant& want, const VARIANT& r);
std::string Describe(const CWant& want);
std::string DescribeResult(const VARIANT& r);

// How a file argument is taken: as the file it names, or refused.
enum class AsPath { Named, Refused };

struct CContext {
    bool logging;
};

// The result of method `m` for the arguments `a`.
CWant Expected(const methods::Method& m, const std::vector<const CValue*>& a, const CContext& ctx, AsPath as);

}  // namespace fuzz

#endif
