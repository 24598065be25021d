// The certificate fixtures of the Wine prefix: a machine whose user holds
// certificates with keys on USB keys.
//
//   certfixtures setup   make the fixtures exactly as the table says; does
//                        nothing when they already are
//   certfixtures reset   make them anew: registrations, containers, store
//   certfixtures list    print the table
//   certfixtures demo    a demonstration machine: the USB-key CSPs and only
//                        the demo certificates (fixtures::kDemoIds)
//
// A USB-key CSP is simulated by registering its name as a PROV_RSA_FULL
// provider with the registration of the software RSA provider (the same
// module), so CryptoAPI really opens its containers; a key container removed
// from it is a USB key that is not inserted. The "MY" store afterwards holds
// exactly the fixture certificates. Exit code 0 on success.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "certbuild.h"
#include "fixtures.h"

namespace {

using certbuild::Bytes;
using fixtures::CFixture;

const char kProviderKey[] = "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\";

struct CValue {
    std::string m_strName;
    DWORD m_dwType;
    Bytes m_data;
};

bool ReadValues(const std::string& key, std::vector<CValue>& values)
{
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    values.clear();
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameSize = sizeof(name);
        BYTE data[1024];
        DWORD dataSize = sizeof(data);
        DWORD type = 0;
        if (RegEnumValueA(h, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        values.push_back({std::string(name, nameSize), type, Bytes(data, data + dataSize)});
    }
    RegCloseKey(h);
    return !values.empty();
}

bool SameValues(const std::vector<CValue>& a, const std::vector<CValue>& b)
{
    if (a.size() != b.size())
        return false;
    for (const CValue& v : a) {
        bool found = false;
        for (const CValue& w : b)
            found = found || (_stricmp(v.m_strName.c_str(), w.m_strName.c_str()) == 0 && v.m_dwType == w.m_dwType &&
                              v.m_data == w.m_data);
        if (!found)
            return false;
    }
    return true;
}

bool RegisterProviders(bool onlyCheck)
{
    std::vector<CValue> software;
    if (!ReadValues(std::string(kProviderKey) + fixtures::kSoftwareCsp, software)) {
        std::fprintf(stderr, "certfixtures: the software provider is not registered\n");
        return false;
    }
    for (size_t i = 0; i < fixtures::kUsbCspCount; ++i) {
        const std::string key = std::string(kProviderKey) + fixtures::kUsbCsps[i];
        std::vector<CValue> present;
        if (ReadValues(key, present) && SameValues(present, software))
            continue;
        if (onlyCheck)
            return false;
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
        HKEY h = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
            ERROR_SUCCESS) {
            std::fprintf(stderr, "certfixtures: cannot register %s\n", fixtures::kUsbCsps[i]);
            return false;
        }
        bool ok = true;
        for (const CValue& v : software)
            ok = ok && RegSetValueExA(h, v.m_strName.c_str(), 0, v.m_dwType, v.m_data.data(),
                                      static_cast<DWORD>(v.m_data.size())) == ERROR_SUCCESS;
        RegCloseKey(h);
        if (!ok)
            return false;
    }
    return true;
}

// The CSP that creates and deletes a fixture's container: containers of the
// simulated USB keys live in the software provider's module, so any of the
// names reaches them.
const char* ContainerCsp(const CFixture& f)
{
    return f.m_pszProvider ? f.m_pszProvider : fixtures::kSoftwareCsp;
}

void DeleteContainer(const CFixture& f)
{
    HCRYPTPROV prov = 0;
    CryptAcquireContextA(&prov, f.Container().c_str(), ContainerCsp(f), PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

bool Create(HCERTSTORE store, const CFixture& f)
{
    DeleteContainer(f);
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, f.Container().c_str(), ContainerCsp(f), PROV_RSA_FULL, CRYPT_NEWKEYSET)) {
        std::fprintf(stderr, "certfixtures: cannot create container %s (%08lx)\n", f.Container().c_str(),
                     GetLastError());
        return false;
    }
    HCRYPTKEY key = 0;
    bool ok = CryptGenKey(prov, f.m_dwKeySpec, f.m_dwBits << 16 | CRYPT_EXPORTABLE, &key) != FALSE;
    if (key)
        CryptDestroyKey(key);
    certbuild::CCertSpec spec;
    spec.m_subject = certbuild::EncodeName(f.m_subject);
    spec.m_serial = static_cast<BYTE>(&f - &fixtures::All()[0] + 1);
    spec.m_paddingBytes = f.m_dwPaddingBytes;
    const Bytes der = ok ? certbuild::BuildCertificate(prov, f.m_dwKeySpec, spec) : Bytes();
    // Releasing the context stores the new key in the container.
    CryptReleaseContext(prov, 0);
    if (der.empty()) {
        std::fprintf(stderr, "certfixtures: cannot make the certificate of %s\n", f.m_pszId);
        return false;
    }

    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    ok = cert != nullptr;
    if (ok && f.m_pszProvider)
        ok = certbuild::SetKeyProv(cert, certbuild::Wide(f.Container().c_str()), certbuild::Wide(f.m_pszProvider),
                                   f.m_dwKeySpec);
    ok = ok && CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (cert)
        CertFreeCertificateContext(cert);
    if (!f.m_bContainerPresent)
        DeleteContainer(f);
    if (!ok)
        std::fprintf(stderr, "certfixtures: cannot store the certificate of %s\n", f.m_pszId);
    return ok;
}

// Empties "MY" and fills it with the fixtures `wanted` accepts.
bool Reset(bool (*wanted)(const CFixture&))
{
    if (!RegisterProviders(false))
        return false;
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (!store) {
        std::fprintf(stderr, "certfixtures: cannot open the MY store\n");
        return false;
    }
    // Empty the store, then fill it.
    std::vector<PCCERT_CONTEXT> old;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;)
        old.push_back(CertDuplicateCertificateContext(c));
    // Whether each deletion took is seen by the check that follows the reset.
    for (PCCERT_CONTEXT c : old)
        CertDeleteCertificateFromStore(c);  // frees c
    bool ok = true;
    for (const CFixture& f : fixtures::All())
        ok = ok && (!wanted(f) || Create(store, f));
    // Wine writes deletions to the registry only on an explicit commit.
    ok = CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) && ok;
    ok = CertCloseStore(store, 0) && ok;
    return ok;
}

