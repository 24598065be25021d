#include "refdata.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace refdata {

std::string FilePath()
{
    return std::string(QEL_REFDATA_DIR) + "/openssl-vectors.txt";
}

std::vector<Fields> Load(const std::string& kind)
{
    std::vector<Fields> out;
    std::ifstream in(FilePath());
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string first;
        if (!(words >> first) || first != kind)
            continue;
        Fields f;
        std::string w;
        while (words >> w)
            f.push_back(w == "-" ? std::string() : w);
        out.push_back(f);
    }
    return out;
}

static int Nibble(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

Bytes FromHex(const std::string& hex)
{
    Bytes b(hex.size() / 2);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(Nibble(hex[2 * i]) << 4 | Nibble(hex[2 * i + 1]));
    return b;
}

std::string ToHex(const uint8_t* p, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string s(2 * n, '0');
    for (size_t i = 0; i < n; ++i) {
        s[2 * i] = digits[p[i] >> 4];
        s[2 * i + 1] = digits[p[i] & 15];
    }
    return s;
}

}  // namespace refdata
