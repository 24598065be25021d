// Reference vectors produced on the build machine by tests/tools/refgen.cpp
// with OpenSSL, read by the native and the Windows tests alike.
//
// File format: one vector a line, "<kind> <field> <field> ...", fields in hex
// (binary) or as they are (text); an empty field is written as "-".
#ifndef QEL_TESTS_REFDATA_H
#define QEL_TESTS_REFDATA_H

#include <cstdint>
#include <string>
#include <vector>

namespace refdata {

using Bytes = std::vector<uint8_t>;
using Fields = std::vector<std::string>;

// Every vector of the given kind, fields without the kind. Empty when the
// file is missing; the caller reports that as a failure.
std::vector<Fields> Load(const std::string& kind);

// Path of the reference file, for messages.
std::string FilePath();

Bytes FromHex(const std::string& hex);
std::string ToHex(const uint8_t* p, size_t n);
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

}  // namespace refdata

#endif
