// Every method of the registered control, called as a hostile page would:
// texts of every length around the working buffers (up to 1 MiB), NULL and
// embedded NULs, format directives, damaged Base64 and PEM, Chinese text,
// boundary numbers, and for file parameters long, relative, UNC, device,
// stream and trailing-dot paths. One argument at a time against a working
// call, all combinations over a reduced set, and random three-call
// sequences (seed printed; QEL_FUZZ_SEED and QEL_FUZZ_SEQUENCES override).
//
// Each call must return S_OK within 5 s with the result the method gives for
// that input, computed here from the fixture table and from keys used
// through CryptoAPI. The program runs in a sandbox directory (current
// directory and TEMP); a listing before and after each phase allows new or
// changed files only where a successful call writes its output, and the
// tool's log while the tool's mutex exists. The selection dialog is
// cancelled as soon as it shows.
#include "comutil.h"
#include "fixtures.h"
#include "logfile.h"
#include "ocx.h"
#include "selectdialog.h"
#include "toolmutex.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using fixtures::CFixture;

// ---- Text in the ANSI code page, converted by the platform ----

// What a method receives for a BSTR: the ANSI text, ending at the first NUL.
std::string Ansi(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out.substr(0, out.find('\0'));
}

std::wstring Wide(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring Lower(std::wstring s)
{
    if (!s.empty())
        CharLowerBuffW(&s[0], static_cast<DWORD>(s.size()));
    return s;
}

std::string Base64(const BYTE* bytes, DWORD size)
{
    DWORD n = 0;
    CryptBinaryToStringA(bytes, size, CRYPT_STRING_BASE64, nullptr, &n);
    std::string text(n, '\0');
    CryptBinaryToStringA(bytes, size, CRYPT_STRING_BASE64, &text[0], &n);
    std::string line;
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '\0')
            line += c;
    return line;
}

// The bytes of a one-line Base64 text; false when it is not one.
bool Unbase64(const std::string& text, std::string* bytes)
{
    if (text.empty() || text.size() % 4 || text.find_first_of("\r\n") != std::string::npos)
        return false;
    DWORD n = 0;
    if (!CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64, nullptr, &n,
                              nullptr, nullptr))
        return false;
    bytes->assign(n, '\0');
    return CryptStringToBinaryA(text.c_str(), static_cast<DWORD>(text.size()), CRYPT_STRING_BASE64,
                                reinterpret_cast<BYTE*>(&(*bytes)[0]), &n, nullptr, nullptr) != FALSE;
}

// Text of `length` Base64 alphabet characters, so that methods that decode
// their text work on all of it.
std::wstring Filler(size_t length)
{
    static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring s(length, L'A');
    for (size_t i = 0; i < length; ++i)
        s[i] = kAlphabet[(i * 7 + i / 64) % 64];
    return s;
}

// ---- The fixture certificates and their keys, through CryptoAPI ----

std::string Oid(const CFixture& f, const char* oid)
{
    for (const certbuild::CAttr& a : f.m_subject)
        if (std::string(a.m_pszOid) == oid)
            return Ansi(a.m_strValue);
    return std::string();
}

// The certificate that a lookup by CN and OU finds: the first in store
// order whose subject's CN is `cn` and whose first OU is `ou` (any when
// empty), among those with a key-provider property and a PEM text within
// the 2,048-byte buffer. A CN with a comma is quoted in the subject text
// and so never equals a wanted CN.
const CFixture* Holder(const std::string& cn, const std::string& ou)
{
    static const std::vector<std::string> order = fixtures::IdsInStoreOrder();
    for (const std::string& id : order) {
        const CFixture& f = fixtures::Get(id.c_str());
        const std::string fcn = Oid(f, szOID_COMMON_NAME);
        if (!f.m_pszProvider || f.m_dwPaddingBytes || fcn.find(',') != std::string::npos)
            continue;
        if (fcn == cn && (ou.empty() || Oid(f, szOID_ORGANIZATIONAL_UNIT_NAME) == ou))
            return &f;
    }
    return nullptr;
}

bool Signs(const CFixture* f) { return f && f->m_bContainerPresent; }
bool HasExchangeKey(const CFixture* f) { return Signs(f) && f->m_dwKeySpec == AT_KEYEXCHANGE; }
// CryptPubKey's block buffer holds 200 bytes: 1024-bit keys only.
bool EncryptsText(const CFixture* f) { return HasExchangeKey(f) && f->m_dwBits / 8 <= 200; }

std::string ReadPem(const char* id)
{
    std::string pem;
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    PCCERT_CONTEXT cert = nullptr;
    while (store && (cert = CertEnumCertificatesInStore(store, cert)) != nullptr) {
        const CFixture* f = fixtures::Find(cert);
        if (!f || std::string(f->m_pszId) != id)
            continue;
        DWORD n = 0;
        CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER, nullptr, &n);
        pem.assign(n, '\0');
        CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER, &pem[0], &n);
        pem.resize(n);
    }
    if (cert)
        CertFreeCertificateContext(cert);
    if (store)
        CertCloseStore(store, 0);
    return pem;
}

std::string PemOf(const char* id)
{
    static std::map<std::string, std::string> cache;
    const auto it = cache.find(id);
    return it != cache.end() ? it->second : (cache[id] = ReadPem(id));
}

// The key pair of a fixture's container.
class CFixtureKey {
public:
    explicit CFixtureKey(const char* id)
    {
        const CFixture& f = fixtures::Get(id);
        if (!CryptAcquireContextA(&m_prov, f.Container().c_str(), f.m_pszProvider, PROV_RSA_FULL, 0))
            m_prov = 0;
        if (m_prov && !CryptGetUserKey(m_prov, AT_KEYEXCHANGE, &m_key))
            m_key = 0;
    }
    ~CFixtureKey()
    {
        if (m_key)
            CryptDestroyKey(m_key);
        if (m_prov)
            CryptReleaseContext(m_prov, 0);
    }
    CFixtureKey(const CFixtureKey&) = delete;
    CFixtureKey& operator=(const CFixtureKey&) = delete;

    // MD5 with RSA over `data`, most significant byte first, as Base64.
    std::string SignMd5(const std::string& data) const
    {
        HCRYPTHASH hash = 0;
        BYTE sig[512];
        DWORD n = sizeof(sig);
        const bool ok = m_prov && CryptCreateHash(m_prov, CALG_MD5, 0, 0, &hash) &&
                        CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0) &&
                        CryptSignHashA(hash, AT_KEYEXCHANGE, nullptr, 0, sig, &n);
        if (hash)
            CryptDestroyHash(hash);
        if (!ok)
            return std::string();
        std::reverse(sig, sig + n);
        return Base64(sig, n);
    }

    // The blocks of `data` in pieces of 100 bytes, in the CSP's byte order.
    std::vector<std::string> EncryptPieces(const std::string& data) const
    {
        std::vector<std::string> blocks;
        for (size_t at = 0; m_key && at < data.size(); at += 100) {
            BYTE block[256] = {};
            const std::string piece = data.substr(at, 100);
            std::copy(piece.begin(), piece.end(), block);
            DWORD n = static_cast<DWORD>(piece.size());
            if (CryptEncrypt(m_key, 0, TRUE, 0, block, &n, sizeof(block)))
                blocks.emplace_back(reinterpret_cast<const char*>(block), n);
        }
        return blocks;
    }

