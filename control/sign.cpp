// Signing methods of the control.
#include "qelcryptctrl.h"

#include <cstring>
#include <string>

#include "certlookup.h"
#include "certselectdlg.h"
#include "diskfile.h"
#include "hashsign.h"
#include "logstep.h"
#include "resultcodes.h"

namespace capi = cert::capi;
using cert::CCertInfo;

namespace {

// Reads an open file piece by piece for the engine. With `keepText` it also
// keeps the file's text as a zero-terminated string would read it (up to the
// first zero byte) for the log record; otherwise memory stays bounded.
class CFileSignInput : public CSignInput {
public:
    CFileSignInput(qel::CDiskSource& file, bool keepText) : m_file(file), m_keepText(keepText) {}

    bool Read(BYTE* buffer, DWORD capacity, DWORD* count) override
    {
        if (!m_file.ReadSome(buffer, capacity, count))
            return false;
        m_total += *count;
        if (m_keepText && !m_textEnded && *count) {
            const void* zero = std::memchr(buffer, 0, *count);
            const DWORD take = zero ? static_cast<DWORD>(static_cast<const BYTE*>(zero) - buffer) : *count;
            m_text.append(reinterpret_cast<const char*>(buffer), take);
            m_textEnded = zero != nullptr;
        }
        return true;
    }

    unsigned long long Total() const { return m_total; }
    const std::string& Text() const { return m_text; }

private:
    qel::CDiskSource& m_file;
    bool m_keepText;
    bool m_textEnded = false;
    unsigned long long m_total = 0;
    std::string m_text;
};

// Finds the certificate and runs `sign(info)` (the engine over the data),
// then applies the outcome rules of the named signing methods: no
// certificate or no signature gives 1010; a data length of 0 gives 1003
// (the signature of zero bytes is still returned). `plain` gives the
// "Plain:" line of the record of a success.
template <class SignFn>
std::string SignNamed(const char* cn, const char* ou, long signType, unsigned long long length, SignFn sign,
                      const std::string* plainText, const char* plain)
{
    std::string result;
    long code = qel::kHashSignOk;
    CCertInfo info;
    capi::CCert cert;
    if (FindCertByCnOu("MY", cn, ou, info, cert)) {
        info.m_nSignType = signType;
        code = sign(info, result);
        cert.Reset();
    }
    if (result.empty() && code == qel::kHashSignOk)
        code = qel::kSignFailed;
    if (length == 0)
        code = qel::kSignEmptyData;

    SignLogTexts texts;
    texts.plainLength = static_cast<long long>(length);
    texts.plain = plainText ? plainText->c_str() : plain;
    texts.certPem = info.m_strCertPem.c_str();
    texts.signature = result.c_str();
    LogOutcome(LoggedOperation::SignDataInternal, code, &texts);
    return result;
}

}  // namespace

std::string CQelCryptCtrl::SignDataInternal(const char* data, size_t length, const char* cn, const char* ou)
{
    return SignNamed(
        cn, ou, m_nSignType, length,
        [&](const CCertInfo& info, std::string& out) -> long {
            if (length > MAXDWORD)
                return qel::kHashSignHashData;  // more than one hash call takes
            return HashAndSign(info, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(length), out);
        },
        nullptr, data);
}

long CQelCryptCtrl::SignMessage(const char* plainData, long plainDataLen)
{
    long result = qel::kSignCancelled;
    m_strSignData.clear();
    CCertSelectDlg dialog;
    if (dialog.DoModal() == IDOK) {
        CCertInfo info = dialog.m_selected;
        m_strUserSignCert = info.m_strCertPem;
        m_strCspName = info.m_strProvider;
        info.m_nSignType = m_nSignType;
        if (plainDataLen < 0 || static_cast<size_t>(plainDataLen) > std::strlen(plainData)) {
            // A length beyond the text would read past it: nothing is signed.
            result = qel::kSignFailed;
        } else if (info.m_strProvider.empty()) {
            // The chosen certificate's record could not be read: no container
            // is named, and the default one must not sign in its place.
            result = qel::SignMessageCodeOf(qel::kHashSignOpenCsp);
        } else {
            const long code = HashAndSign(info, reinterpret_cast<const BYTE*>(plainData),
                                          static_cast<DWORD>(plainDataLen), m_strSignData);
            if (code != qel::kHashSignOk)
                result = qel::SignMessageCodeOf(code);
            if (!m_strSignData.empty())
                result = qel::kResultOk;
        }
        dialog.m_store.Clear();
        if (plainDataLen == 0)
            result = qel::kSignEmptyData;
    }

    SignLogTexts texts;
    texts.plainLength = plainDataLen;
    texts.plain = plainData;
    texts.certPem = m_strUserSignCert.c_str();
    texts.signature = m_strSignData.c_str();
    texts.cspName = m_strCspName.c_str();
    LogOutcome(LoggedOperation::SignMessage, result, &texts);
    return result;
}

// Keeps its dispatch slot: clears the last signature, signs nothing.
long CQelCryptCtrl::SignMessageSW(const char*, const char*, long)
{
    m_strSignData.clear();
    return qel::kSignCancelled;
}

std::string CQelCryptCtrl::Sign(const char* str, const char* cn, const char* ou)
{
    return SignDataInternal(str, std::strlen(str), cn, ou);
}

std::string CQelCryptCtrl::SignData(const char* data, long dataLen, const char* cn, const char* ou)
{
    // A length beyond the text (or below zero) would read past it: such a
    // call signs nothing and is logged as a failed signing (1010).
    if (dataLen < 0 || static_cast<size_t>(dataLen) > std::strlen(data)) {
        LogOutcome(LoggedOperation::SignDataInternal, qel::kSignFailed);
        return std::string();
    }
    return SignDataInternal(data, static_cast<size_t>(dataLen), cn, ou);
}

std::string CQelCryptCtrl::SignFile(const char* file, const char* cn, const char* ou)
{
    // Read, denying others the right to write while it is signed. Only a
    // file on a disk with a path that fits the path buffer is signed.
    qel::CDiskSource source;
    unsigned long long size = 0;
    if (!source.Open(file, qel::CDiskSource::Sharing::Read) || !source.Size(&size))
        return std::string();
    // The record's "Plain:" line needs the file's text; only then is it kept.
    CFileSignInput input(source, IsLogEnabled() != 0);
    return SignNamed(
        cn, ou, m_nSignType, size,
        [&](const CCertInfo& info, std::string& out) { return HashAndSign(info, input, out); }, &input.Text(),
        nullptr);
}
