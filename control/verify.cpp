// Verification methods of the control: a signature against a text or a
// file and the certificate the page passes. MD5 only (the record keeps sign
// type 0, whatever SetSignType chose for signing); nothing is logged and no
// field of the control changes.
#include "qelcryptctrl.h"

#include <cstring>

#include "certinfo.h"
#include "diskfile.h"
#include "resultcodes.h"
#include "verifier.h"

using cert::CCertInfo;
using cert::CSignatureVerifier;
using cert::VerifySignature;

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
    qel::CDiskSource file;
    if (!file.Open(fileName, qel::CDiskSource::Sharing::Read))
        return qel::kVerifyFileUnopenable;

    CSignatureVerifier verifier(info, signData);
    // Read only until the outcome is known. A file that stops being readable
    // is as good as one that cannot be opened.
    if (!verifier.Decided() &&
        file.ReadAll(kFileChunk, [&](const unsigned char* data, DWORD size) {
            verifier.Update(data, size);
            return !verifier.Decided();
        }) == qel::CDiskSource::Outcome::Failed)
        return qel::kVerifyFileUnopenable;
    return verifier.Finish();
}
