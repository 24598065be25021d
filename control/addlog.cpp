// The page's own records in the diagnostic log.
#include "logstep.h"
#include "qelcryptctrl.h"

long CQelCryptCtrl::AddLog(const char* subject, const char* content)
{
    return AddPageLogRecord(subject, content);
}