// The container of `f` holds the key of `cert`, with the fixture's key spec.
bool ContainerMatches(const CFixture& f, PCCERT_CONTEXT cert)
{
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, f.Container().c_str(), ContainerCsp(f), PROV_RSA_FULL, 0))
        return false;
    DWORD size = 0;
    bool ok = CryptExportPublicKeyInfo(prov, f.m_dwKeySpec, X509_ASN_ENCODING, nullptr, &size) != FALSE;
    Bytes info(ok ? size : 0);
    ok = ok && CryptExportPublicKeyInfo(prov, f.m_dwKeySpec, X509_ASN_ENCODING,
                                        reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(info.data()), &size);
    ok = ok && CertComparePublicKeyInfo(X509_ASN_ENCODING, reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(info.data()),
                                        &cert->pCertInfo->SubjectPublicKeyInfo);
    CryptReleaseContext(prov, 0);
    return ok;
}

bool ContainerExists(const CFixture& f)
{
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, f.Container().c_str(), ContainerCsp(f), PROV_RSA_FULL, 0))
        return false;
    CryptReleaseContext(prov, 0);
    return true;
}

bool PropertyMatches(const CFixture& f, PCCERT_CONTEXT cert)
{
    DWORD size = 0;
    if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size))
        return f.m_pszProvider == nullptr;
    if (!f.m_pszProvider)
        return false;
    std::vector<BYTE> buffer(size);
    if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size))
        return false;
    const auto* info = reinterpret_cast<const CRYPT_KEY_PROV_INFO*>(buffer.data());
    return info->pwszProvName && info->pwszContainerName && info->dwKeySpec == f.m_dwKeySpec &&
           info->dwProvType == PROV_RSA_FULL && certbuild::Wide(f.m_pszProvider) == info->pwszProvName &&
           certbuild::Wide(f.Container().c_str()) == info->pwszContainerName;
}

