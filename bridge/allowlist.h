// Where the host's allow-list of web origins lives: the registry value
//   HKEY_LOCAL_MACHINE\SOFTWARE\QelCrypt\NativeHost  AllowedOrigins
// (REG_MULTI_SZ, one origin a line; a REG_SZ holding one origin is read too),
// written by the installer or an administrator, in the native registry view
// (the 64-bit one on x64 Windows, which the x86 host reads as well).
#ifndef QEL_BRIDGE_ALLOWLIST_H
#define QEL_BRIDGE_ALLOWLIST_H

#include "origin.h"

#include <string>
#include <vector>

namespace bridge {

extern const wchar_t kAllowListKey[];    // under HKEY_LOCAL_MACHINE
extern const wchar_t kAllowListValue[];

// Adds the registry's origins to `policy`. Entries that are no origin are
// left out and named in *rejected (for the error stream).
void LoadAllowList(OriginPolicy& policy, std::vector<std::string>* rejected);

}  // namespace bridge

#endif
