#include "origin.h"

#include <algorithm>

namespace bridge {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); }
bool IsLabelChar(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || c == '-' || c == '_'; }

bool ValidHost(const std::string& host)
{
    if (host.empty() || host.size() > 255)
        return false;
    if (host[0] == '[') {
        // An IPv6 literal: hexadecimal digits, colons and dots (an embedded
        // IPv4 address), with at least two colons.
        if (host.size() < 4 || host.back() != ']')
            return false;
        size_t colons = 0;
        for (size_t i = 1; i + 1 < host.size(); ++i) {
            const char c = host[i];
            if (c == ':')
                ++colons;
            else if (!IsHex(c) && c != '.')
                return false;
        }
        return colons >= 2;
    }
    // Dot-separated labels, none empty.
    size_t label = 0;
    for (char c : host) {
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
        } else if (IsLabelChar(c)) {
            ++label;
        } else {
            return false;
        }
    }
    return label > 0;
}

}  // namespace

std::string CanonicalOrigin(const std::string& text, bool entry)
{
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        s += Lower(c);
    if (entry && !s.empty() && s.back() == '/')
        s.pop_back();

    std::string scheme;
    if (s.compare(0, 7, "http://") == 0)
        scheme = "http";
    else if (s.compare(0, 8, "https://") == 0)
        scheme = "https";
    else
        return std::string();
    const std::string rest = s.substr(scheme.size() + 3);

    // The port follows the last colon outside an IPv6 literal's brackets.
    const size_t bracket = rest.rfind(']');
    const size_t colon = rest.rfind(':');
    std::string host = rest, port;
    if (colon != std::string::npos && (bracket == std::string::npos || colon > bracket)) {
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port[0] == '0' || !std::all_of(port.begin(), port.end(), IsDigit) ||
            std::stol(port) > 65535)
            return std::string();
    }
    if (!ValidHost(host))
        return std::string();
    if ((scheme == "http" && port == "80") || (scheme == "https" && port == "443"))
        port.clear();
    return scheme + "://" + host + (port.empty() ? "" : ":" + port);
}

bool OriginPolicy::Add(const std::string& entry)
{
    const std::string canonical = CanonicalOrigin(entry, true);
    if (canonical.empty())
        return false;
    if (std::find(m_origins.begin(), m_origins.end(), canonical) == m_origins.end())
        m_origins.push_back(canonical);
    return true;
}

bool OriginPolicy::Allows(const std::string& origin) const
{
    const std::string canonical = CanonicalOrigin(origin);
    if (canonical.empty())
        return false;
    // Development servers on this machine, whatever their port.
    for (const char* local : {"http://127.0.0.1", "http://localhost"}) {
        const std::string prefix(local);
        if (canonical == prefix || canonical.compare(0, prefix.size() + 1, prefix + ":") == 0)
            return true;
    }
    return std::find(m_origins.begin(), m_origins.end(), canonical) != m_origins.end();
}

}  // namespace bridge
