#include "qelcryptctrl.h"

#include "resultcodes.h"

const char kProgIdQelCrypt[] = "QELCRYPT.QelCryptCtrl.1";

CQelCryptCtrl::CQelCryptCtrl()
{
    InitializeIIDs(&kDiidQelCrypt, &kDiidQelCryptEvents);
    SetTypeLib(kLibidQelCrypt, kTypeLibMajor, kTypeLibMinor);
}

CQelCryptCtrl::~CQelCryptCtrl() = default;

HRESULT CQelCryptCtrl::CreateInstance(REFIID riid, void** ppv)
{
    return fw::CreateControlInstance<CQelCryptCtrl>(riid, ppv);
}

// ---- Hooks of the control base ------------------------------------------

void CQelCryptCtrl::DoPropExchange(fw::CPropExchange* px)
{
    DWORD version = kPersistVersion;
    px->ExchangeVersion(version, kPersistVersion, true);
    COleControl::DoPropExchange(px);
}

void CQelCryptCtrl::OnResetState()
{
    COleControl::OnResetState();
}

void CQelCryptCtrl::OnDraw(HDC dc, const RECT& bounds, const RECT&)
{
    FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

STDMETHODIMP CQelCryptCtrl::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = kClsidQelCrypt;
    return S_OK;
}

DWORD CQelCryptCtrl::GetControlFlags()
{
    return COleControl::GetControlFlags() | fw::windowlessActivate;
}

UINT CQelCryptCtrl::GetUserTypeNameID() { return kIdsUserTypeName; }

DWORD CQelCryptCtrl::GetMiscStatus() { return kMiscStatusQelCrypt; }

const fw::DispTable& CQelCryptCtrl::GetDispatchTable() const { return DispatchTable(); }

// ---- Session state and result accessors ------------------------------------

long CQelCryptCtrl::GetVersion() { return qel::kControlVersion; }

std::string CQelCryptCtrl::GetSignData() { return m_strSignData; }
long CQelCryptCtrl::GetSignDataLen() { return static_cast<long>(m_strSignData.size()); }
std::string CQelCryptCtrl::GetUserSignCert() { return m_strUserSignCert; }
long CQelCryptCtrl::GetUserSignCertLen() { return static_cast<long>(m_strUserSignCert.size()); }

// The control keeps no cipher data, plain buffer or encryption certificate.
std::string CQelCryptCtrl::GetCihperData() { return std::string(); }
std::string CQelCryptCtrl::GetPlainBuf() { return std::string(); }
std::string CQelCryptCtrl::GetUserEncCert() { return std::string(); }
long CQelCryptCtrl::GetCihperDataLen() { return 0; }

// The CSP is always the one that holds the chosen certificate's key; the
// page's choice is accepted and ignored.
short CQelCryptCtrl::InitCSP(const char*) { return 0; }

std::string CQelCryptCtrl::GetCspName() { return m_strCspName; }

void CQelCryptCtrl::SetSignType(long type) { m_nSignType = type; }

// ---- Dispatch table -----------------------------------------------------------

namespace {

using C = CQelCryptCtrl;

// A row of the table: types, count and call come from the method's signature.
template <auto M, size_t N>
fw::DispMethod Row(const wchar_t* name, DISPID id, const wchar_t* const (&argNames)[N])
{
    return fw::DispRow<fw::COleControl, M>(name, id, argNames);
}
template <auto M>
fw::DispMethod Row(const wchar_t* name, DISPID id)
{
    return fw::DispRow<fw::COleControl, M>(name, id);
}

// GetPlainBufLen (11) and GetUserEncCertLen (13) share GetCihperDataLen's body.
const fw::DispMethod kMethods[] = {
    Row<&C::GetVersion>(L"GetVersion", 1),
    Row<&C::SignMessage>(L"SignMessage", 2, {L"PlainData", L"PlainDataLen"}),
    Row<&C::SignMessageSW>(L"SignMessageSW", 3, {L"SessionId", L"PlainData", L"PlainDataLen"}),
    Row<&C::GetSignData>(L"GetSignData", 4),
    Row<&C::GetSignDataLen>(L"GetSignDataLen", 5),
    Row<&C::GetUserSignCert>(L"GetUserSignCert", 6),
    Row<&C::GetUserSignCertLen>(L"GetUserSignCertLen", 7),
    Row<&C::GetCihperData>(L"GetCihperData", 8),
    Row<&C::GetCihperDataLen>(L"GetCihperDataLen", 9),
    Row<&C::GetPlainBuf>(L"GetPlainBuf", 10),
    Row<&C::GetCihperDataLen>(L"GetPlainBufLen", 11),
    Row<&C::GetUserEncCert>(L"GetUserEncCert", 12),
    Row<&C::GetCihperDataLen>(L"GetUserEncCertLen", 13),
    Row<&C::InitCSP>(L"InitCSP", 14, {L"CspName"}),
    Row<&C::GetCspName>(L"GetCspName", 15),
    Row<&C::AddLog>(L"AddLog", 16, {L"szSubject", L"szContent"}),
    Row<&C::Sign>(L"Sign", 17, {L"str", L"cn", L"ou"}),
    Row<&C::Verify>(L"Verify", 18, {L"Sign", L"plain", L"cert"}),
    Row<&C::SignFile>(L"SignFile", 19, {L"file", L"cn", L"ou"}),
    Row<&C::SignData>(L"SignData", 20, {L"data", L"lDataLen", L"strCn", L"strOu"}),
    Row<&C::CryptPubKey>(L"CryptPubKey", 21, {L"str", L"cn", L"ou"}),
    Row<&C::CryptFilePubKey>(L"CryptFilePubKey", 22, {L"file", L"cn", L"ou"}),
    Row<&C::DecryptPriKey>(L"DecryptPriKey", 23, {L"str", L"cn", L"ou"}),
    Row<&C::DecryptFilePriKey>(L"DecryptFilePriKey", 24, {L"file", L"cn", L"ou"}),
    Row<&C::GenertKey>(L"GenertKey", 25),
    Row<&C::GetCert>(L"GetCert", 26, {L"cn", L"ou"}),
    Row<&C::Encrypt>(L"Encrypt", 27, {L"str", L"key"}),
    Row<&C::EncryptFile>(L"EncryptFile", 28, {L"file", L"key"}),
    Row<&C::Decrypt>(L"Decrypt", 29, {L"str", L"key"}),
    Row<&C::DecryptFile>(L"DecryptFile", 30, {L"file", L"key"}),
    Row<&C::SetSignType>(L"SetSignType", 31, {L"type"}),
    Row<&C::VerifyFile>(L"VerifyFile", 32, {L"SignData", L"filename", L"cert"}),
};

const fw::DispTable kTable = {kMethods, sizeof(kMethods) / sizeof(kMethods[0]), "QelCrypt"};

}  // namespace

const fw::DispTable& CQelCryptCtrl::DispatchTable() { return kTable; }