private:
    HCRYPTPROV m_prov = 0;
    HCRYPTKEY m_key = 0;
};

// ---- Argument values ----

enum class PathClass {
    Missing,  // names no file: the file methods refuse it
    Refused,  // names something that is no file to work on (device, directory, too long)
    File,     // a seed file
    Either,   // the seed file on some systems, refused on others
};

struct CValue {
    std::string label;
    bool isLong = false;
    long number = 0;
    bool null = false;        // a NULL BSTR
    std::wstring text;
    std::string ansi;         // what the method receives
    // As a path.
    PathClass path = PathClass::Missing;
    std::string content;      // the seed file's bytes
    bool outputIsInput = false;  // the name less its extension is the file itself
    // As a certificate, signature or cipher text.
    const char* certOf = nullptr;    // a certificate text of this fixture
    bool signsAbc = false;           // MD5 signature of "abc" by zhangsan-a
    const char* cipherFor = nullptr; // cipher text for this fixture's key ...
    std::string plain;               // ... of this text
};

std::unique_ptr<CValue> Text(std::string label, std::wstring text)
{
    std::unique_ptr<CValue> v(new CValue);
    v->label = std::move(label);
    v->text = std::move(text);
    v->ansi = Ansi(v->text);
    return v;
}

std::unique_ptr<CValue> Number(long n)
{
    std::unique_ptr<CValue> v(new CValue);
    v->label = std::to_string(n);
    v->isLong = true;
    v->number = n;
    return v;
}

std::string Shown(const CValue& v)
{
    return v.isLong ? v.label : "[" + v.label + "]";
}

// ---- Methods ----

enum class Role { Data, Cn, Ou, File, Key, Sig, Cert, Cipher, Any, Length, Type };

struct CMethod {
    DISPID id;
    const char* name;
    VARTYPE result;
    std::vector<Role> roles;
};

const std::vector<CMethod>& Methods()
{
    using R = Role;
    static const std::vector<CMethod> table = {
        {1, "GetVersion", VT_I4, {}},
        {2, "SignMessage", VT_I4, {R::Data, R::Length}},
        {3, "SignMessageSW", VT_I4, {R::Any, R::Data, R::Length}},
        {4, "GetSignData", VT_BSTR, {}},
        {5, "GetSignDataLen", VT_I4, {}},
        {6, "GetUserSignCert", VT_BSTR, {}},
        {7, "GetUserSignCertLen", VT_I4, {}},
        {8, "GetCihperData", VT_BSTR, {}},
        {9, "GetCihperDataLen", VT_I4, {}},
        {10, "GetPlainBuf", VT_BSTR, {}},
        {11, "GetPlainBufLen", VT_I4, {}},
        {12, "GetUserEncCert", VT_BSTR, {}},
        {13, "GetUserEncCertLen", VT_I4, {}},
        {14, "InitCSP", VT_I2, {R::Any}},
        {15, "GetCspName", VT_BSTR, {}},
        {16, "AddLog", VT_I4, {R::Any, R::Any}},
        {17, "Sign", VT_BSTR, {R::Data, R::Cn, R::Ou}},
        {18, "Verify", VT_I4, {R::Sig, R::Data, R::Cert}},
        {19, "SignFile", VT_BSTR, {R::File, R::Cn, R::Ou}},
        {20, "SignData", VT_BSTR, {R::Data, R::Length, R::Cn, R::Ou}},
        {21, "CryptPubKey", VT_BSTR, {R::Data, R::Cn, R::Ou}},
        {22, "CryptFilePubKey", VT_I4, {R::File, R::Cn, R::Ou}},
        {23, "DecryptPriKey", VT_BSTR, {R::Cipher, R::Cn, R::Ou}},
        {24, "DecryptFilePriKey", VT_I4, {R::File, R::Cn, R::Ou}},
        {25, "GenertKey", VT_BSTR, {}},
        {26, "GetCert", VT_BSTR, {R::Cn, R::Ou}},
        {27, "Encrypt", VT_BSTR, {R::Data, R::Key}},
        {28, "EncryptFile", VT_I4, {R::File, R::Key}},
        {29, "Decrypt", VT_BSTR, {R::Data, R::Key}},
        {30, "DecryptFile", VT_I4, {R::File, R::Key}},
        {31, "SetSignType", VT_EMPTY, {R::Type}},
        {32, "VerifyFile", VT_I4, {R::Sig, R::File, R::Cert}},
    };
    return table;
}

bool IsLongRole(Role r) { return r == Role::Length || r == Role::Type; }

// ---- Expected results ----

const size_t kMaxPath = MAX_PATH;  // path buffer of the file methods, NUL included

// What a call must return.
struct CWant {
    enum Kind { Number, Exact, Signature, KeyText, CipherLength, Nothing };
    Kind kind = Nothing;
    long number = 0;
    std::string text;
    size_t length = 0;

    static CWant Long(long n) { CWant w; w.kind = Number; w.number = n; return w; }
    static CWant Str(std::string s) { CWant w; w.kind = Exact; w.text = std::move(s); return w; }
    static CWant SignatureBy(const CFixture* f)
    {
        if (!Signs(f))
            return Str("");
        CWant w;
        w.kind = Signature;
        w.length = f->m_dwBits / 8;
        return w;
    }
};

std::string ResultText(const VARIANT& r)
{
    return V_VT(&r) == VT_BSTR ? Ansi(std::wstring(V_BSTR(&r), SysStringLen(V_BSTR(&r)))) : std::string();
}

bool Base64Alphabet(const std::string& s)
{
    return s.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
           std::string::npos;
}

bool Satisfies(const CWant& want, const VARIANT& r)
{
    switch (want.kind) {
    case CWant::Nothing: return true;
    case CWant::Number: return (V_VT(&r) == VT_I4 ? V_I4(&r) : V_VT(&r) == VT_I2 ? V_I2(&r) : LONG_MIN) == want.number;
    case CWant::Exact: return ResultText(r) == want.text;
    case CWant::Signature: {
        std::string bytes;
        return Unbase64(ResultText(r), &bytes) && bytes.size() == want.length;
    }
    case CWant::KeyText: {
        const std::string text = ResultText(r);
        std::string key;
        if (text.size() != 12 || text.back() != '=' || !Unbase64(text, &key) || key.size() != 8)
            return false;
        for (size_t i = 1; i < 8; i += 2)
            if (static_cast<unsigned char>(key[i]) >= 128)
                return false;
        return true;
    }
    case CWant::CipherLength: {
        const std::string text = ResultText(r);
        return text.size() == want.length && Base64Alphabet(text);
    }
    }
    return false;
}

