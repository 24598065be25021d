// DES-ECB encryption of texts and byte streams with PKCS #5 padding: the
// portable part of the control's Encrypt and EncryptFile methods.
//
// Key text: Base64 text whose first 8 decoded bytes are the DES key. A text
// that decodes to fewer bytes is completed with zero bytes (the empty text
// gives the all-zero key); decoded bytes after the 8th are ignored. Decoding
// follows Base64Decode() and its result is not checked: a text that is not
// Base64 yields whatever bytes the decoder produces. Only the first 12
// characters (three groups, 9 bytes) can reach the key, and only they are
// decoded, so a key text of any length is safe.
//
// Padding: p bytes of value p are appended, p = 8 - (length mod 8), so 1 to 8
// bytes are always added and the padded length is the next multiple of 8
// strictly above the length.
//
// Cipher text of a text: the Base64 text of the ECB encryption of the padded
// bytes. A stream is encrypted into the same bytes, unencoded: it is read in
// chunks of kDesChunkSize bytes and padded once, after its last byte.
//
// Nothing allocates; texts and streams are the caller's. All functions are
// re-entrant.
#ifndef QEL_CRYPTO_DESCRYPT_H
#define QEL_CRYPTO_DESCRYPT_H

#include <cstddef>
#include <cstdint>

namespace crypto {

// Bytes read per chunk by DesEncryptStream().
const uint32_t kDesChunkSize = 800;

// The 8-byte DES key of the NUL-terminated key text.
void DesKeyFromText(const char* keyText, unsigned char* key);

// length + 8 - length % 8.
inline std::size_t DesPaddedLength(std::size_t length) { return length + 8 - length % 8; }

// Writes the padding behind the `length` bytes at `buffer`, which has room for
// DesPaddedLength(length) bytes, and returns the padded length.
std::size_t DesPad(unsigned char* buffer, std::size_t length);

// Number of characters (without NUL) of the cipher text of `length` bytes:
// 4 * ceil(DesPaddedLength(length) / 3). `length` is below 2^31.
uint32_t DesTextCipherLength(uint32_t length);

// Encrypts the `length` bytes at `text` with the 8-byte `key` and writes the
// Base64 cipher text and a NUL to `cipherText`, which holds
// DesTextCipherLength(length) + 1 bytes. `length` is below 2^31.
void DesEncryptText(const unsigned char* text, uint32_t length, const unsigned char* key, char* cipherText);

// The source of DesEncryptStream(). Derived classes supply ReadSome();
// ReadChunk() builds whole chunks on it and records the end and failure.
class CDesInput {
public:
    virtual ~CDesInput() = default;

    // Reads until `size` bytes are in `buffer`, the end of the input is
    // reached or a read fails, and returns the count read. Returns 0 at once
    // when the end was reached by an earlier call or a read has failed.
    uint32_t ReadChunk(unsigned char* buffer, uint32_t size);

    bool AtEnd() const { return m_end; }     // a read found no more bytes
    bool Failed() const { return m_failed; }  // a read failed

protected:
    // Reads 1 to `size` bytes into `buffer` and stores the count in *count,
    // or stores 0 at the end of the input. Returns false on a read error.
    virtual bool ReadSome(unsigned char* buffer, uint32_t size, uint32_t* count) = 0;

private:
    bool m_end = false;
    bool m_failed = false;
};

// The sink of DesEncryptStream().
class CDesOutput {
public:
    virtual ~CDesOutput() = default;

    // Writes all `size` bytes; false on a write error.
    virtual bool Write(const unsigned char* buffer, uint32_t size) = 0;
};

// Encrypts everything `input` delivers with the 8-byte `key` into `output`:
// each chunk of kDesChunkSize bytes is encrypted and written as it is read,
// the last one (possibly empty) padded first. Returns 0 when the input was
// read to its end and every byte written, 1 after the first failed read or
// write; what was written before a failure stays written.
int DesEncryptStream(CDesInput& input, CDesOutput& output, const unsigned char* key);

}  // namespace crypto

#endif
