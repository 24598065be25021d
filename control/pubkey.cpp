// Certificate public-key encryption and private-key decryption: texts and
// files encrypted for the holder of a certificate of the current user's "MY"
// store, found by CN and OU, and decrypted again with its private key.
//
// Both directions use the key-exchange key of the certificate's container
// (CryptGetUserKey), so the USB key holding it must be present either way.
// Plain data goes in pieces of 100 bytes, one RSAES-PKCS1-v1_5 block each, the
// blocks kept in the CSP's byte order (least significant first). Texts carry
// the blocks as Base64 (172 characters for a 1024-bit key), files as raw
// bytes. The text methods report their outcome only to the diagnostic log;
// the file methods return 0 or 1.
#include "qelcryptctrl.h"

#include "pubkey.h"

#include <cstring>

#include "base64.h"
#include "certinfo.h"
#include "certlookup.h"
#include "cryptoapi.h"
#include "diskfile.h"
#include "logstep.h"
#include "resultcodes.h"
#include "winhandle.h"

namespace {

const size_t kPlainPiece = 100;      // plain bytes per block, below the 117 a 1024-bit key takes
const size_t kCipherPiece = 172;     // Base64 characters of one 128-byte block
const DWORD kBlockBufferSize = 200;  // CryptPubKey's block buffer, and its capacity for CryptEncrypt
const DWORD kTextBufferSize = 2048;  // Base64 text of one block
const DWORD kFileBlock = 128;        // cipher bytes per block read by DecryptFilePriKey
const DWORD kFileCapacity = 256;     // CryptFilePubKey's capacity for CryptEncrypt
// CryptDecrypt gets no capacity: the CSP works on a whole key-sized block in
// place, however few bytes it is given. Room for the largest RSA key
// (16,384 bits), so no key the container holds can take it past the buffer.
const DWORD kDecryptBufferSize = 2048;
const size_t kMaxPath = MAX_PATH;     // path buffer, terminating NUL included

// The certificate found by CN and OU and its container's key-exchange key.
// Destroyed in the order key, context, certificate.
struct CCertKey {
    capi::CCert cert;
    capi::CProv prov;
    capi::CKey key;
};

// Finds the certificate and opens its key (K1 container, K2 provider name,
// K3 key-exchange key): 0, or the code of the step that failed (1015 to 1018).
long OpenCertKey(const char* cn, const char* ou, CCertKey& ck)
{
    CCertInfo info;
    if (!FindCertByCnOu("MY", cn, ou, info, ck.cert))
        return qel::kCertNotFound;
    if (!capi::AcquireContainer(info.m_strContainer.c_str(), info.m_strProvider.c_str(), ck.prov))
        return qel::kCertNoContext;
    std::string name;
    if (!capi::QueryProviderName(ck.prov.Get(), name))
        return qel::kCertNoContextParam;
    if (!capi::GetExchangeKey(ck.prov.Get(), ck.key))
        return qel::kCertNoKey;
    return qel::kResultOk;
}

// Reads until `size` bytes are in or the file ends; false on a read error.
bool ReadUpTo(HANDLE file, BYTE* buffer, DWORD size, DWORD* got)
{
    *got = 0;
    while (*got < size) {
        DWORD n = 0;
        if (!ReadFile(file, buffer + *got, size - *got, &n, nullptr))
            return false;
        if (n == 0)
            break;
        *got += n;
    }
    return true;
}

// Where the last component of `path` starts: behind its last backslash,
// slash or drive colon, walking double-byte characters as CharNextA does.
size_t NameStart(const char* path)
{
    size_t start = 0;
    for (size_t i = 0; path[i];) {
        const char c = path[i];
        const bool lead = IsDBCSLeadByte(static_cast<BYTE>(c)) && path[i + 1];
        i += lead ? 2 : 1;
        if (!lead && (c == '\\' || c == '/' || c == ':'))
            start = i;
    }
    return start;
}

// The output of a file method. It is written to a temporary file in the
// target's directory and takes the target's place only when committed, so a
// failed call leaves an existing target as it was and no file behind.
class CStagedFile {
public:
    CStagedFile() = default;
    CStagedFile(const CStagedFile&) = delete;
    CStagedFile& operator=(const CStagedFile&) = delete;
    ~CStagedFile() { Discard(); }

