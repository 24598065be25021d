// The control's one producer of signatures: opens the certificate's key in
// its CSP, hashes the data (MD5 for sign type 0, SHA-1 otherwise), has the
// CSP sign the hash and returns the signature as one line of Base64 in
// PKCS #1 byte order (most significant byte first).
//
// Results (qel::HashSignResult): 0 signed, 1 the container cannot be opened,
// 2 no hash object, 3 hashing (or reading the input) failed, 4 the CSP
// refused to sign or its signature is longer than 1,024 bytes. The output is
// assigned only on 0. Every call opens the container anew; nothing is kept.
#ifndef QEL_CONTROL_HASHSIGN_H
#define QEL_CONTROL_HASHSIGN_H

#include <windows.h>

#include <string>

#include "certinfo.h"

// Longest signature the engine hands out, in bytes.
const DWORD kMaxSignatureSize = 1024;

// Where the engine reads the data to sign from, one piece at a time.
class CSignInput {
public:
    virtual ~CSignInput() = default;
    // Up to `capacity` bytes into `buffer`; *count 0 at the end. False on a
    // read error.
    virtual bool Read(BYTE* buffer, DWORD capacity, DWORD* count) = 0;
};

// Signs data[0..length) (null data: zero bytes) with the key of `info`
// (m_strProvider, m_strContainer, m_dwKeySpec, m_nSignType).
long HashAndSign(const cert::CCertInfo& info, const BYTE* data, DWORD length, std::string& out);

// The same over everything `input` delivers.
long HashAndSign(const cert::CCertInfo& info, CSignInput& input, std::string& out);

#endif
