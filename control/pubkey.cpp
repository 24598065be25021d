// Certificate public-key encryption and private-key decryption.
#include "qelcryptctrl.h"

std::string CQelCryptCtrl::CryptPubKey(const char*, const char*, const char*)
{
    // Not built yet: RSA encryption of a text to the certificate's public key.
    return std::string();
}

long CQelCryptCtrl::CryptFilePubKey(const char*, const char*, const char*)
{
    // Not built yet: RSA encryption of a file to the certificate's public key.
    return 1015;
}

std::string CQelCryptCtrl::DecryptPriKey(const char*, const char*, const char*)
{
    // Not built yet: RSA decryption of a text with the certificate's private key.
    return std::string();
}

long CQelCryptCtrl::DecryptFilePriKey(const char*, const char*, const char*)
{
    // Not built yet: RSA decryption of a file with the certificate's private key.
    return 1015;
}
