// Slow Rijndael written straight from its definition, for checking the
// table-driven CAesCipher on every key and block length. Shares no code or
// tables with it: the S-box is computed from GF(2^8) inverses at first use.
#ifndef QEL_TESTS_AES_REFERENCE_H
#define QEL_TESTS_AES_REFERENCE_H

namespace aesref {

// One block of blockLength bytes; keyLength and blockLength are 16, 24 or 32.
void Encrypt(const unsigned char* key, int keyLength, int blockLength, const unsigned char* in,
             unsigned char* out);
void Decrypt(const unsigned char* key, int keyLength, int blockLength, const unsigned char* in,
             unsigned char* out);

}  // namespace aesref

#endif
