// Certificate text: the PEM form in which certificates cross the dispatch
// interface and the diagnostic log, and the reading of one attribute out of
// a subject name formatted as X.500 text ("C=CN, O=Org, OU=Unit, CN=Name").
//
// Portable code: no platform call, no state. The PEM routines work on
// buffers the caller owns and sizes and never write past the size given.
#ifndef QEL_CERT_CERTTEXT_H
#define QEL_CERT_CERTTEXT_H

#include <cstdint>
#include <string>

namespace cert {

// Size of every working buffer that holds a certificate text, a subject text
// or a key-provider property, terminating zero included.
const uint32_t kCertTextSize = 2048;

// The armour lines of every certificate text the system writes.
extern const char kPemHeader[];  // "-----BEGIN CERTIFICATE-----"
extern const char kPemFooter[];  // "-----END CERTIFICATE-----"

// The largest DER encoding whose PEM text, with the armour lines above and
// its terminating zero, fits a kCertTextSize buffer (2,047 bytes of 2,048).
// Certificates above it are refused by every certificate helper.
const uint32_t kMaxCertDerSize = 1446;

// Number of bytes DerToPem writes for derLength bytes, the terminating zero
// included: header and footer lines (each left out when empty) with CR LF,
// and the Base64 text in lines of 64 characters, each ended by CR LF.
uint64_t PemTextSize(uint32_t derLength, uint32_t headerLength, uint32_t footerLength);

// Writes the PEM text of the derLength bytes at der into pem, which holds
// pemSize bytes: the header line, the Base64 text of the bytes in lines of
// 64 characters, the footer line, every line ended by CR LF, then a zero byte
// that *pemLength does not count. An empty (or null) header or footer leaves
// its line out; callers pass kPemHeader and kPemFooter.
//
// A DER length of 0 sets *pemLength to 0 and writes nothing. Returns 0 on
// success and -1 when the text (with its zero byte) does not fit pemSize,
// der or pem is null, or memory runs out; on -1 neither pem nor *pemLength
// is written.
int DerToPem(const unsigned char* der, uint32_t derLength, char* pem, uint32_t pemSize, uint32_t* pemLength,
             const char* header, const char* footer);

// Reads the textLength bytes at text as PEM text or as a bare Base64 body and
// writes the DER bytes into der, which holds derSize bytes; *derLength gets
// their number.
//
// - Without any "-" the whole text is the body.
// - Otherwise the text is armoured: the body starts five bytes after the
//   next "-" that follows the first "-" by at least five bytes (the dashes
//   closing the header line), and ends at the next "-" (the footer). The
//   labels between the dashes are not examined.
// - Of the body only the Base64 alphabet and "=" are kept; line breaks,
//   blanks and every other byte are dropped. The kept characters are decoded
//   with Base64Decode.
//
// A text length of 0 sets *derLength to 0. Returns 0 on success and -1 when
// the armour is incomplete (the text ends before the header line closes or
// before the footer begins), when the DER bytes exceed derSize, when text
// (with a non-zero length), der or derLength is null, or when memory runs
// out; on -1 neither der nor *derLength is written.
int PemToDer(const char* text, uint32_t textLength, unsigned char* der, uint32_t derSize, uint32_t* derLength);

// Finds attribute `name` ("CN", "OU") in a subject text as CertNameToStrA
// writes it: the text is cut into tokens at every comma (no empty tokens),
// and in the first token that contains name followed by "=" (case-sensitive,
// anywhere in the token) the characters after the first such occurrence, up
// to the end of the token and without leading and trailing white space, are
// the value. Stores the value in `value` and returns its length (0 for an
// empty value). When no token contains the name, returns 0 and leaves
// `value` unchanged; so does a null subject or name.
//
// The value keeps quotation marks around it, a value that contains a comma
// is cut at the comma, and of several attributes with the name the first in
// the text is taken.
int GetDnAttribute(const char* subject, const char* name, std::string& value);

}  // namespace cert

#endif
