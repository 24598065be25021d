// Tests of CAesCipher: published AES vectors, OpenSSL vectors, the slow
// reference Rijndael for 24- and 32-byte blocks, the modes and the failures.
#include "aes.h"

#include <gtest/gtest.h>

#include <exception>
#include <random>
#include <string>
#include <vector>

#include "aes_reference.h"
#include "refdata.h"

using crypto::CAesCipher;
using crypto::CAesException;

namespace {

using refdata::Bytes;
using refdata::FromHex;
using refdata::ToHex;

const int kLengths[] = {16, 24, 32};

Bytes Random(std::mt19937& rng, size_t n)
{
    Bytes b(n);
    for (auto& c : b)
        c = static_cast<uint8_t>(rng());
    return b;
}

// The text of the exception that f throws, or a note that none came.
template <class F>
std::string Thrown(F f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

Bytes Encrypt(CAesCipher& aes, const Bytes& in, int mode)
{
    Bytes out(in.size());
    aes.EncryptData(in.data(), out.data(), in.size(), mode);
    return out;
}

Bytes Decrypt(CAesCipher& aes, const Bytes& in, int mode)
{
    Bytes out(in.size());
    aes.DecryptData(in.data(), out.data(), in.size(), mode);
    return out;
}

// CBC or CFB built from single reference blocks, starting at the documented
// initial chain.
Bytes ChainedReference(const Bytes& key, int blockLength, const Bytes& plain, int mode)
{
    const size_t n = static_cast<size_t>(blockLength);
    Bytes chain(CAesCipher::kInitialChain, CAesCipher::kInitialChain + n), out(plain.size()), e(n);
    for (size_t b = 0; b < plain.size(); b += n) {
        if (mode == CAesCipher::ModeCbc) {
            for (size_t i = 0; i < n; ++i)
                chain[i] ^= plain[b + i];
            aesref::Encrypt(key.data(), static_cast<int>(key.size()), blockLength, chain.data(),
                            &out[b]);
        } else {
            aesref::Encrypt(key.data(), static_cast<int>(key.size()), blockLength, chain.data(),
                            e.data());
            for (size_t i = 0; i < n; ++i)
                out[b + i] = e[i] ^ plain[b + i];
        }
        chain.assign(&out[b], &out[b] + n);
    }
    return out;
}

// FIPS-197 appendix C: the example vectors for each key length.
struct KnownAnswer {
    const char* source;
    const char* key;
    const char* plain;
    const char* cipher;
};
const KnownAnswer kFips197[] = {
    {"FIPS-197 C.1 AES-128", "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"FIPS-197 C.2 AES-192", "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"FIPS-197 C.3 AES-256", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
};

TEST(AesVectors, Fips197AppendixC)
{
    for (const KnownAnswer& v : kFips197) {
        SCOPED_TRACE(v.source);
        Bytes key = FromHex(v.key), plain = FromHex(v.plain), out(16);
        CAesCipher aes;
        aes.SetKey(key.data(), static_cast<int>(key.size()), 16);
        aes.EncryptOneBlock(plain.data(), out.data());
        EXPECT_EQ(v.cipher, ToHex(out)) << "EncryptOneBlock";
        EXPECT_EQ(v.cipher, ToHex(Encrypt(aes, plain, CAesCipher::ModeEcb))) << "EncryptData ECB";
        aes.DecryptOneBlock(FromHex(v.cipher).data(), out.data());
        EXPECT_EQ(v.plain, ToHex(out)) << "DecryptOneBlock";
        EXPECT_EQ(v.plain, ToHex(Decrypt(aes, FromHex(v.cipher), CAesCipher::ModeEcb)))
            << "DecryptData ECB";
        // The reference must agree too, or its other results prove nothing.
        aesref::Encrypt(key.data(), static_cast<int>(key.size()), 16, plain.data(), out.data());
        EXPECT_EQ(v.cipher, ToHex(out)) << "reference Rijndael";
    }
}

TEST(AesVectors, OpenSslAes128Ecb)
{
    const auto vectors = refdata::Load("aes128ecb");
    ASSERT_FALSE(vectors.empty()) << "no aes128ecb vectors in " << refdata::FilePath();
    for (const auto& f : vectors) {
        ASSERT_EQ(3u, f.size()) << "fields of an aes128ecb line";
        SCOPED_TRACE("key " + f[0]);
        CAesCipher aes;
        aes.SetKey(FromHex(f[0]).data(), 16, 16);
        EXPECT_EQ(f[2], ToHex(Encrypt(aes, FromHex(f[1]), CAesCipher::ModeEcb)));
        EXPECT_EQ(f[1], ToHex(Decrypt(aes, FromHex(f[2]), CAesCipher::ModeEcb)));
    }
}

// All nine key/block length pairs, single blocks and ECB buffers.
TEST(AesVectors, MatchesReferenceRijndael)
{
    std::mt19937 rng(197);
    for (int keyLength : kLengths)
        for (int blockLength : kLengths)
            for (int i = 0; i < 8; ++i) {
                SCOPED_TRACE("key " + std::to_string(keyLength) + ", block " +
                             std::to_string(blockLength));
                const size_t n = static_cast<size_t>(blockLength);
                Bytes key = Random(rng, static_cast<size_t>(keyLength)), plain = Random(rng, 3 * n);
                Bytes expect(plain.size()), out(n);
                for (size_t b = 0; b < plain.size(); b += n)
                    aesref::Encrypt(key.data(), keyLength, blockLength, &plain[b], &expect[b]);
                CAesCipher aes;
                aes.SetKey(key.data(), keyLength, blockLength);
                aes.EncryptOneBlock(plain.data(), out.data());
                EXPECT_EQ(ToHex(expect.data(), n), ToHex(out)) << "EncryptOneBlock";
                aes.DecryptOneBlock(expect.data(), out.data());
                EXPECT_EQ(ToHex(plain.data(), n), ToHex(out)) << "DecryptOneBlock";
                EXPECT_EQ(ToHex(expect), ToHex(Encrypt(aes, plain, CAesCipher::ModeEcb)))
                    << "EncryptData";
                EXPECT_EQ(ToHex(plain), ToHex(Decrypt(aes, expect, CAesCipher::ModeEcb)))
                    << "DecryptData";
                aesref::Decrypt(key.data(), keyLength, blockLength, expect.data(), out.data());
                EXPECT_EQ(ToHex(plain.data(), n), ToHex(out)) << "reference decryption";
            }
}

TEST(AesModes, CbcAndCfbMatchReferenceAndRoundTrip)
{
    std::mt19937 rng(42);
    for (int blockLength : kLengths)
        for (int mode : {CAesCipher::ModeCbc, CAesCipher::ModeCfb}) {
            SCOPED_TRACE("block " + std::to_string(blockLength) + ", mode " + std::to_string(mode));
            Bytes key = Random(rng, 32), plain = Random(rng, 4 * static_cast<size_t>(blockLength));
            CAesCipher aes;
            aes.SetKey(key.data(), 32, blockLength);
            const Bytes cipher = Encrypt(aes, plain, mode);
            EXPECT_EQ(ToHex(ChainedReference(key, blockLength, plain, mode)), ToHex(cipher));
            aes.SetKey(key.data(), 32, blockLength);
            EXPECT_EQ(ToHex(plain), ToHex(Decrypt(aes, cipher, mode)))
                << "decryption from a fresh SetKey";
            aes.SetKey(key.data(), 32, blockLength);
            Bytes inPlace = cipher;
            aes.DecryptData(inPlace.data(), inPlace.data(), inPlace.size(), mode);
            EXPECT_EQ(ToHex(plain), ToHex(inPlace)) << "in-place decryption";
        }
}

TEST(AesModes, EqualPlainBlocks)
{
    const Bytes key(16, 7), plain(32, 0x5a);  // two equal blocks
    CAesCipher aes;
    aes.SetKey(key.data(), 16, 16);
    Bytes c = Encrypt(aes, plain, CAesCipher::ModeEcb);
    EXPECT_EQ(ToHex(c.data(), 16), ToHex(c.data() + 16, 16)) << "ECB must repeat equal blocks";
    for (int mode : {CAesCipher::ModeCbc, CAesCipher::ModeCfb}) {
        c = Encrypt(aes, plain, mode);
        EXPECT_NE(ToHex(c.data(), 16), ToHex(c.data() + 16, 16))
            << "mode " << mode << " repeated a block";
    }
}

TEST(AesModes, ChainCarriesAcrossCallsUntilSetKey)
{
    std::mt19937 rng(7);
    const Bytes key = Random(rng, 16), plain = Random(rng, 64);
    const Bytes first(plain.begin(), plain.begin() + 32), second(plain.begin() + 32, plain.end());
    for (int mode : {CAesCipher::ModeCbc, CAesCipher::ModeCfb}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        CAesCipher aes;
        aes.SetKey(key.data(), 16, 16);
        const Bytes whole = Encrypt(aes, plain, mode);
        aes.SetKey(key.data(), 16, 16);
        Bytes split = Encrypt(aes, first, mode);
        const Bytes rest = Encrypt(aes, second, mode);
        split.insert(split.end(), rest.begin(), rest.end());
        EXPECT_EQ(ToHex(whole), ToHex(split)) << "two calls must equal one";
        EXPECT_NE(ToHex(whole), ToHex(Encrypt(aes, plain, mode))) << "the chain should have run on";
        aes.SetKey(key.data(), 16, 16);
        EXPECT_EQ(ToHex(whole), ToHex(Encrypt(aes, plain, mode)))
            << "SetKey should reset the chain";
    }
}

TEST(AesModes, OtherModeValuesAreEcb)
{
    std::mt19937 rng(3);
    const Bytes key = Random(rng, 24), plain = Random(rng, 96);
    CAesCipher aes;
    for (int blockLength : {16, 32}) {
        aes.SetKey(key.data(), 24, blockLength);
        const Bytes ecb = Encrypt(aes, plain, CAesCipher::ModeEcb);
        for (int mode : {3, -1, 1000}) {
            EXPECT_EQ(ToHex(ecb), ToHex(Encrypt(aes, plain, mode)))
                << "mode " << mode << ", block " << blockLength;
            EXPECT_EQ(ToHex(plain), ToHex(Decrypt(aes, ecb, mode)))
                << "mode " << mode << ", block " << blockLength;
        }
    }
}

TEST(AesErrors, NewObjectIsNotInitialized)
{
    CAesCipher aes;
    Bytes in(32, 1), out(32, 0xa5);
    const std::string none = "Object not Initialized";
    EXPECT_EQ(none, Thrown([&] { aes.EncryptOneBlock(in.data(), out.data()); }));
    EXPECT_EQ(none, Thrown([&] { aes.DecryptOneBlock(in.data(), out.data()); }));
    EXPECT_EQ(none, Thrown([&] { aes.EncryptBlock16(in.data(), out.data()); }));
    EXPECT_EQ(none, Thrown([&] { aes.DecryptBlock16(in.data(), out.data()); }));
    EXPECT_EQ(none,
              Thrown([&] { aes.EncryptData(in.data(), out.data(), 32, CAesCipher::ModeCbc); }));
    EXPECT_EQ(none, Thrown([&] { aes.DecryptData(in.data(), out.data(), 0, CAesCipher::ModeEcb); }))
        << "the key check comes before the length check";
    EXPECT_EQ(Bytes(32, 0xa5), out) << "output written although an operation failed";
    EXPECT_EQ("Incorrect key length", Thrown([&] { aes.SetKey(in.data(), 20, 16); }));
    EXPECT_EQ(none, Thrown([&] { aes.EncryptOneBlock(in.data(), out.data()); }))
        << "a failing SetKey must not set a key";
}

TEST(AesErrors, SetKeyChecksInOrderAndKeepsOldKey)
{
    const Bytes key(32, 0x11), other(32, 0x22), plain(16, 0x33);
    CAesCipher aes;
    aes.SetKey(key.data(), 16, 16);
    const Bytes before = Encrypt(aes, plain, CAesCipher::ModeEcb);
    EXPECT_EQ("Empty key", Thrown([&] { aes.SetKey(nullptr, 20, 20); }));
    EXPECT_EQ("Incorrect key length", Thrown([&] { aes.SetKey(other.data(), 20, 20); }));
    EXPECT_EQ("Incorrect key length", Thrown([&] { aes.SetKey(other.data(), 0, 16); }));
    EXPECT_EQ("Incorrect block length", Thrown([&] { aes.SetKey(other.data(), 32, 20); }));
    EXPECT_EQ("Incorrect block length", Thrown([&] { aes.SetKey(other.data(), 16, 64); }));
    EXPECT_EQ(ToHex(before), ToHex(Encrypt(aes, plain, CAesCipher::ModeEcb)))
        << "failing SetKey calls changed the key or block size";
    try {
        aes.SetKey(nullptr, 16, 16);
        ADD_FAILURE() << "expected CAesException, nothing thrown";
    } catch (const CAesException& e) {
        EXPECT_STREQ("Empty key", e.what());
    }
}

TEST(AesErrors, BadDataLengthWritesNothing)
{
    const Bytes key(16, 9), in(64, 1);
    for (int blockLength : kLengths)
        for (size_t length : {size_t{0}, size_t{17}, static_cast<size_t>(blockLength) + 8})
            for (int mode : {CAesCipher::ModeEcb, CAesCipher::ModeCbc, CAesCipher::ModeCfb}) {
                SCOPED_TRACE("block " + std::to_string(blockLength) + ", length " +
                             std::to_string(length) + ", mode " + std::to_string(mode));
                CAesCipher aes;
                aes.SetKey(key.data(), 16, blockLength);
                Bytes out(64, 0xa5);
                EXPECT_EQ("Data not multiple of Block Size",
                          Thrown([&] { aes.EncryptData(in.data(), out.data(), length, mode); }));
                EXPECT_EQ("Data not multiple of Block Size",
                          Thrown([&] { aes.DecryptData(in.data(), out.data(), length, mode); }));
                EXPECT_EQ(Bytes(64, 0xa5), out) << "output written although the length was refused";
            }
}

}  // namespace
