#include "methods.h"

#include <cstring>

namespace methods {

const std::vector<Method>& All()
{
    using R = Role;
    static const std::vector<Method> table = {
        {1, "GetVersion", VT_I4, {}},
        {2, "SignMessage", VT_I4, {{"PlainData", R::Data}, {"PlainDataLen", R::Length}}},
        {3, "SignMessageSW", VT_I4, {{"SessionId", R::Any}, {"PlainData", R::Data}, {"PlainDataLen", R::Length}}},
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
        {14, "InitCSP", VT_I2, {{"CspName", R::Any}}},
        {15, "GetCspName", VT_BSTR, {}},
        {16, "AddLog", VT_I4, {{"szSubject", R::Any}, {"szContent", R::Any}}},
        {17, "Sign", VT_BSTR, {{"str", R::Data}, {"cn", R::Cn}, {"ou", R::Ou}}},
        {18, "Verify", VT_I4, {{"Sign", R::Sig}, {"plain", R::Data}, {"cert", R::Cert}}},
        {19, "SignFile", VT_BSTR, {{"file", R::File}, {"cn", R::Cn}, {"ou", R::Ou}}},
        {20, "SignData", VT_BSTR, {{"data", R::Data}, {"lDataLen", R::Length}, {"strCn", R::Cn}, {"strOu", R::Ou}}},
        {21, "CryptPubKey", VT_BSTR, {{"str", R::Data}, {"cn", R::Cn}, {"ou", R::Ou}}},
        {22, "CryptFilePubKey", VT_I4, {{"file", R::File}, {"cn", R::Cn}, {"ou", R::Ou}}},
        {23, "DecryptPriKey", VT_BSTR, {{"str", R::Cipher}, {"cn", R::Cn}, {"ou", R::Ou}}},
        {24, "DecryptFilePriKey", VT_I4, {{"file", R::File}, {"cn", R::Cn}, {"ou", R::Ou}}},
        {25, "GenertKey", VT_BSTR, {}},
        {26, "GetCert", VT_BSTR, {{"cn", R::Cn}, {"ou", R::Ou}}},
        {27, "Encrypt", VT_BSTR, {{"str", R::Data}, {"key", R::Key}}},
        {28, "EncryptFile", VT_I4, {{"file", R::File}, {"key", R::Key}}},
        {29, "Decrypt", VT_BSTR, {{"str", R::Data}, {"key", R::Key}}},
        {30, "DecryptFile", VT_I4, {{"file", R::File}, {"key", R::Key}}},
        {31, "SetSignType", VT_EMPTY, {{"type", R::Type}}},
        {32, "VerifyFile", VT_I4, {{"SignData", R::Sig}, {"filename", R::File}, {"cert", R::Cert}}},
    };
    return table;
}

const Method* Find(DISPID id)
{
    for (const Method& m : All())
        if (m.id == id)
            return &m;
    return nullptr;
}

const Method* Find(const std::string& name)
{
    for (const Method& m : All())
        if (name == m.name)
            return &m;
    return nullptr;
}

VARTYPE TypeOf(Role role)
{
    return role == Role::Length || role == Role::Type ? VT_I4 : VT_BSTR;
}

std::wstring Wide(const char* name)
{
    return std::wstring(name, name + std::strlen(name));
}

}  // namespace methods
