// The symmetric methods of the control through IDispatch: GenertKey (25),
// Encrypt (27), EncryptFile (28), and Decrypt (29) and DecryptFile (30),
// which decrypt nothing. Cipher texts are checked against OpenSSL vectors
// and against the portable text encryption, which des_test checks.
#include "comutil.h"
#include "ocx.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "base64.h"
#include "descrypt.h"
#include "refdata.h"
#include "scratchdir.h"
#include "textconv.h"

using crypto::Base64Decode;
using crypto::DesEncryptText;
using crypto::DesKeyFromText;
using crypto::DesTextCipherLength;

namespace {

using fw::CComPtr;
using fw::CVariant;
using refdata::Bytes;
using scratch::Listing;
using scratch::Read;

const DISPID kGenertKey = 25, kEncrypt = 27, kEncryptFile = 28, kDecrypt = 29, kDecryptFile = 30;

const char kKeyText[] = "OziYNxUg914=";

std::wstring Wide(const std::string& ansi) { return qel::AnsiToWide(ansi); }
std::string Ansi(const std::wstring& wide) { return qel::WideToAnsi(wide); }

Bytes FromBase64(const std::string& text)
{
    Bytes out(text.size() / 4 * 3 + 3);
    uint32_t n = 0;
    EXPECT_EQ(0, Base64Decode(text.c_str(), static_cast<uint32_t>(text.size()), out.data(), &n)) << text;
    out.resize(n);
    return out;
}

// ASCII content of the given size.
std::string Content(size_t size)
{
    std::string s(size, ' ');
    for (size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + i % 26);
    return s;
}

// What the portable code makes of a text and key text.
std::string PortableEncrypt(const std::string& text, const std::string& keyText)
{
    unsigned char key[8];
    DesKeyFromText(keyText.c_str(), key);
    std::string out(DesTextCipherLength(static_cast<uint32_t>(text.size())) + 1, '\0');
    DesEncryptText(reinterpret_cast<const unsigned char*>(text.data()), static_cast<uint32_t>(text.size()), key,
                   &out[0]);
    out.pop_back();
    return out;
}

class Symmetric : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_EQ(S_OK, ocx::Create(IID_IDispatch, reinterpret_cast<void**>(&disp)));
        ASSERT_TRUE(scratchDir.Made()) << dir;
    }

    void TearDown() override
    {
        disp.Release();
        CoUninitialize();
    }

    std::string CallText(DISPID id, std::initializer_list<VARIANT> args)
    {
        CVariant result;
        EXPECT_EQ(S_OK, ocx::Call(disp.Get(), id, &result, args)) << "DISPID " << id;
        EXPECT_EQ(VT_BSTR, V_VT(&result)) << "DISPID " << id;
        if (V_VT(&result) != VT_BSTR || !V_BSTR(&result))
            return std::string();
        return Ansi(std::wstring(V_BSTR(&result), SysStringLen(V_BSTR(&result))));
    }

    long CallLong(DISPID id, std::initializer_list<VARIANT> args)
    {
        CVariant result;
        EXPECT_EQ(S_OK, ocx::Call(disp.Get(), id, &result, args)) << "DISPID " << id;
        EXPECT_EQ(VT_I4, V_VT(&result)) << "DISPID " << id;
        return V_VT(&result) == VT_I4 ? V_I4(&result) : -1;
    }

    std::string Encrypt(const std::string& text, const std::string& keyText)
    {
        return CallText(kEncrypt, {ocx::Text(Wide(text).c_str()), ocx::Text(Wide(keyText).c_str())});
    }

    long EncryptFile(const std::string& path, const std::string& keyText)
    {
        return CallLong(kEncryptFile, {ocx::Text(Wide(path).c_str()), ocx::Text(Wide(keyText).c_str())});
    }

    static void Write(const std::string& path, const std::string& content)
    {
        ASSERT_TRUE(scratch::Write(path, content)) << path;
    }

    CComPtr<IDispatch> disp;
    scratch::CDir scratchDir{"qelsym"};
    const std::string dir = scratchDir.Path();  // ends with a backslash
};

