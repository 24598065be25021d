// Signing methods of the control.
#include "qelcryptctrl.h"

long CQelCryptCtrl::SignMessage(const char*, long)
{
    // Not built yet: certificate selection, hash-and-sign and the log record.
    m_strSignData.clear();
    return 1010;
}

// Keeps its dispatch slot: clears the last signature, signs nothing.
long CQelCryptCtrl::SignMessageSW(const char*, const char*, long)
{
    m_strSignData.clear();
    return 1001;
}

std::string CQelCryptCtrl::Sign(const char*, const char*, const char*)
{
    // Not built yet: signing with the certificate found by CN and OU.
    return std::string();
}

std::string CQelCryptCtrl::SignFile(const char*, const char*, const char*)
{
    // Not built yet: signing a file's contents with the certificate found by CN and OU.
    return std::string();
}

std::string CQelCryptCtrl::SignData(const char*, long, const char*, const char*)
{
    // Not built yet: signing a byte count of data with the certificate found by CN and OU.
    return std::string();
}
