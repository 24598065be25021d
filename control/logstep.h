// The control's side of the diagnostic log: whether the diagnostic tool
// runs, the page's own records (AddLog), and the one logging step that the
// signing and certificate encryption operations perform after their work.
//
// A logging step asks for the tool's mutex, builds a CLogFile, appends one
// record and destroys the object. It never changes the operation's result:
// a record that the store cannot take (file in use, damaged, a file error of
// the platform) is dropped.
#ifndef QEL_CONTROL_LOGSTEP_H
#define QEL_CONTROL_LOGSTEP_H

#include <string>

// The operations that log their outcome.
enum class LoggedOperation {
    SignMessage,       // codes 1003, 1010 to 1014
    SignDataInternal,  // the body of Sign, SignData and SignFile: codes 1003, 1010, 1 to 4
    CryptPubKey,       // codes 1015 to 1019
    DecryptPriKey,     // codes 1015 to 1018, 1020
};

// What a successful signing puts into its record. Null texts count as empty.
struct SignLogTexts {
    long long plainLength = 0;     // the data length as the method received it
    const char* plain = nullptr;   // the data text
    const char* certPem = nullptr; // PEM text of the signing certificate
    const char* signature = nullptr;  // Base64 signature
    const char* cspName = nullptr;    // SignMessage only: the CSP that signed
};

// A record's subject and content.
struct LogRecordText {
    std::string subject;
    std::string content;
};

// 1 while the diagnostic tool runs (its mutex exists), else 0.
int IsLogEnabled();

// The record that `operation` writes for its result `code` (0: success).
// `sign` gives the signing lines of a successful signing; without it they
// hold empty texts.
LogRecordText DescribeOutcome(LoggedOperation operation, long code, const SignLogTexts* sign = nullptr);

// The logging step: nothing when the tool does not run, else the record of
// DescribeOutcome appended to the log. Never throws.
void LogOutcome(LoggedOperation operation, long code, const SignLogTexts* sign = nullptr);

// The body of AddLog: 0 when the tool does not run; else the page's record
// is appended (or dropped when the store cannot take it) and the result is 1.
// The subject is stored cut to 64 bytes; an empty content makes a record of
// length 0. Never throws.
long AddPageLogRecord(const char* subject, const char* content);

#endif
