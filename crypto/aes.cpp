// Rijndael block cipher: key schedule, table-driven block paths and the
// buffer modes. The contract is in aes.h.
#include "aes.h"
#include "bytes.h"

#include <cstring>

#include "aes_tables.inc"

namespace crypto {

const unsigned char CAesCipher::kInitialChain[32] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f,
};

namespace {

const char kEmptyKey[] = "Empty key";
const char kBadKeyLength[] = "Incorrect key length";
const char kBadBlockLength[] = "Incorrect block length";
const char kNoKey[] = "Object not Initialized";
const char kBadDataLength[] = "Data not multiple of Block Size";

// Byte of row 0..3 of a column word.
inline unsigned B0(uint32_t w) { return w >> 24; }
inline unsigned B1(uint32_t w) { return (w >> 16) & 0xff; }
inline unsigned B2(uint32_t w) { return (w >> 8) & 0xff; }
inline unsigned B3(uint32_t w) { return w & 0xff; }

// One output column of a full round: a, b, c, d are the input columns whose
// row 0, 1, 2, 3 bytes ShiftRows brings into this column.
inline uint32_t EncColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k)
{
    return kTe0[B0(a)] ^ kTe1[B1(b)] ^ kTe2[B2(c)] ^ kTe3[B3(d)] ^ k;
}

inline uint32_t DecColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k)
{
    return kTd0[B0(a)] ^ kTd1[B1(b)] ^ kTd2[B2(c)] ^ kTd3[B3(d)] ^ k;
}

// Column word from the bytes of rows 0 to 3.
inline uint32_t Pack(unsigned r0, unsigned r1, unsigned r2, unsigned r3)
{
    return static_cast<uint32_t>(r0) << 24 | static_cast<uint32_t>(r1) << 16 |
           static_cast<uint32_t>(r2) << 8 | static_cast<uint32_t>(r3);
}

// One output column of the last round (no MixColumns).
inline uint32_t EncLast(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k)
{
    return Pack(kSbox[B0(a)], kSbox[B1(b)], kSbox[B2(c)], kSbox[B3(d)]) ^ k;
}

inline uint32_t DecLast(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k)
{
    return Pack(kInvSbox[B0(a)], kInvSbox[B1(b)], kInvSbox[B2(c)], kInvSbox[B3(d)]) ^ k;
}

inline uint32_t SubWord(uint32_t w)
{
    return Pack(kSbox[B0(w)], kSbox[B1(w)], kSbox[B2(w)], kSbox[B3(w)]);
}

inline uint32_t RotWord(uint32_t w) { return w << 8 | w >> 24; }

inline uint32_t InvMixColumn(uint32_t w)
{
    return kIm0[B0(w)] ^ kIm1[B1(w)] ^ kIm2[B2(w)] ^ kIm3[B3(w)];
}

inline bool ValidLength(int n) { return n == 16 || n == 24 || n == 32; }

}  // namespace

void CAesCipher::RequireKey() const
{
    if (!m_keySet)
        throw CAesException(kNoKey);
}

void CAesCipher::CheckData(size_t length) const
{
    if (length == 0 || length % static_cast<size_t>(m_blockSize) != 0)
        throw CAesException(kBadDataLength);
}

void CAesCipher::SetKey(const unsigned char* key, int keyLength, int blockSize)
{
    if (!key)
        throw CAesException(kEmptyKey);
    if (!ValidLength(keyLength))
        throw CAesException(kBadKeyLength);
    if (!ValidLength(blockSize))
        throw CAesException(kBadBlockLength);

    m_keyLength = keyLength;
    m_blockSize = blockSize;
    std::memcpy(m_initialChain, kInitialChain, static_cast<size_t>(blockSize));
    std::memcpy(m_chain, kInitialChain, static_cast<size_t>(blockSize));

    const int keyWords = keyLength / 4;
    const int columns = blockSize / 4;
    m_rounds = (keyWords > columns ? keyWords : columns) + 6;
    for (int r = 0; r <= m_rounds; ++r) {
        std::memset(m_encKey[r], 0, sizeof(uint32_t) * static_cast<size_t>(columns));
        std::memset(m_decKey[r], 0, sizeof(uint32_t) * static_cast<size_t>(columns));
    }

    // The expansion produces keyWords words at a time in m_keyWords; word t
    // of the expanded key is column t % columns of round t / columns. The
    // decryption schedule takes the rounds in reverse order.
    for (int i = 0; i < keyWords; ++i)
        m_keyWords[i] = LoadBe32(key + 4 * i);
    const int total = (m_rounds + 1) * columns;
    int t = 0;
    int rcon = 0;
    for (;;) {
        for (int i = 0; i < keyWords && t < total; ++i, ++t) {
            m_encKey[t / columns][t % columns] = m_keyWords[i];
            m_decKey[m_rounds - t / columns][t % columns] = m_keyWords[i];
        }
        if (t >= total)
            break;
        m_keyWords[0] ^= SubWord(RotWord(m_keyWords[keyWords - 1])) ^ kRcon[rcon++];
        if (keyWords != 8) {
            for (int i = 1; i < keyWords; ++i)
                m_keyWords[i] ^= m_keyWords[i - 1];
        } else {
            for (int i = 1; i < 4; ++i)
                m_keyWords[i] ^= m_keyWords[i - 1];
            m_keyWords[4] ^= SubWord(m_keyWords[3]);
            for (int i = 5; i < 8; ++i)
                m_keyWords[i] ^= m_keyWords[i - 1];
        }
    }

    // Equivalent inverse cipher: the inner round keys go through
    // InvMixColumns so that decryption rounds have the shape of encryption.
    for (int r = 1; r < m_rounds; ++r)
        for (int c = 0; c < columns; ++c)
            m_decKey[r][c] = InvMixColumn(m_decKey[r][c]);

    m_keySet = true;
}

