#include "writeall.h"

namespace qel {

namespace {

// Largest piece handed to one WriteFile call.
const DWORD kWritePiece = 1u << 20;

}  // namespace

bool WriteAll(HANDLE file, const void* data, size_t size)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const DWORD piece = size > kWritePiece ? kWritePiece : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, p, piece, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        p += written;
        size -= written;
    }
    return true;
}

}  // namespace qel
