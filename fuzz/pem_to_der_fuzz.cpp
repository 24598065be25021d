// Fuzzes the PEM reader and writer with buffers of exactly the size passed:
// PemToDer never reads past the text length nor writes past the output size,
// reports -1 without touching its outputs, and whatever it decodes comes back
// unchanged through DerToPem (armoured and bare) and PemToDer again. DerToPem
// succeeds exactly when its text fits the size given.
#include "certtext.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

using cert::DerToPem;
using cert::PemTextSize;
using cert::PemToDer;
using cert::kPemFooter;
using cert::kPemHeader;

namespace {

const uint32_t kUntouched = 0xFFFFFFFF;

// The DER bytes come back from the PEM text DerToPem writes for them.
void CheckRoundTrip(const unsigned char* der, uint32_t length, const char* header, const char* footer)
{
    const uint64_t size = PemTextSize(length, static_cast<uint32_t>(std::strlen(header)),
                                      static_cast<uint32_t>(std::strlen(footer)));
    std::unique_ptr<char[]> pem(new char[size]);
    uint32_t pemLength = kUntouched;
    if (DerToPem(der, length, pem.get(), static_cast<uint32_t>(size), &pemLength, header, footer) != 0)
        std::abort();
    if (length > 0 && (pemLength != size - 1 || pem[pemLength] != '\0'))
        std::abort();
    std::unique_ptr<unsigned char[]> back(new unsigned char[length]);
    uint32_t backLength = kUntouched;
    if (PemToDer(pem.get(), pemLength, back.get(), length, &backLength) != 0 || backLength != length ||
        std::memcmp(back.get(), der, length) != 0)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 1 << 16)
        return 0;
    // The first two bytes give the output size (0 to 4,095), the rest is the text.
    const uint32_t outSize = (static_cast<uint32_t>(data[0]) << 8 | data[1]) & 0xFFF;
    const uint32_t textLength = static_cast<uint32_t>(size - 2);
    std::unique_ptr<char[]> text(new char[textLength]);
    std::memcpy(text.get(), data + 2, textLength);

    std::unique_ptr<unsigned char[]> der(new unsigned char[outSize]);
    uint32_t derLength = kUntouched;
    const int rc = PemToDer(text.get(), textLength, der.get(), outSize, &derLength);
    if (rc == -1) {
        if (derLength != kUntouched)
            std::abort();
    } else {
        if (rc != 0 || derLength > outSize)
            std::abort();
        CheckRoundTrip(der.get(), derLength, kPemHeader, kPemFooter);
        CheckRoundTrip(der.get(), derLength, "", "");
    }

    // The same bytes as DER into a PEM buffer of the size given.
    std::unique_ptr<char[]> pem(new char[outSize]);
    uint32_t pemLength = kUntouched;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.get());
    const int written = DerToPem(bytes, textLength, pem.get(), outSize, &pemLength, kPemHeader, kPemFooter);
    const bool fits = textLength == 0 || PemTextSize(textLength, 27, 25) <= outSize;
    if (written != (fits ? 0 : -1) || (written == -1 && pemLength != kUntouched))
        std::abort();
    return 0;
}
