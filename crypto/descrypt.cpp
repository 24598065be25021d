// DES-ECB encryption of texts and streams with PKCS #5 padding. The contract
// is in descrypt.h.
#include "descrypt.h"

#include "resultcodes.h"

#include <algorithm>
#include <cstring>

#include "base64.h"
#include "des.h"

namespace crypto {

namespace {

// Key text characters that can reach the 8 key bytes: three Base64 groups.
const uint32_t kKeyTextChars = 12;

// Cipher bytes encrypted and encoded per step of DesEncryptText(): a
// multiple of both the block size and the 3 bytes of a Base64 group, so that
// the pieces of text join without padding between them.
const uint32_t kTextBatch = 32 * 24;

}  // namespace

void DesKeyFromText(const char* keyText, unsigned char* key)
{
    uint32_t length = 0;
    while (length < kKeyTextChars && keyText[length] != '\0')
        ++length;
    unsigned char decoded[16] = {};
    uint32_t decodedLength = 0;
    Base64Decode(keyText, length, decoded, &decodedLength);  // result deliberately unchecked
    std::memcpy(key, decoded, 8);
}

std::size_t DesPad(unsigned char* buffer, std::size_t length)
{
    const std::size_t padded = DesPaddedLength(length);
    std::memset(buffer + length, static_cast<int>(padded - length), padded - length);
    return padded;
}

uint32_t DesTextCipherLength(uint32_t length)
{
    const uint32_t padded = static_cast<uint32_t>(DesPaddedLength(length));
    return 4 * ((padded + 2) / 3);
}

void DesEncryptText(const unsigned char* text, uint32_t length, const unsigned char* key, char* cipherText)
{
    DesSchedule schedule;
    DesKeySchedule(key, kDesEncrypt, &schedule);

    // Whole blocks come straight from the text; the last block, which holds
    // the padding, is built here.
    const uint32_t whole = length - length % 8;
    const uint32_t padded = whole + 8;
    unsigned char last[8];
    if (length > whole)
        std::memcpy(last, text + whole, length - whole);
    DesPad(last, length - whole);

    unsigned char cipher[kTextBatch];
    char* out = cipherText;
    *out = '\0';
    for (uint32_t done = 0; done < padded;) {
        const uint32_t n = std::min(kTextBatch, padded - done);
        const uint32_t fromText = std::min(n, whole - done);
        DesEcb(text + done, cipher, fromText, &schedule);
        if (fromText < n)
            DesBlock(last, cipher + fromText, &schedule);
        uint32_t written = 0;
        Base64Encode(cipher, n, out, &written);
        out += written;
        done += n;
    }
}

uint32_t CDesInput::ReadChunk(unsigned char* buffer, uint32_t size)
{
    uint32_t count = 0;
    while (count < size && !m_end && !m_failed) {
        uint32_t got = 0;
        if (!ReadSome(buffer + count, size - count, &got))
            m_failed = true;
        else if (got == 0)
            m_end = true;
        else
            count += std::min(got, size - count);
    }
    return count;
}

int DesEncryptStream(CDesInput& input, CDesOutput& output, const unsigned char* key)
{
    DesSchedule schedule;
    DesKeySchedule(key, kDesEncrypt, &schedule);

    // Room behind a chunk for the padding of the last one.
    unsigned char plain[kDesChunkSize + 8];
    unsigned char cipher[kDesChunkSize + 8];
    std::size_t count = input.ReadChunk(plain, kDesChunkSize);
    if (input.Failed())
        return qel::kFileFailed;
    for (;;) {
        // Every chunk before the end is full, a multiple of the block size.
        if (input.AtEnd())
            count = DesPad(plain, count);
        DesEcb(plain, cipher, count, &schedule);
        if (!output.Write(cipher, static_cast<uint32_t>(count)))
            return qel::kFileFailed;
        if (input.AtEnd())
            return qel::kResultOk;
        count = input.ReadChunk(plain, kDesChunkSize);
        if (input.Failed())
            return qel::kFileFailed;
    }
}

}  // namespace crypto
