// Tests of the DES cipher (des.h) and of the text and stream encryption built
// on it (descrypt.h): published known answers, OpenSSL vectors (plain ECB and
// padded, Base64-encoded texts), key texts, and the chunked stream loop with
// short reads and failing reads and writes.
#include "des.h"
#include "descrypt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "base64.h"
#include "refdata.h"

using crypto::Base64Decode;
using crypto::CDesInput;
using crypto::CDesOutput;
using crypto::DesBlock;
using crypto::DesEcb;
using crypto::DesEncryptStream;
using crypto::DesEncryptText;
using crypto::DesKeyFromText;
using crypto::DesKeySchedule;
using crypto::DesPaddedLength;
using crypto::DesSchedule;
using crypto::DesTextCipherLength;
using crypto::kDesChunkSize;
using crypto::kDesDecrypt;
using crypto::kDesEncrypt;

namespace {

using refdata::Bytes;
using refdata::FromHex;
using refdata::ToHex;

// Known-answer tables of NIST Special Publication 800-17, "Modes of Operation
// Validation System (MOVS): Requirements and Procedures", Appendix A.

// Table A.1, variable plaintext test: key 0101010101010101, plaintext with
// only bit i+1 set; ciphertext of entry i.
const uint64_t kVariablePlaintext[64] = {
    0x95f8a5e5dd31d900, 0xdd7f121ca5015619, 0x2e8653104f3834ea, 0x4bd388ff6cd81d4f,
    0x20b9e767b2fb1456, 0x55579380d77138ef, 0x6cc5defaaf04512f, 0x0d9f279ba5d87260,
    0xd9031b0271bd5a0a, 0x424250b37c3dd951, 0xb8061b7ecd9a21e5, 0xf15d0f286b65bd28,
    0xadd0cc8d6e5deba1, 0xe6d5f82752ad63d1, 0xecbfe3bd3f591a5e, 0xf356834379d165cd,
    0x2b9f982f20037fa9, 0x889de068a16f0be6, 0xe19e275d846a1298, 0x329a8ed523d71aec,
    0xe7fce22557d23c97, 0x12a9f5817ff2d65d, 0xa484c3ad38dc9c19, 0xfbe00a8a1ef8ad72,
    0x750d079407521363, 0x64feed9c724c2faf, 0xf02b263b328e2b60, 0x9d64555a9a10b852,
    0xd106ff0bed5255d7, 0xe1652c6b138c64a5, 0xe428581186ec8f46, 0xaeb5f5ede22d1a36,
    0xe943d7568aec0c5c, 0xdf98c8276f54b04b, 0xb160e4680f6c696f, 0xfa0752b07d9c4ab8,
    0xca3a2b036dbc8502, 0x5e0905517bb59bcf, 0x814eeb3b91d90726, 0x4d49db1532919c9f,
    0x25eb5fc3f8cf0621, 0xab6a20c0620d1c6f, 0x79e90dbc98f92cca, 0x866ecedd8072bb0e,
    0x8b54536f2f3e64a8, 0xea51d3975595b86b, 0xcaffc6ac4542de31, 0x8dd45a2ddf90796c,
    0x1029d55e880ec2d0, 0x5d86cb23639dbea9, 0x1d1ca853ae7c0c5f, 0xce332329248f3228,
    0x8405d1abe24fb942, 0xe643d78090ca4207, 0x48221b9937748a23, 0xdd7c0bbd61fafd54,
    0x2fbc291a570db5c4, 0xe07c30d7e4e26e12, 0x0953e2258e8e90a1, 0x5b711bc4ceebf2ee,
    0xcc083f1e6d9e85f6, 0xd2fd8867d50d2dfe, 0x06e7ea22ce92708f, 0x166b40b44aba4bd6,
};

// Table A.2, variable key test: plaintext 0, key with only the i-th of the 56
// key bits set and every parity bit at odd parity; ciphertext of entry i.
const uint64_t kVariableKey[56] = {
    0x95a8d72813daa94d, 0x0eec1487dd8c26d5, 0x7ad16ffb79c45926, 0xd3746294ca6a6cf3,
    0x809f5f873c1fd761, 0xc02faffec989d1fc, 0x4615aa1d33e72f10, 0x2055123350c00858,
    0xdf3b99d6577397c8, 0x31fe17369b5288c9, 0xdfdd3cc64dae1642, 0x178c83ce2b399d94,
    0x50f636324a9b7f80, 0xa8468ee3bc18f06d, 0xa2dc9e92fd3cde92, 0xcac09f797d031287,
    0x90ba680b22aeb525, 0xce7a24f350e280b6, 0x882bff0aa01a0b87, 0x25610288924511c2,
    0xc71516c29c75d170, 0x5199c29a52c9f059, 0xc22f0a294a71f29f, 0xee371483714c02ea,
    0xa81fbd448f9e522f, 0x4f644c92e192dfed, 0x1afa9a66a6df92ae, 0xb3c1cc715cb879d8,
    0x19d032e64ab0bd8b, 0x3cfaa7a7dc8720dc, 0xb7265f7f447ac6f3, 0x9db73b3c0d163f54,
    0x8181b65babf4a975, 0x93c9b64042eaa240, 0x5570530829705592, 0x8638809e878787a0,
    0x41b9a79af79ac208, 0x7a9be42f2009a892, 0x29038d56ba6d2745, 0x5495c6abf1e5df51,
    0xae13dbd561488933, 0x024d1ffa8904e389, 0xd1399712f99bf02e, 0x14c1d7c1cffec79e,
    0x1de5279dae3bed6f, 0xe941a33f85501303, 0xda99dbbc9a03f379, 0xb7fc92f91d8e92e9,
    0xae8e5caa3ca04e85, 0x9cc62df43b6eed74, 0xd863dbb5c59a91a0, 0xa1ab2190545b91d7,
    0x0875041e64c570f7, 0x5a594528bebef1cc, 0xfcdb3291de21f0c0, 0x869efd7f9f265a09,
};

struct KeyCipher {
    uint64_t key, cipher;
};

// Table A.3, permutation operation test: plaintext 0.
const KeyCipher kPermutationOperation[32] = {
    {0x1046913489980131, 0x88d55e54f54c97b4}, {0x1007103489988020, 0x0c0cc00c83ea48fd},
    {0x10071034c8980120, 0x83bc8ef3a6570183}, {0x1046103489988020, 0xdf725dcad94ea2e9},
    {0x1086911519190101, 0xe652b53b550be8b0}, {0x1086911519580101, 0xaf527120c485cbb0},
    {0x5107b01519580101, 0x0f04ce393db926d5}, {0x1007b01519190101, 0xc9f00ffc74079067},
    {0x3107915498080101, 0x7cfd82a593252b4e}, {0x3107919498080101, 0xcb49a2f9e91363e3},
    {0x10079115b9080140, 0x00b588be70d23f56}, {0x3107911598080140, 0x406a9a6ab43399ae},
    {0x1007d01589980101, 0x6cb773611dca9ada}, {0x9107911589980101, 0x67fd21c17dbb5d70},
    {0x9107d01589190101, 0x9592cb4110430787}, {0x1007d01598980120, 0xa6b7ff68a318ddd3},
    {0x1007940498190101, 0x4d102196c914ca16}, {0x0107910491190401, 0x2dfa9f4573594965},
    {0x0107910491190101, 0xb46604816c0e0774}, {0x0107940491190401, 0x6e7e6221a4f34e87},
    {0x19079210981a0101, 0xaa85e74643233199}, {0x1007911998190801, 0x2e5a19db4d1962d6},
    {0x10079119981a0801, 0x23a866a809d30894}, {0x1007921098190101, 0xd812d961f017d320},
    {0x100791159819010b, 0x055605816e58608f}, {0x1004801598190101, 0xabd88e8b1b7716f1},
    {0x1004801598190102, 0x537ac95be69da1e1}, {0x1004801598190108, 0xaed0f6ae3c25cdd8},
    {0x1002911598100104, 0xb3e35a5ee53e7b8d}, {0x1002911598190104, 0x61c79c71921a2ef8},
    {0x1002911598100201, 0xe2f5728f0995013c}, {0x1002911698100101, 0x1aeac39a61f0a464},
};

struct Triple {
    uint64_t key, plain, cipher;
};

// Table A.4, substitution table test.
const Triple kSubstitutionTable[19] = {
    {0x7ca110454a1a6e57, 0x01a1d6d039776742, 0x690f5b0d9a26939b},
    {0x0131d9619dc1376e, 0x5cd54ca83def57da, 0x7a389d10354bd271},
    {0x07a1133e4a0b2686, 0x0248d43806f67172, 0x868ebb51cab4599a},
    {0x3849674c2602319e, 0x51454b582ddf440a, 0x7178876e01f19b2a},
    {0x04b915ba43feb5b6, 0x42fd443059577fa2, 0xaf37fb421f8c4095},
    {0x0113b970fd34f2ce, 0x059b5e0851cf143a, 0x86a560f10ec6d85b},
    {0x0170f175468fb5e6, 0x0756d8e0774761d2, 0x0cd3da020021dc09},
    {0x43297fad38e373fe, 0x762514b829bf486a, 0xea676b2cb7db2b7a},
    {0x07a7137045da2a16, 0x3bdd119049372802, 0xdfd64a815caf1a0f},
    {0x04689104c2fd3b2f, 0x26955f6835af609a, 0x5c513c9c4886c088},
    {0x37d06bb516cb7546, 0x164d5e404f275232, 0x0a2aeeae3ff4ab77},
    {0x1f08260d1ac2465e, 0x6b056e18759f5cca, 0xef1bf03e5dfa575a},
    {0x584023641aba6176, 0x004bd6ef09176062, 0x88bf0db6d70dee56},
    {0x025816164629b007, 0x480d39006ee762f2, 0xa1f9915541020b56},
    {0x49793ebc79b3258f, 0x437540c8698f3cfa, 0x6fbf1cafcffd0556},
    {0x4fb05e1515ab73a7, 0x072d43a077075292, 0x2f22e49bab7ca1ac},
    {0x49e95d6d4ca229bf, 0x02fe55778117f12a, 0x5a6b612cc26cce4a},
    {0x018310dc409b26d6, 0x1d9d5c5018f728c2, 0x5f4c038ed12b2e41},
    {0x1c587f1c13924fef, 0x305532286d6f295a, 0x63fac0d034d9f793},
};

void Put64(uint64_t v, unsigned char* p)
{
    for (int i = 7; i >= 0; --i, v >>= 8)
        p[i] = static_cast<unsigned char>(v);
}

uint64_t Get64(const unsigned char* p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | p[i];
    return v;
}

uint64_t Des(uint64_t key, uint64_t block, int direction)
{
    unsigned char k[8], in[8], out[8];
    Put64(key, k);
    Put64(block, in);
    DesSchedule schedule;
    DesKeySchedule(k, direction, &schedule);
    DesBlock(in, out, &schedule);
    return Get64(out);
}

std::string Hex64(uint64_t v)
{
    unsigned char b[8];
    Put64(v, b);
    return ToHex(b, 8);
}

// Encryption gives the published cipher text and decryption undoes it.
void ExpectKnownAnswer(uint64_t key, uint64_t plain, uint64_t cipher)
{
    const std::string where = "key " + Hex64(key) + " plain " + Hex64(plain);
    EXPECT_EQ(Hex64(cipher), Hex64(Des(key, plain, kDesEncrypt))) << where;
    EXPECT_EQ(Hex64(plain), Hex64(Des(key, cipher, kDesDecrypt))) << where;
}

Bytes Ecb(const Bytes& key, const Bytes& in, int direction)
{
    DesSchedule schedule;
    DesKeySchedule(key.data(), direction, &schedule);
    Bytes out(in.size());
    DesEcb(in.data(), out.data(), in.size(), &schedule);
    return out;
}

Bytes Random(std::mt19937& rng, size_t n)
{
    Bytes b(n);
    for (auto& c : b)
        c = static_cast<uint8_t>(rng());
    return b;
}

std::string EncryptText(const Bytes& plain, const char* keyText)
{
    unsigned char key[8];
    DesKeyFromText(keyText, key);
    std::string text(DesTextCipherLength(static_cast<uint32_t>(plain.size())) + 1, '?');
    DesEncryptText(plain.data(), static_cast<uint32_t>(plain.size()), key, &text[0]);
    EXPECT_EQ('\0', text.back());
    text.pop_back();
    return text;
}

Bytes FromBase64(const std::string& text)
{
    Bytes out(text.size() / 4 * 3);
    uint32_t n = 0;
    EXPECT_EQ(0, Base64Decode(text.c_str(), static_cast<uint32_t>(text.size()), out.data(), &n));
    out.resize(n);
    return out;
}

TEST(DesKnownAnswer, VariablePlaintextAndInverse)
{
    for (int i = 0; i < 64; ++i)
        ExpectKnownAnswer(0x0101010101010101, uint64_t{1} << (63 - i), kVariablePlaintext[i]);
}

TEST(DesKnownAnswer, VariableKeyAndInverse)
{
    int entry = 0;
    for (int bit = 0; bit < 64; ++bit) {
        if (bit % 8 == 7)
            continue;  // parity bit
        unsigned char key[8] = {1, 1, 1, 1, 1, 1, 1, 1};
        key[bit / 8] = static_cast<unsigned char>(0x80 >> (bit % 8));
        ExpectKnownAnswer(Get64(key), 0, kVariableKey[entry++]);
    }
    EXPECT_EQ(56, entry);
}

TEST(DesKnownAnswer, PermutationOperationAndSubstitutionTable)
{
    for (const KeyCipher& v : kPermutationOperation)
        ExpectKnownAnswer(v.key, 0, v.cipher);
    for (const Triple& v : kSubstitutionTable)
        ExpectKnownAnswer(v.key, v.plain, v.cipher);
}

TEST(DesBlock, MatchesOpenSslEcbInBothDirectionsAndInPlace)
{
    auto vectors = refdata::Load("desecb");
    ASSERT_FALSE(vectors.empty()) << "no desecb vectors in " << refdata::FilePath();
    for (const auto& v : vectors) {
        Bytes key = FromHex(v[0]), plain = FromHex(v[1]), cipher = FromHex(v[2]);
        EXPECT_EQ(v[2], ToHex(Ecb(key, plain, kDesEncrypt))) << "key " << v[0];
        EXPECT_EQ(v[1], ToHex(Ecb(key, cipher, kDesDecrypt))) << "key " << v[0];
        DesSchedule schedule;
        DesKeySchedule(key.data(), kDesEncrypt, &schedule);
        Bytes buffer = plain;
        DesEcb(buffer.data(), buffer.data(), buffer.size(), &schedule);
        EXPECT_EQ(v[2], ToHex(buffer)) << "in place, key " << v[0];
        DesBlock(plain.data(), plain.data(), &schedule);
        EXPECT_EQ(v[2].substr(0, 16), ToHex(plain.data(), 8)) << "DesBlock in place, key " << v[0];
    }
}

TEST(DesBlock, ParityBitsAreIgnoredAndEveryNonZeroDirectionDecrypts)
{
    std::mt19937 rng(46);
    for (int i = 0; i < 50; ++i) {
        Bytes key = Random(rng, 8), block = Random(rng, 8);
        Bytes flipped = key;
        for (auto& b : flipped)
            b ^= 1;
        const Bytes cipher = Ecb(key, block, kDesEncrypt);
        EXPECT_EQ(cipher, Ecb(flipped, block, kDesEncrypt));
        for (int direction : {1, 2, -1, 0x7fffffff})
            EXPECT_EQ(block, Ecb(key, cipher, direction)) << "direction " << direction;
    }
}

TEST(DesText, MatchesOpenSslPaddedAndBase64Encoded)
{
    auto vectors = refdata::Load("desenc");
    ASSERT_FALSE(vectors.empty()) << "no desenc vectors in " << refdata::FilePath();
    bool longKeyText = false, emptyKeyText = false, nonAscii = false;
    for (const auto& v : vectors) {
        const Bytes plain = FromHex(v[1]);
        const std::string cipher = EncryptText(plain, v[0].c_str());
        EXPECT_EQ(v[2], cipher) << "key text '" << v[0] << "', plain " << v[1];
        EXPECT_EQ(v[2].size(), DesTextCipherLength(static_cast<uint32_t>(plain.size())));
        longKeyText |= v[0].size() > 24;  // more than a 16-byte buffer would hold
        emptyKeyText |= v[0].empty();
        for (uint8_t b : plain)
            nonAscii |= b >= 0x80;
    }
    EXPECT_TRUE(longKeyText && emptyKeyText && nonAscii) << "the vectors lost a case";
}

TEST(DesText, EmptySevenAndEightByteTexts)
{
    EXPECT_EQ(12u, EncryptText(Bytes(), "").size());
    EXPECT_EQ(12u, EncryptText(Bytes(7, 'a'), "").size());
    EXPECT_EQ(24u, EncryptText(Bytes(8, 'a'), "").size());
    // The empty text is one block of padding.
    EXPECT_EQ(ToHex(Ecb(Bytes(8, 0), Bytes(8, 8), kDesEncrypt)), ToHex(FromBase64(EncryptText(Bytes(), ""))));
    // The second block of an 8-byte text is all padding.
    const Bytes key = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(ToHex(Ecb(key, Bytes(8, 8), kDesEncrypt)),
              ToHex(FromBase64(EncryptText(Bytes(8, 'a'), "AQIDBAUGBwg="))).substr(16));
}

TEST(DesText, KeyTextDecoding)
{
    const std::string longText = "AQIDBAUGBwgJ" + std::string(10000, '/');
    const struct {
        const char* text;
        const char* key;
    } cases[] = {
        {"", "0000000000000000"},
        {"AQID", "0102030000000000"},
        {"AQIDBA", "0102030000000000"},  // an incomplete group is ignored
        {"AQIDBAUGBwg=", "0102030405060708"},
        {"AQIDBAUGBwgJCgsMDQ4PEBES", "0102030405060708"},
        {"AQIDBAUGBwg=AAAA", "0102030405060708"},  // a group with '=' ends decoding
        {"AQ==AQIDBAUG", "0100000000000000"},
        {"!!!!!!!!!!!!", "0000000000000000"},  // not Base64: the decoder's values
        {longText.c_str(), "0102030405060708"},
    };
    for (const auto& c : cases) {
        unsigned char key[8];
        DesKeyFromText(c.text, key);
        EXPECT_EQ(c.key, ToHex(key, 8)) << "key text '" << std::string(c.text).substr(0, 30) << "'";
    }
}

// An input in memory that delivers at most `piece` bytes a read and fails
// the read that would deliver byte `failAt` (or find the end there).
class MemoryInput : public CDesInput {
public:
    explicit MemoryInput(Bytes data, size_t piece = SIZE_MAX, size_t failAt = SIZE_MAX)
        : m_data(std::move(data)), m_piece(piece), m_failAt(failAt)
    {
    }
    int reads = 0;

protected:
    bool ReadSome(unsigned char* buffer, uint32_t size, uint32_t* count) override
    {
        ++reads;
        if (m_pos >= m_failAt)
            return false;
        size_t n = std::min({size_t{size}, m_piece, m_data.size() - m_pos, m_failAt - m_pos});
        if (n)
            std::memcpy(buffer, m_data.data() + m_pos, n);
        m_pos += n;
        *count = static_cast<uint32_t>(n);
        return true;
    }

private:
    Bytes m_data;
    size_t m_piece, m_failAt, m_pos = 0;
};

// Collects what is written; the write with index `failOn` fails.
class MemoryOutput : public CDesOutput {
public:
    explicit MemoryOutput(size_t failOn = SIZE_MAX) : m_failOn(failOn) {}
    bool Write(const unsigned char* buffer, uint32_t size) override
    {
        writes.push_back(size);
        if (writes.size() - 1 == m_failOn)
            return false;
        data.insert(data.end(), buffer, buffer + size);
        return true;
    }
    Bytes data;
    std::vector<uint32_t> writes;

private:
    size_t m_failOn;
};

const unsigned char kStreamKey[8] = {0x3b, 0x38, 0x98, 0x37, 0x15, 0x20, 0xf7, 0x5e};
const char kStreamKeyText[] = "OziYNxUg914=";

TEST(DesStream, EqualsTextEncryptionInWholeChunksPaddedOnce)
{
    std::mt19937 rng(800);
    for (size_t size : {0, 1, 7, 8, 799, 800, 801, 1599, 1600, 1601, 4099}) {
        const Bytes plain = Random(rng, size);
        const Bytes expected = FromBase64(EncryptText(plain, kStreamKeyText));
        std::vector<uint32_t> chunks(size / kDesChunkSize, kDesChunkSize);
        chunks.push_back(static_cast<uint32_t>(DesPaddedLength(size % kDesChunkSize)));
        for (size_t piece : {SIZE_MAX, size_t{1}, size_t{13}, size_t{799}}) {
            MemoryInput in(plain, piece);
            MemoryOutput out;
            EXPECT_EQ(0, DesEncryptStream(in, out, kStreamKey)) << size << " bytes, pieces of " << piece;
            EXPECT_EQ(DesPaddedLength(size), out.data.size());
            EXPECT_EQ(ToHex(expected), ToHex(out.data)) << size << " bytes, pieces of " << piece;
            EXPECT_EQ(chunks, out.writes) << size << " bytes";
        }
    }
}

TEST(DesStream, ReadFailureEndsWithOneAfterTheChunksBeforeIt)
{
    const Bytes plain(2000, 0x61);
    const struct {
        size_t failAt;
        std::vector<uint32_t> writes;
    } cases[] = {{0, {}}, {900, {800}}, {1600, {800, 800}}, {2000, {800, 800}}};
    for (const auto& c : cases) {
        MemoryInput in(plain, SIZE_MAX, c.failAt);
        MemoryOutput out;
        EXPECT_EQ(1, DesEncryptStream(in, out, kStreamKey)) << "read failing at " << c.failAt;
        EXPECT_EQ(c.writes, out.writes) << "read failing at " << c.failAt;
    }
}

TEST(DesStream, WriteFailureEndsWithOneAndStopsReading)
{
    MemoryInput first(Bytes(2000, 0x61));
    MemoryOutput failFirst(0);
    EXPECT_EQ(1, DesEncryptStream(first, failFirst, kStreamKey));
    EXPECT_EQ(1u, failFirst.writes.size());
    EXPECT_EQ(1, first.reads);

    MemoryInput last(Bytes(801, 0x61));
    MemoryOutput failLast(1);
    EXPECT_EQ(1, DesEncryptStream(last, failLast, kStreamKey));
    EXPECT_EQ(800u, failLast.data.size());
}

TEST(DesStream, ReadChunkReturnsZeroAtOnceAfterTheEndOrAFailure)
{
    unsigned char buffer[kDesChunkSize];
    MemoryInput ended(Bytes(5, 1));
    EXPECT_EQ(5u, ended.ReadChunk(buffer, kDesChunkSize));
    EXPECT_TRUE(ended.AtEnd());
    EXPECT_EQ(0u, ended.ReadChunk(buffer, kDesChunkSize));
    EXPECT_EQ(2, ended.reads);

    MemoryInput failed(Bytes(5, 1), 2, 3);
    EXPECT_EQ(3u, failed.ReadChunk(buffer, kDesChunkSize));
    EXPECT_TRUE(failed.Failed());
    EXPECT_FALSE(failed.AtEnd());
    EXPECT_EQ(0u, failed.ReadChunk(buffer, kDesChunkSize));
    EXPECT_EQ(3, failed.reads);
}

}  // namespace
