// Which web origins the native-messaging host serves. Portable code.
//
// An origin is "scheme://host" or "scheme://host:port" as a browser
// serialises it: scheme http or https, a host name (letters, digits, "-",
// "_", dot-separated labels), an IPv4 address or a bracketed IPv6 address,
// and a port of 1 to 65535 without leading zeros. Letter case does not
// matter, and the scheme's default port (80, 443) is the same origin as no
// port. Anything else (a path, user information, "null", another scheme) is
// no origin and never allowed.
//
// Allowed are: the origins added (exact scheme, host and port), and for
// development http://127.0.0.1 and http://localhost on any port.
#ifndef QEL_BRIDGE_ORIGIN_H
#define QEL_BRIDGE_ORIGIN_H

#include <string>
#include <vector>

namespace bridge {

// The canonical form (lower case, default port dropped) of an origin, or ""
// when `text` is none. An administrator's entry may end with one "/".
std::string CanonicalOrigin(const std::string& text, bool entry = false);

class OriginPolicy {
public:
    // Adds an administrator's entry; false, and nothing added, when it is no origin.
    bool Add(const std::string& entry);
    bool Allows(const std::string& origin) const;
    const std::vector<std::string>& Entries() const { return m_origins; }

private:
    std::vector<std::string> m_origins;  // canonical
};

}  // namespace bridge

#endif
