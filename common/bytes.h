// Big-endian 32-bit words in byte buffers, as the block ciphers read and
// write them (first byte most significant). Compilers turn these patterns
// into a single load or store plus a byte swap.
#ifndef QEL_COMMON_BYTES_H
#define QEL_COMMON_BYTES_H

#include <cstdint>

inline uint32_t LoadBe32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

inline void StoreBe32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

#endif
