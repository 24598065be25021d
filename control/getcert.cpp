// Certificate lookup by subject CN and OU for the page.
#include "qelcryptctrl.h"

#include "certlookup.h"

namespace capi = cert::capi;
using cert::CCertInfo;

std::string CQelCryptCtrl::GetCert(const char* cn, const char* ou)
{
    std::string result;
    CCertInfo info;
    capi::CCert context;
    if (FindCertByCnOu("MY", cn, ou, info, context))
        result = info.m_strCertPem;
    return result;
}
