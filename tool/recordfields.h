// The record detail view's reading of a diagnostic log record: the text it
// shows, the fields of a signing record and the check of the signature they
// carry, with the tool's message for each verification code.
//
// A signing record (subject "*签名数据") holds three fields one after the
// other, each "<label>:<length>:<data>" with exactly <length> bytes of data:
// the signed text ("Plain"), the signer's certificate as PEM text ("Cert")
// and the Base64 signature ("signdata"). The control ends each field with
// CR LF, which the reader takes as the start of the next field's label; a
// SignMessage record has a fourth line, which the check ignores.
//
// Text is 8-bit, code page 936; lengths and positions count bytes. All but
// VerifyLogRecord is portable code. The Chinese texts come from
// resources/texts.txt (texts936.h, generated at build time).
#ifndef QEL_TOOL_RECORDFIELDS_H
#define QEL_TOOL_RECORDFIELDS_H

#include <cstdint>
#include <string>

#include "texts936.h"

namespace kvo {

// Caption of the message box that reports a check.
using texts::kVerifyCaption;  // 验证

// The detail view's text: "时间：<time>\r\n主题：<subject>\r\n日志：<content>\r\n".
std::string LogDetailText(const std::string& time, const std::string& subject, const std::string& content);

// Reads one field from the start of `text` and sets `consumed` to the bytes
// it used (label, both colons, number and data), 0 when it read none:
//  - no ":", or ":" first: nothing read;
//  - no second ":", or nothing between the two: nothing read;
//  - the length is the decimal value of the text between them as atoi
//    reads it (leading blanks, a sign, digits, anything after ignored;
//    values beyond the int range saturate); 0, negative or not a number:
//    nothing read;
//  - a length beyond the data takes what there is, and `consumed` is then
//    the whole text.
std::string ReadLogField(const std::string& text, int32_t& consumed);

// The three fields of a signing record, read one after the other: each read
// starts where the one before stopped (at the same place when it read
// nothing).
struct SignedRecordFields {
    std::string plain;
    std::string cert;
    std::string signature;
};
SignedRecordFields ReadSignedRecord(const std::string& content);

// The message for a VerifySignature code (0 to 9); "校验失败：未知错误！"
// for any other.
const char* VerifyMessage(long code);

#ifdef _WIN32
// Checks the signature a signing record carries with the shared engine:
// VerifySignature with a fresh certificate record holding the "Cert" text
// (sign type 0: MD5, whatever the record was signed with), the plain text
// and its length, and the "signdata" text. Returns the engine's code.
long VerifyLogRecord(const std::string& content);
#endif

}  // namespace kvo

#endif
