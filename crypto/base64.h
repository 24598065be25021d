// Base64 codec (RFC 4648 section 4): standard alphabet, '=' padding, no line
// breaks. Every binary value that crosses the control's dispatch interface
// travels in this form.
//
// Both functions work on buffers the caller owns and sizes; neither allocates
// nor keeps state, so both are re-entrant.
#ifndef QEL_CRYPTO_BASE64_H
#define QEL_CRYPTO_BASE64_H

#include <cstdint>

namespace crypto {

// Encodes nInLen bytes of pIn into pszOut, writes a NUL behind the text and
// stores the character count (without the NUL) in *pnOutLen. The count is
// always 4 * ceil(nInLen / 3); pszOut must hold that plus one byte.
// Returns 0 (encoding cannot fail).
int Base64Encode(const unsigned char* pIn, uint32_t nInLen, char* pszOut, uint32_t* pnOutLen);

// Decodes the NUL-terminated text pszIn into pOut and stores the byte count in
// *pnOutLen. Callers pass the text's length (strlen) as nInLen; the decoder
// works on the first nInLen characters and never reads past the NUL.
//
// - Fewer than 4 characters: 0 bytes, result 0.
// - Groups of four characters are decoded in turn while at least four
//   characters remain; one to three trailing characters are ignored.
// - A group holding '=' ends decoding: one '=' gives two bytes, two give one,
//   three or four give none; whatever follows is ignored.
// - A character outside the alphabet counts as the value 0, and so does a '='
//   that stands before an alphabet character (it is still counted as a pad).
// - Result -1 when the text ends (NUL) inside a group, which happens only when
//   nInLen promises more characters than the text holds. The bytes of the
//   groups before it stay in pOut and *pnOutLen is not written.
//
// pOut must hold 3 * (nInLen / 4) bytes. The output is not NUL-terminated.
int Base64Decode(const char* pszIn, uint32_t nInLen, unsigned char* pOut, uint32_t* pnOutLen);

}  // namespace crypto

#endif
