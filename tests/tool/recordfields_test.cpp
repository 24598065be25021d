// The record detail view's reading of a log record: the field reader with its
// quirks, the three fields of a signing record and the message of every
// verification code. The expected texts are written here in
// UTF-8 and converted to code page 936, independently of the code's escapes.
#include "recordfields.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

// UTF-8 text as code page 936 bytes.
std::string Gbk(const char* utf8)
{
#ifdef _WIN32
    wchar_t wide[512];
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    char out[1024];
    const int m = n > 0 ? WideCharToMultiByte(936, 0, wide, n, out, sizeof out, nullptr, nullptr) : 0;
    return m > 0 ? std::string(out, static_cast<size_t>(m - 1)) : std::string("?");
#else
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return "?";
    std::string in(utf8);
    char out[1024];
    char* src = &in[0];
    char* dst = out;
    size_t left = in.size(), room = sizeof out;
    const size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    return r == static_cast<size_t>(-1) ? std::string("?") : std::string(out, static_cast<size_t>(dst - out));
#endif
}

TEST(ReadLogField, ReadsOneFieldAndCountsWhatItUsed)
{
    const struct {
        const char* what;
        std::string text;
        std::string field;
        int32_t consumed;
    } cases[] = {
        {"empty text", "", "", 0},
        {"no colon", "Plain 3 abc", "", 0},
        {"colon first", ":3:abc", "", 0},
        {"no second colon", "Plain:3abc", "", 0},
        {"nothing between the colons", "Plain::abc", "", 0},
        {"length 0", "Plain:0:abc", "", 0},
        {"length not a number", "Plain:x:abc", "", 0},
        {"negative length", "Plain:-3:abc", "", 0},
        {"exact", "Plain:3:abc", "abc", 11},
        {"label with the previous line end", "\r\nCert:4:PEM!\r\n", "PEM!", 13},
        {"data holding colons", "signdata:3:a:b:c", "a:b", 14},
        {"atoi: leading blank", "Plain: 3:abcd", "abc", 12},
        {"atoi: trailing text", "Plain:3x:abcd", "abc", 12},
        {"double-byte data", "Plain:4:\xD6\xD0\xCE\xC4tail", "\xD6\xD0\xCE\xC4", 12},
        {"length beyond the data", "Plain:10:abc", "abc", 12},
        {"length beyond the int range", "Plain:99999999999:abc", "abc", 21},
    };
    for (const auto& c : cases) {
        int32_t consumed = -1;
        EXPECT_EQ(c.field, kvo::ReadLogField(c.text, consumed)) << c.what;
        EXPECT_EQ(c.consumed, consumed) << c.what;
    }
}

TEST(ReadSignedRecord, ReadsTheThreeFieldsOneAfterTheOther)
{
    const struct {
        const char* what;
        std::string content;
        kvo::SignedRecordFields want;
    } cases[] = {
        {"SignMessage record: the CSP line is ignored",
         "Plain:3:abc\r\nCert:5:CERT!\r\nsigndata:4:SIG=\r\nCSP:Some CSP\r\n", {"abc", "CERT!", "SIG="}},
        {"a zero length consumes nothing: every read starts at it",
         "Plain:0:\r\nCert:5:CERT!\r\nsigndata:4:SIG=\r\n", {"", "", ""}},
        {"a bad certificate length leaves the signature to the certificate's read",
         "Plain:3:abc\r\nCert:?:CERT!\r\nsigndata:4:SIG=\r\n", {"abc", "", ""}},
        {"a plain length too short shifts the next labels",
         "Plain:2:abc\r\nCert:5:CERT!\r\nsigndata:4:SIG=\r\n", {"ab", "CERT!", "SIG="}},
    };
    for (const auto& c : cases) {
        const kvo::SignedRecordFields got = kvo::ReadSignedRecord(c.content);
        EXPECT_EQ(c.want.plain, got.plain) << c.what;
        EXPECT_EQ(c.want.cert, got.cert) << c.what;
        EXPECT_EQ(c.want.signature, got.signature) << c.what;
    }
}

TEST(VerifyMessage, EveryCodeHasItsText)
{
    const struct {
        long code;
        const char* utf8;
    } cases[] = {
        {0, "校验成功！"},
        {1, "校验失败：明文为空数据！"},
        {2, "校验失败：明文长度为0！"},
        {3, "校验失败：明文数据与明文长度不符！"},
        {4, "校验失败：签名数据为空！"},
        {5, "校验失败：证书数据不正确！"},
        {6, "校验失败：签名数据不正确！"},
        {7, "校验失败：提取公钥失败！"},
        {8, "校验失败：散列操作失败！"},
        {9, "校验失败：访问ＣＳＰ失败！"},
        {10, "校验失败：未知错误！"},
        {-1, "校验失败：未知错误！"},
        {1003, "校验失败：未知错误！"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Gbk(c.utf8), kvo::VerifyMessage(c.code)) << "code " << c.code;
    EXPECT_EQ(Gbk("验证"), kvo::kVerifyCaption);
}

}  // namespace
