#include "cryptoapi.h"

#include "textconv.h"

namespace cert::capi {

using qel::WideToAnsi;

bool OpenSystemStore(const char* name, CStore& store)
{
    *store.Receive() = CertOpenSystemStoreA(0, name);
    return static_cast<bool>(store);
}

CStoreWalk::~CStoreWalk()
{
    if (m_current)
        CertFreeCertificateContext(m_current);
}

PCCERT_CONTEXT CStoreWalk::Next()
{
    // The previous context is freed by the enumeration itself.
    m_current = CertEnumCertificatesInStore(m_store, m_current);
    return m_current;
}

bool DuplicateCertificate(PCCERT_CONTEXT cert, CCert& copy)
{
    *copy.Receive() = CertDuplicateCertificateContext(cert);
    return static_cast<bool>(copy);
}

bool CreateCertificate(const BYTE* der, DWORD length, CCert& cert)
{
    *cert.Receive() = CertCreateCertificateContext(X509_ASN_ENCODING, der, length);
    return static_cast<bool>(cert);
}

bool GetKeyProv(PCCERT_CONTEXT cert, CKeyProv& prov)
{
    // The property comes as a CRYPT_KEY_PROV_INFO followed by the data its
    // pointers point to.
    union {
        CRYPT_KEY_PROV_INFO info;
        BYTE bytes[kPropertySize];
    } buffer;
    ZeroMemory(&buffer, sizeof(buffer));
    DWORD size = kPropertySize;
    if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.bytes, &size))
        return false;
    prov.m_strProvider = WideToAnsi(buffer.info.pwszProvName);
    prov.m_strContainer = WideToAnsi(buffer.info.pwszContainerName);
    prov.m_dwKeySpec = buffer.info.dwKeySpec;
    return true;
}

bool FormatSubject(PCCERT_CONTEXT cert, std::string& subject)
{
    CERT_NAME_BLOB* name = &cert->pCertInfo->Subject;
    // Asked first for its size: a text cut to fit the buffer would still be
    // a valid-looking subject, with the wrong last attribute.
    const DWORD needed = CertNameToStrA(kEncoding, name, CERT_X500_NAME_STR, nullptr, 0);
    if (needed == 0 || needed > kPropertySize)
        return false;
    char text[kPropertySize];
    ZeroMemory(text, sizeof(text));
    CertNameToStrA(kEncoding, name, CERT_X500_NAME_STR, text, kPropertySize);
    text[kPropertySize - 1] = '\0';
    subject = text;
    return true;
}

bool AcquireContainer(const char* container, const char* provider, CProv& prov)
{
    return CryptAcquireContextA(prov.Receive(), container, provider, PROV_RSA_FULL, 0) && prov;
}

bool AcquireVerifyContext(CProv& prov)
{
    return CryptAcquireContextA(prov.Receive(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) && prov;
}

bool QueryProviderName(HCRYPTPROV prov, std::string& name)
{
    BYTE buffer[kProvNameSize];
    ZeroMemory(buffer, sizeof(buffer));
    DWORD size = kProvNameSize;
    if (!CryptGetProvParam(prov, PP_NAME, buffer, &size, 0))
        return false;
    buffer[kProvNameSize - 1] = 0;
    name = reinterpret_cast<const char*>(buffer);
    return true;
}

bool GetExchangeKey(HCRYPTPROV prov, CKey& key)
{
    return CryptGetUserKey(prov, AT_KEYEXCHANGE, key.Receive()) && key;
}

bool ImportPublicKey(HCRYPTPROV prov, PCCERT_CONTEXT cert, CKey& key)
{
    return CryptImportPublicKeyInfo(prov, kEncoding, &cert->pCertInfo->SubjectPublicKeyInfo, key.Receive()) && key;
}

bool CreateHash(HCRYPTPROV prov, long signType, CHash& hash)
{
    const ALG_ID algorithm = signType == 0 ? CALG_MD5 : CALG_SHA1;
    return CryptCreateHash(prov, algorithm, 0, 0, hash.Receive()) && hash;
}

bool HashData(HCRYPTHASH hash, const BYTE* data, DWORD length)
{
    return CryptHashData(hash, data, data ? length : 0, 0) != FALSE;
}

bool SignHash(HCRYPTHASH hash, DWORD keySpec, BYTE* signature, DWORD* length)
{
    return CryptSignHashA(hash, keySpec, nullptr, 0, signature, length) != FALSE;
}

bool VerifyHashSignature(HCRYPTHASH hash, const BYTE* signature, DWORD length, HCRYPTKEY key)
{
    return CryptVerifySignatureA(hash, signature, length, key, nullptr, 0) != FALSE;
}

bool EncryptBlock(HCRYPTKEY key, bool final, BYTE* data, DWORD* length, DWORD capacity)
{
    return CryptEncrypt(key, 0, final ? TRUE : FALSE, 0, data, length, capacity) != FALSE;
}

bool DecryptBlock(HCRYPTKEY key, bool final, BYTE* data, DWORD* length)
{
    return CryptDecrypt(key, 0, final ? TRUE : FALSE, 0, data, length) != FALSE;
}

bool GetBlockBytes(HCRYPTKEY key, DWORD* bytes)
{
    DWORD bits = 0;
    DWORD size = sizeof(bits);
    if (!CryptGetKeyParam(key, KP_BLOCKLEN, reinterpret_cast<BYTE*>(&bits), &size, 0) || bits == 0)
        return false;
    *bytes = bits / 8;
    return true;
}

}  // namespace cert::capi
