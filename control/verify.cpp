// Verification methods of the control.
#include "qelcryptctrl.h"

long CQelCryptCtrl::Verify(const char*, const char*, const char*)
{
    // Not built yet: signature verification against the certificate passed in.
    return 1;
}

long CQelCryptCtrl::VerifyFile(const char*, const char*, const char*)
{
    // Not built yet: verification of a file's signature.
    return 20;
}
