// Finding the certificate of the current user for a subject CN and OU, as
// every control method that names its certificate does.
#ifndef QEL_CONTROL_CERTLOOKUP_H
#define QEL_CONTROL_CERTLOOKUP_H

#include <windows.h>
#include <wincrypt.h>

#include "certinfo.h"
#include "cryptoapi.h"

// Searches the current user's system store `storeName` in store order for the
// first certificate with a key-provider property whose subject CN equals `cn`
// byte for byte and whose OU equals `ou`, an empty `ou` matching any OU (and
// none). CN and OU are the first attributes of their name in the subject text
// (GetDnAttribute); a subject without CN has the empty CN.
//
// For every certificate with the property, in order, its key spec, CSP name and
// container name are copied into `info` before the name test, so after a
// failed search they are those of the last such certificate. A certificate
// whose subject text or PEM text would not fit its 2,048-byte buffer is not a
// candidate.
//
// Returns 1 when found: `info` then also holds the subject and the PEM text
// (m_nSignType is not touched) and `context` owns a duplicated context of the
// certificate. Returns 0 otherwise, with `context` untouched. Null arguments
// give 0 and touch nothing.
int FindCertByCnOu(const char* storeName, const char* cn, const char* ou, cert::CCertInfo& info,
                   cert::capi::CCert& context);

#endif
