#include "base64.h"

#include <cstring>

namespace crypto {

namespace {

constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decoding tables. v: 0..63 for the alphabet, kPad for '=' and 0 for every
// other character. shifted[k]: the same value moved to its place in a 24-bit
// group for the group's k-th character, with bit 31 marking a pad, so that one
// test finds a pad anywhere in a group.
constexpr uint8_t kPad = 0x40;

struct DecodeTables {
    uint8_t v[256];
    uint32_t shifted[4][256];
    constexpr DecodeTables() : v(), shifted()
    {
        for (int i = 0; i < 64; ++i)
            v[static_cast<uint8_t>(kAlphabet[i])] = static_cast<uint8_t>(i);
        v[static_cast<uint8_t>('=')] = kPad;
        for (int k = 0; k < 4; ++k)
            for (int c = 0; c < 256; ++c)
                shifted[k][c] = v[c] >= 64 ? 0x80000000u : static_cast<uint32_t>(v[c]) << (18 - 6 * k);
    }
};
constexpr DecodeTables kDecode;

// Two output characters per 12 input bits: one table read per character pair.
struct PairTable {
    char v[4096][2];
    constexpr PairTable() : v()
    {
        for (int i = 0; i < 4096; ++i) {
            v[i][0] = kAlphabet[i >> 6];
            v[i][1] = kAlphabet[i & 63];
        }
    }
};
constexpr PairTable kPairs;

inline void Put2(char* out, uint32_t twelveBits)
{
    std::memcpy(out, kPairs.v[twelveBits], 2);
}

}  // namespace

int Base64Encode(const unsigned char* pIn, uint32_t nInLen, char* pszOut, uint32_t* pnOutLen)
{
    char* out = pszOut;
    uint32_t whole = nInLen / 3;
    uint32_t g = 0;
    // Four groups at a time: 12 bytes in, 16 characters out.
    for (; g + 4 <= whole; g += 4, pIn += 12, out += 16) {
        uint32_t w0 = static_cast<uint32_t>(pIn[0]) << 16 | static_cast<uint32_t>(pIn[1]) << 8 | pIn[2];
        uint32_t w1 = static_cast<uint32_t>(pIn[3]) << 16 | static_cast<uint32_t>(pIn[4]) << 8 | pIn[5];
        uint32_t w2 = static_cast<uint32_t>(pIn[6]) << 16 | static_cast<uint32_t>(pIn[7]) << 8 | pIn[8];
        uint32_t w3 = static_cast<uint32_t>(pIn[9]) << 16 | static_cast<uint32_t>(pIn[10]) << 8 | pIn[11];
        Put2(out, w0 >> 12);
        Put2(out + 2, w0 & 0xFFF);
        Put2(out + 4, w1 >> 12);
        Put2(out + 6, w1 & 0xFFF);
        Put2(out + 8, w2 >> 12);
        Put2(out + 10, w2 & 0xFFF);
        Put2(out + 12, w3 >> 12);
        Put2(out + 14, w3 & 0xFFF);
    }
    for (; g < whole; ++g, pIn += 3, out += 4) {
        uint32_t w = static_cast<uint32_t>(pIn[0]) << 16 | static_cast<uint32_t>(pIn[1]) << 8 | pIn[2];
        Put2(out, w >> 12);
        Put2(out + 2, w & 0xFFF);
    }
    switch (nInLen - whole * 3) {
    case 1:
        out[0] = kAlphabet[pIn[0] >> 2];
        out[1] = kAlphabet[(pIn[0] & 3) << 4];
        out[2] = '=';
        out[3] = '=';
        out += 4;
        break;
    case 2:
        out[0] = kAlphabet[pIn[0] >> 2];
        out[1] = kAlphabet[((pIn[0] & 3) << 4) | (pIn[1] >> 4)];
        out[2] = kAlphabet[(pIn[1] & 15) << 2];
        out[3] = '=';
        out += 4;
        break;
    default:
        break;
    }
    *out = '\0';
    *pnOutLen = static_cast<uint32_t>(out - pszOut);
    return 0;
}

int Base64Decode(const char* pszIn, uint32_t nInLen, unsigned char* pOut, uint32_t* pnOutLen)
{
    const unsigned char* in = reinterpret_cast<const unsigned char*>(pszIn);
    unsigned char* out = pOut;

    // The text ends at its NUL or at the caller's length, whichever comes
    // first; groups are only read within it.
    const void* nul = std::memchr(in, '\0', nInLen);
    uint32_t textLen = nul ? static_cast<uint32_t>(static_cast<const unsigned char*>(nul) - in) : nInLen;

    uint32_t remaining = textLen;
    while (remaining >= 4) {
        uint32_t w = kDecode.shifted[0][in[0]] | kDecode.shifted[1][in[1]] |
                     kDecode.shifted[2][in[2]] | kDecode.shifted[3][in[3]];
        in += 4;
        remaining -= 4;
        if ((w & 0x80000000u) == 0) {
            out[0] = static_cast<unsigned char>(w >> 16);
            out[1] = static_cast<unsigned char>(w >> 8);
            out[2] = static_cast<unsigned char>(w);
            out += 3;
            continue;
        }

        // A group with padding is the last one decoded.
        uint8_t v[4];
        int pads = 0;
        for (int k = 0; k < 4; ++k) {
            v[k] = kDecode.v[in[k - 4]];
            if (v[k] == kPad) {
                ++pads;
                v[k] = 0;
            }
        }
        if (pads <= 2)
            *out++ = static_cast<unsigned char>(v[0] << 2 | v[1] >> 4);
        if (pads == 1)
            *out++ = static_cast<unsigned char>(v[1] << 4 | v[2] >> 2);
        *pnOutLen = static_cast<uint32_t>(out - pOut);
        return 0;
    }

    // The caller's length promised another group, but the NUL came first.
    if (nInLen - (textLen - remaining) >= 4)
        return -1;
    *pnOutLen = static_cast<uint32_t>(out - pOut);
    return 0;
}

}  // namespace crypto
