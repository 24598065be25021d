// Rijndael block cipher (AES) with ECB, CBC and full-block CFB over buffers.
//
// CAesCipher implements Rijndael for key lengths of 16, 24 or 32 bytes and
// block lengths of 16, 24 or 32 bytes. With a 16-byte block it is exactly the
// AES of FIPS-197. The round function is table-driven; all tables are
// compile-time constants, and 16-byte blocks go through an unrolled path.
//
// Byte order: bytes 4c .. 4c+3 of a block (or key) form column word c, byte 4c
// being the most significant, as in FIPS-197.
//
// Life cycle: a new object has no key. SetKey() installs a key and a block
// size; every other operation throws "Object not Initialized" until then.
// SetKey() may be called again at any time; it recomputes the schedules and
// resets the chain. A failing SetKey() changes nothing: the object keeps the
// key (or the absence of one) and the chain it had.
//
// Modes (the mode argument of EncryptData / DecryptData), per block of
// block-size bytes, P plain, C cipher, E / D the block encryption/decryption:
//   ModeEcb (0)  C = E(P)                       P = D(C)
//   ModeCbc (1)  chain ^= P; C = E(chain)       P = D(C) ^ chain
//   ModeCfb (2)  C = E(chain) ^ P               P = E(chain) ^ C
// and in CBC and CFB the chain becomes C after each block. Every mode value
// other than 1 and 2 is ECB. E and D are the virtual EncryptOneBlock() and
// DecryptOneBlock(), called once per block in every mode.
//
// The chain is one value per object, shared by encryption and decryption and
// carried from call to call: a CBC or CFB buffer may be processed in pieces
// (whole blocks each), and a message must be processed from a fresh SetKey()
// (or from a chain in the matching state) on both sides. No operation takes
// an initial vector: SetKey() sets the chain to the first block-size bytes of
// the fixed initial chain
//   00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f
//   10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f
// (CAesCipher::kInitialChain).
//
// Buffers: input and output of a block or data operation may be the same
// buffer (in-place) or must not overlap at all.
//
// Failures throw CAesException (derived from std::exception); what() is
// exactly one of
//   "Empty key"                        SetKey: null key pointer
//   "Incorrect key length"             SetKey: key length not 16, 24 or 32
//   "Incorrect block length"           SetKey: block size not 16, 24 or 32
//   "Object not Initialized"           any other operation without a key
//   "Data not multiple of Block Size"  EncryptData / DecryptData: length 0 or
//                                      not a multiple of the block size
// The checks run in this order, before any field changes and before any byte
// of the output is written.
//
// Threads: an object holds its chain and working storage, so it must not be
// used from two threads at once. Separate objects are independent; the
// constant tables are read-only.
#ifndef QEL_CRYPTO_AES_H
#define QEL_CRYPTO_AES_H

#include <cstddef>
#include <cstdint>
#include <exception>

namespace crypto {

// The exception thrown by CAesCipher; what() is one of the texts above.
class CAesException : public std::exception {
public:
    explicit CAesException(const char* text) noexcept : m_text(text) {}
    const char* what() const noexcept override { return m_text; }

private:
    const char* m_text;  // a string literal, never owned
};

class CAesCipher {
public:
    enum Mode { ModeEcb = 0, ModeCbc = 1, ModeCfb = 2 };

    // The fixed chain value that SetKey() restores (first block-size bytes).
    static const unsigned char kInitialChain[32];

    // No key is set; every operation but SetKey() throws until one is.
    CAesCipher() : m_keySet(false) {}

    // Installs `key` (keyLength bytes) for blocks of blockSize bytes and
    // resets the chain. keyLength and blockSize are each 16, 24 or 32.
    virtual void SetKey(const unsigned char* key, int keyLength, int blockSize);

    // Encrypts / decrypts one block of block-size bytes from `in` to `out`.
    virtual void EncryptOneBlock(const unsigned char* in, unsigned char* out);
    virtual void DecryptOneBlock(const unsigned char* in, unsigned char* out);

    // Encrypts / decrypts `length` bytes (a non-zero multiple of the block
    // size) from `in` to `out` in the given mode (see above).
    virtual void EncryptData(const unsigned char* in, unsigned char* out, std::size_t length,
                             int mode);
    virtual void DecryptData(const unsigned char* in, unsigned char* out, std::size_t length,
                             int mode);

    virtual ~CAesCipher() {}

    // The unrolled 16-byte block paths, used by the block operations when the
    // block size is 16. They check for a key like the block operations do;
    // the caller guarantees a block size of 16.
    void EncryptBlock16(const unsigned char* in, unsigned char* out);
    void DecryptBlock16(const unsigned char* in, unsigned char* out);

private:
    enum { kMaxRows = 15, kMaxColumns = 8 };

    void EncryptGeneral(const unsigned char* in, unsigned char* out);
    void DecryptGeneral(const unsigned char* in, unsigned char* out);
    void RequireKey() const;
    void CheckData(std::size_t length) const;

    bool m_keySet;                                  // SetKey() has succeeded
    uint32_t m_encKey[kMaxRows][kMaxColumns];       // row r: round key of round r
    uint32_t m_decKey[kMaxRows][kMaxColumns];       // row r: m_encKey[rounds-r], rows 1..rounds-1
                                                    // through InvMixColumns
    int32_t m_keyLength;                            // bytes: 16, 24 or 32
    int32_t m_blockSize;                            // bytes: 16, 24 or 32
    int32_t m_rounds;                               // 10, 12 or 14
    unsigned char m_initialChain[kMaxColumns * 4];  // chain restored by SetKey()
    unsigned char m_chain[kMaxColumns * 4];         // CBC / CFB chain, kept across calls
    uint32_t m_keyWords[kMaxColumns];               // key expansion working storage
    uint32_t m_state[kMaxColumns];                  // general block path: state
    uint32_t m_temp[kMaxColumns];                   // general block path: next state
};

}  // namespace crypto

#endif
