// The control's logging step under Wine: the record each operation writes for
// each code, nothing without the tool's mutex, and a store error that never
// escapes the step.
#include "logfile.h"
#include "logstep.h"
#include "logtest.h"
#include "texts936.h"
#include "toolmutex.h"

#include <gtest/gtest.h>

#include <string>

using diaglog::CLogFile;
using diaglog::CLogFileException;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::kToolMutexName;

namespace {

struct Expected {
    LoggedOperation operation;
    long code;
    const char* subject;
    const char* content;
};

// The tables' edges: each operation's own numbering, the fallback text, and
// one code that two operations read differently.
TEST(LogStepTexts, FailureCodesMapToTheirMessages)
{
    using Op = LoggedOperation;
    using namespace texts;
    const Expected cases[] = {
        {Op::SignMessage, 1003, kSignErrorSubject, kEmptyData},
        {Op::SignMessage, 1011, kSignErrorSubject, kOpenCspFailed},
        {Op::SignMessage, 1, kSignErrorSubject, kUnknownException},
        {Op::SignMessage, 1001, kSignErrorSubject, kUnknownException},
        {Op::SignDataInternal, 1, kSignErrorSubject, kOpenCspFailed},
        {Op::SignDataInternal, 1011, kSignErrorSubject, kUnknownException},
        {Op::CryptPubKey, 1019, kCryptPubKeyFailedSubject, kEncryptFailed},
        {Op::DecryptPriKey, 1019, kDecryptPriKeyFailedSubject, kUnknownError},
        {Op::DecryptPriKey, 1020, kDecryptPriKeyFailedSubject, kDecryptFailed},
    };
    for (const Expected& c : cases) {
        LogRecordText record = DescribeOutcome(c.operation, c.code, nullptr);
        EXPECT_EQ(c.subject, record.subject) << "code " << c.code;
        EXPECT_EQ(c.content, record.content) << "code " << c.code;
    }
}

TEST(LogStepTexts, SuccessRecords)
{
    SignLogTexts sign;
    sign.plainLength = 7;  // as the page gave it, not measured
    sign.plain = "abc";
    sign.certPem = "-----BEGIN CERTIFICATE-----\r\nMIIB\r\n-----END CERTIFICATE-----\r\n";
    sign.signature = "QUJD";
    sign.cspName = "Test CSP";
    LogRecordText message = DescribeOutcome(LoggedOperation::SignMessage, 0, &sign);
    EXPECT_EQ(texts::kSignedSubject, message.subject);
    EXPECT_EQ(std::string("Plain:7:abc\r\nCert:62:") + sign.certPem + "\r\nsigndata:4:QUJD\r\nCSP:Test CSP\r\n",
              message.content);
    LogRecordText data = DescribeOutcome(LoggedOperation::SignDataInternal, 0, &sign);
    EXPECT_EQ(message.subject, data.subject);
    EXPECT_EQ(std::string("Plain:7:abc\r\nCert:62:") + sign.certPem + "\r\nsigndata:4:QUJD\r\n", data.content);
    EXPECT_EQ("Plain:0:\r\nCert:0:\r\nsigndata:0:\r\n", DescribeOutcome(LoggedOperation::SignDataInternal, 0).content);

    LogRecordText crypt = DescribeOutcome(LoggedOperation::CryptPubKey, 0);
    EXPECT_EQ(texts::kCryptPubKeySubject, crypt.subject);
    EXPECT_EQ(texts::kCryptPubKeyContent, crypt.content);
    LogRecordText decrypt = DescribeOutcome(LoggedOperation::DecryptPriKey, 0);
    EXPECT_EQ(texts::kDecryptPriKeySubject, decrypt.subject);
    EXPECT_EQ(texts::kDecryptPriKeyContent, decrypt.content);
}

// The steps against a log in a private directory, with and without the
// tool's mutex.
class LogStep : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, IsLogEnabled()) << "the tool's mutex exists already"; }
    void TearDown() override { CloseToolMutex(tool); }
    void StartTool()
    {
        tool = CreateToolMutex(kToolMutexName);
        ASSERT_EQ(1, IsLogEnabled());
    }
    logtest::PrivateTemp temp;
    HANDLE tool = nullptr;
};

TEST_F(LogStep, NothingIsWrittenWithoutTheTool)
{
    EXPECT_EQ(0, AddPageLogRecord("subject", "content"));
    LogOutcome(LoggedOperation::SignMessage, 1003);
    EXPECT_FALSE(logtest::FileExists(temp.LogPath()));
}

TEST_F(LogStep, RecordsAreWrittenWhileTheToolRuns)
{
    StartTool();
    std::string subject100 = std::string(63, 's') + "\xC7\xA9" + std::string(35, 't');
    EXPECT_EQ(1, AddPageLogRecord(subject100.c_str(), "page content"));
    EXPECT_EQ(1, AddPageLogRecord("empty", ""));
    LogOutcome(LoggedOperation::SignMessage, 1003);
    LogOutcome(LoggedOperation::DecryptPriKey, 1019);

    CLogFile log;
    ASSERT_TRUE(log.Load(log.GetPath().c_str()));
    ASSERT_EQ(4, log.GetCount());
    EXPECT_EQ(std::string(63, 's') + '\0', std::string(log.GetHeaders()[0].subject, 64));
    EXPECT_EQ((std::deque<std::string>{"page content", "", DescribeOutcome(LoggedOperation::SignMessage, 1003).content,
                                       texts::kUnknownError}),
              log.GetContents());
    EXPECT_EQ(texts::kSignErrorSubject, std::string(log.GetHeaders()[2].subject));
}

TEST_F(LogStep, StoreErrorsNeverEscapeTheStep)
{
    StartTool();
    // A temporary directory below a file: the log cannot be created there.
    std::string file = temp.Dir() + "file";
    logtest::WriteBytes(file, logtest::Bytes(1, 'f'));
    SetEnvironmentVariableA("TMP", (file + "\\sub").c_str());
    CLogFile log;
    EXPECT_THROW(log.AddRecord("s", "c"), CLogFileException);
    EXPECT_EQ(1, AddPageLogRecord("s", "c"));
    EXPECT_NO_THROW(LogOutcome(LoggedOperation::CryptPubKey, 0));
    EXPECT_EQ(logtest::Bytes(1, 'f'), logtest::ReadBytes(file));
}

}  // namespace
