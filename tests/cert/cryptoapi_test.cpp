// The platform cryptography layer against the fixture store and keys:
// store walks, the key-provider property and the subject text within their
// 2,048-byte buffers, and signing, verifying and RSA encryption through the
// simulated USB-key CSPs.
#include "cryptoapi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "certtest.h"
#include "fixtures.h"

namespace capi = cert::capi;

namespace {

using certbuild::Bytes;
using namespace certbuild;
using certtest::CEntry;

const fixtures::CFixture& Fix(const char* id)
{
    return fixtures::Get(id);
}

Bytes DerOf(const char* id)
{
    const std::vector<CEntry> entries = certtest::Snapshot("MY");
    const size_t i = certtest::IndexOf(entries, id);
    return i < entries.size() ? entries[i].m_der : Bytes();
}

std::vector<Bytes> Walk(const char* name)
{
    std::vector<Bytes> ders;
    capi::CStore store;
    if (!capi::OpenSystemStore(name, store))
        return ders;
    capi::CStoreWalk walk(store.Get());
    while (PCCERT_CONTEXT c = walk.Next())
        ders.emplace_back(c->pbCertEncoded, c->pbCertEncoded + c->cbCertEncoded);
    return ders;
}

// Each certificate of a store through the layer, with the snapshot entry of
// the same position.
template <class F>
void ForEach(const char* name, F f)
{
    const std::vector<CEntry> entries = certtest::Snapshot(name);
    capi::CStore store;
    ASSERT_TRUE(capi::OpenSystemStore(name, store));
    capi::CStoreWalk walk(store.Get());
    size_t i = 0;
    while (PCCERT_CONTEXT c = walk.Next()) {
        ASSERT_LT(i, entries.size());
        f(c, entries[i++]);
    }
    EXPECT_EQ(entries.size(), i);
}

// A verify-only context, the certificate's public key and a hash of `data`
// check `signature` (least significant byte first).
bool Verifies(const Bytes& der, long signType, const std::string& data, const Bytes& signature)
{
    capi::CProv prov;
    capi::CCert cert;
    capi::CKey key;
    capi::CHash hash;
    return capi::AcquireVerifyContext(prov) && capi::CreateCertificate(der.data(), static_cast<DWORD>(der.size()), cert) &&
           capi::ImportPublicKey(prov.Get(), cert.Get(), key) && capi::CreateHash(prov.Get(), signType, hash) &&
           capi::HashData(hash.Get(), reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())) &&
           capi::VerifyHashSignature(hash.Get(), signature.data(), static_cast<DWORD>(signature.size()), key.Get());
}

// Stores

TEST(CryptoApiStore, WalkIsStableAndHoldsTheFixtures)
{
    const std::vector<Bytes> first = Walk("MY");
    EXPECT_EQ(fixtures::All().size(), first.size());
    EXPECT_EQ(first, Walk("MY"));
    std::vector<Bytes> snapshot;
    for (const CEntry& e : certtest::Snapshot("MY"))
        snapshot.push_back(e.m_der);
    EXPECT_EQ(snapshot, first);
}

TEST(CryptoApiStore, KeyProviderPropertyOfEachFixture)
{
    ForEach("MY", [](PCCERT_CONTEXT c, const CEntry& e) {
        ASSERT_NE(nullptr, e.m_pFixture);
        const fixtures::CFixture& f = *e.m_pFixture;
        capi::CKeyProv prov;
        prov.m_strProvider = "unchanged";
        if (!f.m_pszProvider) {
            EXPECT_FALSE(capi::GetKeyProv(c, prov)) << f.m_pszId;
            EXPECT_EQ("unchanged", prov.m_strProvider);
            return;
        }
        ASSERT_TRUE(capi::GetKeyProv(c, prov)) << f.m_pszId;
        EXPECT_EQ(f.m_pszProvider, prov.m_strProvider);
        EXPECT_EQ(f.Container(), prov.m_strContainer);
        EXPECT_EQ(f.m_dwKeySpec, prov.m_dwKeySpec);
    });
}

