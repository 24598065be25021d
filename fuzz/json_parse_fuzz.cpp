// Fuzzes the native-messaging host's JSON reader and UTF-8 checks: no read
// past the text; what parses writes out as valid UTF-8 that parses again to
// the same text; UTF-8 converts to UTF-16 exactly when it is valid, and back
// to the same bytes.
#include "json.h"
#include "utf8.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    size_t offset = 0;
    const bool valid = bridge::IsValidUtf8(text.data(), text.size(), &offset);
    if (!valid && offset >= size) std::abort();
    std::u16string wide;
    if (bridge::Utf8ToUtf16(text, &wide) != valid) std::abort();
    if (valid && bridge::Utf16ToUtf8(wide.data(), wide.size()) != text) std::abort();

    bridge::json::Limits limits;
    limits.maxDepth = 16;
    limits.maxValues = 4096;
    bridge::json::Value value;
    bridge::json::ParseError error;
    if (!bridge::json::Parse(text.data(), text.size(), &value, &error, limits)) {
        if (error.offset > size || error.message.empty() || !value.Is(bridge::json::Type::Null)) std::abort();
        return 0;
    }
    const std::string written = bridge::json::Write(value);
    if (!bridge::IsValidUtf8(written.data(), written.size())) std::abort();
    bridge::json::Value again;
    if (!bridge::json::Parse(written.data(), written.size(), &again, nullptr, limits)) std::abort();
    if (bridge::json::Write(again) != written) std::abort();
    return 0;
}
