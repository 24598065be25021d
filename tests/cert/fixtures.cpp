#include "fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fixtures {

using namespace certbuild;

const char* const kUsbCsps[] = {
    "M&W eKey XCSP",
    "Watchdata QRT CSP v3.2",
    "StarSec CSP QRT",
};
const size_t kUsbCspCount = sizeof(kUsbCsps) / sizeof(kUsbCsps[0]);

const char kSoftwareCsp[] = "Microsoft Enhanced Cryptographic Provider v1.0";

namespace {

std::vector<CAttr> Staff(const wchar_t* unit, const wchar_t* name)
{
    return {Country(L"CN"), Org(L"QelCrypt Test"), Unit(unit), Common(name)};
}

std::vector<CFixture> Table()
{
    const char* mw = kUsbCsps[0];
    const char* wd = kUsbCsps[1];
    const char* ss = kUsbCsps[2];
    return {
        {"zhangsan-a", Staff(L"Dept A", L"Zhang San"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=Zhang San", mw,
         AT_KEYEXCHANGE, 1024, true, 0, "same CN as zhangsan-b, other OU"},
        {"zhangsan-b", Staff(L"Dept B", L"Zhang San"), "C=CN, O=QelCrypt Test, OU=Dept B, CN=Zhang San", wd,
         AT_KEYEXCHANGE, 1024, true, 0, "same CN as zhangsan-a, other OU"},
        {"zhangsan-lower", Staff(L"Dept A", L"zhang san"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=zhang san", mw,
         AT_KEYEXCHANGE, 1024, true, 0, "CN differing from Zhang San only in letter case"},
        {"li-two-ou", {Country(L"CN"), Org(L"Org"), Unit(L"Unit A"), Unit(L"Unit B"), Common(L"Li")},
         "C=CN, O=Org, OU=Unit A, OU=Unit B, CN=Li", wd, AT_KEYEXCHANGE, 1024, true, 0, "two OU attributes"},
        {"no-cn", {Country(L"CN"), Org(L"QelCrypt Test"), Unit(L"Dept A")}, "C=CN, O=QelCrypt Test, OU=Dept A", mw,
         AT_KEYEXCHANGE, 1024, true, 0, "subject without CN"},
        {"wangwu-no-ou", {Country(L"CN"), Org(L"QelCrypt Test"), Common(L"Wang Wu")},
         "C=CN, O=QelCrypt Test, CN=Wang Wu", ss, AT_KEYEXCHANGE, 1024, true, 0, "subject without OU"},
        {"comma-cn", Staff(L"Dept A", L"Li, Si"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=\"Li, Si\"", mw,
         AT_KEYEXCHANGE, 1024, true, 0, "CN containing a comma"},
        // 测试单位 / 技术部 / 李四. Wine 8 formats some UTF-16 values in quotes
        // that Windows leaves bare (those whose first code unit's low byte is
        // white space, 张 U+5F20 for one); these names are not among them.
        {"chinese", {Country(L"CN"), Org(L"\u6d4b\u8bd5\u5355\u4f4d"), Unit(L"\u6280\u672f\u90e8"),
                     Common(L"\u674e\u56db")},
         "C=CN, O=\xB2\xE2\xCA\xD4\xB5\xA5\xCE\xBB, OU=\xBC\xBC\xCA\xF5\xB2\xBF, CN=\xC0\xEE\xCB\xC4", wd,
         AT_KEYEXCHANGE, 1024, true, 0, "Chinese subject (code page 936)"},
        {"sign-only", Staff(L"Dept A", L"Sign Only"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=Sign Only", mw,
         AT_SIGNATURE, 1024, true, 0, "AT_SIGNATURE key"},
        {"rsa2048", Staff(L"Dept A", L"Big Key"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=Big Key", ss,
         AT_KEYEXCHANGE, 2048, true, 0, "2048-bit key"},
        {"software", Staff(L"Dept A", L"Soft Key"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=Soft Key", kSoftwareCsp,
         AT_KEYEXCHANGE, 1024, true, 0, "key in the software CSP, not a USB key"},
        {"provider-case", Staff(L"Dept A", L"Case Provider"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=Case Provider",
         "m&w ekey xcsp", AT_KEYEXCHANGE, 1024, true, 0, "CSP name differing from a listed one only in case"},
        {"unplugged", Staff(L"Dept A", L"Unplugged"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=Unplugged", mw,
         AT_KEYEXCHANGE, 1024, false, 0, "container absent: the USB key is not inserted"},
        {"no-property", Staff(L"Dept A", L"No Key"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=No Key", nullptr,
         AT_KEYEXCHANGE, 1024, false, 0, "no key-provider property"},
        {"large-der", Staff(L"Dept A", L"Large Cert"), "C=CN, O=QelCrypt Test, OU=Dept A, CN=Large Cert", mw,
         AT_KEYEXCHANGE, 1024, true, 1000, "DER encoding above 1,446 bytes"},
    };
}

}  // namespace

const std::vector<CFixture>& All()
{
    static const std::vector<CFixture> table = Table();
    return table;
}

bool IsDemo(const CFixture& f)
{
    return strcmp(f.m_pszId, "zhangsan-a") == 0 || strcmp(f.m_pszId, "chinese") == 0;
}

const CFixture& Get(const char* id)
{
    for (const CFixture& f : All())
        if (std::strcmp(f.m_pszId, id) == 0)
            return f;
    std::fprintf(stderr, "no certificate fixture \"%s\"\n", id);
    std::abort();
}

const CFixture* Find(PCCERT_CONTEXT cert)
{
    for (const CFixture& f : All()) {
        const Bytes name = EncodeName(f.m_subject);
        if (name.size() == cert->pCertInfo->Subject.cbData &&
            std::memcmp(name.data(), cert->pCertInfo->Subject.pbData, name.size()) == 0)
            return &f;
    }
    return nullptr;
}

std::vector<std::string> IdsInStoreOrder()
{
    std::vector<std::string> ids;
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    PCCERT_CONTEXT cert = nullptr;
    while (store && (cert = CertEnumCertificatesInStore(store, cert)) != nullptr)
        if (const CFixture* f = Find(cert))
            ids.push_back(f->m_pszId);
    if (store)
        CertCloseStore(store, 0);
    return ids;
}

}  // namespace fixtures
