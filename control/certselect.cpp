#include "certselect.h"

#include "certtext.h"

using cert::CCertInfo;
using cert::CCertStoreList;
using cert::GetDnAttribute;

namespace {

const char* const kAcceptedCsps[] = {
    "M&W eKey XCSP",
    "StarSec CSP QRT",
    "CIDC Cryptographic Service Provider v2.0.0",
    "eSafe Cryptographic Service Provider v2.0",
    "SHHIC UKEY CSP V1.01",
    "Beijing G&D CSP v1.0",
    "Watchdata QRT CSP v3.2",
    "Netting Smart Card Cryptographic Provider v1.2",
    "Tarvex Base Cryptographic Provider v1.0",
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return i == a.size() && !b[i];
}

}  // namespace

bool IsAcceptedCsp(const std::string& provider)
{
    for (const char* name : kAcceptedCsps)
        if (EqualNoCase(provider, name))
            return true;
    return false;
}

std::vector<CertChoice> EligibleCertificates(const CCertStoreList& store)
{
    std::vector<CertChoice> choices;
    const int count = store.GetCount();
    for (int i = 0; i < count; ++i) {
        CCertInfo info;
        if (!store.GetCertInfo(i, info) || !IsAcceptedCsp(info.m_strProvider))
            continue;
        std::string cn;
        GetDnAttribute(info.m_strSubject.c_str(), "CN", cn);
        choices.push_back(CertChoice{cn, i});
    }
    return choices;
}
