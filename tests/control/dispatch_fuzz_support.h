// The dispatch fuzzer's view of texts and certificates: what a method
// receives for a BSTR (the ANSI text, code page 936), Base64 through
// CryptoAPI, and the certificate fixtures with their keys, from which the
// expected results are worked out.
#ifndef QEL_TESTS_CONTROL_DISPATCH_FUZZ_SUPPORT_H
#define QEL_TESTS_CONTROL_DISPATCH_FUZZ_SUPPORT_H

#include "nocopy.h"
#include "fixtures.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

namespace fuzz {

// What a method receives for a BSTR: the ANSI text, ending at the first NUL.
std::string Ansi(const std::wstring& text);
std::wstring Wide(const std::string& text);
std::wstring Lower(std::wstring s);
std::string Base64(const BYTE* bytes, DWORD size);
// The bytes of a one-line Base64 text; false when it is not one.
bool Unbase64(const std::string& text, std::string* bytes);
// Text of `length` Base64 alphabet characters, so that methods that decode
// their text work on all of it.
std::wstring Filler(size_t length);

// The certificate that a lookup by CN and OU finds: the first in store
// order whose subject's CN is `cn` and whose first OU is `ou` (any when
// empty), among those with a key-provider property and a PEM text within
// the 2,048-byte buffer. A CN with a comma is quoted in the subject text
// and so never equals a wanted CN.
const fixtures::CFixture* Holder(const std::string& cn, const std::string& ou);

inline bool Signs(const fixtures::CFixture* f) { return f && f->m_bContainerPresent; }
inline bool HasExchangeKey(const fixtures::CFixture* f) { return Signs(f) && f->m_dwKeySpec == AT_KEYEXCHANGE; }
// CryptPubKey's block buffer holds 200 bytes: 1024-bit keys only.
inline bool EncryptsText(const fixtures::CFixture* f) { return HasExchangeKey(f) && f->m_dwBits / 8 <= 200; }

// The PEM text of a fixture's certificate in "MY" (read once).
std::string PemOf(const char* id);

// The key pair of a fixture's container.
class CFixtureKey : private CNoCopy {
public:
    explicit CFixtureKey(const char* id);
    ~CFixtureKey();

    // MD5 with RSA over `data`, most significant byte first, as Base64.
    std::string SignMd5(const std::string& data) const;
    // The blocks of `data` in pieces of 100 bytes, in the CSP's byte order.
    // A block is made again while the key of another fixture takes it too:
    // random padding lets a wrong key accept about one block in 10^5, and
    // the expected results say that only this key decrypts it.
    std::vector<std::string> EncryptPieces(const std::string& data) const;

private:
    bool OtherKeyDecrypts(const BYTE* block, DWORD size) const;

    const char* m_id;
    HCRYPTPROV m_prov = 0;
    HCRYPTKEY m_key = 0;
};

}  // namespace fuzz

#endif
