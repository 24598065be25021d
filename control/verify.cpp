// Verification methods of the control: a signature against a text or a
// file and the certificate the page passes. MD5 only (the record keeps sign
// type 0, whatever SetSignType chose for signing); nothing is logged and no
// field of the control changes.
#include "qelcryptctrl.h"

#include <cstring>
#include <vector>

#include "certinfo.h"
#include "diskfile.h"
#include "resultcodes.h"
#include "verifier.h"
#include "winhandle.h"

namespace {

// A file is hashed in pieces of this size, so its size does not matter.
const DWORD kFileChunk = 64 * 1024;

CCertInfo RecordFor(const char* cert)
{
    CCertInfo info;
    info.m_strCertPem = cert ? cert : "";
    return info;
}

}  // namespace

long CQelCryptCtrl::Verify(const char* sign, const char* plain, const char* cert)
{
    const CCertInfo info = RecordFor(cert);
    return VerifySignature(info, plain, plain ? std::strlen(plain) : 0, sign);
}

long CQelCryptCtrl::VerifyFile(const char* signData, const char* fileName, const char* cert)
{
    const CCertInfo info = RecordFor(cert);
    if (!fileName)
        return qel::kVerifyFileUnopenable;
    // Others may read the file meanwhile, nobody may change it. Only a file
    // on a disk with a path that fits the path buffer is read.
    qel::CFileHandle file(qel::OpenDiskFile(fileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
    if (!file)
        return qel::kVerifyFileUnopenable;

    std::vector<unsigned char> chunk(kFileChunk);
    CSignatureVerifier verifier(info, signData);
    while (!verifier.Decided()) {
        DWORD got = 0;
        // A file that stops being readable is as good as one that cannot be opened.
        if (!ReadFile(file.Get(), chunk.data(), kFileChunk, &got, nullptr))
            return qel::kVerifyFileUnopenable;
        if (got == 0)
            break;
        verifier.Update(chunk.data(), got);
    }
    return verifier.Finish();
}
