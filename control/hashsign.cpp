#include "hashsign.h"

#include "base64.h"
#include "cryptoapi.h"
#include "resultcodes.h"

#include <vector>

namespace capi = cert::capi;
using cert::CCertInfo;
using crypto::Base64Encode;

namespace {

// Size of the CSP's signature buffer and of the Base64 text.
const DWORD kSignBufferSize = 2048;
// Largest piece handed to one CryptHashData call.
const DWORD kHashChunk = 64 * 1024;

// Hashes whatever `input` delivers; false when reading or hashing fails.
bool HashInput(HCRYPTHASH hash, CSignInput& input)
{
    std::vector<BYTE> buffer(kHashChunk);
    for (;;) {
        DWORD count = 0;
        if (!input.Read(buffer.data(), kHashChunk, &count))
            return false;
        if (count == 0)
            return true;
        if (!capi::HashData(hash, buffer.data(), count))
            return false;
    }
}

// Steps after the hash object exists: hash, sign, reverse, encode.
template <class HashFn>
long SignWith(const CCertInfo& info, HashFn hashData, std::string& out)
{
    capi::CProv prov;
    if (!capi::AcquireContainer(info.m_strContainer.c_str(), info.m_strProvider.c_str(), prov))
        return qel::kHashSignOpenCsp;
    capi::CHash hash;
    if (!capi::CreateHash(prov.Get(), info.m_nSignType, hash))
        return qel::kHashSignCreateHash;
    if (!hashData(hash.Get()))
        return qel::kHashSignHashData;

    BYTE signature[kSignBufferSize];
    DWORD length = sizeof(signature);
    if (!capi::SignHash(hash.Get(), info.m_dwKeySpec, signature, &length) || length > kMaxSignatureSize)
        return qel::kHashSignSign;

    // The CSP gives the least significant byte first.
    BYTE reversed[kMaxSignatureSize];
    for (DWORD i = 0; i < length; ++i)
        reversed[i] = signature[length - 1 - i];
    char text[kSignBufferSize];
    uint32_t textLength = 0;
    Base64Encode(reversed, length, text, &textLength);
    out.assign(text, textLength);
    return qel::kHashSignOk;
}

}  // namespace

long HashAndSign(const CCertInfo& info, const BYTE* data, DWORD length, std::string& out)
{
    return SignWith(info, [&](HCRYPTHASH hash) { return capi::HashData(hash, data, length); }, out);
}

long HashAndSign(const CCertInfo& info, CSignInput& input, std::string& out)
{
    return SignWith(info, [&](HCRYPTHASH hash) { return HashInput(hash, input); }, out);
}