    // Creates the temporary file for `target`; false when the target names
    // no file or the directory takes no new file.
    bool Create(const std::string& target)
    {
        const size_t start = NameStart(target.c_str());
        if (start == target.size())
            return false;
        const std::string dir = start == 0 ? std::string(".") : target.substr(0, start);
        char temp[MAX_PATH] = "";
        if (dir.size() >= kMaxPath || !GetTempFileNameA(dir.c_str(), "gue", 0, temp))
            return false;
        m_temp = temp;
        m_target = target;
        m_file.Reset(CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_file) {
            Discard();
            return false;
        }
        return true;
    }

    bool Write(const BYTE* data, DWORD size)
    {
        while (size > 0) {
            DWORD put = 0;
            if (!WriteFile(m_file.Get(), data, size, &put, nullptr) || put == 0)
                return false;
            data += put;
            size -= put;
        }
        return true;
    }

    // Closes the temporary file; false when the close reports lost data.
    bool Close() { return !m_file || CloseHandle(m_file.Detach()); }

    // Puts the closed temporary file in the target's place.
    bool Commit()
    {
        if (m_file || m_temp.empty())
            return false;
        if (!MoveFileExA(m_temp.c_str(), m_target.c_str(), MOVEFILE_REPLACE_EXISTING))
            return false;  // the destructor removes the temporary file
        m_temp.clear();
        return true;
    }

private:
    void Discard()
    {
        m_file.Reset();
        if (!m_temp.empty())
            DeleteFileA(m_temp.c_str());
        m_temp.clear();
    }

    qel::CFileHandle m_file;
    std::string m_temp;
    std::string m_target;
};

// Opens a file method's input for reading; others may go on reading and
// writing it, as with a plain binary open. Only a file on a disk is read.
HANDLE OpenInput(const char* path)
{
    return qel::OpenDiskFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN);
}

