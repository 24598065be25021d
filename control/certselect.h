// What the certificate selection dialog offers: the certificates of the
// personal store whose key lives in one of the accepted USB-key CSPs, listed
// by subject CN in store order. The dialog only moves these into its list.
#ifndef QEL_CONTROL_CERTSELECT_H
#define QEL_CONTROL_CERTSELECT_H

#include <string>
#include <vector>

#include "certinfo.h"

// True when `provider` is one of the accepted CSPs, compared over the whole
// name without regard to letter case (ASCII).
bool IsAcceptedCsp(const std::string& provider);

// One entry of the list: the CN shown (empty when the subject has none) and
// the certificate's index in the store array.
struct CertChoice {
    std::string cn;
    int index;
};

// The eligible certificates of `store`, in store order. A certificate whose
// record cannot be read (no key-provider property, texts too long) is left out.
std::vector<CertChoice> EligibleCertificates(const cert::CCertStoreList& store);

#endif
