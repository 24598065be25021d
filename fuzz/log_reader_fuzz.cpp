// Fuzzes the log reader: arbitrary bytes as a log file. The reader stays
// inside the buffer, keeps only whole records (their extents add up to the
// end it reports), and a file written from what it read reads back to the
// same records.
#include "logformat.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using diaglog::LogImage;
using diaglog::PaddedLength;
using diaglog::ParseLog;
using diaglog::SerializeLog;
using diaglog::kLogRecordHeaderSize;
using diaglog::kLogRecordsOffset;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    // An exact-size heap copy, so that any read past the end is caught.
    std::vector<unsigned char> file(data, data + size);
    LogImage image;
    if (!ParseLog(file.data(), file.size(), image)) {
        if (!image.headers.empty() || !image.contents.empty()) std::abort();
        return 0;
    }
    if (image.headers.size() != image.contents.size()) std::abort();
    if (image.declaredCount >= 0 && image.headers.size() > static_cast<size_t>(image.declaredCount)) std::abort();
    size_t end = kLogRecordsOffset;
    for (size_t i = 0; i < image.headers.size(); ++i) {
        end += kLogRecordHeaderSize + image.headers[i].length;
        if (image.contents[i].size() > image.headers[i].length ||
            std::memchr(image.contents[i].data(), 0, image.contents[i].size()))
            std::abort();
    }
    if (image.end != end || (!image.headers.empty() && end > size)) std::abort();

    std::vector<unsigned char> again;
    if (!SerializeLog(image.headers, image.contents, again)) std::abort();
    LogImage back;
    if (!ParseLog(again.data(), again.size(), back) || back.end != again.size()) std::abort();
    if (back.contents != image.contents || back.headers.size() != image.headers.size()) std::abort();
    for (size_t i = 0; i < back.headers.size(); ++i) {
        if (std::memcmp(back.headers[i].subject, image.headers[i].subject, 128) != 0 ||
            back.headers[i].length != PaddedLength(static_cast<uint32_t>(back.contents[i].size())))
            std::abort();
    }
    return 0;
}