std::string Describe(const CWant& want)
{
    switch (want.kind) {
    case CWant::Nothing: return "any";
    case CWant::Number: return std::to_string(want.number);
    case CWant::Exact: return "text of " + std::to_string(want.text.size()) + " bytes \"" + want.text.substr(0, 40) + "\"";
    case CWant::Signature: return "a signature of " + std::to_string(want.length) + " bytes";
    case CWant::KeyText: return "a key text";
    case CWant::CipherLength: return "Base64 of " + std::to_string(want.length) + " characters";
    }
    return "?";
}

std::string DescribeResult(const VARIANT& r)
{
    switch (V_VT(&r)) {
    case VT_I4: return std::to_string(V_I4(&r));
    case VT_I2: return std::to_string(V_I2(&r));
    case VT_EMPTY: return "VT_EMPTY";
    case VT_BSTR: {
        const std::string t = ResultText(r);
        return "text of " + std::to_string(t.size()) + " bytes \"" + t.substr(0, 40) + "\"";
    }
    default: return "VARTYPE " + std::to_string(V_VT(&r));
    }
}

// How a file argument is taken: as the file it names, or refused.
enum class AsPath { Named, Refused };

struct CContext {
    bool logging;
};

// The Verify code for a signature, data and certificate text.
long VerifyCode(const CValue& sig, const std::string& data, const CValue& cert)
{
    if (data.empty())
        return 2;
    if (data.find('\0') != std::string::npos)
        return 3;
    if (!cert.certOf)
        return 5;
    const bool valid = sig.signsAbc && data == "abc" && std::string(cert.certOf) == "zhangsan-a";
    return valid ? 0 : 6;
}

CWant Expected(const CMethod& m, const std::vector<const CValue*>& a, const CContext& ctx, AsPath as)
{
    const auto holder = [&](size_t cn) { return Holder(a[cn]->ansi, a[cn + 1]->ansi); };
    // A file argument the method works on: a seed file, under the path limit.
    const auto named = [&](const CValue& v, size_t extra) {
        const bool file = v.path == PathClass::File || (v.path == PathClass::Either && as == AsPath::Named);
        return file && v.ansi.size() + extra < kMaxPath;
    };
    switch (m.id) {
    case 1: return CWant::Long(1010);
    case 2:
    case 3: return CWant::Long(1001);  // the dialog is cancelled; SignMessageSW never signs
    case 4: case 6: case 8: case 10: case 12: case 15: return CWant::Str("");
    case 5: case 7: case 9: case 11: case 13: return CWant::Long(0);
    case 14: return CWant::Long(0);
    case 16: return CWant::Long(ctx.logging ? 1 : 0);
    case 17: return CWant::SignatureBy(holder(1));
    case 18: return CWant::Long(VerifyCode(*a[0], a[1]->ansi, *a[2]));
    case 19: return named(*a[0], 0) ? CWant::SignatureBy(holder(1)) : CWant::Str("");
    case 20: {
        const long n = a[1]->number;
        if (n < 0 || static_cast<size_t>(n) > a[0]->ansi.size())
            return CWant::Str("");
        return CWant::SignatureBy(holder(2));
    }
    case 21: {
        const std::string& data = a[0]->ansi;
        if (data.empty() || !EncryptsText(holder(1)))
            return CWant::Str("");
        CWant w;
        w.kind = CWant::CipherLength;
        w.length = 172 * ((data.size() + 99) / 100);
        return w;
    }
    case 22: return CWant::Long(named(*a[0], 4) && HasExchangeKey(holder(1)) ? 0 : 1);
    case 23: {
        const CFixture* h = holder(1);
        const bool mine = a[0]->cipherFor && h && std::string(h->m_pszId) == a[0]->cipherFor;
        return CWant::Str(mine ? a[0]->plain : "");
    }
    case 24: {
        const CValue& file = *a[0];
        const CFixture* h = holder(1);
        const bool hasExtension = *PathFindExtensionA(file.ansi.c_str()) != '\0';
        if (!named(file, 0) || !hasExtension || file.outputIsInput || !HasExchangeKey(h))
            return CWant::Long(1);
        const bool mine = file.cipherFor && std::string(h->m_pszId) == file.cipherFor;
        return CWant::Long(file.content.empty() || mine ? 0 : 1);
    }
    case 25: { CWant w; w.kind = CWant::KeyText; return w; }
    case 26: {
        const CFixture* h = holder(0);
        return CWant::Str(h ? PemOf(h->m_pszId) : "");
    }
    case 27: {
        CWant w;
        w.kind = CWant::CipherLength;
        const size_t padded = a[0]->ansi.size() / 8 * 8 + 8;
        w.length = 4 * ((padded + 2) / 3);
        return w;
    }
    case 28: return CWant::Long(named(*a[0], 4) ? 0 : 1);
    case 29: return CWant::Str("");
    case 30: return CWant::Long(1);
    case 31: return CWant();
    case 32: return CWant::Long(named(*a[1], 0) ? VerifyCode(*a[0], a[1]->content, *a[2]) : 20);
    }
    return CWant();
}

// ---- The sandbox ----

struct CFileState {
    ULONGLONG size;
    FILETIME written;
    bool operator==(const CFileState& o) const
    {
        return size == o.size && CompareFileTime(&written, &o.written) == 0;
    }
};
using CListing = std::map<std::wstring, CFileState>;  // lower-case full path

std::wstring Long(const std::wstring& path) { return L"\\\\?\\" + path; }

void ListTree(const std::wstring& dir, CListing& out)
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Long(dir + L"*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ListTree(dir + name + L"\\", out);
        } else {
            out[Lower(dir + name)] = {(static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                                      found.ftLastWriteTime};
        }
    } while (FindNextFileW(h, &found));
    FindClose(h);
}

