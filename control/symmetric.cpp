// DES encryption of texts and files, and key generation.
#include "qelcryptctrl.h"

std::string CQelCryptCtrl::GenertKey()
{
    // Not built yet: generation of a DES key text.
    return std::string();
}

std::string CQelCryptCtrl::Encrypt(const char*, const char*)
{
    // Not built yet: DES encryption of a text.
    return std::string();
}

long CQelCryptCtrl::EncryptFile(const char*, const char*)
{
    // Not built yet: DES encryption of a file.
    return 1;
}

// Decryption of DES texts and files is not offered by the control: the text
// method answers with an empty text and the file method with status 1,
// without touching any file.
std::string CQelCryptCtrl::Decrypt(const char*, const char*) { return std::string(); }

long CQelCryptCtrl::DecryptFile(const char*, const char*) { return 1; }
