#include "certlookup.h"

#include <cstring>
#include <string>
#include <utility>

#include "certtext.h"
#include "cryptoapi.h"

namespace capi = cert::capi;
using cert::CCertInfo;
using cert::DerToPem;
using cert::GetDnAttribute;
using cert::kCertTextSize;
using cert::kMaxCertDerSize;
using cert::kPemFooter;
using cert::kPemHeader;

int FindCertByCnOu(const char* storeName, const char* cn, const char* ou, CCertInfo& info, capi::CCert& context)
{
    if (!storeName || !cn || !ou)
        return 0;
    capi::CStore store;
    if (!capi::OpenSystemStore(storeName, store))
        return 0;

    capi::CStoreWalk walk(store.Get());
    while (PCCERT_CONTEXT cert = walk.Next()) {
        capi::CKeyProv prov;
        if (!capi::GetKeyProv(cert, prov))
            continue;
        info.m_dwKeySpec = prov.m_dwKeySpec;
        info.m_strProvider = prov.m_strProvider;
        info.m_strContainer = prov.m_strContainer;

        std::string subject;
        if (cert->cbCertEncoded > kMaxCertDerSize || !capi::FormatSubject(cert, subject))
            continue;
        std::string certCn, certOu;
        GetDnAttribute(subject.c_str(), "CN", certCn);
        GetDnAttribute(subject.c_str(), "OU", certOu);
        if (certCn != cn || (*ou != '\0' && certOu != ou))
            continue;

        char pem[kCertTextSize];
        ZeroMemory(pem, sizeof(pem));
        uint32_t pemLength = 0;
        capi::CCert copy;
        if (!capi::DuplicateCertificate(cert, copy) ||
            DerToPem(cert->pbCertEncoded, cert->cbCertEncoded, pem, kCertTextSize, &pemLength, kPemHeader,
                     kPemFooter) != 0)
            return 0;
        info.m_strSubject = subject;
        info.m_strCertPem.assign(pem, pemLength);
        context = std::move(copy);
        return 1;
    }
    return 0;
}
