// Building test certificates with the platform's own encoder and signer:
// subject names from attribute lists, and certificates signed by a key of a
// CSP container with chosen issuer, serial number and padding extension.
#ifndef QEL_TESTS_CERTS_CERTBUILD_H
#define QEL_TESTS_CERTS_CERTBUILD_H

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace certbuild {

using Bytes = std::vector<BYTE>;

// One attribute of a name: its OID and its value. A value made only of the
// PrintableString characters is written as one (as certificate authorities
// write ASCII names), any other as a UTF8String.
struct CAttr {
    const char* m_pszOid;
    std::wstring m_strValue;
};

CAttr Country(const wchar_t* value);
CAttr Org(const wchar_t* value);
CAttr Unit(const wchar_t* value);
CAttr Common(const wchar_t* value);

// The DER encoding of a name with one attribute per RDN, in the order given.
Bytes EncodeName(const std::vector<CAttr>& attrs);

// What goes into a certificate besides its key.
struct CCertSpec {
    Bytes m_subject;            // encoded name
    Bytes m_issuer;             // encoded name; empty: the subject (self-signed)
    BYTE m_serial = 1;
    DWORD m_paddingBytes = 0;   // size of an opaque non-critical extension; 0: none
};

// Encodes and signs (SHA-1 with RSA) a version 3 certificate for the public
// key `keySpec` of `prov`, signed by that same key, valid 2020-01-01 to
// 2049-12-31. Empty on failure.
Bytes BuildCertificate(HCRYPTPROV prov, DWORD keySpec, const CCertSpec& spec);

// Sets the key-provider property of `cert`: container, CSP (PROV_RSA_FULL) and key spec.
bool SetKeyProv(PCCERT_CONTEXT cert, const std::wstring& container, const std::wstring& provider, DWORD keySpec);

std::wstring Wide(const char* ansi);  // ANSI code page to UTF-16

}  // namespace certbuild

#endif
