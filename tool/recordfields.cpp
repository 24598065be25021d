#include "recordfields.h"

#include <climits>
#include <cstddef>

#ifdef _WIN32
#include "certinfo.h"
#include "verifier.h"
#endif

namespace kvo {

const char kVerifyCaption[] = "\xD1\xE9\xD6\xA4";  // 验证

namespace {

const char kTimeLabel[] = "\xCA\xB1\xBC\xE4\xA3\xBA";             // 时间：
const char kSubjectLabel[] = "\r\n\xD6\xF7\xCC\xE2\xA3\xBA";      // \r\n主题：
const char kContentLabel[] = "\r\n\xC8\xD5\xD6\xBE\xA3\xBA";      // \r\n日志：

// Indexed by the VerifySignature code.
const char* const kVerifyMessages[] = {
    // 校验成功！
    "\xD0\xA3\xD1\xE9\xB3\xC9\xB9\xA6\xA3\xA1",
    // 校验失败：明文为空数据！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xC3\xF7\xCE\xC4\xCE\xAA\xBF\xD5\xCA\xFD\xBE\xDD\xA3\xA1",
    // 校验失败：明文长度为0！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xC3\xF7\xCE\xC4\xB3\xA4\xB6\xC8\xCE\xAA" "0\xA3\xA1",
    // 校验失败：明文数据与明文长度不符！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xC3\xF7\xCE\xC4\xCA\xFD\xBE\xDD\xD3\xEB\xC3\xF7\xCE\xC4\xB3\xA4"
    "\xB6\xC8\xB2\xBB\xB7\xFB\xA3\xA1",
    // 校验失败：签名数据为空！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD\xCE\xAA\xBF\xD5\xA3\xA1",
    // 校验失败：证书数据不正确！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xD6\xA4\xCA\xE9\xCA\xFD\xBE\xDD\xB2\xBB\xD5\xFD\xC8\xB7\xA3\xA1",
    // 校验失败：签名数据不正确！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD\xB2\xBB\xD5\xFD\xC8\xB7\xA3\xA1",
    // 校验失败：提取公钥失败！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xCC\xE1\xC8\xA1\xB9\xAB\xD4\xBF\xCA\xA7\xB0\xDC\xA3\xA1",
    // 校验失败：散列操作失败！
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xC9\xA2\xC1\xD0\xB2\xD9\xD7\xF7\xCA\xA7\xB0\xDC\xA3\xA1",
    // 校验失败：访问ＣＳＰ失败！ (full-width letters)
    "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xB7\xC3\xCE\xCA\xA3\xC3\xA3\xD3\xA3\xD0\xCA\xA7\xB0\xDC\xA3\xA1",
};
// 校验失败：未知错误！
const char kUnknownVerifyMessage[] = "\xD0\xA3\xD1\xE9\xCA\xA7\xB0\xDC\xA3\xBA\xCE\xB4\xD6\xAA\xB4\xED\xCE\xF3\xA3\xA1";

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
    return kTimeLabel + time + kSubjectLabel + subject + kContentLabel + content + "\r\n";
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
    return code >= 0 && code < count ? kVerifyMessages[code] : kUnknownVerifyMessage;
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
