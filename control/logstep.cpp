#include "logstep.h"

#include "logfile.h"
#include "resultcodes.h"
#include "toolmutex.h"

#include <cstddef>
#include <cstring>

namespace {

// Result codes and the log message each one writes (code page 936).
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

const char kSignedSubject[] = "*\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD";                 // *签名数据
const char kSignErrorSubject[] = "\xC7\xA9\xC3\xFB\xB4\xED\xCE\xF3";               // 签名错误
const char kEmptyData[] = "\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD\xCE\xAA\xBF\xD5";      // 签名数据为空
const char kSignFailed[] = "\xC7\xA9\xC3\xFB\xD2\xEC\xB3\xA3";                     // 签名异常
const char kOpenCspFailed[] = "\xB4\xF2\xBF\xAA" "CSP\xB4\xED\xCE\xF3";            // 打开CSP错误
const char kCreateHashFailed[] = "\xB4\xB4\xBD\xA8" "HASH\xB4\xED\xCE\xF3";        // 创建HASH错误
const char kHashDataFailed[] = "HASH\xCA\xFD\xBE\xDD\xB4\xED\xCE\xF3";             // HASH数据错误
const char kSignHashFailed[] = "\xC7\xA9\xC3\xFB" "HASH\xB4\xED\xCE\xF3";          // 签名HASH错误
const char kUnknownException[] = "\xCE\xB4\xD6\xAA\xD2\xEC\xB3\xA3";               // 未知异常

const char kCertNotFound[] = "\xD5\xD2\xB2\xBB\xB5\xBD\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9";        // 找不到指定证书
const char kNoContext[] = "\xC8\xA1\xB5\xC3\xC9\xCF\xCF\xC2\xCE\xC4\xCA\xA7\xB0\xDC";           // 取得上下文失败
const char kNoContextParam[] =
    "\xC8\xA1\xB5\xC3\xC9\xCF\xCF\xC2\xCE\xC4\xB2\xCE\xCA\xFD\xCA\xA7\xB0\xDC";                // 取得上下文参数失败
const char kNoCertKey[] = "\xC8\xA1\xB5\xC3\xD6\xA4\xCA\xE9" "Key\xCA\xA7\xB0\xDC";            // 取得证书Key失败
const char kUnknownError[] = "\xCE\xB4\xD6\xAA\xB4\xED\xCE\xF3";                               // 未知错误

const CodeText kSignMessageCodes[] = {
    {qel::kSignEmptyData, kEmptyData},
    {qel::kSignFailed, kSignFailed},
    {qel::kSignOpenCspFailed, kOpenCspFailed},
    {qel::kSignCreateHashFailed, kCreateHashFailed},
    {qel::kSignHashDataFailed, kHashDataFailed},
    {qel::kSignHashFailed, kSignHashFailed},
};
const CodeText kSignDataCodes[] = {
    {qel::kSignEmptyData, kEmptyData},
    {qel::kSignFailed, kSignFailed},
    {qel::kHashSignOpenCsp, kOpenCspFailed},
    {qel::kHashSignCreateHash, kCreateHashFailed},
    {qel::kHashSignHashData, kHashDataFailed},
    {qel::kHashSignSign, kSignHashFailed},
};
const CodeText kCryptPubKeyCodes[] = {
    {qel::kCertNotFound, kCertNotFound},
    {qel::kCertNoContext, kNoContext},
    {qel::kCertNoContextParam, kNoContextParam},
    {qel::kCertNoKey, kNoCertKey},
    {qel::kEncryptFailed, "\xBC\xD3\xC3\xDC\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC"},  // 加密数据失败
};
const CodeText kDecryptPriKeyCodes[] = {
    {qel::kCertNotFound, kCertNotFound},
    {qel::kCertNoContext, kNoContext},
    {qel::kCertNoContextParam, kNoContextParam},
    {qel::kCertNoKey, kNoCertKey},
    {qel::kDecryptFailed, "\xBD\xE2\xC3\xDC\xCA\xFD\xBE\xDD\xCA\xA7\xB0\xDC"},  // 解密数据失败
};

template <size_t N>
constexpr size_t CountOf(const CodeText (&)[N])
{
    return N;
}

const OutcomeTexts kSignMessageTexts = {kSignedSubject, nullptr, kSignErrorSubject,
                                        kSignMessageCodes, CountOf(kSignMessageCodes), kUnknownException};
const OutcomeTexts kSignDataTexts = {kSignedSubject, nullptr, kSignErrorSubject,
                                     kSignDataCodes, CountOf(kSignDataCodes), kUnknownException};
const OutcomeTexts kCryptPubKeyTexts = {
    // 使用指定证书加密字符串成功 / 加密数据成功 / 使用指定证书加密字符串失败
    "\xCA\xB9\xD3\xC3\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9\xBC\xD3\xC3\xDC\xD7\xD6\xB7\xFB\xB4\xAE\xB3\xC9\xB9\xA6",
    "\xBC\xD3\xC3\xDC\xCA\xFD\xBE\xDD\xB3\xC9\xB9\xA6",
    "\xCA\xB9\xD3\xC3\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9\xBC\xD3\xC3\xDC\xD7\xD6\xB7\xFB\xB4\xAE\xCA\xA7\xB0\xDC",
    kCryptPubKeyCodes, CountOf(kCryptPubKeyCodes), kUnknownError};
const OutcomeTexts kDecryptPriKeyTexts = {
    // 使用指定证书私钥解密字符串成功 / 解密数据成功 / 使用指定证书私钥解密字符串失败
    "\xCA\xB9\xD3\xC3\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9\xCB\xBD\xD4\xBF\xBD\xE2\xC3\xDC\xD7\xD6\xB7\xFB\xB4\xAE"
    "\xB3\xC9\xB9\xA6",
    "\xBD\xE2\xC3\xDC\xCA\xFD\xBE\xDD\xB3\xC9\xB9\xA6",
    "\xCA\xB9\xD3\xC3\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9\xCB\xBD\xD4\xBF\xBD\xE2\xC3\xDC\xD7\xD6\xB7\xFB\xB4\xAE"
    "\xCA\xA7\xB0\xDC",
    kDecryptPriKeyCodes, CountOf(kDecryptPriKeyCodes), kUnknownError};

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
