// FindCertByCnOu on the fixture store: store order, the CN and OU rules, the
// certificates that are never candidates, and the record a failed search
// leaves; on scratch stores, the 2,048-byte limits.
#include "certlookup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certtest.h"
#include "certtext.h"
#include "fixtures.h"

namespace capi = cert::capi;
using cert::CCertInfo;
using cert::kMaxCertDerSize;

namespace {

using certbuild::Bytes;
using namespace certbuild;
using certtest::CEntry;
using certtest::Der;
using certtest::ExpectUntouched;
using certtest::Untouched;

// The id of the fixture found for cn and ou ("" when none), after checking
// the record and the context handed back.
std::string Found(const char* cn, const char* ou, const char* store = "MY")
{
    CCertInfo info = Untouched();
    capi::CCert context;
    if (!FindCertByCnOu(store, cn, ou, info, context)) {
        EXPECT_FALSE(context) << "no context is handed back when nothing is found";
        EXPECT_EQ("subject", info.m_strSubject);
        EXPECT_EQ("pem", info.m_strCertPem);
        return "";
    }
    EXPECT_TRUE(context);
    if (!context)
        return "?";
    const Bytes der(context.Get()->pbCertEncoded, context.Get()->pbCertEncoded + context.Get()->cbCertEncoded);
    const fixtures::CFixture* f = fixtures::Find(context.Get());
    EXPECT_EQ(der, Der(info.m_strCertPem));
    EXPECT_EQ(7, info.m_nSignType) << "the sign type is the caller's";
    if (!f)
        return "(not a fixture)";
    EXPECT_EQ(f->m_pszSubjectText, info.m_strSubject);
    EXPECT_EQ(f->m_pszProvider, info.m_strProvider);
    EXPECT_EQ(f->Container(), info.m_strContainer);
    EXPECT_EQ(f->m_dwKeySpec, info.m_dwKeySpec);
    return f->m_pszId;
}

TEST(FindCertByCnOu, FirstMatchInStoreOrderWins)
{
    const std::vector<CEntry> entries = certtest::Snapshot("MY");
    const size_t a = certtest::IndexOf(entries, "zhangsan-a");
    const size_t b = certtest::IndexOf(entries, "zhangsan-b");
    EXPECT_EQ(a < b ? "zhangsan-a" : "zhangsan-b", Found("Zhang San", ""));
    EXPECT_EQ("zhangsan-a", Found("Zhang San", "Dept A"));
    EXPECT_EQ("zhangsan-b", Found("Zhang San", "Dept B"));
    EXPECT_EQ("", Found("Zhang San", "Dept C"));
}

TEST(FindCertByCnOu, EmptyOuMatchesAnyOuAndNone)
{
    EXPECT_EQ("wangwu-no-ou", Found("Wang Wu", ""));
    EXPECT_EQ("", Found("Wang Wu", "Dept A"));
    EXPECT_EQ("chinese", Found("\xC0\xEE\xCB\xC4", ""));
    EXPECT_EQ("chinese", Found("\xC0\xEE\xCB\xC4", "\xBC\xBC\xCA\xF5\xB2\xBF"));  // 李四, 技术部
}

TEST(FindCertByCnOu, SubjectWithoutCnHasTheEmptyCn)
{
    EXPECT_EQ("no-cn", Found("", ""));
    EXPECT_EQ("no-cn", Found("", "Dept A"));
    EXPECT_EQ("", Found("", "Dept B"));
}

TEST(FindCertByCnOu, NamesCompareByteForByte)
{
    EXPECT_EQ("zhangsan-lower", Found("zhang san", ""));
    EXPECT_EQ("", Found("ZHANG SAN", ""));
    EXPECT_EQ("", Found("Zhang San", "dept b"));
    EXPECT_EQ("", Found("Zhang San ", ""));
    EXPECT_EQ("", Found("Zhang", ""));
}

TEST(FindCertByCnOu, FirstOuAttributeAndCommaCn)
{
    EXPECT_EQ("li-two-ou", Found("Li", "Unit A"));
    EXPECT_EQ("", Found("Li", "Unit B")) << "only the first OU counts";
    // The CN "Li, Si" is formatted quoted and read up to the comma.
    EXPECT_EQ("li-two-ou", Found("Li", "")) << "not the comma CN";
    EXPECT_EQ("", Found("Li, Si", ""));
    EXPECT_EQ("", Found("\"Li, Si\"", ""));
    EXPECT_EQ("", Found("Li, Si", "Dept A"));
}

TEST(FindCertByCnOu, CertificatesThatAreNeverCandidates)
{
    EXPECT_EQ("", Found("No Key", "")) << "no key-provider property";
    EXPECT_EQ("", Found("Large Cert", "")) << "DER above 1,446 bytes";
    // Found although its key is absent or its CSP is not a USB key: the
    // lookup does not open keys.
    EXPECT_EQ("unplugged", Found("Unplugged", "Dept A"));
    EXPECT_EQ("software", Found("Soft Key", ""));
    EXPECT_EQ("provider-case", Found("Case Provider", ""));
    EXPECT_EQ("sign-only", Found("Sign Only", ""));
    EXPECT_EQ("rsa2048", Found("Big Key", ""));
}

TEST(FindCertByCnOu, FailedSearchLeavesTheLastPropertySeen)
{
    const std::vector<CEntry> entries = certtest::Snapshot("MY");
    const CEntry* last = nullptr;
    for (const CEntry& e : entries)
        if (e.m_bHasProp)
            last = &e;
    ASSERT_NE(nullptr, last);
    CCertInfo info = Untouched();
    capi::CCert context;
    EXPECT_EQ(0, FindCertByCnOu("MY", "Nobody", "", info, context));
    EXPECT_FALSE(context);
    EXPECT_EQ(last->m_strProvider, info.m_strProvider);
    EXPECT_EQ(last->m_strContainer, info.m_strContainer);
    EXPECT_EQ(last->m_dwKeySpec, info.m_dwKeySpec);
    EXPECT_EQ("subject", info.m_strSubject);
    EXPECT_EQ("pem", info.m_strCertPem);
    EXPECT_EQ(7, info.m_nSignType);
}

TEST(FindCertByCnOu, NullArgumentsAndStoresThatDoNotOpen)
{
    CCertInfo info = Untouched();
    capi::CCert context;
    EXPECT_EQ(0, FindCertByCnOu(nullptr, "Zhang San", "", info, context));
    EXPECT_EQ(0, FindCertByCnOu("MY", nullptr, "", info, context));
    EXPECT_EQ(0, FindCertByCnOu("MY", "Zhang San", nullptr, info, context));
    EXPECT_EQ(0, FindCertByCnOu("", "Zhang San", "", info, context));
    EXPECT_FALSE(context);
    EXPECT_EQ("provider", info.m_strProvider);
    EXPECT_EQ("subject", info.m_strSubject);
}

TEST(FindCertByCnOu, OversizedCertificatesAreSkippedNotFatal)
{
    certtest::CTestKey key("lookup");
    const std::wstring provider = Wide(fixtures::kSoftwareCsp);
    certtest::CScratchStore store("lookup");
    ASSERT_TRUE(store.Add(key.Make({Common(L"Edge")}, kMaxCertDerSize + 1), L"big-der", provider));
    ASSERT_TRUE(store.Add(key.Make({Common(L"Edge")}, 1000), L"small", provider));
    ASSERT_TRUE(store.Add(key.Make({Common(L"Fits")}, kMaxCertDerSize), L"fits", provider));
    ASSERT_TRUE(store.Add(key.Make({Common(L"Edge")}), certtest::Filler(1100), provider));  // property above 2,048

    CCertInfo info;
    capi::CCert context;
    ASSERT_EQ(1, FindCertByCnOu(store.Name(), "Edge", "", info, context));
    EXPECT_EQ(1000u, context.Get()->cbCertEncoded);
    EXPECT_EQ("small", info.m_strContainer);

    ASSERT_EQ(1, FindCertByCnOu(store.Name(), "Fits", "", info, context));
    EXPECT_EQ(kMaxCertDerSize, context.Get()->cbCertEncoded);
    EXPECT_EQ(2046u, info.m_strCertPem.size());
}

TEST(FindCertByCnOu, PropertyAboveItsBufferIsNeverCopied)
{
    certtest::CTestKey key("bigprop");
    certtest::CScratchStore store("bigprop");
    ASSERT_TRUE(store.Add(key.Make({Common(L"Edge")}), certtest::Filler(1100), Wide(fixtures::kSoftwareCsp)));
    CCertInfo info = Untouched();
    capi::CCert context;
    EXPECT_EQ(0, FindCertByCnOu(store.Name(), "Edge", "", info, context));
    EXPECT_EQ("provider", info.m_strProvider);
    EXPECT_EQ("container", info.m_strContainer);
    EXPECT_FALSE(context);
}

}  // namespace
