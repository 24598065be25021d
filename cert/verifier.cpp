#include "verifier.h"

#include <cstring>

#include "base64.h"
#include "certtext.h"
#include "resultcodes.h"

using crypto::Base64Decode;

namespace cert {

namespace {

// Base64 characters that decode to more bytes than a signature may hold: the
// first 172 groups give 516 bytes unless a "=" ends the text earlier, and
// whatever follows such a group is ignored by the decoder. So decoding this
// prefix tells whether the whole text fits, and gives its bytes when it does.
const uint32_t kSignatureTextPrefix = 4 * 172;
const uint32_t kSignaturePrefixBytes = 3 * 172;
static_assert(kSignaturePrefixBytes > kVerifySignatureSize, "the prefix must be able to overflow the signature");

// Hands CryptHashData at most this many bytes per call.
const size_t kMaxHashStep = 0x40000000;

}  // namespace

CSignatureVerifier::CSignatureVerifier(const CCertInfo& info, const char* signature)
    : m_info(info), m_signature(signature)
{
}

long CSignatureVerifier::Prepare()
{
    m_prepared = true;

    // The certificate's DER bytes; a text that does not decode, or decodes to
    // more than the buffer holds, leaves none.
    BYTE der[kVerifyCertSize];
    uint32_t derLength = 0;
    const std::string& pem = m_info.m_strCertPem;
    if (pem.size() > UINT32_MAX ||
        PemToDer(pem.data(), static_cast<uint32_t>(pem.size()), der, kVerifyCertSize, &derLength) != 0)
        derLength = 0;

    // The signature, least significant byte first as the CSP takes it; a
    // text that decodes to nothing or to more than the buffer leaves none.
    const size_t textLength = std::strlen(m_signature);
    const uint32_t decodeLength =
        textLength < kSignatureTextPrefix ? static_cast<uint32_t>(textLength) : kSignatureTextPrefix;
    BYTE decoded[kSignaturePrefixBytes];
    uint32_t decodedLength = 0;
    if (Base64Decode(m_signature, decodeLength, decoded, &decodedLength) != 0 ||
        decodedLength > kVerifySignatureSize)
        decodedLength = 0;
    for (uint32_t i = 0; i < decodedLength; ++i)
        m_reversed[i] = decoded[decodedLength - 1 - i];
    m_signatureLength = decodedLength;

    capi::CCert cert;
    if (derLength == 0 || !capi::CreateCertificate(der, derLength, cert))
        return qel::kVerifyBadCertificate;
    if (!capi::AcquireVerifyContext(m_prov))
        return qel::kVerifyNoContext;
    if (!capi::ImportPublicKey(m_prov.Get(), cert.Get(), m_key))
        return qel::kVerifyNoPublicKey;
    cert.Reset();
    if (!capi::CreateHash(m_prov.Get(), m_info.m_nSignType, m_hash))
        return qel::kVerifyNoHash;
    return qel::kVerifyOk;
}

void CSignatureVerifier::Update(const void* bytes, size_t count)
{
    if (count == 0 || m_zeroSeen)
        return;
    m_total += count;
    if (std::memchr(bytes, 0, count)) {
        m_zeroSeen = true;
        return;
    }
    if (!m_signature)
        return;
    if (!m_prepared)
        m_prepareCode = Prepare();
    if (m_prepareCode != qel::kVerifyOk)
        return;
    const BYTE* p = static_cast<const BYTE*>(bytes);
    while (count > 0) {
        const size_t step = count < kMaxHashStep ? count : kMaxHashStep;
        if (!capi::HashData(m_hash.Get(), p, static_cast<DWORD>(step)))
            m_hashFailed = true;
        p += step;
        count -= step;
    }
}

long CSignatureVerifier::Finish()
{
    if (m_total == 0)
        return qel::kVerifyZeroLength;
    if (m_zeroSeen)
        return qel::kVerifyLengthMismatch;
    if (!m_signature)
        return qel::kVerifyNullSignature;
    if (!m_prepared)
        m_prepareCode = Prepare();
    long code = m_prepareCode;
    if (code == qel::kVerifyOk) {
        const bool valid = !m_hashFailed && m_signatureLength > 0 &&
                           capi::VerifyHashSignature(m_hash.Get(), m_reversed, m_signatureLength, m_key.Get());
        code = valid ? qel::kVerifyOk : qel::kVerifyMismatch;
    }
    m_hash.Reset();
    m_key.Reset();
    m_prov.Reset();
    return code;
}

long VerifySignature(const CCertInfo& info, const char* data, size_t length, const char* signature)
{
    if (!data)
        return qel::kVerifyNullData;
    if (length == 0)
        return qel::kVerifyZeroLength;
    if (std::memchr(data, 0, length) || data[length] != '\0')
        return qel::kVerifyLengthMismatch;
    if (!signature)
        return qel::kVerifyNullSignature;
    CSignatureVerifier verifier(info, signature);
    verifier.Update(data, length);
    return verifier.Finish();
}

}  // namespace cert
