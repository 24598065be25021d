// DES encryption of texts and files, and key generation. The cipher, the key
// text, the padding and the chunked file loop are in crypto/descrypt.h; this
// file adds the random key and the Windows files.
#include "qelcryptctrl.h"

#include "resultcodes.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base64.h"
#include "descrypt.h"
#include "diskfile.h"

using crypto::Base64Encode;
using crypto::CDesInput;
using crypto::CDesOutput;
using crypto::DesEncryptStream;
using crypto::DesEncryptText;
using crypto::DesKeyFromText;
using crypto::DesTextCipherLength;

namespace {

// The key bytes take the low 15 bits of each draw.
static_assert(RAND_MAX == 32767, "GenertKey expects rand() values of 0 to 32767");

// Longest path, terminating NUL included, that the file methods accept.

// The cipher stream's ends on the control's files.
class CFileInput : public CDesInput {
public:
    explicit CFileInput(qel::CDiskSource& file) : m_file(file) {}

protected:
    bool ReadSome(unsigned char* buffer, uint32_t size, uint32_t* count) override
    {
        DWORD got = 0;
        if (!m_file.ReadSome(buffer, size, &got))
            return false;
        *count = got;
        return true;
    }

private:
    qel::CDiskSource& m_file;
};

class CFileOutput : public CDesOutput {
public:
    explicit CFileOutput(qel::CStagedSink& file) : m_file(file) {}

    bool Write(const unsigned char* buffer, uint32_t size) override { return m_file.WriteAll(buffer, size); }

private:
    qel::CStagedSink& m_file;
};

}  // namespace

std::string CQelCryptCtrl::GenertKey()
{
    // Seeded with the time in seconds: calls within the same second return
    // the same key.
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    unsigned char key[8];
    for (int i = 0; i < 4; ++i) {
        const int value = std::rand();
        key[2 * i] = static_cast<unsigned char>(value & 0xff);
        key[2 * i + 1] = static_cast<unsigned char>(value >> 8);
    }
    char text[13];
    uint32_t length = 0;
    Base64Encode(key, sizeof(key), text, &length);
    return std::string(text, length);
}

std::string CQelCryptCtrl::Encrypt(const char* str, const char* key)
{
    const size_t length = std::strlen(str);
    if (length >= 0x80000000u)
        return std::string();  // beyond what a cipher text length can count
    unsigned char desKey[8];
    DesKeyFromText(key, desKey);
    std::string text(DesTextCipherLength(static_cast<uint32_t>(length)) + 1, '\0');
    DesEncryptText(reinterpret_cast<const unsigned char*>(str), static_cast<uint32_t>(length), desKey, &text[0]);
    text.pop_back();  // the NUL
    return text;
}

long CQelCryptCtrl::EncryptFile(const char* file, const char* key)
{
    // The cipher file is the input's name with ".gse" appended, and both
    // names must fit a path buffer.
    std::string output;
    if (!qel::OutputName(file, ".gse", output))
        return qel::kFileFailed;

    // Opened as a plain binary open does: others may go on reading and
    // writing, so a document another program holds open is encrypted too.
    qel::CDiskSource in;
    if (!in.Open(file, qel::CDiskSource::Sharing::ReadWrite))
        return qel::kFileFailed;
    // The cipher file is written beside its place and takes it only when
    // complete: a failure leaves an older one as it was.
    qel::CStagedSink out;
    if (!out.Create(output))
        return qel::kFileFailed;

    unsigned char desKey[8];
    DesKeyFromText(key, desKey);
    CFileInput source(in);
    CFileOutput sink(out);
    long status = DesEncryptStream(source, sink, desKey);
    in.Close();
    // A failed close of the written file can be data lost on its way to disk.
    if (!out.Close())
        status = qel::kFileFailed;
    if (status == qel::kResultOk && !out.Commit())
        status = qel::kFileFailed;
    return status;
}

// Decryption of DES texts and files is not offered by the control: the text
// method answers with an empty text and the file method with status 1,
// without touching any file.
std::string CQelCryptCtrl::Decrypt(const char*, const char*) { return std::string(); }

long CQelCryptCtrl::DecryptFile(const char*, const char*) { return qel::kFileFailed; }