void RemoveTreeW(const std::wstring& dir)
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(Long(dir + L"*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTreeW(dir + name + L"\\");
            else
                DeleteFileW(Long(dir + name).c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(Long(dir).c_str());
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) && put == bytes.size();
    return CloseHandle(h) && ok;
}

std::string ReadWholeFile(const std::wstring& path)
{
    std::string bytes;
    HANDLE h = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(h, buffer, sizeof(buffer), &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(h);
    return bytes;
}

// The full path a method's path text names, lower case, for comparison
// with a listing; empty for what names no file on a disk.
std::wstring Resolve(const std::string& ansiPath)
{
    std::wstring path = Wide(ansiPath);
    if (path.compare(0, 4, L"\\\\?\\") == 0 && path.compare(0, 8, L"\\\\?\\UNC\\") != 0)
        path = path.substr(4);
    std::vector<wchar_t> full(path.size() + MAX_PATH + 8);
    const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size())
        return std::wstring();
    return Lower(std::wstring(full.data(), n));
}

// A directory tree that exists for the program: `Root()` holds `Box()`,
// the current directory and TEMP of the calls, and is itself the outside
// that paths with "..\" reach.
class CSandbox {
public:
    CSandbox()
    {
        wchar_t temp[MAX_PATH + 1] = L"";
        GetTempPathW(MAX_PATH, temp);
        m_root = std::wstring(temp) + L"qelfuzz-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        RemoveTreeW(m_root);
        m_box = m_root + L"box\\";
        CreateDirectoryW(m_root.c_str(), nullptr);
        CreateDirectoryW(m_box.c_str(), nullptr);
        m_oldDir.resize(MAX_PATH + 1);
        m_oldDir.resize(GetCurrentDirectoryW(MAX_PATH + 1, &m_oldDir[0]));
        m_oldTmp = Variable(L"TMP");
        m_oldTemp = Variable(L"TEMP");
        const std::wstring box = m_box.substr(0, m_box.size() - 1);
        SetEnvironmentVariableW(L"TMP", box.c_str());
        SetEnvironmentVariableW(L"TEMP", box.c_str());
        SetCurrentDirectoryW(m_box.c_str());
    }
    ~CSandbox()
    {
        SetCurrentDirectoryW(m_oldDir.c_str());
        SetEnvironmentVariableW(L"TMP", m_oldTmp.empty() ? nullptr : m_oldTmp.c_str());
        SetEnvironmentVariableW(L"TEMP", m_oldTemp.empty() ? nullptr : m_oldTemp.c_str());
        RemoveTreeW(m_root);
    }
    CSandbox(const CSandbox&) = delete;
    CSandbox& operator=(const CSandbox&) = delete;

    const std::wstring& Root() const { return m_root; }
    const std::wstring& Box() const { return m_box; }
    CListing List() const
    {
        CListing all;
        ListTree(m_root, all);
        return all;
    }

private:
    static std::wstring Variable(const wchar_t* name)
    {
        wchar_t value[MAX_PATH + 1] = L"";
        const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH + 1);
        return n && n <= MAX_PATH ? std::wstring(value, n) : std::wstring();
    }

    std::wstring m_root, m_box, m_oldDir, m_oldTmp, m_oldTemp;
};

// ---- The values of the sweeps ----

class CValues {
public:
    CValues(const CSandbox& sandbox, bool ok) : m_sandbox(sandbox) { if (ok) Build(); }

    std::vector<const CValue*> Generic(bool huge) const { return huge ? m_genericHuge : m_generic; }
    const std::vector<const CValue*>& Extra(Role r) const
    {
        static const std::vector<const CValue*> none;
        const auto it = m_extra.find(r);
        return it == m_extra.end() ? none : it->second;
    }
    // Every value a parameter of role `r` is swept with.
    std::vector<const CValue*> Pool(Role r, bool huge) const
    {
        if (IsLongRole(r))
            return m_numbers;
        std::vector<const CValue*> pool = Generic(huge);
        const std::vector<const CValue*>& extra = Extra(r);
        pool.insert(pool.end(), extra.begin(), extra.end());
        return pool;
    }
    // The reduced set of the combination sweep: the role's working value and
    // five texts (or five numbers).
    std::vector<const CValue*> Reduced(Role r) const
    {
        if (r == Role::Length)
            return m_reducedNumbers;
        std::vector<const CValue*> pool = {Baseline(r)};
        pool.insert(pool.end(), m_reduced.begin(), m_reduced.end());
        return pool;
    }
    // The working argument of a role; DecryptFilePriKey gets the cipher file.
    const CValue* Baseline(Role r) const { return m_baseline.at(r); }
    std::vector<const CValue*> Baselines(const CMethod& m) const
    {
        std::vector<const CValue*> args;
        for (Role r : m.roles)
            args.push_back(Baseline(r));
        if (m.id == 24)
            args[0] = m_cipherFile;
        return args;
    }
    const std::string& SealedPlain() const { return m_sealedPlain; }

private:
    const CValue* Add(std::unique_ptr<CValue> v)
    {
        m_all.push_back(std::move(v));
        return m_all.back().get();
    }
    const CValue* AddTo(std::vector<const CValue*>& list, std::unique_ptr<CValue> v)
    {
        const CValue* p = Add(std::move(v));
        list.push_back(p);
        return p;
    }
    const CValue* AddExtra(Role r, std::unique_ptr<CValue> v) { return AddTo(m_extra[r], std::move(v)); }

    std::wstring BoxPath(const std::string& name) const { return m_sandbox.Box() + Wide(name); }

    // A seed file in the box and the value naming it by `text`.
    std::unique_ptr<CValue> Seed(const std::string& label, const std::wstring& text, const std::string& file,
                                 PathClass cls = PathClass::File)
    {
        std::unique_ptr<CValue> v = Text(label, text);
        v->path = cls;
        v->content = m_seeds.at(file);
        if (file == "cipher.gue") {
            v->cipherFor = "zhangsan-a";
            v->plain = m_sealedPlain;
        }
        return v;
    }

    void Build();

    const CSandbox& m_sandbox;
    std::vector<std::unique_ptr<CValue>> m_all;
    std::vector<const CValue*> m_generic, m_genericHuge, m_numbers, m_reduced, m_reducedNumbers;
    std::map<Role, std::vector<const CValue*>> m_extra;
    std::map<Role, const CValue*> m_baseline;
    std::map<std::string, std::string> m_seeds;  // box name -> bytes
    const CValue* m_cipherFile = nullptr;
    std::string m_sealedPlain;
};

// A value with fields beyond its text set by `set`.
template <class F>
std::unique_ptr<CValue> Made(std::string label, std::wstring text, F set)
{
    std::unique_ptr<CValue> v = Text(std::move(label), std::move(text));
    set(*v);
    return v;
}

std::unique_ptr<CValue> Refused(const std::wstring& text)
{
    return Made(Ansi(text), text, [](CValue& v) { v.path = PathClass::Refused; });
}

