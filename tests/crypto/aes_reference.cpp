// Reference Rijndael: the state is a 4 x Nb byte matrix (row r, column c
// holds block byte 4c + r) and every step is written as defined, without
// tables beyond the S-box.
#include "aes_reference.h"

#include <cstddef>
#include <vector>

namespace aesref {
namespace {

typedef unsigned char u8;

u8 Xtime(u8 a)
{
    return static_cast<u8>((a << 1) ^ ((a & 0x80) ? 0x1b : 0));
}

// Product in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1.
u8 Mul(u8 a, u8 b)
{
    u8 r = 0;
    for (; b; b >>= 1, a = Xtime(a))
        if (b & 1)
            r ^= a;
    return r;
}

struct Boxes {
    u8 sbox[256];
    u8 inv[256];
    Boxes()
    {
        for (int x = 0; x < 256; ++x) {
            u8 b = 0;  // multiplicative inverse, 0 for 0
            for (int y = 1; y < 256 && x; ++y)
                if (Mul(static_cast<u8>(x), static_cast<u8>(y)) == 1)
                    b = static_cast<u8>(y);
            u8 s = 0x63;  // affine map: bit i = b_i ^ b_i+4 ^ b_i+5 ^ b_i+6 ^ b_i+7 ^ c_i
            for (int i = 0; i < 8; ++i) {
                int bit = (b >> i) ^ (b >> ((i + 4) % 8)) ^ (b >> ((i + 5) % 8)) ^
                          (b >> ((i + 6) % 8)) ^ (b >> ((i + 7) % 8));
                s = static_cast<u8>(s ^ ((bit & 1) << i));
            }
            sbox[x] = s;
            inv[s] = static_cast<u8>(x);
        }
    }
};

const Boxes& Box()
{
    static const Boxes boxes;
    return boxes;
}

struct Cipher {
    int nb, nk, nr;
    std::vector<u8> w;  // expanded key, 4 bytes per word
    u8 state[4][8];

    Cipher(const u8* key, int keyLength, int blockLength)
        : nb(blockLength / 4),
          nk(keyLength / 4),
          nr((nk > nb ? nk : nb) + 6),
          w(static_cast<std::size_t>(4 * nb * (nr + 1)))
    {
        const u8* s = Box().sbox;
        for (int i = 0; i < 4 * nk; ++i)
            w[i] = key[i];
        u8 rcon = 1;
        for (int i = nk; i < nb * (nr + 1); ++i) {
            u8 t[4] = {w[4 * i - 4], w[4 * i - 3], w[4 * i - 2], w[4 * i - 1]};
            if (i % nk == 0) {
                u8 t0 = t[0];  // RotWord, SubWord, round constant
                t[0] = static_cast<u8>(s[t[1]] ^ rcon);
                t[1] = s[t[2]];
                t[2] = s[t[3]];
                t[3] = s[t0];
                rcon = Xtime(rcon);
            } else if (nk > 6 && i % nk == 4) {
                for (u8& b : t)
                    b = s[b];
            }
            for (int j = 0; j < 4; ++j)
                w[4 * i + j] = static_cast<u8>(w[4 * (i - nk) + j] ^ t[j]);
        }
    }

    int Shift(int row) const { return row == 0 ? 0 : (nb == 8 && row > 1) ? row + 1 : row; }

    void AddRoundKey(int round)
    {
        for (int c = 0; c < nb; ++c)
            for (int r = 0; r < 4; ++r)
                state[r][c] ^= w[4 * (round * nb + c) + r];
    }
    void SubBytes(const u8* box)
    {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < nb; ++c)
                state[r][c] = box[state[r][c]];
    }
    // Row r moves left by its offset (right when undoing it).
    void ShiftRows(bool inverse)
    {
        for (int r = 1; r < 4; ++r) {
            u8 row[8];
            for (int c = 0; c < nb; ++c) {
                int from = inverse ? (c - Shift(r) + nb) % nb : (c + Shift(r)) % nb;
                row[c] = state[r][from];
            }
            for (int c = 0; c < nb; ++c)
                state[r][c] = row[c];
        }
    }
    // Each column times a(x) = {03}x^3 + {01}x^2 + {01}x + {02}, or its inverse
    // {0b}x^3 + {0d}x^2 + {09}x + {0e}.
    void MixColumns(bool inverse)
    {
        const u8 a[4] = {static_cast<u8>(inverse ? 0x0e : 2), static_cast<u8>(inverse ? 0x0b : 3),
                         static_cast<u8>(inverse ? 0x0d : 1), static_cast<u8>(inverse ? 0x09 : 1)};
        for (int c = 0; c < nb; ++c) {
            u8 col[4];
            for (int r = 0; r < 4; ++r)
                col[r] = state[r][c];
            for (int r = 0; r < 4; ++r)
                state[r][c] =
                    static_cast<u8>(Mul(a[0], col[r]) ^ Mul(a[1], col[(r + 1) % 4]) ^
                                    Mul(a[2], col[(r + 2) % 4]) ^ Mul(a[3], col[(r + 3) % 4]));
        }
    }
    void Load(const u8* in)
    {
        for (int i = 0; i < 4 * nb; ++i)
            state[i % 4][i / 4] = in[i];
    }
    void Store(u8* out) const
    {
        for (int i = 0; i < 4 * nb; ++i)
            out[i] = state[i % 4][i / 4];
    }
};

}  // namespace

void Encrypt(const u8* key, int keyLength, int blockLength, const u8* in, u8* out)
{
    Cipher k(key, keyLength, blockLength);
    k.Load(in);
    k.AddRoundKey(0);
    for (int round = 1; round <= k.nr; ++round) {
        k.SubBytes(Box().sbox);
        k.ShiftRows(false);
        if (round != k.nr)
            k.MixColumns(false);
        k.AddRoundKey(round);
    }
    k.Store(out);
}

void Decrypt(const u8* key, int keyLength, int blockLength, const u8* in, u8* out)
{
    Cipher k(key, keyLength, blockLength);
    k.Load(in);
    k.AddRoundKey(k.nr);
    for (int round = k.nr - 1; round >= 0; --round) {
        k.ShiftRows(true);
        k.SubBytes(Box().inv);
        k.AddRoundKey(round);
        if (round != 0)
            k.MixColumns(true);
    }
    k.Store(out);
}

}  // namespace aesref
