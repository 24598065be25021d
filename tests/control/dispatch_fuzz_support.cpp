#include "dispatch_fuzz_support.h"

#include <algorithm>
#include <map>

namespace fuzz {

using fixtures::CFixture;

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

std::wstring Filler(size_t length)
{
    static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::wstring s(length, L'A');
    for (size_t i = 0; i < length; ++i)
        s[i] = kAlphabet[(i * 7 + i / 64) % 64];
    return s;
}

namespace {

std::string Oid(const CFixture& f, const char* oid)
{
    for (const certbuild::CAttr& a : f.m_subject)
        if (std::string(a.m_pszOid) == oid)
            return Ansi(a.m_strValue);
    return std::string();
}

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

}  // namespace

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

std::string PemOf(const char* id)
{
    static std::map<std::string, std::string> cache;
    const auto it = cache.find(id);
    return it != cache.end() ? it->second : (cache[id] = ReadPem(id));
}

CFixtureKey::CFixtureKey(const char* id) : m_id(id)
{
    const CFixture& f = fixtures::Get(id);
    if (!CryptAcquireContextA(&m_prov, f.Container().c_str(), f.m_pszProvider, PROV_RSA_FULL, 0))
        m_prov = 0;
    if (m_prov && !CryptGetUserKey(m_prov, AT_KEYEXCHANGE, &m_key))
        m_key = 0;
}
CFixtureKey::~CFixtureKey()
{
    if (m_key)
        CryptDestroyKey(m_key);
    if (m_prov)
        CryptReleaseContext(m_prov, 0);
}

std::string CFixtureKey::SignMd5(const std::string& data) const
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

std::vector<std::string> CFixtureKey::EncryptPieces(const std::string& data) const
{
    std::vector<std::string> blocks;
    for (size_t at = 0; m_key && at < data.size(); at += 100) {
        BYTE block[256] = {};
        const std::string piece = data.substr(at, 100);
        std::copy(piece.begin(), piece.end(), block);
        for (int attempt = 0; attempt < 8; ++attempt) {
            BYTE made[256] = {};
            std::copy(block, block + piece.size(), made);
            DWORD n = static_cast<DWORD>(piece.size());
            if (!CryptEncrypt(m_key, 0, TRUE, 0, made, &n, sizeof(made)))
                break;
            if (!OtherKeyDecrypts(made, n)) {
                blocks.emplace_back(reinterpret_cast<const char*>(made), n);
                break;
            }
        }
    }
    return blocks;
}

bool CFixtureKey::OtherKeyDecrypts(const BYTE* block, DWORD size) const
{
    for (const CFixture& f : fixtures::All()) {
        if (std::string(f.m_pszId) == m_id)
            continue;
        const CFixtureKey other(f.m_pszId);
        // Only a key of the same size takes the block at all (the control
        // checks that before it asks the CSP, which would read past it).
        DWORD bits = 0, length = sizeof(bits);
        if (!other.m_key || !CryptGetKeyParam(other.m_key, KP_KEYLEN, reinterpret_cast<BYTE*>(&bits), &length, 0) ||
            bits != size * 8)
            continue;
        std::vector<BYTE> copy(block, block + size);
        DWORD n = size;
        if (CryptDecrypt(other.m_key, 0, TRUE, 0, copy.data(), &n))
            return true;
    }
    return false;
}

}  // namespace fuzz
