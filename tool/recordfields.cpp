#include "recordfields.h"

#include <climits>
#include <cstddef>

#ifdef _WIN32
#include "certinfo.h"
#include "verifier.h"

using cert::CCertInfo;
using cert::VerifySignature;
#endif

namespace kvo {

namespace {

// Indexed by the VerifySignature code.
const char* const kVerifyMessages[] = {
    texts::kVerifyOk,
    texts::kVerifyEmptyPlain,
    texts::kVerifyZeroLength,
    texts::kVerifyLengthMismatch,
    texts::kVerifyEmptySignature,
    texts::kVerifyBadCert,
    texts::kVerifyBadSignature,
    texts::kVerifyNoPublicKey,
    texts::kVerifyHashFailed,
    texts::kVerifyCspFailed,
};

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// atoi over `text`, saturating instead of overflowing.
long long ParseLength(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX)
            return negative ? INT_MIN : INT_MAX;
    }
    return negative ? -value : value;
}

}  // namespace

std::string LogDetailText(const std::string& time, const std::string& subject, const std::string& content)
{
    return texts::kTimeLabel + time + texts::kSubjectLabel + subject + texts::kContentLabel + content + "\r\n";
}

std::string ReadLogField(const std::string& text, int32_t& consumed)
{
    consumed = 0;
    const size_t a = text.find(':');
    if (a == std::string::npos || a == 0)
        return std::string();
    const size_t numberStart = a + 1;
    const size_t second = text.find(':', numberStart);
    if (second == std::string::npos || second == numberStart)
        return std::string();
    const long long n = ParseLength(text.substr(numberStart, second - numberStart));
    if (n <= 0)
        return std::string();
    // The declared length may run past the text (up to INT_MAX): the field
    // takes what there is and uses the text up to its end.
    const size_t dataStart = second + 1;
    const size_t available = text.size() - dataStart;
    const size_t taken = static_cast<unsigned long long>(n) < available ? static_cast<size_t>(n) : available;
    const size_t used = dataStart + taken;
    consumed = used > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(used);
    return text.substr(dataStart, taken);
}

SignedRecordFields ReadSignedRecord(const std::string& content)
{
    SignedRecordFields fields;
    std::string rest = content;
    int32_t consumed = 0;
    fields.plain = ReadLogField(rest, consumed);
    rest.erase(0, static_cast<size_t>(consumed));
    fields.cert = ReadLogField(rest, consumed);
    rest.erase(0, static_cast<size_t>(consumed));
    fields.signature = ReadLogField(rest, consumed);
    return fields;
}

const char* VerifyMessage(long code)
{
    const long count = static_cast<long>(sizeof kVerifyMessages / sizeof kVerifyMessages[0]);
    return code >= 0 && code < count ? kVerifyMessages[code] : texts::kVerifyUnknown;
}

#ifdef _WIN32
long VerifyLogRecord(const std::string& content)
{
    const SignedRecordFields fields = ReadSignedRecord(content);
    CCertInfo info;  // sign type 0: MD5
    info.m_strCertPem = fields.cert;
    return VerifySignature(info, fields.plain.c_str(), fields.plain.size(), fields.signature.c_str());
}
#endif

}  // namespace kvo
