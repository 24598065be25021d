#include "dispatch_fuzz_expected.h"

#include <shlwapi.h>

#include <climits>

namespace fuzz {

using fixtures::CFixture;

namespace {

std::string ResultText(const VARIANT& r)
{
    return V_VT(&r) == VT_BSTR ? Ansi(std::wstring(V_BSTR(&r), SysStringLen(V_BSTR(&r)))) : std::string();
}

bool Base64Alphabet(const std::string& s)
{
    return s.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") ==
           std::string::npos;
}

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

}  // namespace

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

CWant Expected(const methods::Method& m, const std::vector<const CValue*>& a, const CContext& ctx, AsPath as)
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

}  // namespace fuzz
