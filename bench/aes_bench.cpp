// AES-128 ECB encryption of 16 KiB: CAesCipher::EncryptData against OpenSSL's
// EVP aes-128-ecb (no padding), both table-based: OpenSSL's AES-NI and SSSE3
// code paths are masked through OPENSSL_ia32cap. Prints the throughput ratio
// of the two runs at the end.
//
//   aes_bench [benchmark flags]
//
// When OPENSSL_ia32cap is not set, the program sets it to mask bit 57 (AES-NI)
// and bit 41 (SSSE3) of the first capability word and runs itself again, so
// that OpenSSL reads the value when it initialises. A value set by the caller
// is used as it is.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "aes.h"
#include "ratio_reporter.h"

using crypto::CAesCipher;

namespace {

const char kCapabilityMask[] = "~0x200020000000000";  // ~(1 << 57 | 1 << 41)
const size_t kBytes = 16 * 1024;
const char kOurs[] = "Aes128EcbEncrypt/ours";
const char kOpenSsl[] = "Aes128EcbEncrypt/openssl";

struct Input {
    unsigned char key[16];
    std::vector<unsigned char> plain;
    Input() : plain(kBytes)
    {
        unsigned x = 12345;
        for (auto& k : key)
            k = static_cast<unsigned char>(x = x * 1103515245u + 12345u);
        for (auto& p : plain)
            p = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 16);
    }
};

const Input& TheInput()
{
    static const Input input;
    return input;
}

// Encrypts the input once with OpenSSL; false if an EVP call fails.
bool OpenSslEncrypt(EVP_CIPHER_CTX* ctx, unsigned char* out)
{
    const Input& in = TheInput();
    int n = 0;
    return EVP_EncryptUpdate(ctx, out, &n, in.plain.data(), static_cast<int>(kBytes)) == 1 &&
           n == static_cast<int>(kBytes);
}

EVP_CIPHER_CTX* NewOpenSslContext()
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx && (EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, TheInput().key, nullptr) != 1 ||
                EVP_CIPHER_CTX_set_padding(ctx, 0) != 1)) {
        EVP_CIPHER_CTX_free(ctx);
        ctx = nullptr;
    }
    return ctx;
}

void BM_Ours(benchmark::State& state)
{
    const Input& in = TheInput();
    std::vector<unsigned char> out(kBytes);
    CAesCipher aes;
    aes.SetKey(in.key, 16, 16);
    for (auto _ : state) {
        aes.EncryptData(in.plain.data(), out.data(), kBytes, CAesCipher::ModeEcb);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kBytes));
}

void BM_OpenSsl(benchmark::State& state)
{
    std::vector<unsigned char> out(kBytes);
    EVP_CIPHER_CTX* ctx = NewOpenSslContext();
    if (!ctx) {
        state.SkipWithError("EVP aes-128-ecb setup failed");
        return;
    }
    for (auto _ : state) {
        if (!OpenSslEncrypt(ctx, out.data())) {
            state.SkipWithError("EVP_EncryptUpdate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kBytes));
}

// Both implementations must produce the same bytes, or the timing is moot.
bool SameOutput()
{
    std::vector<unsigned char> ours(kBytes), theirs(kBytes);
    CAesCipher aes;
    aes.SetKey(TheInput().key, 16, 16);
    aes.EncryptData(TheInput().plain.data(), ours.data(), kBytes, CAesCipher::ModeEcb);
    EVP_CIPHER_CTX* ctx = NewOpenSslContext();
    const bool ok = ctx && OpenSslEncrypt(ctx, theirs.data()) && ours == theirs;
    EVP_CIPHER_CTX_free(ctx);
    return ok;
}


}  // namespace

BENCHMARK(BM_Ours)->Name(kOurs);
BENCHMARK(BM_OpenSsl)->Name(kOpenSsl);

int main(int argc, char** argv)
{
    if (!std::getenv("OPENSSL_ia32cap")) {
        setenv("OPENSSL_ia32cap", kCapabilityMask, 1);
        execv("/proc/self/exe", argv);
        std::perror("aes_bench: execv /proc/self/exe (OpenSSL runs unmasked)");
    }
    std::printf("OPENSSL_ia32cap=%s\n", std::getenv("OPENSSL_ia32cap"));
    if (!SameOutput()) {
        std::fprintf(stderr, "aes_bench: CAesCipher and OpenSSL disagree on aes-128-ecb\n");
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double ours = reporter.Mean(kOurs), theirs = reporter.Mean(kOpenSsl);
    if (ours > 0 && theirs > 0)
        std::printf(
            "aes128-ecb ratio ours/openssl: %.2fx (target >= 1.2x; ours %.1f MB/s, openssl %.1f "
            "MB/s)\n",
            ours / theirs, ours / 1e6, theirs / 1e6);
    else
        std::printf("aes128-ecb ratio ours/openssl: not measured (both benchmarks must run)\n");
    return 0;
}
