// Shared code of the certificate tests under Wine: an independent view of a
// store through CryptoAPI, scratch system stores and test keys for the edge
// cases that the fixture store does not hold.
#ifndef QEL_TESTS_CERTS_CERTTEST_H
#define QEL_TESTS_CERTS_CERTTEST_H

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "nocopy.h"
#include "certbuild.h"
#include "certinfo.h"
#include "fixtures.h"

namespace certtest {

using certbuild::Bytes;

// One certificate of a store as CryptoAPI shows it, read without the code under test.
struct CEntry {
    Bytes m_der;
    const fixtures::CFixture* m_pFixture = nullptr;  // null for a certificate not in the table
    bool m_bHasProp = false;
    DWORD m_dwPropSize = 0;
    std::string m_strProvider;   // ANSI code page
    std::string m_strContainer;
    DWORD m_dwKeySpec = 0;
};

// The certificates of the current user's system store `name`, in store order.
std::vector<CEntry> Snapshot(const char* name);

// The entry of the fixture `id` in a snapshot, and its index; the test fails
// when it is not there exactly once.
size_t IndexOf(const std::vector<CEntry>& entries, const char* id);

// A system store of the current user that exists for one test and is
// deleted with everything in it afterwards.
class CScratchStore : private CNoCopy {
public:
    explicit CScratchStore(const char* tag);
    ~CScratchStore();

    const char* Name() const { return m_name.c_str(); }

    // Adds a certificate; with a non-empty provider, the key-provider
    // property naming that CSP, `container` and `keySpec`.
    bool Add(const Bytes& der, const std::wstring& container = L"", const std::wstring& provider = L"",
             DWORD keySpec = AT_KEYEXCHANGE);

private:
    std::string m_name;
};

// A 1024-bit key-exchange key in a container of the software CSP, deleted
// afterwards; it signs the edge-case certificates.
class CTestKey : private CNoCopy {
public:
    explicit CTestKey(const char* tag);
    ~CTestKey();

    HCRYPTPROV Prov() const { return m_prov; }

    // A certificate for this key. `size`, when not 0, is the exact DER length
    // wanted, reached by sizing the padding extension.
    Bytes Make(const std::vector<certbuild::CAttr>& subject, DWORD size = 0,
               const std::vector<certbuild::CAttr>& issuer = {}) const;

private:
    std::string m_container;
    HCRYPTPROV m_prov = 0;
};

// Text of `length` characters made of the letters of `seed`.
std::wstring Filler(size_t length, const wchar_t* seed = L"abcdefghij");

// A record whose every field shows whether a call wrote it, and the check
// that none was.
cert::CCertInfo Untouched();
void ExpectUntouched(const cert::CCertInfo& info);

// The DER bytes of a PEM text (a failed conversion is a test failure).
certbuild::Bytes Der(const std::string& pem);

}  // namespace certtest

#endif