void CValues::Build()
{
    const CFixtureKey zhang("zhangsan-a");
    const std::string pemA = PemOf("zhangsan-a");

    // Seed files.
    for (int i = 0; i < 250; ++i)
        m_sealedPlain += static_cast<char>('a' + i % 26);
    std::string sealed;
    for (const std::string& block : zhang.EncryptPieces(m_sealedPlain))
        sealed += block;
    m_seeds = {{"abc.txt", "abc"}, {"plain.txt", m_sealedPlain + "\r\n"}, {"empty.bin", ""},
               {"zero.bin", std::string("ab\0cd", 5)}, {"cipher.gue", sealed}};
    CreateDirectoryW(BoxPath("sub").c_str(), nullptr);
    // Files whose full paths are 259, 260, 261 and 300 characters long, in a
    // directory whose path is about 205 characters long.
    const size_t pad = m_sandbox.Box().size() < 190 ? 199 - m_sandbox.Box().size() : 1;
    const std::wstring longDir = m_sandbox.Box() + L"long-" + std::wstring(pad, L'd') + L"\\";
    CreateDirectoryW(Long(longDir).c_str(), nullptr);
    for (size_t length : {259u, 260u, 261u, 300u}) {
        const std::wstring name = std::wstring(length - longDir.size() - 4, L'f') + L".txt";
        m_seeds[Ansi((longDir + name).substr(m_sandbox.Box().size()))] = "abc";
    }
    for (const auto& seed : m_seeds)
        WriteWholeFile(BoxPath(seed.first), seed.second);

    // Texts for every parameter.
    AddTo(m_generic, Text("empty", L""));
    AddTo(m_generic, Made("NULL", L"", [](CValue& v) { v.null = true; }));
    for (size_t n : {1u, 63u, 64u, 65u, 259u, 260u, 261u, 511u, 512u, 513u, 1023u, 1024u, 1025u, 2047u, 2048u,
                     2049u, 10239u, 16384u, 65536u})
        AddTo(m_generic, Text(std::to_string(n) + " chars", Filler(n)));
    AddTo(m_generic, Text("embedded NUL", std::wstring(L"abc\0def", 7)));
    AddTo(m_generic, Text("leading NUL", std::wstring(L"\0abc", 4)));
    std::wstring percentN, percentS;
    for (int i = 0; i < 30; ++i) {
        percentN += L"%n";
        percentS += L"%s";
    }
    AddTo(m_generic, Text("%n x30", percentN));
    AddTo(m_generic, Text("%s x30", percentS));
    AddTo(m_generic, Text("invalid Base64", L"@@@@!!!!****~~~~"));
    AddTo(m_generic, Text("Base64 padding inside", L"Zm9v=YmFy====QUJD"));
    std::string random;
    uint32_t x = 0x9E3779B9u;
    for (int i = 0; i < 300; ++i) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        random += static_cast<char>(x & 0xff);
    }
    AddTo(m_generic, Text("Base64 of random bytes",
                          Wide(Base64(reinterpret_cast<const BYTE*>(random.data()), static_cast<DWORD>(random.size())))));
    AddTo(m_generic, Made("PEM", Wide(pemA), [](CValue& v) { v.certOf = "zhangsan-a"; }));
    AddTo(m_generic, Text("truncated PEM", Wide(pemA.substr(0, pemA.size() / 2))));
    AddTo(m_generic, Text("Chinese", L"\u4e2d\u6587\u6d4b\u8bd5\uff1a\u674e\u56db\uff0c\u6280\u672f\u90e8"));
    AddTo(m_generic, Text("outside the code page", L"\U0001F600\u0e01\u20ac"));
    m_genericHuge = m_generic;
    AddTo(m_genericHuge, Text("1 MiB", Filler(1u << 20)));

    // Certificate names.
    for (const wchar_t* cn : {L"Zhang San", L"zhang san", L"", L"Big Key", L"Sign Only", L"Unplugged", L"Soft Key",
                              L"No Key", L"Large Cert", L"Li", L"Li, Si", L"Wang Wu", L"\u674e\u56db"})
        AddExtra(Role::Cn, Text("CN " + Ansi(cn), cn));
    AddExtra(Role::Cn, Text("CN Zhang San NUL junk", std::wstring(L"Zhang San\0junk", 14)));
    AddExtra(Role::Cn, Text("CN Zhang San + blank", L"Zhang San "));
    for (const wchar_t* ou : {L"Dept A", L"Dept B", L"Unit A", L"Unit B", L"dept a", L"\u6280\u672f\u90e8"})
        AddExtra(Role::Ou, Text("OU " + Ansi(ou), ou));

    // Signatures, certificates, cipher texts and keys.
    const std::string sigAbc = zhang.SignMd5("abc");
    AddExtra(Role::Sig, Made("signature of abc", Wide(sigAbc), [](CValue& v) { v.signsAbc = true; }));
    AddExtra(Role::Sig, Text("signature of abc less its first character", Wide(sigAbc.substr(1))));
    std::string bare;
    for (size_t i = pemA.find('\n') + 1; i < pemA.find("-----END"); ++i)
        if (pemA[i] != '\r' && pemA[i] != '\n')
            bare += pemA[i];
    AddExtra(Role::Cert, Made("PEM of zhangsan-a", Wide(pemA), [](CValue& v) { v.certOf = "zhangsan-a"; }));
    AddExtra(Role::Cert, Made("bare Base64 of zhangsan-a", Wide(bare), [](CValue& v) { v.certOf = "zhangsan-a"; }));
    AddExtra(Role::Cert, Made("PEM of zhangsan-b", Wide(PemOf("zhangsan-b")), [](CValue& v) { v.certOf = "zhangsan-b"; }));
    const auto cipherText = [&](const std::string& plain) {
        std::string text;
        for (const std::string& block : zhang.EncryptPieces(plain))
            text += Base64(reinterpret_cast<const BYTE*>(block.data()), static_cast<DWORD>(block.size()));
        return text;
    };
    const auto cipher = [&](const std::string& label, const std::string& text, const std::string& plain) {
        return AddExtra(Role::Cipher, Made(label, Wide(text), [&](CValue& v) {
                            v.cipherFor = plain.empty() ? nullptr : "zhangsan-a";
                            v.plain = plain;
                        }));
    };
    const std::string abcCipher = cipherText("abc");
    const CValue* abcCipherValue = cipher("cipher of abc", abcCipher, "abc");
    cipher("cipher of 250 bytes", cipherText(m_sealedPlain), m_sealedPlain);
    cipher("cipher of abc + 1 character", abcCipher + "A", "abc");
    cipher("cipher of abc less its last character", abcCipher.substr(0, abcCipher.size() - 1), "");
    AddExtra(Role::Key, Text("key", L"AAECAwQFBgc="));
    AddExtra(Role::Key, Text("key with trailing text", L"AAECAwQFBgcICQoLDA0ODw=="));

    // Paths.
    const std::wstring box = m_sandbox.Box();
    const auto path = [&](std::unique_ptr<CValue> v) { return AddExtra(Role::File, std::move(v)); };
    const CValue* abcFile = path(Seed("abc.txt", L"abc.txt", "abc.txt"));
    path(Seed("plain.txt", L"plain.txt", "plain.txt"));
    path(Seed("empty.bin", L"empty.bin", "empty.bin"));
    path(Seed("zero.bin", L"zero.bin", "zero.bin"));
    m_cipherFile = path(Seed("cipher.gue", L"cipher.gue", "cipher.gue"));
    path(Seed("absolute abc.txt", box + L"abc.txt", "abc.txt"));
    path(Seed("ABC.TXT", L"ABC.TXT", "abc.txt"));
    path(Seed(".\\sub\\..\\abc.txt", L".\\sub\\..\\abc.txt", "abc.txt"));
    path(Seed("./sub/../abc.txt", L"./sub/../abc.txt", "abc.txt"));
    path(Seed("..\\box\\abc.txt", L"..\\box\\abc.txt", "abc.txt"));
    path(Seed("\\\\?\\ abc.txt", L"\\\\?\\" + box + L"abc.txt", "abc.txt"));
    for (const auto& seed : m_seeds) {
        if (seed.first.compare(0, 5, "long-") != 0)
            continue;
        const std::wstring full = box + Wide(seed.first);
        const PathClass cls = full.size() < kMaxPath ? PathClass::File : PathClass::Refused;
        path(Seed(std::to_string(full.size()) + " characters", full, seed.first, cls));
        if (full.size() > 260)
            path(Seed("\\\\?\\ " + std::to_string(full.size()) + " characters", L"\\\\?\\" + full, seed.first,
                      PathClass::Refused));
    }
    std::wstring deep = box;
    while (deep.size() < 32767)
        deep += L"dir\\";
    deep.resize(32767 - 8);
    path(Text("32,767 characters", deep + L"\\abc.txt"));
    path(Text("..\\missing.txt", L"..\\missing.txt"));
    path(Text("..\\ x8 missing.txt", L"..\\..\\..\\..\\..\\..\\..\\..\\qelfuzz-missing.txt"));
    path(Text("..\\missing dir\\missing.txt", L"..\\no-such-dir\\missing.txt"));
    path(Text("UNC", L"\\\\localhost\\share\\missing.txt"));
    path(Text("UNC \\\\?\\", L"\\\\?\\UNC\\localhost\\share\\missing.txt"));
    path(Text("pipe", L"\\\\.\\pipe\\qelfuzz-missing"));
    for (const wchar_t* device : {L"CON", L"NUL", L"COM1", L"AUX", L"PRN", L"LPT1", L"CONIN$", L"nul.txt",
                                  L"\\\\.\\NUL", L"sub\\COM1", L"sub", L"sub\\", L".", L"..\\"})
        path(Refused(device));
    path(Text("missing stream", L"abc.txt:stream"));
    path(Text("stream of a missing file", L"missing.txt:stream"));
    const auto either = [&](const std::wstring& text, const char* seed, bool outputIsInput) {
        std::unique_ptr<CValue> v = Seed(Ansi(text), text, seed, PathClass::Either);
        v->outputIsInput = outputIsInput;
        return path(std::move(v));
    };
    either(L"abc.txt::$DATA", "abc.txt", false);
    either(L"abc.txt.", "abc.txt", true);
    either(L"abc.txt ", "abc.txt", false);
    either(L"abc.txt. . ", "abc.txt", false);
    either(L"empty.bin.", "empty.bin", true);
    either(L"cipher.gue.", "cipher.gue", true);
    path(Text("wildcard", L"*.txt"));
    path(Text("reserved characters", L"a<b>c|d\"e?.txt"));

    // Numbers.
    std::set<long> numbers = {0, -1, 1, LONG_MAX, -LONG_MAX, LONG_MIN, 3, 6, 7};
    for (int k = 1; k < 31; ++k)
        numbers.insert({(1L << k) - 1, (1L << k) + 1});
    for (long n : numbers)
        AddTo(m_numbers, Number(n));
    const auto number = [&](long n) {
        for (const CValue* v : m_numbers)
            if (v->number == n)
                return v;
        return static_cast<const CValue*>(nullptr);
    };
    for (long n : {0L, 3L, 7L, -1L, LONG_MIN})
        m_reducedNumbers.push_back(number(n));

    // The reduced set and the working arguments.
    for (const CValue* v : m_generic)
        if (v->label == "empty" || v->label == "NULL" || v->label == "2049 chars" || v->label == "%n x30" ||
            v->label == "Chinese")
            m_reduced.push_back(v);
    m_baseline = {{Role::Data, Add(Text("abc", L"abc"))},
                  {Role::Cn, Extra(Role::Cn)[0]},
                  {Role::Ou, Extra(Role::Ou)[0]},
                  {Role::File, abcFile},
                  {Role::Key, Extra(Role::Key)[0]},
                  {Role::Sig, Extra(Role::Sig)[0]},
                  {Role::Cert, Extra(Role::Cert)[0]},
                  {Role::Cipher, abcCipherValue},
                  {Role::Any, Add(Text("text", L"text"))},
                  {Role::Length, number(3)},
                  {Role::Type, number(1)}};
}

