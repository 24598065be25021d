// Certificate public-key encryption and private-key decryption: texts and
// files encrypted for the holder of a certificate of the current user's "MY"
// store, found by CN and OU, and decrypted again with its private key.
//
// Both directions use the key-exchange key of the certificate's container
// (CryptGetUserKey), so the USB key holding it must be present either way.
// Plain data goes in pieces of 100 bytes, one RSAES-PKCS1-v1_5 block each, the
// blocks kept in the CSP's byte order (least significant first). Texts carry
// the blocks as Base64 (172 characters for a 1024-bit key), files as raw
// bytes. The text methods report their outcome only to the diagnostic log;
// the file methods return 0 or 1.
#include "qelcryptctrl.h"

#include "pubkey.h"

#include <cstring>

#include "base64.h"
#include "certinfo.h"
#include "certlookup.h"
#include "cryptoapi.h"
#include "diskfile.h"
#include "logstep.h"
#include "pathname.h"
#include "resultcodes.h"

namespace capi = cert::capi;
using cert::CCertInfo;
using crypto::Base64Decode;
using crypto::Base64Encode;

namespace {

const size_t kPlainPiece = 100;      // plain bytes per block, below the 117 a 1024-bit key takes
const size_t kCipherPiece = 172;     // Base64 characters of one 128-byte block
const DWORD kBlockBufferSize = 200;  // CryptPubKey's block buffer, and its capacity for CryptEncrypt
const DWORD kTextBufferSize = 2048;  // Base64 text of one block
const DWORD kFileBlock = 128;        // cipher bytes per block read by DecryptFilePriKey
const DWORD kFileCapacity = 256;     // CryptFilePubKey's capacity for CryptEncrypt
// CryptDecrypt gets no capacity: the CSP works on a whole key-sized block in
// place, however few bytes it is given. Room for the largest RSA key
// (16,384 bits), so no key the container holds can take it past the buffer.
const DWORD kDecryptBufferSize = 2048;

// The certificate found by CN and OU and its container's key-exchange key.
// Destroyed in the order key, context, certificate.
struct CCertKey {
    capi::CCert cert;
    capi::CProv prov;
    capi::CKey key;
};

// Finds the certificate and opens its key (K1 container, K2 provider name,
// K3 key-exchange key): 0, or the code of the step that failed (1015 to 1018).
long OpenCertKey(const char* cn, const char* ou, CCertKey& ck)
{
    CCertInfo info;
    if (!FindCertByCnOu("MY", cn, ou, info, ck.cert))
        return qel::kCertNotFound;
    if (!capi::AcquireContainer(info.m_strContainer.c_str(), info.m_strProvider.c_str(), ck.prov))
        return qel::kCertNoContext;
    std::string name;
    if (!capi::QueryProviderName(ck.prov.Get(), name))
        return qel::kCertNoContextParam;
    if (!capi::GetExchangeKey(ck.prov.Get(), ck.key))
        return qel::kCertNoKey;
    return qel::kResultOk;
}

// The end of a file method: releases in the order certificate, input,
// output, key, context, then puts the output in place when all went well.
long Finish(long status, CCertKey& ck, qel::CDiskSource& in, qel::CStagedSink& out)
{
    ck.cert.Reset();
    in.Close();
    if (!out.Close())
        status = qel::kFileFailed;
    ck.key.Reset();
    ck.prov.Reset();
    if (status == qel::kResultOk && !out.Commit())
        status = qel::kFileFailed;
    return status;
}

// The common start of the file methods: the input opened, the key of the
// certificate opened, and only then the output staged beside its place.
// The input is read as a plain binary open reads it: others may go on
// reading and writing it.
bool OpenFileJob(const char* file, const std::string& output, const char* cn, const char* ou, qel::CDiskSource& in,
                 CCertKey& ck, qel::CStagedSink& out)
{
    // An output name that comes back to the input ("x.gue." less its
    // extension is "x.gue") would replace the file being read.
    return in.Open(file, qel::CDiskSource::Sharing::ReadWrite) && !qel::IsSameFile(in.Handle(), output) &&
           OpenCertKey(cn, ou, ck) == qel::kResultOk && out.Create(output);
}

}  // namespace

std::string CQelCryptCtrl::CryptPubKey(const char* str, const char* cn, const char* ou)
{
    std::string result;
    const std::vector<std::string> pieces = SplitByLength(str ? str : "", kPlainPiece);
    long code = qel::kResultOk;
    {
        CCertKey ck;
        code = OpenCertKey(cn, ou, ck);
        const bool opened = code == qel::kResultOk;
        for (size_t i = 0; opened && i < pieces.size(); ++i) {
            BYTE block[kBlockBufferSize];
            ZeroMemory(block, sizeof(block));
            std::memcpy(block, pieces[i].data(), pieces[i].size());
            DWORD length = static_cast<DWORD>(pieces[i].size());
            // A failed piece adds nothing; the others still go in.
            if (!capi::EncryptBlock(ck.key.Get(), true, block, &length, kBlockBufferSize) ||
                length > kBlockBufferSize) {
                code = qel::kEncryptFailed;
                continue;
            }
            char text[kTextBufferSize];
            ZeroMemory(text, sizeof(text));
            uint32_t textLength = 0;
            Base64Encode(block, length, text, &textLength);
            result.append(text, textLength);
        }
    }
    LogOutcome(LoggedOperation::CryptPubKey, code);
    return result;
}

