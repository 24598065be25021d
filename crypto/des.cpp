// DES: key schedule from the permuted choices, table-driven rounds and the
// initial and final permutations as swap networks. The contract is in des.h.
//
// Inside a block operation the two halves are kept rotated left by one bit
// against their FIPS 46-3 form. In that form the eight 6-bit inputs of the
// expansion E of a half r lie in the low six bits of the bytes of r (S-boxes
// 2, 4, 6, 8 from the high byte down) and of r rotated right by four
// (S-boxes 1, 3, 5, 7), so a round needs one rotation, two key words and
// eight lookups in kSp, which holds S-box and P combined in the same form.
#include "des.h"
#include "bytes.h"

#include "des_tables.inc"

namespace crypto {

namespace {

// Permuted choice 1: key bit numbers (1 = high bit of byte 0) of C1..C28,
// D1..D28.
const uint8_t kPc1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
    35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
    46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4,
};

// Permuted choice 2: bit numbers in C||D (1 = C1) of the 48 subkey bits,
// six per S-box.
const uint8_t kPc2[48] = {
    14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
    26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
    51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32,
};

// Left rotations of C and D before each round.
const uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

const uint32_t kMask28 = 0x0fffffff;

inline uint32_t RotateLeft(uint32_t x, unsigned n) { return x << n | x >> (32 - n); }
inline uint32_t RotateRight(uint32_t x, unsigned n) { return x >> n | x << (32 - n); }

// Exchanges the bits of b selected by mask with the bits of a `shift`
// places higher. Its own inverse.
inline void SwapMove(uint32_t& a, uint32_t& b, unsigned shift, uint32_t mask)
{
    const uint32_t t = ((a >> shift) ^ b) & mask;
    b ^= t;
    a ^= t << shift;
}

// The initial permutation of the block (l, r), bits 1..32 in l, leaving both
// halves rotated left by one.
inline void InitialPermutation(uint32_t& l, uint32_t& r)
{
    SwapMove(l, r, 4, 0x0f0f0f0f);
    SwapMove(l, r, 16, 0x0000ffff);
    SwapMove(r, l, 2, 0x33333333);
    SwapMove(r, l, 8, 0x00ff00ff);
    SwapMove(l, r, 1, 0x55555555);
    l = RotateLeft(l, 1);
    r = RotateLeft(r, 1);
}

// The inverse of InitialPermutation().
inline void FinalPermutation(uint32_t& l, uint32_t& r)
{
    l = RotateRight(l, 1);
    r = RotateRight(r, 1);
    SwapMove(l, r, 1, 0x55555555);
    SwapMove(r, l, 8, 0x00ff00ff);
    SwapMove(r, l, 2, 0x33333333);
    SwapMove(l, r, 16, 0x0000ffff);
    SwapMove(l, r, 4, 0x0f0f0f0f);
}

// The round function f(r, K) with the round's two key words at k.
inline uint32_t Feistel(uint32_t r, const uint32_t* k)
{
    const uint32_t odd = RotateRight(r, 4) ^ k[0];  // S-boxes 1, 3, 5, 7
    const uint32_t even = r ^ k[1];                 // S-boxes 2, 4, 6, 8
    return kSp[0][(odd >> 24) & 63] ^ kSp[2][(odd >> 16) & 63] ^ kSp[4][(odd >> 8) & 63] ^
           kSp[6][odd & 63] ^ kSp[1][(even >> 24) & 63] ^ kSp[3][(even >> 16) & 63] ^
           kSp[5][(even >> 8) & 63] ^ kSp[7][even & 63];
}

inline void Crypt(const unsigned char* in, unsigned char* out, const uint32_t* k)
{
    uint32_t l = LoadBe32(in);
    uint32_t r = LoadBe32(in + 4);
    InitialPermutation(l, r);
    // Two rounds per step, the halves exchanging roles instead of places.
    for (int step = 0; step < 8; ++step, k += 4) {
        l ^= Feistel(r, k);
        r ^= Feistel(l, k + 2);
    }
    // The output block is R16 L16: the last round does not exchange.
    FinalPermutation(r, l);
    StoreBe32(out, r);
    StoreBe32(out + 4, l);
}

// Two independent blocks, their rounds interleaved: one block's round is a
// chain of dependent lookups, and the other's fills the idle units.
inline void Crypt2(const unsigned char* in, unsigned char* out, const uint32_t* k)
{
    uint32_t l0 = LoadBe32(in), r0 = LoadBe32(in + 4);
    uint32_t l1 = LoadBe32(in + 8), r1 = LoadBe32(in + 12);
    InitialPermutation(l0, r0);
    InitialPermutation(l1, r1);
    for (int step = 0; step < 8; ++step, k += 4) {
        l0 ^= Feistel(r0, k);
        l1 ^= Feistel(r1, k);
        r0 ^= Feistel(l0, k + 2);
        r1 ^= Feistel(l1, k + 2);
    }
    FinalPermutation(r0, l0);
    FinalPermutation(r1, l1);
    StoreBe32(out, r0);
    StoreBe32(out + 4, l0);
    StoreBe32(out + 8, r1);
    StoreBe32(out + 12, l1);
}

}  // namespace

void DesKeySchedule(const unsigned char* key, int direction, DesSchedule* schedule)
{
    uint64_t k = 0;
    for (int i = 0; i < 8; ++i)
        k = k << 8 | key[i];
    uint32_t c = 0, d = 0;
    for (int i = 0; i < 28; ++i) {
        c = c << 1 | static_cast<uint32_t>(k >> (64 - kPc1[i]) & 1);
        d = d << 1 | static_cast<uint32_t>(k >> (64 - kPc1[28 + i]) & 1);
    }

    uint32_t words[32];
    for (int round = 0; round < 16; ++round) {
        const unsigned s = kShifts[round];
        c = (c << s | c >> (28 - s)) & kMask28;
        d = (d << s | d >> (28 - s)) & kMask28;
        const uint64_t cd = static_cast<uint64_t>(c) << 28 | d;
        uint32_t box[8] = {};
        for (int i = 0; i < 48; ++i)
            box[i / 6] = box[i / 6] << 1 | static_cast<uint32_t>(cd >> (56 - kPc2[i]) & 1);
        words[2 * round] = box[0] << 24 | box[2] << 16 | box[4] << 8 | box[6];
        words[2 * round + 1] = box[1] << 24 | box[3] << 16 | box[5] << 8 | box[7];
    }

    for (int round = 0; round < 16; ++round) {
        const int from = direction == kDesEncrypt ? round : 15 - round;
        schedule->subkeys[2 * round] = words[2 * from];
        schedule->subkeys[2 * round + 1] = words[2 * from + 1];
    }
}

void DesBlock(const unsigned char* in, unsigned char* out, const DesSchedule* schedule)
{
    Crypt(in, out, schedule->subkeys);
}

void DesEcb(const unsigned char* in, unsigned char* out, std::size_t length, const DesSchedule* schedule)
{
    const uint32_t* k = schedule->subkeys;
    std::size_t i = 0;
    for (; i + 2 * kDesBlockSize <= length; i += 2 * kDesBlockSize)
        Crypt2(in + i, out + i, k);
    if (i + kDesBlockSize <= length)
        Crypt(in + i, out + i, k);
}

}  // namespace crypto
