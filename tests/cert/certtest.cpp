#include "certtest.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include "certtext.h"
#include "textconv.h"

#include <cstdio>

using cert::CCertInfo;
using cert::PemToDer;
using cert::kCertTextSize;

namespace certtest {

namespace {

std::string Narrow(const wchar_t* wide) { return qel::WideToAnsi(wide); }

std::string UniqueName(const char* kind, const char* tag)
{
    // Process ids come again after a restart of Wine's server: the tick
    // count and a counter keep a name left by a killed run from being met.
    static LONG counter = 0;
    char name[128];
    std::snprintf(name, sizeof(name), "qeltest-%s-%s-%lu-%lu-%ld", kind, tag, GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&counter));
    return name;
}

}  // namespace

std::vector<CEntry> Snapshot(const char* name)
{
    std::vector<CEntry> entries;
    HCERTSTORE store = CertOpenSystemStoreA(0, name);
    if (!store)
        return entries;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
        CEntry e;
        e.m_der.assign(c->pbCertEncoded, c->pbCertEncoded + c->cbCertEncoded);
        e.m_pFixture = fixtures::Find(c);
        DWORD size = 0;
        if (CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) {
            Bytes buffer(size);
            if (CertGetCertificateContextProperty(c, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size)) {
                const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
                e.m_bHasProp = true;
                e.m_dwPropSize = size;
                e.m_strProvider = Narrow(info->pwszProvName);
                e.m_strContainer = Narrow(info->pwszContainerName);
                e.m_dwKeySpec = info->dwKeySpec;
            }
        }
        entries.push_back(e);
    }
    CertCloseStore(store, 0);
    return entries;
}

size_t IndexOf(const std::vector<CEntry>& entries, const char* id)
{
    size_t found = entries.size();
    int count = 0;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].m_pFixture && std::string(entries[i].m_pFixture->m_pszId) == id) {
            found = i;
            ++count;
        }
    EXPECT_EQ(1, count) << "fixture " << id << " in the store";
    return found;
}

CScratchStore::CScratchStore(const char* tag) : m_name(UniqueName("store", tag))
{
    HCERTSTORE store = CertOpenSystemStoreA(0, m_name.c_str());
    EXPECT_NE(nullptr, store) << m_name;
    if (store)
        CertCloseStore(store, 0);
}

CScratchStore::~CScratchStore()
{
    CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER | CERT_STORE_DELETE_FLAG,
                  m_name.c_str());
    // Wine keeps the store's registry key; it goes with the store.
    SHDeleteKeyA(HKEY_CURRENT_USER, ("Software\\Microsoft\\SystemCertificates\\" + m_name).c_str());
}

bool CScratchStore::Add(const Bytes& der, const std::wstring& container, const std::wstring& provider, DWORD keySpec)
{
    HCERTSTORE store = CertOpenSystemStoreA(0, m_name.c_str());
    if (!store)
        return false;
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    bool ok = cert != nullptr;
    if (ok && !provider.empty())
        ok = certbuild::SetKeyProv(cert, container, provider, keySpec);
    ok = ok && CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_ALWAYS, nullptr);
    if (cert)
        CertFreeCertificateContext(cert);
    ok = CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) && ok;
    return CertCloseStore(store, 0) && ok;
}

CTestKey::CTestKey(const char* tag) : m_container(UniqueName("key", tag))
{
    HCRYPTPROV prov = 0;
    CryptAcquireContextA(&prov, m_container.c_str(), fixtures::kSoftwareCsp, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
    if (!CryptAcquireContextA(&m_prov, m_container.c_str(), fixtures::kSoftwareCsp, PROV_RSA_FULL,
                              CRYPT_NEWKEYSET)) {
        ADD_FAILURE() << "cannot create container " << m_container;
        m_prov = 0;
        return;
    }
    HCRYPTKEY key = 0;
    EXPECT_TRUE(CryptGenKey(m_prov, AT_KEYEXCHANGE, 1024u << 16, &key));
    if (key)
        CryptDestroyKey(key);
}

CTestKey::~CTestKey()
{
    if (m_prov)
        CryptReleaseContext(m_prov, 0);
    HCRYPTPROV prov = 0;
    CryptAcquireContextA(&prov, m_container.c_str(), fixtures::kSoftwareCsp, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

Bytes CTestKey::Make(const std::vector<certbuild::CAttr>& subject, DWORD size,
                     const std::vector<certbuild::CAttr>& issuer) const
{
    certbuild::CCertSpec spec;
    spec.m_subject = certbuild::EncodeName(subject);
    if (!issuer.empty())
        spec.m_issuer = certbuild::EncodeName(issuer);
    if (size == 0)
        return certbuild::BuildCertificate(m_prov, AT_KEYEXCHANGE, spec);
    // The padding's length bytes stay the same from 256 to 65,535 bytes, so
    // one correction lands on the size.
    spec.m_paddingBytes = 300;
    Bytes der = certbuild::BuildCertificate(m_prov, AT_KEYEXCHANGE, spec);
    if (der.empty() || size < der.size())
        return Bytes();
    spec.m_paddingBytes += size - static_cast<DWORD>(der.size());
    der = certbuild::BuildCertificate(m_prov, AT_KEYEXCHANGE, spec);
    EXPECT_EQ(size, der.size());
    return der;
}

std::wstring Filler(size_t length, const wchar_t* seed)
{
    const std::wstring letters(seed);
    std::wstring text(length, L' ');
    for (size_t i = 0; i < length; ++i)
        text[i] = letters[i % letters.size()];
    return text;
}

CCertInfo Untouched()
{
    CCertInfo info;
    info.m_strSubject = "subject";
    info.m_strCertPem = "pem";
    info.m_strProvider = "provider";
    info.m_strContainer = "container";
    info.m_dwKeySpec = 77;
    info.m_nSignType = 7;
    return info;
}

void ExpectUntouched(const CCertInfo& info)
{
    EXPECT_EQ("subject", info.m_strSubject);
    EXPECT_EQ("pem", info.m_strCertPem);
    EXPECT_EQ("provider", info.m_strProvider);
    EXPECT_EQ("container", info.m_strContainer);
    EXPECT_EQ(77u, info.m_dwKeySpec);
    EXPECT_EQ(7, info.m_nSignType);
}

certbuild::Bytes Der(const std::string& pem)
{
    certbuild::Bytes der(kCertTextSize);
    uint32_t length = 0;
    EXPECT_EQ(0, PemToDer(pem.c_str(), static_cast<uint32_t>(pem.size()), der.data(), kCertTextSize, &length));
    der.resize(length);
    return der;
}

}  // namespace certtest
