// Helpers of the certificate encryption methods (pubkey.cpp; SplitByLength in
// pubkeysplit.cpp, portable, which its fuzzer also builds natively).
#ifndef QEL_CONTROL_PUBKEY_H
#define QEL_CONTROL_PUBKEY_H

#include <cstddef>
#include <string>
#include <vector>

// Cuts `text` into consecutive pieces of `size` bytes, the last one holding
// the remaining 1 to `size` bytes: (length + size - 1) / size pieces. Bytes,
// not characters: a double-byte character may be split between two pieces.
// An empty text, and a size of 0, give no pieces.
std::vector<std::string> SplitByLength(const std::string& text, size_t size);

#endif