// ---- Calls and phases ----

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(f.QuadPart);
}

const double kCallLimitSeconds = 5.0;

// QEL_FUZZ_TRACE=1 shows each call before it is made and its time after, to
// find one that does not return.
const bool kTrace = std::getenv("QEL_FUZZ_TRACE") != nullptr;

fw::CComPtr<IDispatch> NewControl()
{
    fw::CComPtr<IDispatch> disp;
    if (FAILED(CoCreateInstance(ocx::kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&disp))))
        disp.Release();
    return disp;
}

// One phase of calls: every result checked, every file the calls may write
// recorded, and the sandbox compared before and after.
class CPhase {
public:
    CPhase(const CSandbox& sandbox, bool logging) : m_sandbox(sandbox), m_ctx{logging}, m_before(sandbox.List())
    {
        InitializeCriticalSection(&m_lock);
        if (logging)
            m_allowed.insert(Lower(sandbox.Box() + L"KvoLog.log"));
    }
    ~CPhase() { DeleteCriticalSection(&m_lock); }
    CPhase(const CPhase&) = delete;
    CPhase& operator=(const CPhase&) = delete;

    void SetLogging(bool logging)
    {
        m_ctx.logging = logging;
        if (logging)
            m_allowed.insert(Lower(m_sandbox.Box() + L"KvoLog.log"));
    }

