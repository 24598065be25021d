#include "logstep.h"

#include "logfile.h"
#include "resultcodes.h"
#include "texts936.h"
#include "toolmutex.h"

#include <cstddef>
#include <cstring>

using diaglog::CLogFile;
using diaglog::MutexExists;
using diaglog::kToolMutexName;

namespace {

// Result codes and the log message each one writes (code page 936, from
// resources/texts.txt).
struct CodeText {
    long code;
    const char* text;
};

struct OutcomeTexts {
    const char* successSubject;
    const char* successContent;  // null: the signing lines
    const char* failureSubject;
    const CodeText* codes;
    size_t codeCount;
    const char* otherCode;
};

const CodeText kSignMessageCodes[] = {
    {qel::kSignEmptyData, texts::kEmptyData},
    {qel::kSignFailed, texts::kSignFailed},
    {qel::kSignOpenCspFailed, texts::kOpenCspFailed},
    {qel::kSignCreateHashFailed, texts::kCreateHashFailed},
    {qel::kSignHashDataFailed, texts::kHashDataFailed},
    {qel::kSignHashFailed, texts::kSignHashFailed},
};
const CodeText kSignDataCodes[] = {
    {qel::kSignEmptyData, texts::kEmptyData},
    {qel::kSignFailed, texts::kSignFailed},
    {qel::kHashSignOpenCsp, texts::kOpenCspFailed},
    {qel::kHashSignCreateHash, texts::kCreateHashFailed},
    {qel::kHashSignHashData, texts::kHashDataFailed},
    {qel::kHashSignSign, texts::kSignHashFailed},
};
const CodeText kCryptPubKeyCodes[] = {
    {qel::kCertNotFound, texts::kCertNotFound},
    {qel::kCertNoContext, texts::kNoContext},
    {qel::kCertNoContextParam, texts::kNoContextParam},
    {qel::kCertNoKey, texts::kNoCertKey},
    {qel::kEncryptFailed, texts::kEncryptFailed},
};
const CodeText kDecryptPriKeyCodes[] = {
    {qel::kCertNotFound, texts::kCertNotFound},
    {qel::kCertNoContext, texts::kNoContext},
    {qel::kCertNoContextParam, texts::kNoContextParam},
    {qel::kCertNoKey, texts::kNoCertKey},
    {qel::kDecryptFailed, texts::kDecryptFailed},
};

template <size_t N>
constexpr size_t CountOf(const CodeText (&)[N])
{
    return N;
}

const OutcomeTexts kSignMessageTexts = {texts::kSignedSubject, nullptr, texts::kSignErrorSubject,
                                        kSignMessageCodes, CountOf(kSignMessageCodes), texts::kUnknownException};
const OutcomeTexts kSignDataTexts = {texts::kSignedSubject, nullptr, texts::kSignErrorSubject,
                                     kSignDataCodes, CountOf(kSignDataCodes), texts::kUnknownException};
const OutcomeTexts kCryptPubKeyTexts = {texts::kCryptPubKeySubject, texts::kCryptPubKeyContent,
                                        texts::kCryptPubKeyFailedSubject, kCryptPubKeyCodes,
                                        CountOf(kCryptPubKeyCodes), texts::kUnknownError};
const OutcomeTexts kDecryptPriKeyTexts = {texts::kDecryptPriKeySubject, texts::kDecryptPriKeyContent,
                                          texts::kDecryptPriKeyFailedSubject, kDecryptPriKeyCodes,
                                          CountOf(kDecryptPriKeyCodes), texts::kUnknownError};

const OutcomeTexts& TextsOf(LoggedOperation operation)
{
    switch (operation) {
    case LoggedOperation::SignMessage: return kSignMessageTexts;
    case LoggedOperation::SignDataInternal: return kSignDataTexts;
    case LoggedOperation::CryptPubKey: return kCryptPubKeyTexts;
    case LoggedOperation::DecryptPriKey: break;
    }
    return kDecryptPriKeyTexts;
}

const char* OrEmpty(const char* text) { return text ? text : ""; }

// "<label>:<length>:<text>\r\n"
void AppendSigningLine(std::string& out, const char* label, long long length, const char* text)
{
    out += label;
    out += ':';
    out += std::to_string(length);
    out += ':';
    out += OrEmpty(text);
    out += "\r\n";
}

std::string SigningLines(LoggedOperation operation, const SignLogTexts& sign)
{
    std::string lines;
    const char* cert = OrEmpty(sign.certPem);
    const char* signature = OrEmpty(sign.signature);
    AppendSigningLine(lines, "Plain", sign.plainLength, sign.plain);
    AppendSigningLine(lines, "Cert", static_cast<long>(std::strlen(cert)), cert);
    AppendSigningLine(lines, "signdata", static_cast<long>(std::strlen(signature)), signature);
    if (operation == LoggedOperation::SignMessage) {
        lines += "CSP:";
        lines += OrEmpty(sign.cspName);
        lines += "\r\n";
    }
    return lines;
}

// Appends one record; the store's failures drop it.
void AppendRecord(const char* subject, const char* content) noexcept
{
    try {
        CLogFile log;
        log.AddRecord(subject, content);
    } catch (...) {
        // A record the store could not write is dropped: the operation keeps its own result.
    }
}

}  // namespace

int IsLogEnabled()
{
    return MutexExists(kToolMutexName);
}

LogRecordText DescribeOutcome(LoggedOperation operation, long code, const SignLogTexts* sign)
{
    const OutcomeTexts& texts = TextsOf(operation);
    if (code == qel::kResultOk) {
        if (texts.successContent)
            return {texts.successSubject, texts.successContent};
        return {texts.successSubject, SigningLines(operation, sign ? *sign : SignLogTexts())};
    }
    for (size_t i = 0; i < texts.codeCount; ++i) {
        if (texts.codes[i].code == code)
            return {texts.failureSubject, texts.codes[i].text};
    }
    return {texts.failureSubject, texts.otherCode};
}

void LogOutcome(LoggedOperation operation, long code, const SignLogTexts* sign)
{
    try {
        if (!IsLogEnabled())
            return;
        LogRecordText record = DescribeOutcome(operation, code, sign);
        AppendRecord(record.subject.c_str(), record.content.c_str());
    } catch (...) {
        // Building the record ran out of memory: nothing is logged.
    }
}

long AddPageLogRecord(const char* subject, const char* content)
{
    if (!IsLogEnabled())
        return 0;
    AppendRecord(subject, content);
    return 1;
}