std::string CQelCryptCtrl::DecryptPriKey(const char* str, const char* cn, const char* ou)
{
    std::string result;
    const std::vector<std::string> pieces = SplitByLength(str ? str : "", kCipherPiece);
    long code = qel::kResultOk;
    {
        CCertKey ck;
        code = OpenCertKey(cn, ou, ck);
        const bool opened = code == qel::kResultOk;
        // A piece that does not decode to one whole block of the key cannot
        // decrypt; it fails without costing the CSP (a USB key) a private-key
        // operation, so that a long text of garbage is refused quickly.
        DWORD block = 0;
        if (opened && !capi::GetBlockBytes(ck.key.Get(), &block))
            block = 0;
        for (size_t i = 0; opened && i < pieces.size(); ++i) {
            BYTE buffer[kDecryptBufferSize];
            ZeroMemory(buffer, sizeof(buffer));
            // A piece that does not decode goes on with no bytes, and fails below.
            uint32_t decoded = 0;
            Base64Decode(pieces[i].c_str(), static_cast<uint32_t>(pieces[i].size()), buffer, &decoded);
            DWORD length = decoded;
            if ((block != 0 && decoded != block) || !capi::DecryptBlock(ck.key.Get(), true, buffer, &length) ||
                length >= kDecryptBufferSize) {
                code = qel::kDecryptFailed;
                continue;
            }
            buffer[length] = 0;
            result += reinterpret_cast<const char*>(buffer);  // up to its first zero byte
        }
    }
    LogOutcome(LoggedOperation::DecryptPriKey, code);
    return result;
}

long CQelCryptCtrl::CryptFilePubKey(const char* file, const char* cn, const char* ou)
{
    // ".gue" is always appended, and the name must still fit a path buffer.
    std::string output;
    if (!qel::OutputName(file, ".gue", output))
        return qel::kFileFailed;
    qel::CDiskSource in;
    CCertKey ck;
    qel::CStagedSink out;
    if (!OpenFileJob(file, output, cn, ou, in, ck, out))
        return qel::kFileFailed;

    // Full pieces, then the last, short one (0 to 99 bytes) with the final
    // flag: a size that is a multiple of 100 ends with the block of an empty
    // piece, so the output holds size / 100 + 1 blocks.
    long status = qel::kResultOk;
    BYTE block[kFileCapacity];
    for (;;) {
        DWORD got = 0;
        if (!in.ReadUpTo(block, kPlainPiece, &got)) {
            status = qel::kFileFailed;
            break;
        }
        const bool last = got < kPlainPiece;
        DWORD length = got;
        // A piece that fails to encrypt is left out; the status stays.
        if (capi::EncryptBlock(ck.key.Get(), last, block, &length, kFileCapacity) && length <= kFileCapacity &&
            !out.WriteAll(block, length)) {
            status = qel::kFileFailed;
            break;
        }
        if (last)
            break;
    }
    return Finish(status, ck, in, out);
}

long CQelCryptCtrl::DecryptFilePriKey(const char* file, const char* cn, const char* ou)
{
    if (!qel::FitsPathBuffer(file))
        return qel::kFileFailed;
    const size_t length = std::strlen(file);
    // The output is the name without its extension. A name without one
    // would be the input itself, which must not be overwritten.
    const size_t cut = qel::ExtensionStart(file, qel::IsAnsiLeadByte);
    if (cut == length)
        return qel::kFileFailed;
    const std::string output(file, cut);
    qel::CDiskSource in;
    CCertKey ck;
    qel::CStagedSink out;
    if (!OpenFileJob(file, output, cn, ou, in, ck, out))
        return qel::kFileFailed;

    long status = qel::kResultOk;
    BYTE buffer[kDecryptBufferSize];
    ZeroMemory(buffer, sizeof(buffer));
    for (;;) {
        DWORD got = 0;
        if (!in.ReadUpTo(buffer, kFileBlock, &got)) {
            status = qel::kFileFailed;
            break;
        }
        if (got == 0)
            break;
        // A whole block is decrypted even after a short read: the blocks of
        // an intact file are all whole, so the short tail of a damaged one fails.
        const bool last = got < kFileBlock;
        DWORD plain = kFileBlock;
        if (!capi::DecryptBlock(ck.key.Get(), last, buffer, &plain) || plain > kDecryptBufferSize ||
            !out.WriteAll(buffer, plain)) {
            status = qel::kFileFailed;
            break;
        }
        if (last)
            break;
    }
    return Finish(status, ck, in, out);
}
