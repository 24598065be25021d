// DES-ECB encryption of 16 KiB: DesEcb() against OpenSSL's EVP des-ecb (no
// padding) from its legacy provider, in the same run. Prints both
// throughputs and their ratio at the end.
//
//   des_bench [benchmark flags]
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#if OPENSSL_VERSION_MAJOR >= 3
#include <openssl/provider.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "des.h"
#include "ratio_reporter.h"

using crypto::DesEcb;
using crypto::DesKeySchedule;
using crypto::DesSchedule;
using crypto::kDesEncrypt;

namespace {

const size_t kBytes = 16 * 1024;
const char kOurs[] = "DesEcbEncrypt/ours";
const char kOpenSsl[] = "DesEcbEncrypt/openssl";

struct Input {
    unsigned char key[8];
    std::vector<unsigned char> plain;
    Input() : plain(kBytes)
    {
        unsigned x = 4603;
        for (auto& k : key)
            k = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 16);
        for (auto& p : plain)
            p = static_cast<unsigned char>((x = x * 1103515245u + 12345u) >> 16);
    }
};

const Input& TheInput()
{
    static const Input input;
    return input;
}

EVP_CIPHER_CTX* NewOpenSslContext()
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (ctx && (EVP_EncryptInit_ex(ctx, EVP_des_ecb(), nullptr, TheInput().key, nullptr) != 1 ||
                EVP_CIPHER_CTX_set_padding(ctx, 0) != 1)) {
        EVP_CIPHER_CTX_free(ctx);
        ctx = nullptr;
    }
    return ctx;
}

bool OpenSslEncrypt(EVP_CIPHER_CTX* ctx, unsigned char* out)
{
    int n = 0;
    return EVP_EncryptUpdate(ctx, out, &n, TheInput().plain.data(), static_cast<int>(kBytes)) == 1 &&
           n == static_cast<int>(kBytes);
}

void BM_Ours(benchmark::State& state)
{
    std::vector<unsigned char> out(kBytes);
    DesSchedule schedule;
    DesKeySchedule(TheInput().key, kDesEncrypt, &schedule);
    for (auto _ : state) {
        DesEcb(TheInput().plain.data(), out.data(), kBytes, &schedule);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}

void BM_OpenSsl(benchmark::State& state)
{
    std::vector<unsigned char> out(kBytes);
    EVP_CIPHER_CTX* ctx = NewOpenSslContext();
    if (!ctx) {
        state.SkipWithError("EVP des-ecb setup failed");
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
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBytes));
}

// Both implementations must produce the same bytes, or the timing is moot.
bool SameOutput()
{
    std::vector<unsigned char> ours(kBytes), theirs(kBytes);
    DesSchedule schedule;
    DesKeySchedule(TheInput().key, kDesEncrypt, &schedule);
    DesEcb(TheInput().plain.data(), ours.data(), kBytes, &schedule);
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
#if OPENSSL_VERSION_MAJOR >= 3
    if (!OSSL_PROVIDER_load(nullptr, "legacy") || !OSSL_PROVIDER_load(nullptr, "default")) {
        std::fprintf(stderr, "des_bench: cannot load the OpenSSL legacy provider\n");
        return 1;
    }
#endif
    if (!SameOutput()) {
        std::fprintf(stderr, "des_bench: DesEcb and OpenSSL disagree on des-ecb\n");
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
        std::printf("des-ecb ratio ours/openssl: %.2fx (target >= 1.0x; ours %.1f MB/s, openssl %.1f MB/s)\n",
                    ours / theirs, ours / 1e6, theirs / 1e6);
    else
        std::printf("des-ecb ratio ours/openssl: not measured (both benchmarks must run)\n");
    return 0;
}