TEST(CryptoApiStore, KeyProviderPropertyMustFitTwoKilobytes)
{
    // The property grows by two bytes a container character; find the
    // container lengths that give 2,046, 2,048 and 2,050 bytes.
    certtest::CTestKey key("prop");
    certtest::CScratchStore probe("propprobe");
    const Bytes der = key.Make({Common(L"Probe")});
    ASSERT_TRUE(probe.Add(der, L"c", Wide(fixtures::kSoftwareCsp)));
    const DWORD base = certtest::Snapshot(probe.Name()).at(0).m_dwPropSize;
    ASSERT_EQ(0u, base % 2);

    certtest::CScratchStore store("propsize");
    for (DWORD size : {2046u, 2048u, 2050u}) {
        const std::wstring container = L"c" + certtest::Filler((size - base) / 2);
        ASSERT_TRUE(store.Add(key.Make({Common(std::to_wstring(size).c_str())}), container,
                              Wide(fixtures::kSoftwareCsp)));
    }
    int seen = 0;
    ForEach(store.Name(), [&seen](PCCERT_CONTEXT c, const CEntry& e) {
        ++seen;
        capi::CKeyProv prov;
        EXPECT_EQ(e.m_dwPropSize <= 2048, capi::GetKeyProv(c, prov)) << e.m_dwPropSize << " bytes";
        if (e.m_dwPropSize <= 2048) {
            EXPECT_EQ(e.m_strContainer, prov.m_strContainer);
        }
    });
    EXPECT_EQ(3, seen);
}

TEST(CryptoApiStore, SubjectTextOfEachFixture)
{
    ForEach("MY", [](PCCERT_CONTEXT c, const CEntry& e) {
        ASSERT_NE(nullptr, e.m_pFixture);
        std::string subject;
        ASSERT_TRUE(capi::FormatSubject(c, subject)) << e.m_pFixture->m_pszId;
        EXPECT_EQ(e.m_pFixture->m_pszSubjectText, subject);
    });
}

TEST(CryptoApiStore, SubjectTextMustFitTwoKilobytesInCodePage936)
{
    // "CN=" and the value: 2,047 bytes fit with the zero byte, 2,048 do not.
    // 李 is two bytes in code page 936.
    const struct { std::wstring value; size_t bytes; } cases[] = {
        {certtest::Filler(2044), 2047},
        {certtest::Filler(2045), 2048},
        {certtest::Filler(1022, L"\u674e"), 2047},
        {certtest::Filler(1022, L"\u674e") + L"a", 2048},
        {certtest::Filler(1023, L"\u674e"), 2049},
    };
    certtest::CTestKey key("subject");
    for (const auto& c : cases) {
        certtest::CScratchStore store("subject");
        ASSERT_TRUE(store.Add(key.Make({Common(c.value.c_str())})));
        ForEach(store.Name(), [&c](PCCERT_CONTEXT cert, const CEntry&) {
            std::string subject = "unchanged";
            const bool fits = c.bytes < 2048;
            EXPECT_EQ(fits, capi::FormatSubject(cert, subject)) << c.bytes << " bytes";
            if (fits) {
                EXPECT_EQ(c.bytes, subject.size());
            } else {
                EXPECT_EQ("unchanged", subject);
            }
        });
    }
}

TEST(CryptoApiStore, CertificatesFromDerBytes)
{
    const Bytes der = DerOf("zhangsan-a");
    capi::CCert cert, copy;
    ASSERT_TRUE(capi::CreateCertificate(der.data(), static_cast<DWORD>(der.size()), cert));
    ASSERT_TRUE(capi::DuplicateCertificate(cert.Get(), copy));
    EXPECT_EQ(der, Bytes(copy.Get()->pbCertEncoded, copy.Get()->pbCertEncoded + copy.Get()->cbCertEncoded));
    const Bytes truncated(der.begin(), der.begin() + der.size() / 2);
    EXPECT_FALSE(capi::CreateCertificate(truncated.data(), static_cast<DWORD>(truncated.size()), cert));
    EXPECT_FALSE(cert);
}

// Keys

class CryptoApiFixtureKeys : public testing::TestWithParam<const char*> {};

