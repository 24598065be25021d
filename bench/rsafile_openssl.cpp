// The OpenSSL side of bench/rsafile_bench.sh, built and run on the build
// machine: encrypts a file in pieces of 100 bytes with a new 1024-bit RSA key
// (PKCS #1 v1.5, one 128-byte block per piece, size / 100 + 1 blocks as the
// control's ".gue" files hold), decrypts the blocks again, checks that the
// bytes came back and prints the milliseconds of each direction:
//   rsafile_openssl FILE     ->  "<encrypt ms> <decrypt ms>"
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<unsigned char>;

double Ms(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: rsafile_openssl FILE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const Bytes plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EVP_PKEY* key = EVP_RSA_gen(1024);
    EVP_PKEY_CTX* enc = key ? EVP_PKEY_CTX_new(key, nullptr) : nullptr;
    EVP_PKEY_CTX* dec = key ? EVP_PKEY_CTX_new(key, nullptr) : nullptr;
    if (!enc || !dec || EVP_PKEY_encrypt_init(enc) != 1 || EVP_PKEY_decrypt_init(dec) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(enc, RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(dec, RSA_PKCS1_PADDING) != 1) {
        std::fprintf(stderr, "rsafile_openssl: no RSA key\n");
        return 1;
    }

    const size_t pieces = plain.size() / 100 + 1;
    Bytes cipher(pieces * 128);
    Clock::time_point start = Clock::now();
    for (size_t i = 0; i < pieces; ++i) {
        const size_t at = i * 100, n = plain.size() - at < 100 ? plain.size() - at : 100;
        size_t out = 128;
        if (EVP_PKEY_encrypt(enc, &cipher[i * 128], &out, plain.data() + at, n) != 1 || out != 128) {
            std::fprintf(stderr, "rsafile_openssl: encrypting piece %zu failed\n", i);
            return 1;
        }
    }
    const double encryptMs = Ms(start);

    Bytes back;
    back.reserve(plain.size());
    start = Clock::now();
    for (size_t i = 0; i < pieces; ++i) {
        unsigned char block[128];
        size_t out = sizeof(block);
        if (EVP_PKEY_decrypt(dec, block, &out, &cipher[i * 128], 128) != 1) {
            std::fprintf(stderr, "rsafile_openssl: decrypting block %zu failed\n", i);
            return 1;
        }
        back.insert(back.end(), block, block + out);
    }
    const double decryptMs = Ms(start);
    if (back != plain) {
        std::fprintf(stderr, "rsafile_openssl: the blocks did not decrypt to the file\n");
        return 1;
    }
    std::printf("%.0f %.0f\n", encryptMs, decryptMs);
    EVP_PKEY_CTX_free(enc);
    EVP_PKEY_CTX_free(dec);
    EVP_PKEY_free(key);
    return 0;
}
