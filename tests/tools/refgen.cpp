// Build-machine tool: writes reference vectors computed by OpenSSL, so that the
// tests (native and under Wine) compare our codecs and ciphers against an
// independent implementation. Deterministic: a fixed seed drives the inputs.
//
//   refgen OUTPUT
//
// Kinds written (fields in hex unless said otherwise, "-" for empty):
//   b64 <input> <base64 text>              EVP_EncodeBlock, lengths 0..4096
//   aes128ecb <key> <plain> <cipher>       EVP aes-128-ecb, no padding
//   logcontent <content> <cipher>          diagnostic log record: the content
//                                          zero-padded to 16 bytes, aes-128-ecb
//                                          under the log key text, no padding;
//                                          checked to decrypt back with -nopad
//   desecb <key> <plain> <cipher>          EVP des-ecb, no padding
//   desenc <keytext> <plain> <base64>      des-ecb with PKCS #5 padding, Base64 of
//                                          the result; keytext is the Base64 text
//                                          of 0..30 key bytes (as is, "-" when
//                                          empty), the DES key its first 8 bytes
//                                          completed with zeros
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#if OPENSSL_VERSION_MAJOR >= 3
#include <openssl/provider.h>
#endif

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

// DES-ECB of `in`, with PKCS #5 padding when `pad` is set.
bool DesEcb(const Bytes& key, const Bytes& in, bool pad, Bytes& out)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    out.assign(in.size() + 16, 0);
    int n1 = 0, n2 = 0;
    bool ok = ctx && EVP_EncryptInit_ex(ctx, EVP_des_ecb(), nullptr, key.data(), nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, pad ? 1 : 0) == 1 &&
              EVP_EncryptUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
              EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2) == 1;
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<size_t>(n1 + n2));
    return ok;
}

std::string Base64(const Bytes& in)
{
    std::string text(4 * ((in.size() + 2) / 3) + 1, '\0');
    int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&text[0]), in.data(),
                              static_cast<int>(in.size()));
    text.resize(static_cast<size_t>(len));
    return text;
}

// DES vectors, from their own generator so that they do not depend on what
// is written before them.
bool WriteDes(FILE* f)
{
#if OPENSSL_VERSION_MAJOR >= 3
    // DES lives in the legacy provider; loading it replaces the implicit
    // default provider, which the other ciphers still need.
    if (!OSSL_PROVIDER_load(nullptr, "legacy") || !OSSL_PROVIDER_load(nullptr, "default")) {
        std::fprintf(stderr, "refgen: cannot load the OpenSSL legacy provider for DES\n");
        return false;
    }
#endif
    std::mt19937 rng(46003);

    // Single keys on whole blocks.
    for (int i = 0; i < 100; ++i) {
        Bytes key = Random(rng, 8);
        Bytes plain = Random(rng, 8 * (1 + rng() % 64));
        Bytes cipher;
        if (!DesEcb(key, plain, false, cipher)) return false;
        std::fprintf(f, "desecb %s %s %s\n", Hex(key).c_str(), Hex(plain).c_str(), Hex(cipher).c_str());
    }

    // Padded texts: key texts of 0..30 bytes, every length 0..40 and random
    // lengths up to 3000, and a Chinese text in code page 936.
    std::vector<Bytes> plains;
    for (size_t n = 0; n <= 40; ++n) plains.push_back(Random(rng, n));
    for (int i = 0; i < 40; ++i) plains.push_back(Random(rng, rng() % 3001));
    const unsigned char chinese[] = "DES\xbc\xd3\xc3\xdc\xb2\xe2\xca\xd4\xa3\xba\xd6\xd0\xce\xc4\xce\xc4\xb1\xbe";
    plains.push_back(Bytes(chinese, chinese + sizeof(chinese) - 1));  // "DES加密测试：中文文本"
    size_t keyLength = 0;
    for (const Bytes& plain : plains) {
        Bytes keyBytes = Random(rng, keyLength);
        keyLength = (keyLength + 1) % 31;
        Bytes key(8, 0);
        for (size_t k = 0; k < 8 && k < keyBytes.size(); ++k) key[k] = keyBytes[k];
        Bytes cipher;
        if (!DesEcb(key, plain, true, cipher)) return false;
        std::string keyText = Base64(keyBytes);
        std::fprintf(f, "desenc %s %s %s\n", keyText.empty() ? "-" : keyText.c_str(), Hex(plain).c_str(),
                     Base64(cipher).c_str());
    }
    return true;
}

bool Decrypt(const EVP_CIPHER* type, const Bytes& key, const Bytes& in, Bytes& out)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    out.assign(in.size() + 32, 0);
    int n1 = 0, n2 = 0;
    bool ok = ctx && EVP_DecryptInit_ex(ctx, type, nullptr, key.data(), nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
              EVP_DecryptUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
              EVP_DecryptFinal_ex(ctx, out.data() + n1, &n2) == 1;
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
    if (!WriteDes(f)) { std::fprintf(stderr, "des failed\n"); return 1; }

    // Diagnostic log contents: the record lengths around a block, code page
    // 936 text, signing lines, and random printable texts (own generator).
    std::mt19937 logRng(9360);
    const std::string logKey = "7301946285017392";
    std::vector<std::string> contents = {"", "a", "0123456789abcde", "0123456789abcdef", "0123456789abcdefg",
                                         "\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD\xCE\xAA\xBF\xD5",
                                         "Plain:4:text\r\nCert:5:MIIB/\r\nsigndata:4:QUJD\r\nCSP:Test CSP\r\n"};
    for (int i = 0; i < 40; ++i) {
        std::string text(1 + logRng() % 200, ' ');
        for (char& c : text) c = static_cast<char>(' ' + logRng() % 95);
        contents.push_back(text);
    }
    for (const std::string& text : contents) {
        Bytes plain(text.begin(), text.end());
        plain.resize((plain.size() + 15) / 16 * 16, 0);
        Bytes cipher, back;
        Bytes key(logKey.begin(), logKey.end());
        if (!Cipher(EVP_aes_128_ecb(), key, plain, cipher) || !Decrypt(EVP_aes_128_ecb(), key, cipher, back) ||
            back != plain) {
            std::fprintf(stderr, "log content failed\n");
            return 1;
        }
        std::fprintf(f, "logcontent %s %s\n", Hex(Bytes(text.begin(), text.end())).c_str(), Hex(cipher).c_str());
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
