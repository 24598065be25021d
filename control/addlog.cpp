// The page's own records in the diagnostic log.
#include "qelcryptctrl.h"

long CQelCryptCtrl::AddLog(const char*, const char*)
{
    // Not built yet: appending the page's record while the diagnostic tool runs.
    return 0;
}
