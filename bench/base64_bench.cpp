// Base64Encode / Base64Decode against OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock over the same 16 KiB, in the same run; prints the ratios.
#include "base64.h"
#include "ratio_reporter.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

using crypto::Base64Decode;
using crypto::Base64Encode;

namespace {

const size_t kSize = 16 * 1024;

struct Data {
    std::vector<unsigned char> bytes;
    std::string text;
    Data() : bytes(kSize)
    {
        std::mt19937 rng(7);
        for (auto& b : bytes) b = static_cast<unsigned char>(rng());
        text.resize(4 * ((kSize + 2) / 3) + 1);
        uint32_t n = 0;
        Base64Encode(bytes.data(), kSize, &text[0], &n);
        text.resize(n);
    }
};
const Data& Input()
{
    static const Data d;
    return d;
}

void BM_EncodeOurs(benchmark::State& state)
{
    const Data& d = Input();
    std::vector<char> out(d.text.size() + 1);
    for (auto _ : state) {
        uint32_t n = 0;
        Base64Encode(d.bytes.data(), kSize, out.data(), &n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_EncodeOpenSsl(benchmark::State& state)
{
    const Data& d = Input();
    std::vector<unsigned char> out(d.text.size() + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EVP_EncodeBlock(out.data(), d.bytes.data(), kSize));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_DecodeOurs(benchmark::State& state)
{
    const Data& d = Input();
    std::vector<unsigned char> out(kSize + 3);
    for (auto _ : state) {
        uint32_t n = 0;
        Base64Decode(d.text.c_str(), static_cast<uint32_t>(d.text.size()), out.data(), &n);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

void BM_DecodeOpenSsl(benchmark::State& state)
{
    const Data& d = Input();
    std::vector<unsigned char> out(kSize + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(),
            reinterpret_cast<const unsigned char*>(d.text.data()), static_cast<int>(d.text.size())));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kSize));
}

BENCHMARK(BM_EncodeOurs);
BENCHMARK(BM_EncodeOpenSsl);
BENCHMARK(BM_DecodeOurs);
BENCHMARK(BM_DecodeOpenSsl);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* what, const char* ours, const char* theirs) {
        double a = reporter.Mean(ours), b = reporter.Mean(theirs);
        if (a > 0 && b > 0)
            std::printf("%s ratio ours/openssl: %.2fx (%.0f vs %.0f MB/s, target >= 1.0x)\n",
                        what, a / b, a / 1e6, b / 1e6);
    };
    ratio("base64 encode 16 KiB", "BM_EncodeOurs", "BM_EncodeOpenSsl");
    ratio("base64 decode 16 KiB", "BM_DecodeOurs", "BM_DecodeOpenSsl");
    return 0;
}
