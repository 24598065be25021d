// Certificate lookup by subject CN and OU for the page.
#include "qelcryptctrl.h"

std::string CQelCryptCtrl::GetCert(const char*, const char*)
{
    // Not built yet: the PEM text of the certificate found by CN and OU.
    return std::string();
}