// True when `path` names the file that `file` is open on, whatever the
// spelling (letter case, trailing dots, another link to it).
bool IsSameFile(HANDLE file, const std::string& path)
{
    qel::CFileHandle other(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION a, b;
    return other && GetFileInformationByHandle(file, &a) && GetFileInformationByHandle(other.Get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

// The end of a file method: releases in the order certificate, input,
// output, key, context, then puts the output in place when all went well.
long Finish(long status, CCertKey& ck, qel::CFileHandle& in, CStagedFile& out)
{
    ck.cert.Reset();
    in.Reset();
    if (!out.Close())
        status = qel::kFileFailed;
    ck.key.Reset();
    ck.prov.Reset();
    if (status == qel::kResultOk && !out.Commit())
        status = qel::kFileFailed;
    return status;
}

// The common start of the file methods: the input opened, the key of the
// certificate opened, and only then the output staged beside its place.
bool OpenFileJob(const char* file, const std::string& output, const char* cn, const char* ou, qel::CFileHandle& in,
                 CCertKey& ck, CStagedFile& out)
{
    in.Reset(OpenInput(file));
    // An output name that comes back to the input ("x.gue." less its
    // extension is "x.gue") would replace the file being read.
    return in && !IsSameFile(in.Get(), output) && OpenCertKey(cn, ou, ck) == qel::kResultOk && out.Create(output);
}

}  // namespace

size_t ExtensionStart(const char* path)
{
    const char* dot = nullptr;
    const char* p = path;
    while (*p) {
        if (*p == '\\' || *p == ' ')
            dot = nullptr;
        else if (*p == '.')
            dot = p;
        p += IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] ? 2 : 1;
    }
    return static_cast<size_t>((dot ? dot : p) - path);
}

std::string CQelCryptCtrl::CryptPubKey(const char* str, const char* cn, const char* ou)
{
    std::string result;
    const std::vector<std::string> pieces = SplitByLength(str ? str : "", kPlainPiece);
    long code = qel::kResultOk;
    {
        CCertKey ck;
        code = OpenCertKey(cn, ou, ck);
        const bool opened = code == qel::kResultOk;
        for (size_t i = 0; opened && i < pieces.size(); ++i) {
            BYTE block[kBlockBufferSize];
            ZeroMemory(block, sizeof(block));
            std::memcpy(block, pieces[i].data(), pieces[i].size());
            DWORD length = static_cast<DWORD>(pieces[i].size());
            // A failed piece adds nothing; the others still go in.
            if (!capi::EncryptBlock(ck.key.Get(), true, block, &length, kBlockBufferSize) ||
                length > kBlockBufferSize) {
                code = qel::kEncryptFailed;
                continue;
            }
            char text[kTextBufferSize];
            ZeroMemory(text, sizeof(text));
            uint32_t textLength = 0;
            Base64Encode(block, length, text, &textLength);
            result.append(text, textLength);
        }
    }
    LogOutcome(LoggedOperation::CryptPubKey, code);
    return result;
}

std::string CQelCryptCtrl::DecryptPriKey(const char* str, const char* cn, const char* ou)
{
    std::string result;
    const std::vector<std::string> pieces = SplitByLength(str ? str : "", kCipherPiece);
    long code = qel::kResultOk;
    {
        CCertKey ck;
        code = OpenCertKey(cn, ou, ck);
        const bool opened = code == qel::kResultOk;
        // A piece that does not decode to one whole block of the key cannot
        // decrypt; it fails without costing the CSP (a USB key) a private-key
        // operation, so that a long text of garbage is refused quickly.
        DWORD block = 0;
        if (opened && !capi::GetBlockBytes(ck.key.Get(), &block))
            block = 0;
        for (size_t i = 0; opened && i < pieces.size(); ++i) {
            BYTE buffer[kDecryptBufferSize];
            ZeroMemory(buffer, sizeof(buffer));
            // A piece that does not decode goes on with no bytes, and fails below.
            uint32_t decoded = 0;
            Base64Decode(pieces[i].c_str(), static_cast<uint32_t>(pieces[i].size()), buffer, &decoded);
            DWORD length = decoded;
            if ((block != 0 && decoded != block) || !capi::DecryptBlock(ck.key.Get(), true, buffer, &length) ||
                length >= kDecryptBufferSize) {
                code = qel::kDecryptFailed;
                continue;
            }
            buffer[length] = 0;
            result += reinterpret_cast<const char*>(buffer);  // up to its first zero byte
        }
    }
    LogOutcome(LoggedOperation::DecryptPriKey, code);
    return result;
}

long CQelCryptCtrl::CryptFilePubKey(const char* file, const char* cn, const char* ou)
{
    // ".gue" is always appended, and the name must still fit a path buffer.
    if (!file)
        return qel::kFileFailed;
    const std::string output = std::string(file) + ".gue";
    if (output.size() >= kMaxPath)
        return qel::kFileFailed;
    qel::CFileHandle in;
    CCertKey ck;
    CStagedFile out;
    if (!OpenFileJob(file, output, cn, ou, in, ck, out))
        return qel::kFileFailed;

    // Full pieces, then the last, short one (0 to 99 bytes) with the final
    // flag: a size that is a multiple of 100 ends with the block of an empty
    // piece, so the output holds size / 100 + 1 blocks.
    long status = qel::kResultOk;
    BYTE block[kFileCapacity];
    for (;;) {
        DWORD got = 0;
        if (!ReadUpTo(in.Get(), block, kPlainPiece, &got)) {
            status = qel::kFileFailed;
            break;
        }
        const bool last = got < kPlainPiece;
        DWORD length = got;
        // A piece that fails to encrypt is left out; the status stays.
        if (capi::EncryptBlock(ck.key.Get(), last, block, &length, kFileCapacity) && length <= kFileCapacity &&
            !out.Write(block, length)) {
            status = qel::kFileFailed;
            break;
        }
        if (last)
            break;
    }
    return Finish(status, ck, in, out);
}

long CQelCryptCtrl::DecryptFilePriKey(const char* file, const char* cn, const char* ou)
{
    if (!file)
        return qel::kFileFailed;
    const size_t length = std::strlen(file);
    if (length >= kMaxPath)
        return qel::kFileFailed;
    // The output is the name without its extension. A name without one
    // would be the input itself, which must not be overwritten.
    const size_t cut = ExtensionStart(file);
    if (cut == length)
        return qel::kFileFailed;
    const std::string output(file, cut);
    qel::CFileHandle in;
    CCertKey ck;
    CStagedFile out;
    if (!OpenFileJob(file, output, cn, ou, in, ck, out))
        return qel::kFileFailed;

    long status = qel::kResultOk;
    BYTE buffer[kDecryptBufferSize];
    ZeroMemory(buffer, sizeof(buffer));
    for (;;) {
        DWORD got = 0;
        if (!ReadUpTo(in.Get(), buffer, kFileBlock, &got)) {
            status = qel::kFileFailed;
            break;
        }
        if (got == 0)
            break;
        // A whole block is decrypted even after a short read: the blocks of
        // an intact file are all whole, so the short tail of a damaged one fails.
        const bool last = got < kFileBlock;
        DWORD plain = kFileBlock;
        if (!capi::DecryptBlock(ck.key.Get(), last, buffer, &plain) || plain > kDecryptBufferSize ||
            !out.Write(buffer, plain)) {
            status = qel::kFileFailed;
            break;
        }
        if (last)
            break;
    }
    return Finish(status, ck, in, out);
}
