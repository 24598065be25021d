// SplitByLength: portable, so that it also builds natively (its fuzzer).
#include "pubkey.h"

std::vector<std::string> SplitByLength(const std::string& text, size_t size)
{
    std::vector<std::string> pieces;
    if (size == 0)
        return pieces;
    pieces.reserve((text.size() + size - 1) / size);
    for (size_t at = 0; at < text.size(); at += size)
        pieces.push_back(text.substr(at, size));
    return pieces;
}
