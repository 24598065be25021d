// The certificate record both deliverables pass around, the certificates of
// one system store as an array, and the system certificate viewer.
#ifndef QEL_CERT_CERTINFO_H
#define QEL_CERT_CERTINFO_H

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "cryptoapi.h"

namespace cert {

// One certificate as the rest of the code sees it: owns its texts and holds no
// certificate context. A new record has empty texts, key spec 0 and sign type 0.
class CCertInfo {
public:
    CCertInfo() = default;
    CCertInfo(const CCertInfo&) = default;
    CCertInfo& operator=(const CCertInfo&) = default;
    CCertInfo(CCertInfo&&) = default;
    CCertInfo& operator=(CCertInfo&&) = default;
    virtual ~CCertInfo() = default;

    std::string m_strSubject;    // subject as CertNameToStrA writes it (0x10001, CERT_X500_NAME_STR)
    std::string m_strCertPem;    // the DER encoding as PEM text (DerToPem)
    std::string m_strProvider;   // CSP holding the private key (key-provider property)
    std::string m_strContainer;  // key container name (key-provider property)
    DWORD m_dwKeySpec = 0;       // AT_KEYEXCHANGE (1) or AT_SIGNATURE (2)
    long m_nSignType = 0;        // hash for signing and verifying: 0 = MD5, other = SHA-1
};

// The certificates of one system store, in store order, as duplicated
// contexts. The contexts are freed by Clear, by LoadStore and when the array
// is destroyed.
class CCertStoreList {
public:
    CCertStoreList() = default;
    CCertStoreList(const CCertStoreList&) = delete;
    CCertStoreList& operator=(const CCertStoreList&) = delete;
    virtual ~CCertStoreList();

    // Frees what is held, then duplicates every certificate of the current
    // user's system store `name` in store order. Returns the count held (0
    // when the store cannot be opened).
    int LoadStore(const char* name);

    // Frees every context held.
    void Clear();

    int GetCount() const;

    // Fills `info` (all but m_nSignType) from the certificate at `index` and
    // returns 1. Returns 0 and leaves `info` unchanged for an index outside
    // 0 .. count-1, a certificate without key-provider property, and one whose
    // property, subject text or PEM text would not fit its 2,048-byte buffer
    // (DER encodings above kMaxCertDerSize bytes).
    int GetCertInfo(int index, CCertInfo& info) const;

private:
    std::vector<capi::CCert> m_certs;
};

// Opens the certificate of `info` in the system certificate viewer: writes its
// DER bytes to a new temporary file (prefix "Test"), starts
// "rundll32.exe cryptext.dll,CryptExtOpenCER <file>" with WinExec (SW_SHOW)
// without waiting for it to end, waits 256 ms and deletes the file. Does
// nothing when m_strSubject is empty, and ends silently when the file cannot
// be written or the viewer cannot start. Always returns 1.
int ShowCertificate(const CCertInfo& info);

}  // namespace cert

#endif