TEST_F(Symmetric, EncryptMatchesOpenSslForAChineseText)
{
    // The CP936 bytes of this text are one of the OpenSSL vectors.
    const std::wstring text = L"DES\u52a0\u5bc6\u6d4b\u8bd5\uff1a\u4e2d\u6587\u6587\u672c";
    const std::string bytes = Ansi(text);
    bool found = false;
    for (const auto& v : refdata::Load("desenc")) {
        if (v[1] != refdata::ToHex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
            continue;
        found = true;
        EXPECT_EQ(v[2], CallText(kEncrypt, {ocx::Text(text.c_str()), ocx::Text(Wide(v[0]).c_str())}));
    }
    EXPECT_TRUE(found) << "no desenc vector for the CP936 text in " << refdata::FilePath();
}

TEST_F(Symmetric, EncryptUsesTheKeyTextsFirstEightBytes)
{
    // Every key text of the OpenSSL vectors (empty, short, long) on texts of
    // 0, 7 and 8 bytes: 12, 12 and 24 characters.
    auto vectors = refdata::Load("desenc");
    ASSERT_FALSE(vectors.empty());
    for (const auto& v : vectors) {
        for (size_t size : {0, 7, 8}) {
            const std::string cipher = Encrypt(Content(size), v[0]);
            EXPECT_EQ(size == 8 ? 24u : 12u, cipher.size());
            EXPECT_EQ(PortableEncrypt(Content(size), v[0]), cipher) << "key text '" << v[0] << "'";
        }
    }
    // A NULL BSTR is the empty text and the all-zero key.
    EXPECT_EQ(PortableEncrypt("", ""), CallText(kEncrypt, {ocx::Text(nullptr), ocx::Text(nullptr)}));
}

TEST_F(Symmetric, EncryptFileWritesTheCipherBytesOfEncrypt)
{
    const std::string chinese = Ansi(L"\u6570\u636e");
    const struct {
        std::string name;
        size_t size, written;
    } cases[] = {{"empty", 0, 8}, {"c800", 800, 808}, {"c801", 801, 808}, {"c1600", 1600, 1608},
                 {chinese + ".txt", 801, 808}};
    for (const auto& c : cases) {
        const std::string path = dir + c.name;
        Write(path, Content(c.size));
        Write(path + ".gse", std::string(5000, 'x'));  // an old cipher file is replaced
        EXPECT_EQ(0, EncryptFile(path, kKeyText)) << c.name;
        const std::string cipher = Read(path + ".gse");
        EXPECT_EQ(c.written, cipher.size()) << c.name;
        const Bytes expected = FromBase64(Encrypt(Content(c.size), kKeyText));
        EXPECT_EQ(std::string(expected.begin(), expected.end()), cipher) << c.name;
        EXPECT_EQ(Content(c.size), Read(path)) << c.name << " changed";
        // Both files are closed again.
        EXPECT_TRUE(DeleteFileA(path.c_str())) << c.name;
        EXPECT_TRUE(DeleteFileA((path + ".gse").c_str())) << c.name;
    }
}

// A document that another program holds open for writing (sharing reading
// and writing, as editors and loggers do) is encrypted all the same.
TEST_F(Symmetric, EncryptFileReadsAFileHeldOpenForWriting)
{
    const std::string path = dir + "held";
    Write(path, Content(801));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held) << GetLastError();
    EXPECT_EQ(0, EncryptFile(path, kKeyText));
    CloseHandle(held);
    const Bytes expected = FromBase64(Encrypt(Content(801), kKeyText));
    EXPECT_EQ(std::string(expected.begin(), expected.end()), Read(path + ".gse"));
}

TEST_F(Symmetric, EncryptFileFailsWhenAFileCannotBeOpened)
{
    EXPECT_EQ(1, EncryptFile(dir + "missing", kKeyText));
    EXPECT_EQ(1, EncryptFile("", kKeyText));
    // Devices are no files: a serial port would keep the read waiting.
    for (const char* device : {"COM1", "AUX", "NUL"})
        EXPECT_EQ(1, EncryptFile(dir + device, kKeyText)) << device;
    EXPECT_TRUE(Listing(dir).empty()) << "a cipher file without an input";

    // The output name is taken by a directory.
    const std::string path = dir + "blocked";
    Write(path, Content(100));
    ASSERT_TRUE(CreateDirectoryA((path + ".gse").c_str(), nullptr));
    EXPECT_EQ(1, EncryptFile(path, kKeyText));
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the input was left open";

    // A name beyond the path buffer is refused.
    EXPECT_EQ(1, EncryptFile(dir + std::string(300, 'n'), kKeyText));
}

