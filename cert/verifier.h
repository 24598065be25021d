// The signature verification engine of the control's Verify and VerifyFile
// and of the diagnostic tool's check of logged signatures.
//
// A signature is RSASSA-PKCS1-v1_5 over MD5 (sign type 0) or SHA-1 (any
// other sign type), as Base64 text of its bytes most significant first. The
// certificate travels with the call as PEM text or bare Base64 of its DER
// bytes; no private key and no certificate store are involved. Only
// info.m_strCertPem and info.m_nSignType are read.
//
// Results (qel::VerifyResult), checked in this order:
//   1 null data, 2 length 0, 3 a zero byte before the stated end,
//   4 null signature, 5 the text is not a certificate (or its DER encoding
//   exceeds kVerifyCertSize bytes), 9 no verification context of the default
//   PROV_RSA_FULL CSP, 7 the certificate's public key cannot be imported,
//   8 no hash object, 6 the signature does not match (also a signature text
//   that decodes to nothing or to more than kVerifySignatureSize bytes),
//   0 valid.
#ifndef QEL_CERT_VERIFIER_H
#define QEL_CERT_VERIFIER_H

#include <cstddef>
#include <cstdint>

#include "certinfo.h"
#include "cryptoapi.h"

namespace cert {

// Working buffers: the certificate's DER bytes and the decoded signature.
const uint32_t kVerifyCertSize = 2048;
const uint32_t kVerifySignatureSize = 512;

// Verifies `signature` over the `length` bytes at `data`, which must be
// followed by a zero byte: the data is a text whose zero-terminated length
// has to equal `length` (code 3 otherwise). Reads at most length + 1 bytes.
long VerifySignature(const CCertInfo& info, const char* data, size_t length, const char* signature);

// The same check over data that arrives in pieces, such as a file read in
// chunks, with the codes VerifySignature gives for the whole data followed by
// its terminating zero: an empty whole gives 2 and a whole with a zero byte
// anywhere gives 3. Memory use does not grow with the data.
//
// The CSP is opened at the first byte that is hashed, so a whole that ends
// with code 2 or 3 found in its first piece never reaches it.
class CSignatureVerifier {
public:
    // `info` and `signature` must outlive the object; a null signature gives 4.
    CSignatureVerifier(const CCertInfo& info, const char* signature);
    CSignatureVerifier(const CSignatureVerifier&) = delete;
    CSignatureVerifier& operator=(const CSignatureVerifier&) = delete;

    // Takes the next `count` bytes.
    void Update(const void* bytes, size_t count);

    // True once the code no longer depends on bytes still to come (a zero
    // byte was seen): callers may stop feeding.
    bool Decided() const { return m_zeroSeen; }

    // The code for the bytes taken so far as the whole data. Call once.
    long Finish();

private:
    // Steps from the certificate to the hash object; the code they give.
    long Prepare();

    const CCertInfo& m_info;
    const char* m_signature;
    uint64_t m_total = 0;
    bool m_zeroSeen = false;
    bool m_prepared = false;
    long m_prepareCode = 0;
    bool m_hashFailed = false;
    BYTE m_reversed[kVerifySignatureSize];
    DWORD m_signatureLength = 0;
    // Released in reverse order: hash, key, context.
    capi::CProv m_prov;
    capi::CKey m_key;
    capi::CHash m_hash;
};

}  // namespace cert

#endif
