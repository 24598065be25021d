// Build-machine tool: writes reference vectors computed by OpenSSL, so that the
// tests (native and under Wine) compare our codecs and ciphers against an
// independent implementation. Deterministic: a fixed seed drives the inputs.
//
//   refgen OUTPUT
//
// Kinds written (fields in hex unless said otherwise, "-" for empty):
//   b64 <input> <base64 text>              EVP_EncodeBlock, lengths 0..4096
//   aes128ecb <key> <plain> <cipher>       EVP aes-128-ecb, no padding
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::string Hex(const Bytes& b)
{
    if (b.empty()) return "-";
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : b) { s += d[c >> 4]; s += d[c & 15]; }
    return s;
}

Bytes Random(std::mt19937& rng, size_t n)
{
    Bytes b(n);
    for (auto& c : b) c = static_cast<unsigned char>(rng());
    return b;
}

bool Cipher(const EVP_CIPHER* type, const Bytes& key, const Bytes& in, Bytes& out)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    out.assign(in.size() + 32, 0);
    int n1 = 0, n2 = 0;
    bool ok = ctx && EVP_EncryptInit_ex(ctx, type, nullptr, key.data(), nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_EncryptUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
              EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<size_t>(n1 + n2));
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) { std::fprintf(stderr, "usage: refgen OUTPUT\n"); return 2; }
    FILE* f = std::fopen(argv[1], "w");
    if (!f) { std::perror(argv[1]); return 1; }
    std::mt19937 rng(20261208);

    // Base64: every length 0..64, then random lengths up to 4096 with both ends.
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 64; ++n) lengths.push_back(n);
    for (int i = 0; i < 200; ++i) lengths.push_back(rng() % 4097);
    lengths.push_back(4095);
    lengths.push_back(4096);
    for (size_t n : lengths) {
        Bytes in = Random(rng, n);
        std::string text(4 * ((n + 2) / 3) + 1, '\0');
        int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]), in.data(),
                                  static_cast<int>(n));
        text.resize(static_cast<size_t>(len));
        std::fprintf(f, "b64 %s %s\n", Hex(in).c_str(), text.empty() ? "-" : text.c_str());
    }

    // AES-128-ECB on random keys and whole blocks.
    for (int i = 0; i < 100; ++i) {
        Bytes key = Random(rng, 16);
        Bytes plain = Random(rng, 16 * (1 + rng() % 64));
        Bytes cipher;
        if (!Cipher(EVP_aes_128_ecb(), key, plain, cipher)) { std::fprintf(stderr, "aes failed\n"); return 1; }
        std::fprintf(f, "aes128ecb %s %s %s\n", Hex(key).c_str(), Hex(plain).c_str(), Hex(cipher).c_str());
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