void CAesCipher::EncryptBlock16(const unsigned char* in, unsigned char* out)
{
    RequireKey();
    uint32_t s0 = LoadBe32(in) ^ m_encKey[0][0];
    uint32_t s1 = LoadBe32(in + 4) ^ m_encKey[0][1];
    uint32_t s2 = LoadBe32(in + 8) ^ m_encKey[0][2];
    uint32_t s3 = LoadBe32(in + 12) ^ m_encKey[0][3];
    const int rounds = m_rounds;
    for (int r = 1; r < rounds; ++r) {
        const uint32_t* k = m_encKey[r];
        const uint32_t t0 = EncColumn(s0, s1, s2, s3, k[0]);
        const uint32_t t1 = EncColumn(s1, s2, s3, s0, k[1]);
        const uint32_t t2 = EncColumn(s2, s3, s0, s1, k[2]);
        const uint32_t t3 = EncColumn(s3, s0, s1, s2, k[3]);
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    const uint32_t* k = m_encKey[rounds];
    const uint32_t t0 = EncLast(s0, s1, s2, s3, k[0]);
    const uint32_t t1 = EncLast(s1, s2, s3, s0, k[1]);
    const uint32_t t2 = EncLast(s2, s3, s0, s1, k[2]);
    const uint32_t t3 = EncLast(s3, s0, s1, s2, k[3]);
    StoreBe32(out, t0);
    StoreBe32(out + 4, t1);
    StoreBe32(out + 8, t2);
    StoreBe32(out + 12, t3);
}

void CAesCipher::DecryptBlock16(const unsigned char* in, unsigned char* out)
{
    RequireKey();
    uint32_t s0 = LoadBe32(in) ^ m_decKey[0][0];
    uint32_t s1 = LoadBe32(in + 4) ^ m_decKey[0][1];
    uint32_t s2 = LoadBe32(in + 8) ^ m_decKey[0][2];
    uint32_t s3 = LoadBe32(in + 12) ^ m_decKey[0][3];
    const int rounds = m_rounds;
    for (int r = 1; r < rounds; ++r) {
        const uint32_t* k = m_decKey[r];
        const uint32_t t0 = DecColumn(s0, s3, s2, s1, k[0]);
        const uint32_t t1 = DecColumn(s1, s0, s3, s2, k[1]);
        const uint32_t t2 = DecColumn(s2, s1, s0, s3, k[2]);
        const uint32_t t3 = DecColumn(s3, s2, s1, s0, k[3]);
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    const uint32_t* k = m_decKey[rounds];
    const uint32_t t0 = DecLast(s0, s3, s2, s1, k[0]);
    const uint32_t t1 = DecLast(s1, s0, s3, s2, k[1]);
    const uint32_t t2 = DecLast(s2, s1, s0, s3, k[2]);
    const uint32_t t3 = DecLast(s3, s2, s1, s0, k[3]);
    StoreBe32(out, t0);
    StoreBe32(out + 4, t1);
    StoreBe32(out + 8, t2);
    StoreBe32(out + 12, t3);
}

// General path for 24- and 32-byte blocks: column c of a round takes row n
// from input column c + offset[n] (encryption) or c - offset[n] (decryption),
// modulo the column count.
void CAesCipher::EncryptGeneral(const unsigned char* in, unsigned char* out)
{
    const int columns = m_blockSize / 4;
    const int* offset = kShiftOffsets[columns / 2 - 2];
    int from[4][kMaxColumns];
    for (int n = 1; n < 4; ++n)
        for (int c = 0; c < columns; ++c)
            from[n][c] = (c + offset[n]) % columns;

    for (int c = 0; c < columns; ++c)
        m_state[c] = LoadBe32(in + 4 * c) ^ m_encKey[0][c];
    for (int r = 1; r < m_rounds; ++r) {
        for (int c = 0; c < columns; ++c)
            m_temp[c] = EncColumn(m_state[c], m_state[from[1][c]], m_state[from[2][c]],
                                  m_state[from[3][c]], m_encKey[r][c]);
        std::memcpy(m_state, m_temp, sizeof(uint32_t) * static_cast<size_t>(columns));
    }
    for (int c = 0; c < columns; ++c)
        m_temp[c] = EncLast(m_state[c], m_state[from[1][c]], m_state[from[2][c]],
                            m_state[from[3][c]], m_encKey[m_rounds][c]);
    for (int c = 0; c < columns; ++c)
        StoreBe32(out + 4 * c, m_temp[c]);
}

void CAesCipher::DecryptGeneral(const unsigned char* in, unsigned char* out)
{
    const int columns = m_blockSize / 4;
    const int* offset = kShiftOffsets[columns / 2 - 2];
    int from[4][kMaxColumns];
    for (int n = 1; n < 4; ++n)
        for (int c = 0; c < columns; ++c)
            from[n][c] = (c + columns - offset[n]) % columns;

    for (int c = 0; c < columns; ++c)
        m_state[c] = LoadBe32(in + 4 * c) ^ m_decKey[0][c];
    for (int r = 1; r < m_rounds; ++r) {
        for (int c = 0; c < columns; ++c)
            m_temp[c] = DecColumn(m_state[c], m_state[from[1][c]], m_state[from[2][c]],
                                  m_state[from[3][c]], m_decKey[r][c]);
        std::memcpy(m_state, m_temp, sizeof(uint32_t) * static_cast<size_t>(columns));
    }
    for (int c = 0; c < columns; ++c)
        m_temp[c] = DecLast(m_state[c], m_state[from[1][c]], m_state[from[2][c]],
                            m_state[from[3][c]], m_decKey[m_rounds][c]);
    for (int c = 0; c < columns; ++c)
        StoreBe32(out + 4 * c, m_temp[c]);
}

void CAesCipher::EncryptOneBlock(const unsigned char* in, unsigned char* out)
{
    RequireKey();
    if (m_blockSize == 16)
        EncryptBlock16(in, out);
    else
        EncryptGeneral(in, out);
}

void CAesCipher::DecryptOneBlock(const unsigned char* in, unsigned char* out)
{
    RequireKey();
    if (m_blockSize == 16)
        DecryptBlock16(in, out);
    else
        DecryptGeneral(in, out);
}

// Every mode goes through the virtual block operations, ECB included. The
// key is checked again before each XOR with the chain, and a block's output
// is written only after that check. In-place operation (in == out) works
// because each block of input is read before the same block of output is
// written.
void CAesCipher::EncryptData(const unsigned char* in, unsigned char* out, size_t length, int mode)
{
    RequireKey();
    CheckData(length);
    const size_t size = static_cast<size_t>(m_blockSize);
    const size_t blocks = length / size;

    if (mode == ModeCbc) {
        for (size_t b = 0; b < blocks; ++b, in += size, out += size) {
            RequireKey();
            for (size_t i = 0; i < size; ++i)
                m_chain[i] ^= in[i];
            EncryptOneBlock(m_chain, out);
            std::memcpy(m_chain, out, size);
        }
    } else if (mode == ModeCfb) {
        unsigned char stream[kMaxColumns * 4];
        for (size_t b = 0; b < blocks; ++b, in += size, out += size) {
            EncryptOneBlock(m_chain, stream);
            RequireKey();
            for (size_t i = 0; i < size; ++i)
                out[i] = m_chain[i] = static_cast<unsigned char>(stream[i] ^ in[i]);
        }
    } else {
        for (size_t b = 0; b < blocks; ++b, in += size, out += size)
            EncryptOneBlock(in, out);
    }
}

void CAesCipher::DecryptData(const unsigned char* in, unsigned char* out, size_t length, int mode)
{
    RequireKey();
    CheckData(length);
    const size_t size = static_cast<size_t>(m_blockSize);
    const size_t blocks = length / size;
    unsigned char plain[kMaxColumns * 4];

    if (mode == ModeCbc) {
        for (size_t b = 0; b < blocks; ++b, in += size, out += size) {
            DecryptOneBlock(in, plain);
            RequireKey();
            for (size_t i = 0; i < size; ++i) {
                const unsigned char c = in[i];
                out[i] = static_cast<unsigned char>(plain[i] ^ m_chain[i]);
                m_chain[i] = c;
            }
        }
    } else if (mode == ModeCfb) {
        for (size_t b = 0; b < blocks; ++b, in += size, out += size) {
            EncryptOneBlock(m_chain, plain);
            RequireKey();
            for (size_t i = 0; i < size; ++i) {
                const unsigned char c = in[i];
                out[i] = static_cast<unsigned char>(plain[i] ^ c);
                m_chain[i] = c;
            }
        }
    } else {
        for (size_t b = 0; b < blocks; ++b, in += size, out += size)
            DecryptOneBlock(in, out);
    }
}

}  // namespace crypto