    // Invokes one call; false (and a failure noted) when it went wrong. Calls
    // may come from several threads, each with its own control.
    bool Call(IDispatch* disp, const CMethod& m, const std::vector<const CValue*>& args, const std::string& where = "")
    {
        std::vector<VARIANT> rev(args.size());
        for (size_t i = 0; i < args.size(); ++i) {
            VARIANT& v = rev[args.size() - 1 - i];
            VariantInit(&v);
            if (args[i]->isLong) {
                V_VT(&v) = VT_I4;
                V_I4(&v) = args[i]->number;
            } else {
                V_VT(&v) = VT_BSTR;
                V_BSTR(&v) = args[i]->null ? nullptr
                                           : SysAllocStringLen(args[i]->text.data(),
                                                               static_cast<UINT>(args[i]->text.size()));
            }
        }
        DISPPARAMS params = {rev.empty() ? nullptr : rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
        if (kTrace) {
            std::printf("%s%s\n", where.c_str(), Signature(m, args).c_str());
            std::fflush(stdout);
        }
        fw::CVariant result;
        EXCEPINFO info = {};
        UINT argErr = 0;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        const HRESULT hr = disp->Invoke(m.id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info,
                                        &argErr);
        QueryPerformanceCounter(&end);
        for (VARIANT& v : rev)
            VariantClear(&v);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        const double seconds = Seconds(start, end);
        if (kTrace) {
            std::printf("  %.3f s\n", seconds);
            std::fflush(stdout);
        }

        std::string problem;
        if (hr != S_OK) {
            char text[32];
            std::snprintf(text, sizeof(text), "HRESULT 0x%08lX", static_cast<unsigned long>(hr));
            problem = text;
        } else if (V_VT(&result) != m.result) {
            problem = "result type " + std::to_string(V_VT(&result));
        } else if (seconds > kCallLimitSeconds) {
            problem = "took " + std::to_string(seconds) + " s";
        } else {
            const CWant named = Expected(m, args, m_ctx, AsPath::Named);
            const CWant refused = Expected(m, args, m_ctx, AsPath::Refused);
            if (!Satisfies(named, result) && !Satisfies(refused, result))
                problem = "gave " + DescribeResult(result) + ", wanted " + Describe(named) +
                          (Describe(refused) != Describe(named) ? " or " + Describe(refused) : "");
        }
        const std::wstring output = OutputOf(m, args);
        CLock lock(m_lock);
        ++m_calls;
        m_slowest = std::max(m_slowest, seconds);
        if (!output.empty())
            NoteOutput(output, hr == S_OK && V_VT(&result) == VT_I4 && V_I4(&result) == 0);
        if (problem.empty())
            return true;
        Fail(where + Signature(m, args) + ": " + problem);
        return false;
    }

    static std::string Signature(const CMethod& m, const std::vector<const CValue*>& args)
    {
        std::string s = std::string(m.name) + "(";
        for (size_t i = 0; i < args.size(); ++i)
            s += (i ? ", " : "") + Shown(*args[i]);
        return s + ")";
    }

    void Fail(const std::string& what)
    {
        CLock lock(m_lock);
        if (m_failures.size() < 60)
            m_failures.push_back(what);
        ++m_failureCount;
    }

    // Compares the sandbox with its state before the phase, and checks that
    // nothing appeared outside it.
    void Finish()
    {
        const CListing after = m_sandbox.List();
        for (const auto& entry : after) {
            const auto old = m_before.find(entry.first);
            if (old != m_before.end() && old->second == entry.second)
                continue;
            if (!m_allowed.count(entry.first))
                Fail(std::string(old == m_before.end() ? "new" : "changed") + " file " + Ansi(entry.first));
        }
        for (const auto& entry : m_before)
            if (!after.count(entry.first))
                Fail("removed file " + Ansi(entry.first));
        for (const std::wstring& outside : m_outside) {
            const DWORD attributes = GetFileAttributesW(Long(outside).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                Fail("file outside the sandbox " + Ansi(outside));
        }
        std::printf("  %ld calls, slowest %.3f s, %ld failures\n", m_calls, m_slowest, m_failureCount);
        std::string text;
        for (const std::string& f : m_failures)
            text += "  " + f + "\n";
        EXPECT_EQ(0, m_failureCount) << text;
    }

    long Calls() const { return m_calls; }

private:
    // Holds a critical section for its lifetime.
    class CLock {
    public:
        explicit CLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
        ~CLock() { LeaveCriticalSection(&m_cs); }
        CLock(const CLock&) = delete;
        CLock& operator=(const CLock&) = delete;

    private:
        CRITICAL_SECTION& m_cs;
    };

    // The full path of the file a call of a file method writes, by its
    // documented name; empty for the other methods.
    static std::wstring OutputOf(const CMethod& m, const std::vector<const CValue*>& args)
    {
        if (m.id == 28)
            return Resolve(args[0]->ansi + ".gse");
        if (m.id == 22)
            return Resolve(args[0]->ansi + ".gue");
        if (m.id == 24) {
            const char* path = args[0]->ansi.c_str();
            return Resolve(std::string(path, static_cast<size_t>(PathFindExtensionA(path) - path)));
        }
        return std::wstring();
    }

    // In the box the output may appear when the call succeeded, outside never.
    void NoteOutput(const std::wstring& full, bool succeeded)
    {
        if (full.compare(0, m_sandbox.Box().size(), Lower(m_sandbox.Box())) == 0) {
            if (succeeded)
                m_allowed.insert(full);
        } else {
            m_outside.insert(full);
        }
    }

    const CSandbox& m_sandbox;
    CRITICAL_SECTION m_lock;
    CContext m_ctx;
    CListing m_before;
    std::set<std::wstring> m_allowed;
    std::set<std::wstring> m_outside;
    std::vector<std::string> m_failures;
    long m_failureCount = 0;
    long m_calls = 0;
    double m_slowest = 0;
};

// ---- The tests ----

// Runs work(0) to work(count - 1) on two threads at once, as two pages of a
// browser would call their controls; each thread takes the next item when
// it is done with one.
void OnTwoPages(size_t count, const std::function<void(size_t)>& work)
{
    volatile LONG next = -1;
    std::vector<std::unique_ptr<logtest::Thread>> pages;
    for (int page = 0; page < 2; ++page)
        pages.emplace_back(new logtest::Thread([&] {
            CoInitialize(nullptr);
            for (LONG i = InterlockedIncrement(&next); i < static_cast<LONG>(count); i = InterlockedIncrement(&next))
                work(static_cast<size_t>(i));
            CoUninitialize();
        }));
    pages.clear();  // joined
}

class DispatchFuzz : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        CoInitialize(nullptr);
        s_sandbox = new CSandbox;
        const bool fixtures = !PemOf("zhangsan-a").empty();
        s_values = new CValues(*s_sandbox, fixtures);
        // Fill the caches of the expectations before threads read them.
        for (const CFixture& f : fixtures::All())
            PemOf(f.m_pszId);
        Holder("", "");
        s_canceller = new ocx::CDialogCanceller;
    }
    static void TearDownTestSuite()
    {
        delete s_canceller;
        delete s_values;
        delete s_sandbox;
        CoUninitialize();
    }
    void SetUp() override
    {
        ASSERT_FALSE(PemOf("zhangsan-a").empty()) << "the certificate fixtures are missing";
        ASSERT_TRUE(NewControl()) << "the control is not registered";
    }

