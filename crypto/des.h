// DES block cipher (FIPS 46-3): key schedule, single-block transform and ECB
// over whole blocks.
//
// Byte order: a block or key is 8 bytes, byte 0 most significant; bit 1 of
// FIPS 46-3 is the high bit of byte 0 and bit 64 the low bit of byte 7.
//
// Keys: the low bit of every key byte (the parity bit) is ignored and never
// checked; weak and semi-weak keys are accepted like any other.
//
// Schedule: DesKeySchedule() fills a DesSchedule with the 16 round subkeys,
// two 32-bit words per round in the order in which DesBlock() uses them:
//   word 2n      S-box inputs 1, 3, 5, 7 of round n+1 (6 bits in each byte,
//                high byte first)
//   word 2n + 1  S-box inputs 2, 4, 6, 8 of round n+1
// For decryption the rounds are stored in reverse order; DesBlock() with such
// a schedule is the inverse of DesBlock() with the encryption schedule of the
// same key. The schedule holds nothing else, may be copied freely and is
// never changed by DesBlock() or DesEcb().
//
// Buffers: the input and output of DesBlock() and DesEcb() may be the same
// buffer (in place) or must not overlap at all. Nothing allocates; nothing
// fails; a null pointer is a caller error.
//
// Threads: all functions are re-entrant; the only shared data are constant
// tables.
//
// Timing: the round function looks up tables indexed by key- and data-
// dependent values, so running time and cache use depend on secrets.
#ifndef QEL_CRYPTO_DES_H
#define QEL_CRYPTO_DES_H

#include <cstddef>
#include <cstdint>

namespace crypto {

// Direction argument of DesKeySchedule().
const int kDesEncrypt = 0;
const int kDesDecrypt = 1;  // any value other than kDesEncrypt decrypts

const std::size_t kDesBlockSize = 8;

struct DesSchedule {
    uint32_t subkeys[32];  // arrangement as described above
};

// Prepares the schedule of the 8 key bytes at `key` (standard PC-1, PC-2 and
// left-rotation counts) for encryption when direction is kDesEncrypt (0), for
// decryption otherwise.
void DesKeySchedule(const unsigned char* key, int direction, DesSchedule* schedule);

// Runs one 8-byte block from `in` through the initial permutation, the 16
// rounds of `schedule` and the final permutation into `out`.
void DesBlock(const unsigned char* in, unsigned char* out, const DesSchedule* schedule);

// DesBlock() on each of the length / 8 blocks from `in` to `out` (ECB).
// `length` must be a multiple of 8; trailing bytes beyond the last whole
// block are neither read nor written.
void DesEcb(const unsigned char* in, unsigned char* out, std::size_t length, const DesSchedule* schedule);

}  // namespace crypto

#endif
