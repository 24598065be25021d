// Byte layout of the diagnostic log file "KvoLog.log" and of exported logs,
// and the encryption of each record's content. The control and the tool both
// write and read the file through this code, so a file written by one is read
// by the other byte for byte.
//
// File (all integers little-endian, no separators):
//   0   48  file header: magic 0x8CA53903, words 1, 0, 1, 0, 36 reserved bytes
//   48   4  record count (signed)
//   52      count times: LogRecordHeader (132 bytes), then `length` bytes of
//           AES-128-ECB cipher text of the content, zero-padded to 16 bytes
//
// The parser works on a byte buffer and trusts nothing in it: a record is kept
// only when its header and its cipher text lie wholly inside the buffer, and
// reading stops at the first record that does not. Nothing is allocated on
// the strength of a count or a length field alone.
//
// Text is 8-bit, code page 936. Bounded copies never split a double-byte
// character: on Windows through the C runtime's multibyte routines under the
// current multibyte code page, elsewhere with the code page 936 lead-byte rule
// (0x81 to 0xFE).
#ifndef QEL_DIAGLOG_LOGFORMAT_H
#define QEL_DIAGLOG_LOGFORMAT_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace diaglog {

// One record's header as it stands in the file.
struct LogRecordHeader {
    char subject[64];  // subject text, zero-filled; no terminator when 64 bytes long
    char time[64];     // "%d/%d/%d/%d:%d:%d" (year/month/day/hour:minute:second)
    uint32_t length;   // cipher-text bytes that follow the header
};
static_assert(sizeof(LogRecordHeader) == 132, "LogRecordHeader is 132 bytes");

const size_t kLogFileHeaderSize = 48;    // magic, format words, reserved bytes
const size_t kLogCountOffset = 48;       // the 4-byte record count
const size_t kLogRecordsOffset = 52;     // first record header
const size_t kLogRecordHeaderSize = 132;
const size_t kLogFieldSize = 64;         // subject and time fields
const uint32_t kLogMagic = 0x8CA53903u;

// The key of every record of every log: these 16 characters, no terminator.
extern const char kLogKey[];  // "7301946285017392"

// Longest content that a record can hold: its padded length must fit the
// 32-bit `length` field.
const size_t kMaxLogContentLength = 0xFFFFFFF0u;

// A local date and time, as the record's time field shows it.
struct LogTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

// The platform's local clock now.
LogTime CurrentLogTime();

// n rounded up to the next multiple of the log key's length (16);
// PaddedLength(0) is 0. Defined for n <= kMaxLogContentLength.
uint32_t PaddedLength(uint32_t n);

// True for a byte that starts a double-byte character in the multibyte code
// page in force (936 on target systems).
bool IsLogLeadByte(unsigned char c);

// Copies at most `count` bytes of the text `src` to `dest` without splitting a
// double-byte character (a lead byte that would be the last byte copied, or
// that stands before the terminator, becomes zero), then zero-fills `dest` up
// to `count` bytes. `dest` must hold `count` bytes; no terminator is added
// beyond them, so a text of `count` bytes or more fills `dest` completely.
void BoundedMbCopy(char* dest, const char* src, size_t count);

// Formats `t` as "%d/%d/%d/%d:%d:%d" into a zeroed 64-byte buffer.
void FormatLogTime(const LogTime& t, char (&out)[64]);

// A new record's header: subject and time through the bounded copy, length
// PaddedLength(strlen(content)). A null subject or content counts as empty;
// the caller keeps content within kMaxLogContentLength.
LogRecordHeader MakeLogRecordHeader(const LogTime& t, const char* subject, const char* content);

// The 48-byte file header: zeros, then the magic and the words 1, 0, 1, 0.
void BuildLogFileHeader(unsigned char (&out)[kLogFileHeaderSize]);

// Checks the first 48 bytes of a file: magic and the four words must match,
// the reserved bytes are not looked at.
bool CheckLogFileHeader(const unsigned char* first48);

// Header to and from its 132 bytes in the file.
void StoreLogRecordHeader(const LogRecordHeader& header, unsigned char* out132);
LogRecordHeader LoadLogRecordHeader(const unsigned char* in132);

// Appends the cipher text of the first `length` bytes of `text` (no zero
// bytes among them): PaddedLength(length) bytes, the text followed by zero
// bytes, encrypted block by block with a cipher object made for this call.
// An empty text appends nothing.
void AppendEncryptedContent(const char* text, size_t length, std::vector<unsigned char>& out);

// Decrypts a record's cipher text of `length` bytes and returns the content
// up to its first zero byte. Only whole 16-byte blocks are decrypted: a
// length of 0 gives an empty content, and the 1 to 15 bytes of an incomplete
// last block (never written by this code) are ignored.
std::string DecryptLogContent(const unsigned char* cipher, uint32_t length);

// Appends one record: `header` with its length set to the cipher-text size of
// `content` (PaddedLength of its length up to the first zero byte), then that
// cipher text. Fails (false, nothing appended) when the content is longer
// than kMaxLogContentLength.
bool AppendLogRecord(const LogRecordHeader& header, const std::string& content,
                     std::vector<unsigned char>& out);

// The records of a log, oldest first, and where the last kept record ends.
struct LogImage {
    std::deque<LogRecordHeader> headers;
    std::deque<std::string> contents;  // parallel to headers
    size_t end = kLogRecordsOffset;    // offset just past the last record kept
    int32_t declaredCount = 0;         // the count field as found in the file
};

// Reads a whole log file from a buffer. False when the buffer is shorter than
// the file header or fails its check (the image is then empty). Otherwise
// true, with every record that lies wholly inside the buffer, up to the
// declared count, stopping at the first one that does not (a negative count
// reads none). Bytes after the last record are ignored.
bool ParseLog(const unsigned char* data, size_t size, LogImage& image);

// A whole log file: header, count (the number of records) and each record
// through AppendLogRecord, so every `length` equals the cipher bytes after
// it. Both lists must have the same length; false when a content is too long.
bool SerializeLog(const std::deque<LogRecordHeader>& headers, const std::deque<std::string>& contents,
                  std::vector<unsigned char>& out);

// Little-endian 32-bit values in a byte buffer.
uint32_t LoadLe32(const unsigned char* p);
void StoreLe32(uint32_t value, unsigned char* p);

}  // namespace diaglog

#endif