// The prefix holds exactly the fixtures. With `report`, says what differs.
bool Complete(bool report)
{
    if (!RegisterProviders(true)) {
        if (report)
            std::fprintf(stderr, "certfixtures: a USB-key CSP is not registered as the software provider\n");
        return false;
    }
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (!store)
        return false;
    std::vector<int> seen(fixtures::All().size(), 0);
    bool ok = true;
    for (PCCERT_CONTEXT c = nullptr; ok && (c = CertEnumCertificatesInStore(store, c)) != nullptr;) {
        const CFixture* f = fixtures::Find(c);
        const char* wrong = !f ? "a certificate that is not a fixture"
                            : ++seen[static_cast<size_t>(f - &fixtures::All()[0])] != 1 ? "twice"
                            : !PropertyMatches(*f, c) ? "its key-provider property differs"
                            : (f->m_bContainerPresent ? !ContainerMatches(*f, c) : ContainerExists(*f))
                                ? "its container is not as it should be"
                                : nullptr;
        if (wrong) {
            if (report) {
                char subject[512] = "";
                CertNameToStrA(X509_ASN_ENCODING, &c->pCertInfo->Subject, CERT_X500_NAME_STR, subject,
                               sizeof(subject));
                std::fprintf(stderr, "certfixtures: %s (%s): %s\n", f ? f->m_pszId : "MY", subject, wrong);
            }
            CertFreeCertificateContext(c);
            ok = false;
        }
    }
    CertCloseStore(store, 0);
    for (size_t i = 0; ok && i < seen.size(); ++i) {
        if (seen[i] == 0) {
            if (report)
                std::fprintf(stderr, "certfixtures: %s: missing\n", fixtures::All()[i].m_pszId);
            ok = false;
        }
    }
    return ok;
}

void List()
{
    std::printf("%-15s %-6s %-5s %-48s %-26s %s\n", "id", "key", "bits", "provider", "container", "subject");
    for (const CFixture& f : fixtures::All())
        std::printf("%-15s %-6s %-5lu %-48s %-26s %s\n  (%s)\n", f.m_pszId,
                    f.m_pszProvider ? (f.m_dwKeySpec == AT_SIGNATURE ? "sign" : "xchg") : "-", f.m_dwBits,
                    f.m_pszProvider ? f.m_pszProvider : "(no key-provider property)",
                    f.m_pszProvider ? (f.Container() + (f.m_bContainerPresent ? "" : " (absent)")).c_str() : "-",
                    f.m_pszSubjectText, f.m_pszPurpose);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc == 2 ? argv[1] : "";
    if (command == "list") {
        List();
        return 0;
    }
    if (command == "demo") {
        if (!Reset(fixtures::IsDemo)) {
            std::fprintf(stderr, "certfixtures: the demo certificates could not be made\n");
            return 1;
        }
        for (const CFixture& f : fixtures::All())
            if (fixtures::IsDemo(f))
                std::printf("certfixtures: %s, key in \"%s\"\n", f.m_pszSubjectText, f.m_pszProvider);
        return 0;
    }
    if (command == "setup") {
        if (Complete(false)) {
            std::printf("certfixtures: %u certificates in place\n", static_cast<unsigned>(fixtures::All().size()));
            return 0;
        }
    } else if (command != "reset") {
        std::fprintf(stderr, "usage: certfixtures setup|reset|list|demo\n");
        return 2;
    }
    if (!Reset([](const CFixture&) { return true; }) || !Complete(true)) {
        std::fprintf(stderr, "certfixtures: the fixtures could not be made\n");
        return 1;
    }
    std::printf("certfixtures: %u certificates made\n", static_cast<unsigned>(fixtures::All().size()));
    return 0;
}
