// The platform cryptography layer: owners for the CryptoAPI handles the
// system holds, and the calls it makes, each with the fixed arguments the
// system passes. CryptoAPI and the CSPs behind it do the work; this layer
// only pins down how they are called and releases what they hand out.
//
// Every call reports success or failure only (a null handle or a false
// result); the platform's error code is never part of a decision.
#ifndef QEL_CERT_CRYPTOAPI_H
#define QEL_CERT_CRYPTOAPI_H

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "handle.h"

namespace cert::capi {

// Encoding of every certificate and name the system reads.
const DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;  // 0x10001

// Working buffer of the key-provider property and the subject text.
const DWORD kPropertySize = 2048;

// Buffer of the provider-name query.
const DWORD kProvNameSize = 1000;

struct CProvTraits : qel::CNullInvalid<HCRYPTPROV> {
    static void Release(Handle handle) { CryptReleaseContext(handle, 0); }
};
struct CKeyTraits : qel::CNullInvalid<HCRYPTKEY> {
    static void Release(Handle handle) { CryptDestroyKey(handle); }
};
struct CHashTraits : qel::CNullInvalid<HCRYPTHASH> {
    static void Release(Handle handle) { CryptDestroyHash(handle); }
};
struct CStoreTraits : qel::CNullInvalid<HCERTSTORE> {
    static void Release(Handle handle) { CertCloseStore(handle, CERT_CLOSE_STORE_CHECK_FLAG); }
};
struct CCertTraits : qel::CNullInvalid<PCCERT_CONTEXT> {
    static void Release(Handle handle) { CertFreeCertificateContext(handle); }
};

using CProv = qel::CHandle<CProvTraits>;    // a CSP context
using CKey = qel::CHandle<CKeyTraits>;      // a key of a CSP context
using CHash = qel::CHandle<CHashTraits>;    // a hash object
using CStore = qel::CHandle<CStoreTraits>;  // a certificate store, closed with CERT_CLOSE_STORE_CHECK_FLAG
using CCert = qel::CHandle<CCertTraits>;    // a certificate context

// ---- Certificate stores and certificates ----

// Opens the current user's system store `name` (CertOpenSystemStoreA, no
// provider handle).
bool OpenSystemStore(const char* name, CStore& store);

// Walks a store in store order (CertEnumCertificatesInStore). The context of
// the current position belongs to the walk: it is handed on to the next step
// and freed when the walk ends early.
class CStoreWalk {
public:
    explicit CStoreWalk(HCERTSTORE store) : m_store(store) {}
    CStoreWalk(const CStoreWalk&) = delete;
    CStoreWalk& operator=(const CStoreWalk&) = delete;
    ~CStoreWalk();

    // The next certificate, or null at the end of the store.
    PCCERT_CONTEXT Next();

private:
    HCERTSTORE m_store;
    PCCERT_CONTEXT m_current = nullptr;
};

// CertDuplicateCertificateContext; false for a null duplicate.
bool DuplicateCertificate(PCCERT_CONTEXT cert, CCert& copy);

// A certificate from its DER bytes (CertCreateCertificateContext, X509_ASN_ENCODING).
bool CreateCertificate(const BYTE* der, DWORD length, CCert& cert);

// The key-provider property of a certificate, names as 8-bit text.
struct CKeyProv {
    std::string m_strProvider;
    std::string m_strContainer;
    DWORD m_dwKeySpec = 0;
};

// Fetches CERT_KEY_PROV_INFO_PROP_ID into a zeroed kPropertySize-byte buffer.
// False when the certificate has no such property or it does not fit.
bool GetKeyProv(PCCERT_CONTEXT cert, CKeyProv& prov);

// Formats the certificate's subject with CertNameToStrA (kEncoding,
// CERT_X500_NAME_STR) into a zeroed kPropertySize-byte buffer. False when the
// text, with its terminating zero, needs more than that buffer.
bool FormatSubject(PCCERT_CONTEXT cert, std::string& subject);

// ---- Key containers ----

// Opens container `container` of CSP `provider`: PROV_RSA_FULL, flags 0.
bool AcquireContainer(const char* container, const char* provider, CProv& prov);

// A verification-only context of the default PROV_RSA_FULL CSP (CRYPT_VERIFYCONTEXT).
bool AcquireVerifyContext(CProv& prov);

// The CSP's name (PP_NAME into a kProvNameSize-byte buffer, flags 0): the
// liveness test of an opened container.
bool QueryProviderName(HCRYPTPROV prov, std::string& name);

// The container's key-exchange key (CryptGetUserKey, AT_KEYEXCHANGE).
bool GetExchangeKey(HCRYPTPROV prov, CKey& key);

// The public key of a certificate (CryptImportPublicKeyInfo, kEncoding).
bool ImportPublicKey(HCRYPTPROV prov, PCCERT_CONTEXT cert, CKey& key);

// ---- Hashing and signatures ----

// A hash object: CALG_MD5 for sign type 0, CALG_SHA1 for any other; no key, flags 0.
bool CreateHash(HCRYPTPROV prov, long signType, CHash& hash);

// CryptHashData, flags 0. A null data pointer hashes zero bytes.
bool HashData(HCRYPTHASH hash, const BYTE* data, DWORD length);

// CryptSignHashA with key spec `keySpec`, no description, flags 0. *length
// gives the capacity of `signature` and receives the signature's length. The
// signature comes least significant byte first.
bool SignHash(HCRYPTHASH hash, DWORD keySpec, BYTE* signature, DWORD* length);

// CryptVerifySignatureA with no description, flags 0; the signature least
// significant byte first.
bool VerifyHashSignature(HCRYPTHASH hash, const BYTE* signature, DWORD length, HCRYPTKEY key);

// ---- RSA encryption (RSAES-PKCS1-v1_5, one block per call) ----

// CryptEncrypt in place, no hash, flags 0. *length gives the plain length and
// receives the block's length; `capacity` is the size of `data`.
bool EncryptBlock(HCRYPTKEY key, bool final, BYTE* data, DWORD* length, DWORD capacity);

// CryptDecrypt in place, no hash, flags 0. *length gives the block's length
// and receives the plain length.
bool DecryptBlock(HCRYPTKEY key, bool final, BYTE* data, DWORD* length);

// The size in bytes of one cipher block of an RSA key pair (KP_BLOCKLEN, the
// modulus' size); false when the CSP does not tell.
bool GetBlockBytes(HCRYPTKEY key, DWORD* bytes);

}  // namespace cert::capi

#endif
