// Fuzzes the reader of a signing record's fields: arbitrary bytes as a
// record's content. Each field read stays inside the text, reports a consumed
// count within it, and is a piece of the text where the reader found it.
#include "recordfields.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 16)
        return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    int32_t consumed = -1;
    const std::string field = kvo::ReadLogField(text, consumed);
    if (consumed < 0 || static_cast<size_t>(consumed) > text.size()) std::abort();
    if (consumed == 0 && !field.empty()) std::abort();
    if (!field.empty() && text.substr(static_cast<size_t>(consumed) - field.size(), field.size()) != field)
        std::abort();
    const kvo::SignedRecordFields fields = kvo::ReadSignedRecord(text);
    for (const std::string* f : {&fields.plain, &fields.cert, &fields.signature})
        if (f->size() > text.size() || (!f->empty() && text.find(*f) == std::string::npos)) std::abort();
    return 0;
}