    // Every parameter of every method swept over its pool, the others at
    // their working values; a new control for each method.
    void SweepEachArgument(CPhase& phase, bool (*methodFilter)(const CMethod&))
    {
        std::vector<const CMethod*> methods;
        for (const CMethod& m : Methods())
            if (methodFilter(m))
                methods.push_back(&m);
        OnTwoPages(methods.size(), [&](size_t i) {
            const CMethod& m = *methods[i];
            fw::CComPtr<IDispatch> control = NewControl();
            if (!control)
                return phase.Fail(std::string("no control for ") + m.name);
            const std::vector<const CValue*> baseline = s_values->Baselines(m);
            phase.Call(control.Get(), m, baseline, "working call ");
            for (size_t p = 0; p < m.roles.size(); ++p)
                for (const CValue* v : s_values->Pool(m.roles[p], true)) {
                    std::vector<const CValue*> args = baseline;
                    args[p] = v;
                    phase.Call(control.Get(), m, args);
                }
        });
    }

    static CSandbox* s_sandbox;
    static CValues* s_values;
    static ocx::CDialogCanceller* s_canceller;
};

CSandbox* DispatchFuzz::s_sandbox = nullptr;
CValues* DispatchFuzz::s_values = nullptr;
ocx::CDialogCanceller* DispatchFuzz::s_canceller = nullptr;

TEST_F(DispatchFuzz, EachArgumentOverTheFullValueSet)
{
    CPhase phase(*s_sandbox, false);
    SweepEachArgument(phase, [](const CMethod&) { return true; });
    phase.Finish();
    // The cipher file made with the fixture's key came back whole.
    EXPECT_EQ(s_values->SealedPlain(), ReadWholeFile(s_sandbox->Box() + L"cipher")) << "DecryptFilePriKey's output";
    EXPECT_GT(s_canceller->Cancelled(), 0) << "SignMessage showed its dialog";
}

// With the tool's mutex the logging methods write KvoLog.log in TEMP, and
// AddLog answers 1.
TEST_F(DispatchFuzz, LoggingMethodsWhileTheToolRuns)
{
    HANDLE tool = CreateToolMutex(kToolMutexName);
    ASSERT_NE(nullptr, tool);
    {
        CPhase phase(*s_sandbox, true);
        SweepEachArgument(phase, [](const CMethod& m) {
            return m.id == 2 || m.id == 16 || m.id == 17 || m.id == 19 || m.id == 20 || m.id == 21 || m.id == 23;
        });
        phase.Finish();
    }
    CloseToolMutex(tool);
    CLogFile log;
    EXPECT_EQ(Ansi(s_sandbox->Box() + L"KvoLog.log"), log.GetPath());
    EXPECT_TRUE(log.Load(log.GetPath().c_str()));
    EXPECT_GT(log.GetCount(), 0);
}

// Two- and three-argument methods (and SignData) over every combination of
// a reduced set.
TEST_F(DispatchFuzz, CombinationsOverAReducedSet)
{
    CPhase phase(*s_sandbox, false);
    std::vector<const CMethod*> methods;
    for (const CMethod& m : Methods())
        if (m.roles.size() >= 2)
            methods.push_back(&m);
    OnTwoPages(methods.size(), [&](size_t index) {
        const CMethod& m = *methods[index];
        fw::CComPtr<IDispatch> control = NewControl();
        if (!control)
            return phase.Fail(std::string("no control for ") + m.name);
        std::vector<std::vector<const CValue*>> pools;
        for (Role r : m.roles)
            pools.push_back(s_values->Reduced(r));
        std::vector<size_t> at(pools.size(), 0);
        for (;;) {
            std::vector<const CValue*> args;
            for (size_t i = 0; i < pools.size(); ++i)
                args.push_back(pools[i][at[i]]);
            phase.Call(control.Get(), m, args);
            size_t i = 0;
            while (i < at.size() && ++at[i] == pools[i].size())
                at[i++] = 0;
            if (i == at.size())
                break;
        }
    });
    phase.Finish();
}

using CPools = std::map<Role, std::vector<const CValue*>>;

// Sequence `s` of the random run: three methods and their arguments drawn
// from a generator seeded with the run's seed and the sequence's number, so
// that a sequence comes out the same whichever thread runs it, on a new
// control.
void RunSequence(CPhase& phase, uint32_t seed, long s, const CPools& pools)
{
    uint64_t state = ((static_cast<uint64_t>(seed) << 32) | static_cast<uint32_t>(s)) * 0x9E3779B97F4A7C15ull + 1;
    const auto next = [&](size_t n) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return static_cast<size_t>(state % n);
    };
    const std::string where = "sequence " + std::to_string(s) + ", call ";
    fw::CComPtr<IDispatch> control = NewControl();
    if (!control) {
        phase.Fail(where + "0: no control");
        return;
    }
    std::string history;
    for (int c = 0; c < 3; ++c) {
        const CMethod& m = Methods()[next(Methods().size())];
        std::vector<const CValue*> args;
        for (Role r : m.roles)
            args.push_back(pools.at(r)[next(pools.at(r).size())]);
        phase.Call(control.Get(), m, args,
                   where + std::to_string(c + 1) + (history.empty() ? "" : " after " + history) + ": ");
        history += (history.empty() ? "" : "; ") + CPhase::Signature(m, args);
    }
}

// 10,000 sequences of three calls, each on a new control, methods and
// arguments drawn at random, on two threads (two pages) at once; the tool's
// mutex exists for every other thousand.
TEST_F(DispatchFuzz, RandomSequencesOfThreeCalls)
{
    const char* seedText = std::getenv("QEL_FUZZ_SEED");
    const char* countText = std::getenv("QEL_FUZZ_SEQUENCES");
    const uint32_t seed = seedText ? static_cast<uint32_t>(std::strtoul(seedText, nullptr, 10)) : 20261208u;
    const long sequences = countText ? std::strtol(countText, nullptr, 10) : 10000;
    std::printf("  random sequences: seed %u (QEL_FUZZ_SEED), %ld sequences (QEL_FUZZ_SEQUENCES)\n", seed, sequences);
    RecordProperty("seed", std::to_string(seed));

    CPools pools;
    for (const CMethod& m : Methods())
        for (Role r : m.roles)
            pools[r] = s_values->Pool(r, false);

    CPhase phase(*s_sandbox, false);
    const long kBlock = 1000;
    for (long from = 0; from < sequences; from += kBlock) {
        const bool logging = (from / kBlock) % 2 == 1;
        HANDLE tool = logging ? CreateToolMutex(kToolMutexName) : nullptr;
        phase.SetLogging(logging);
        const long to = std::min(sequences, from + kBlock);
        OnTwoPages(static_cast<size_t>(to - from),
                   [&](size_t i) { RunSequence(phase, seed, from + static_cast<long>(i), pools); });
        if (tool)
            CloseToolMutex(tool);
    }
    phase.Finish();
}

}  // namespace
