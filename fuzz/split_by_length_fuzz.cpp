// Fuzzes SplitByLength, the cutting of a page's text for the certificate
// encryption methods: the pieces put together give the text back, every
// piece but the last holds exactly `size` bytes and the last 1 to `size`,
// and their number is the text's length divided by `size`, rounded up. A
// size of 0 gives no pieces. Sizes: the two the methods use (100, 172), the
// extremes, and one taken from the input.
#include "pubkey.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

void Check(const std::string& text, size_t size)
{
    const std::vector<std::string> pieces = SplitByLength(text, size);
    if (size == 0) {
        if (!pieces.empty())
            std::abort();
        return;
    }
    const size_t expected = text.empty() ? 0 : (text.size() - 1) / size + 1;
    if (pieces.size() != expected)
        std::abort();
    size_t at = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const size_t n = pieces[i].size();
        const bool last = i + 1 == pieces.size();
        if (n == 0 || n > size || (!last && n != size))
            std::abort();
        if (text.compare(at, n, pieces[i]) != 0)
            std::abort();
        at += n;
    }
    if (at != text.size())
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 1 << 16)
        return 0;
    // The first two bytes give a size of 0 to 65,535, the rest is the text
    // (zero bytes included: the pieces are bytes, not C strings).
    const size_t chosen = static_cast<size_t>(data[0]) << 8 | data[1];
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    for (size_t s : {chosen, size_t(1) + chosen % 8, size_t(100), size_t(172), text.size(), text.size() + 1,
                     std::numeric_limits<size_t>::max()})
        Check(text, s);
    return 0;
}