// The cipher file is written beside its place and takes it only when it is
// complete: a call that fails after its input was opened leaves an older
// cipher file byte for byte, or none where there was none, and no temporary
// file. The input opens as a file on a disk, but every read of it fails.
TEST_F(Symmetric, EncryptFileThatFailsKeepsTheOldCipherFile)
{
    const std::string folder = QEL_UNREADABLE_DIR "\\";
    const std::string input = folder + "input", cipher = input + ".gse";
    {
        HANDLE h = CreateFileA(input.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h) << input << " does not open: " << GetLastError();
        char byte = 0;
        DWORD got = 0;
        const BOOL read = ReadFile(h, &byte, 1, &got, nullptr);
        CloseHandle(h);
        ASSERT_FALSE(read) << input << " can be read";
    }
    DeleteFileA(cipher.c_str());  // left by an interrupted run
    const std::string old = std::string("an older cipher file\0\x01\xFF", 23) + std::string(3000, 'o');
    for (bool oldCipher : {true, false}) {
        if (oldCipher)
            Write(cipher, old);
        const auto before = Listing(folder);
        EXPECT_EQ(1, EncryptFile(input, kKeyText)) << oldCipher;
        EXPECT_EQ(before, Listing(folder)) << oldCipher;
        DeleteFileA(cipher.c_str());
    }

    // A cipher file that cannot take its place (a directory holds the name)
    // leaves no temporary file either, and the input is closed again.
    const std::string path = dir + "blocked";
    Write(path, Content(1601));
    ASSERT_TRUE(CreateDirectoryA((path + ".gse").c_str(), nullptr));
    const auto before = Listing(dir);
    EXPECT_EQ(1, EncryptFile(path, kKeyText));
    EXPECT_EQ(before, Listing(dir));
    EXPECT_TRUE(DeleteFileA(path.c_str())) << "the input was left open";
}

TEST_F(Symmetric, GenertKeyDrawsFromRandSeededWithTheTime)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        const time_t before = time(nullptr);
        const std::string first = CallText(kGenertKey, {});
        const std::string second = CallText(kGenertKey, {});
        if (time(nullptr) != before)
            continue;  // a second boundary passed: try again

        ASSERT_EQ(12u, first.size()) << first;
        EXPECT_EQ('=', first.back());
        EXPECT_EQ(first, second) << "two keys within one second";
        const Bytes key = FromBase64(first);
        ASSERT_EQ(8u, key.size());
        // Each rand() value of 0..32767 is stored low byte first, so bytes
        // 2, 4, 6 and 8 hold the top seven bits.
        srand(static_cast<unsigned>(before));
        for (int i = 0; i < 4; ++i) {
            const int value = rand();
            EXPECT_EQ(value & 0xff, key[2 * i]) << "byte " << 2 * i + 1;
            EXPECT_EQ(value >> 8, key[2 * i + 1]) << "byte " << 2 * i + 2;
            EXPECT_LT(key[2 * i + 1], 128) << "byte " << 2 * i + 2;
        }
        return;
    }
    FAIL() << "no two GenertKey calls within one second";
}

TEST_F(Symmetric, DecryptAndDecryptFileTouchNothing)
{
    const std::string path = dir + "data";
    Write(path, Content(801));
    ASSERT_EQ(0, EncryptFile(path, kKeyText));
    const std::string cipher = Read(path + ".gse");
    const auto before = Listing(dir);

    for (const std::string& key : {std::string(kKeyText), std::string(), std::string("!")}) {
        const std::wstring cipher = Wide(Encrypt("text", key));
        EXPECT_EQ("", CallText(kDecrypt, {ocx::Text(cipher.c_str()), ocx::Text(Wide(key).c_str())}));
        EXPECT_EQ("", CallText(kDecrypt, {ocx::Text(L"\u4e2d\u6587"), ocx::Text(Wide(key).c_str())}));
        for (const std::string& file : {path + ".gse", path, dir + "missing.gse", std::string()})
            EXPECT_EQ(1, CallLong(kDecryptFile, {ocx::Text(Wide(file).c_str()), ocx::Text(Wide(key).c_str())}))
                << file;
    }
    EXPECT_EQ(before, Listing(dir));
}

}  // namespace