TEST_P(CryptoApiFixtureKeys, SignaturesVerifyWithTheCertificate)
{
    const fixtures::CFixture& f = Fix(GetParam());
    const Bytes der = DerOf(f.m_pszId);
    capi::CProv prov;
    ASSERT_TRUE(capi::AcquireContainer(f.Container().c_str(), f.m_pszProvider, prov));
    std::string name;
    ASSERT_TRUE(capi::QueryProviderName(prov.Get(), name));
    EXPECT_EQ(f.m_pszProvider, name);

    const std::string data = "\xC7\xA9\xC3\xFB data to sign";
    for (long signType : {0L, 1L}) {
        capi::CHash hash;
        ASSERT_TRUE(capi::CreateHash(prov.Get(), signType, hash));
        ASSERT_TRUE(capi::HashData(hash.Get(), reinterpret_cast<const BYTE*>(data.data()),
                                   static_cast<DWORD>(data.size())));
        Bytes signature(2048);
        DWORD length = static_cast<DWORD>(signature.size());
        ASSERT_TRUE(capi::SignHash(hash.Get(), f.m_dwKeySpec, signature.data(), &length)) << signType;
        signature.resize(length);
        EXPECT_EQ(f.m_dwBits / 8, length);

        EXPECT_TRUE(Verifies(der, signType, data, signature)) << signType;
        EXPECT_FALSE(Verifies(der, signType, data + "!", signature)) << "other data";
        EXPECT_FALSE(Verifies(der, 1 - signType, data, signature)) << "other hash";
        Bytes reversed(signature.rbegin(), signature.rend());
        EXPECT_FALSE(Verifies(der, signType, data, reversed)) << "most significant byte first";
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, CryptoApiFixtureKeys,
                         testing::Values("zhangsan-a", "sign-only", "rsa2048", "provider-case", "chinese", "software"));

TEST(CryptoApiEncryption, BlocksRoundTripWithTheExchangeKey)
{
    for (const char* id : {"zhangsan-b", "rsa2048"}) {
        const fixtures::CFixture& f = Fix(id);
        capi::CProv prov;
        capi::CKey key;
        ASSERT_TRUE(capi::AcquireContainer(f.Container().c_str(), f.m_pszProvider, prov)) << id;
        ASSERT_TRUE(capi::GetExchangeKey(prov.Get(), key)) << id;
        const DWORD block = f.m_dwBits / 8;
        for (DWORD piece : {0u, 1u, 100u}) {
            Bytes buffer(256, 0);
            for (DWORD i = 0; i < piece; ++i)
                buffer[i] = static_cast<BYTE>(0xA0 + i);
            const Bytes plain(buffer.begin(), buffer.begin() + piece);
            const Bytes before(buffer.begin(), buffer.begin() + block);
            DWORD length = piece;
            ASSERT_TRUE(capi::EncryptBlock(key.Get(), true, buffer.data(), &length, block)) << id << " " << piece;
            ASSERT_EQ(block, length);
            // The padding is random: single bytes of the block may equal the
            // plain text by chance, the whole block never does.
            EXPECT_NE(before, Bytes(buffer.begin(), buffer.begin() + block)) << id << " " << piece;
            ASSERT_TRUE(capi::DecryptBlock(key.Get(), true, buffer.data(), &length));
            EXPECT_EQ(plain, Bytes(buffer.begin(), buffer.begin() + length)) << id << " " << piece;
        }
        Bytes small(block - 1);
        DWORD length = 10;
        EXPECT_FALSE(capi::EncryptBlock(key.Get(), true, small.data(), &length, block - 1)) << "capacity below a block";
    }
}

TEST(CryptoApiKeys, AbsentKeysDoNotOpen)
{
    capi::CProv prov;
    const fixtures::CFixture& unplugged = Fix("unplugged");
    EXPECT_FALSE(capi::AcquireContainer(unplugged.Container().c_str(), unplugged.m_pszProvider, prov));
    EXPECT_FALSE(prov);
    // A listed CSP that is not installed on this machine.
    EXPECT_FALSE(capi::AcquireContainer(Fix("zhangsan-a").Container().c_str(),
                                        "Tarvex Base Cryptographic Provider v1.0", prov));
    // A container holding only a signature key has no key-exchange key.
    const fixtures::CFixture& signOnly = Fix("sign-only");
    ASSERT_TRUE(capi::AcquireContainer(signOnly.Container().c_str(), signOnly.m_pszProvider, prov));
    capi::CKey key;
    EXPECT_FALSE(capi::GetExchangeKey(prov.Get(), key));
}

TEST(CryptoApiKeys, NullDataHashesNothing)
{
    capi::CProv prov;
    ASSERT_TRUE(capi::AcquireVerifyContext(prov));
    capi::CHash hash;
    ASSERT_TRUE(capi::CreateHash(prov.Get(), 0, hash));
    ASSERT_TRUE(capi::HashData(hash.Get(), nullptr, 5));
    BYTE value[16];
    DWORD size = sizeof(value);
    ASSERT_TRUE(CryptGetHashParam(hash.Get(), HP_HASHVAL, value, &size, 0));
    const BYTE emptyMd5[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                               0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
    EXPECT_EQ(Bytes(emptyMd5, emptyMd5 + 16), Bytes(value, value + size));
}

}  // namespace
