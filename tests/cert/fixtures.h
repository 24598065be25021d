// The certificate fixtures: the CSPs and the current user's "MY" store as the
// tests expect them, a machine with USB keys. The fixture program creates
// them; the tests read the same table.
#ifndef QEL_TESTS_CERTS_FIXTURES_H
#define QEL_TESTS_CERTS_FIXTURES_H

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "certbuild.h"

namespace fixtures {

// USB-key CSPs registered as PROV_RSA_FULL providers backed by the software
// RSA provider's module (names from the certificate dialog's filter list).
extern const char* const kUsbCsps[];
extern const size_t kUsbCspCount;

// The software provider whose registration the USB-key CSPs copy, and which
// holds the key of the "software" fixture.
extern const char kSoftwareCsp[];

// One certificate of the fixture store.
struct CFixture {
    const char* m_pszId;                   // short name; the container is "qelfix-" + id
    std::vector<certbuild::CAttr> m_subject;
    const char* m_pszSubjectText;          // the subject as CertNameToStrA writes it (code page 936)
    const char* m_pszProvider;             // CSP named in the key-provider property; null: no property
    DWORD m_dwKeySpec;
    DWORD m_dwBits;
    bool m_bContainerPresent;              // false: the key was removed ("USB key not inserted")
    DWORD m_dwPaddingBytes;                // opaque extension that makes the DER large
    const char* m_pszPurpose;

    std::string Container() const { return std::string("qelfix-") + m_pszId; }
};

// Every fixture; the store holds exactly these certificates, in the order the
// store enumerates them (which the table does not fix).
const std::vector<CFixture>& All();

// The two certificates of the demonstration machine: Zhang San of Dept A and
// the Chinese subject (李四 of 技术部), keys on two different USB keys.
bool IsDemo(const CFixture& f);

// The fixture with this id; the program stops when there is none.
const CFixture& Get(const char* id);

// The fixture whose encoded subject is that of `cert`, or null.
const CFixture* Find(PCCERT_CONTEXT cert);

// The ids of the fixtures in the current user's "MY" store, in the order the
// store enumerates them.
std::vector<std::string> IdsInStoreOrder();

}  // namespace fixtures

#endif
