#include "certbuild.h"
#include "textconv.h"

namespace certbuild {

namespace {

CAttr Attr(const char* oid, const wchar_t* value)
{
    return CAttr{oid, value};
}

// The characters of a PrintableString.
bool Printable(const std::wstring& value)
{
    for (wchar_t c : value)
        if (!((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') ||
              std::wstring(L" '()+,-./:=?").find(c) != std::wstring::npos))
            return false;
    return true;
}

// Opaque extension: an OCTET STRING wrapping `size` bytes of filler.
Bytes Padding(DWORD size)
{
    Bytes value;
    value.push_back(0x04);
    if (size < 0x80) {
        value.push_back(static_cast<BYTE>(size));
    } else if (size < 0x100) {
        value.push_back(0x81);
        value.push_back(static_cast<BYTE>(size));
    } else {
        value.push_back(0x82);
        value.push_back(static_cast<BYTE>(size >> 8));
        value.push_back(static_cast<BYTE>(size));
    }
    for (DWORD i = 0; i < size; ++i)
        value.push_back(static_cast<BYTE>('A' + i % 26));
    return value;
}

}  // namespace

CAttr Country(const wchar_t* value) { return Attr(szOID_COUNTRY_NAME, value); }
CAttr Org(const wchar_t* value) { return Attr(szOID_ORGANIZATION_NAME, value); }
CAttr Unit(const wchar_t* value) { return Attr(szOID_ORGANIZATIONAL_UNIT_NAME, value); }
CAttr Common(const wchar_t* value) { return Attr(szOID_COMMON_NAME, value); }

Bytes EncodeName(const std::vector<CAttr>& attrs)
{
    std::vector<CERT_RDN_ATTR> values(attrs.size());
    std::vector<CERT_RDN> rdns(attrs.size());
    for (size_t i = 0; i < attrs.size(); ++i) {
        CERT_RDN_ATTR& v = values[i];
        v.pszObjId = const_cast<char*>(attrs[i].m_pszOid);
        v.dwValueType = Printable(attrs[i].m_strValue) ? CERT_RDN_PRINTABLE_STRING : CERT_RDN_UTF8_STRING;
        v.Value.pbData = reinterpret_cast<BYTE*>(const_cast<wchar_t*>(attrs[i].m_strValue.c_str()));
        v.Value.cbData = static_cast<DWORD>(attrs[i].m_strValue.size() * sizeof(wchar_t));
        rdns[i].cRDNAttr = 1;
        rdns[i].rgRDNAttr = &v;
    }
    CERT_NAME_INFO name = {static_cast<DWORD>(rdns.size()), rdns.data()};
    DWORD size = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_UNICODE_NAME, &name, 0, nullptr, nullptr, &size))
        return Bytes();
    Bytes encoded(size);
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_UNICODE_NAME, &name, 0, nullptr, encoded.data(), &size))
        return Bytes();
    encoded.resize(size);
    return encoded;
}

Bytes BuildCertificate(HCRYPTPROV prov, DWORD keySpec, const CCertSpec& spec)
{
    DWORD keySize = 0;
    if (!CryptExportPublicKeyInfo(prov, keySpec, X509_ASN_ENCODING, nullptr, &keySize))
        return Bytes();
    Bytes keyInfo(keySize);
    auto* publicKey = reinterpret_cast<CERT_PUBLIC_KEY_INFO*>(keyInfo.data());
    if (!CryptExportPublicKeyInfo(prov, keySpec, X509_ASN_ENCODING, publicKey, &keySize))
        return Bytes();

    BYTE serial = spec.m_serial;
    Bytes subject = spec.m_subject;
    Bytes issuer = spec.m_issuer.empty() ? spec.m_subject : spec.m_issuer;
    Bytes padding = Padding(spec.m_paddingBytes);
    CERT_EXTENSION extension = {const_cast<char*>("1.3.6.1.4.1.55555.1.1"), FALSE,
                                {static_cast<DWORD>(padding.size()), padding.data()}};

    CERT_INFO info = {};
    info.dwVersion = CERT_V3;
    info.SerialNumber = {1, &serial};
    info.SignatureAlgorithm.pszObjId = const_cast<char*>(szOID_RSA_SHA1RSA);
    info.Issuer = {static_cast<DWORD>(issuer.size()), issuer.data()};
    info.Subject = {static_cast<DWORD>(subject.size()), subject.data()};
    SYSTEMTIME from = {2020, 1, 3, 1, 0, 0, 0, 0}, to = {2049, 12, 5, 31, 0, 0, 0, 0};
    SystemTimeToFileTime(&from, &info.NotBefore);
    SystemTimeToFileTime(&to, &info.NotAfter);
    info.SubjectPublicKeyInfo = *publicKey;
    if (spec.m_paddingBytes > 0) {
        info.cExtension = 1;
        info.rgExtension = &extension;
    }

    CRYPT_ALGORITHM_IDENTIFIER algorithm = {const_cast<char*>(szOID_RSA_SHA1RSA), {0, nullptr}};
    DWORD size = 0;
    if (!CryptSignAndEncodeCertificate(prov, keySpec, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED, &info, &algorithm,
                                       nullptr, nullptr, &size))
        return Bytes();
    Bytes der(size);
    if (!CryptSignAndEncodeCertificate(prov, keySpec, X509_ASN_ENCODING, X509_CERT_TO_BE_SIGNED, &info, &algorithm,
                                       nullptr, der.data(), &size))
        return Bytes();
    der.resize(size);
    return der;
}

bool SetKeyProv(PCCERT_CONTEXT cert, const std::wstring& container, const std::wstring& provider, DWORD keySpec)
{
    CRYPT_KEY_PROV_INFO info = {};
    info.pwszContainerName = const_cast<wchar_t*>(container.c_str());
    info.pwszProvName = const_cast<wchar_t*>(provider.c_str());
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = keySpec;
    return CertSetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, 0, &info) != FALSE;
}

std::wstring Wide(const char* ansi) { return qel::AnsiToWide(ansi); }

}  // namespace certbuild
