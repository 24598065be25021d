// CCertStoreList on the fixture store and on scratch stores: loading in store
// order, the records GetCertInfo fills, and the certificates it refuses.
#include "certinfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certtest.h"
#include "certtext.h"
#include "fixtures.h"

using cert::CCertInfo;
using cert::CCertStoreList;
using cert::kMaxCertDerSize;

namespace {

using certbuild::Bytes;
using namespace certbuild;
using certtest::CEntry;
using certtest::Der;
using certtest::ExpectUntouched;
using certtest::Untouched;

TEST(CertStoreList, LoadsTheStoreInStoreOrder)
{
    const std::vector<CEntry> entries = certtest::Snapshot("MY");
    ASSERT_EQ(fixtures::All().size(), entries.size());
    CCertStoreList list;
    EXPECT_EQ(0, list.GetCount());
    EXPECT_EQ(static_cast<int>(entries.size()), list.LoadStore("MY"));
    EXPECT_EQ(static_cast<int>(entries.size()), list.LoadStore("MY")) << "a second load replaces the first";
    EXPECT_EQ(static_cast<int>(entries.size()), list.GetCount());
    for (int i = 0; i < list.GetCount(); ++i) {
        CCertInfo info;
        if (list.GetCertInfo(i, info)) {
            EXPECT_EQ(entries[static_cast<size_t>(i)].m_der, Der(info.m_strCertPem)) << i;
        }
    }
    list.Clear();
    EXPECT_EQ(0, list.GetCount());
}

TEST(CertStoreList, StoresThatCannotBeOpenedHoldNothing)
{
    CCertStoreList list;
    ASSERT_GT(list.LoadStore("MY"), 0);
    EXPECT_EQ(0, list.LoadStore(""));
    EXPECT_EQ(0, list.GetCount());
    ASSERT_GT(list.LoadStore("MY"), 0);
    EXPECT_EQ(0, list.LoadStore(nullptr));
    certtest::CScratchStore empty("empty");
    EXPECT_EQ(0, list.LoadStore(empty.Name()));
}

TEST(CertStoreList, RecordOfEachFixture)
{
    const std::vector<CEntry> entries = certtest::Snapshot("MY");
    CCertStoreList list;
    ASSERT_EQ(static_cast<int>(entries.size()), list.LoadStore("MY"));
    for (size_t i = 0; i < entries.size(); ++i) {
        const fixtures::CFixture* f = entries[i].m_pFixture;
        ASSERT_NE(nullptr, f);
        CCertInfo info = Untouched();
        const int rc = list.GetCertInfo(static_cast<int>(i), info);
        if (!f->m_pszProvider || entries[i].m_der.size() > kMaxCertDerSize) {
            EXPECT_EQ(0, rc) << f->m_pszId;
            ExpectUntouched(info);
            continue;
        }
        ASSERT_EQ(1, rc) << f->m_pszId;
        EXPECT_EQ(f->m_pszSubjectText, info.m_strSubject);
        EXPECT_EQ(f->m_pszProvider, info.m_strProvider);
        EXPECT_EQ(f->Container(), info.m_strContainer);
        EXPECT_EQ(f->m_dwKeySpec, info.m_dwKeySpec);
        EXPECT_EQ(7, info.m_nSignType) << "the sign type is the caller's";
        EXPECT_EQ(entries[i].m_der, Der(info.m_strCertPem));
        EXPECT_EQ(0u, info.m_strCertPem.find("-----BEGIN CERTIFICATE-----\r\n"));
    }
}

TEST(CertStoreList, IndexOutsideTheArray)
{
    CCertStoreList list;
    const int count = list.LoadStore("MY");
    ASSERT_GT(count, 0);
    for (int index : {-1, count, count + 1}) {
        CCertInfo info = Untouched();
        EXPECT_EQ(0, list.GetCertInfo(index, info)) << index;
        ExpectUntouched(info);
    }
    list.Clear();
    CCertInfo info = Untouched();
    EXPECT_EQ(0, list.GetCertInfo(0, info)) << "after Clear";
    ExpectUntouched(info);
}

TEST(CertStoreList, LargestCertificateThatFitsAndTheOneAbove)
{
    certtest::CTestKey key("der");
    certtest::CScratchStore store("der");
    const std::wstring provider = Wide(fixtures::kSoftwareCsp);
    for (DWORD size : {kMaxCertDerSize, kMaxCertDerSize + 1})
        ASSERT_TRUE(store.Add(key.Make({Common(std::to_wstring(size).c_str())}, size), L"edge", provider));
    const std::vector<CEntry> entries = certtest::Snapshot(store.Name());
    CCertStoreList list;
    ASSERT_EQ(2, list.LoadStore(store.Name()));
    for (int i = 0; i < 2; ++i) {
        const size_t size = entries[static_cast<size_t>(i)].m_der.size();
        CCertInfo info = Untouched();
        if (size == kMaxCertDerSize) {
            ASSERT_EQ(1, list.GetCertInfo(i, info));
            EXPECT_EQ(2046u, info.m_strCertPem.size());
            EXPECT_EQ(entries[static_cast<size_t>(i)].m_der, Der(info.m_strCertPem));
        } else {
            EXPECT_EQ(0, list.GetCertInfo(i, info)) << size;
            ExpectUntouched(info);
        }
    }
}

TEST(CertStoreList, PropertyLargerThanItsBufferIsRefused)
{
    certtest::CTestKey key("bigprop");
    certtest::CScratchStore store("bigprop");
    ASSERT_TRUE(store.Add(key.Make({Common(L"Big Property")}), certtest::Filler(1100), Wide(fixtures::kSoftwareCsp)));
    ASSERT_GT(certtest::Snapshot(store.Name()).at(0).m_dwPropSize, 2048u);
    CCertStoreList list;
    ASSERT_EQ(1, list.LoadStore(store.Name()));
    CCertInfo info = Untouched();
    EXPECT_EQ(0, list.GetCertInfo(0, info));
    ExpectUntouched(info);
}

}  // namespace
