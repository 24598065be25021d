#include "qelcryptctrl.h"

const CLSID kClsidQelCrypt = {0x93E15B7A, 0x2C48, 0x4F0D, {0x8D, 0x67, 0x41, 0xA9, 0xC3, 0xF0, 0xE8, 0x5E}};
const IID kDiidQelCrypt = {0x0E7B93D4, 0x58A2, 0x4C61, {0x9F, 0x30, 0xB6, 0xD2, 0x1A, 0x8E, 0x47, 0xC5}};
const IID kDiidQelCryptEvents = {0xC2948F61, 0x7D05, 0x4E3A, {0xB1, 0x8C, 0x5A, 0x06, 0xE9, 0xD3, 0xF2, 0x7B}};
const GUID kLibidQelCrypt = {0x6A1D4E02, 0x93C7, 0x4B58, {0xA0, 0xE6, 0x2F, 0x8B, 0x71, 0xC4, 0x5D, 0x93}};
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

long CQelCryptCtrl::GetVersion() { return 1010; }

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

using fw::DispArgs;
using fw::DispResult;
using fw::DispType;

CQelCryptCtrl& Self(void* p) { return *static_cast<CQelCryptCtrl*>(static_cast<fw::COleControl*>(p)); }

const DispType Txt = DispType::Text;
const DispType Lng = DispType::Long;

void DoGetCihperDataLen(void* p, const DispArgs&, DispResult& r) { r.SetLong(Self(p).GetCihperDataLen()); }

const fw::DispMethod kMethods[] = {
    {L"GetVersion", 1, Lng, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetLong(Self(p).GetVersion()); }},
    {L"SignMessage", 2, Lng, 2, {Txt, Lng}, {L"PlainData", L"PlainDataLen"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetLong(Self(p).SignMessage(a.Text(0), a.Long(1))); }},
    {L"SignMessageSW", 3, Lng, 3, {Txt, Txt, Lng}, {L"SessionId", L"PlainData", L"PlainDataLen"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetLong(Self(p).SignMessageSW(a.Text(0), a.Text(1), a.Long(2)));
     }},
    {L"GetSignData", 4, Txt, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetText(Self(p).GetSignData()); }},
    {L"GetSignDataLen", 5, Lng, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetLong(Self(p).GetSignDataLen()); }},
    {L"GetUserSignCert", 6, Txt, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetText(Self(p).GetUserSignCert()); }},
    {L"GetUserSignCertLen", 7, Lng, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetLong(Self(p).GetUserSignCertLen()); }},
    {L"GetCihperData", 8, Txt, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetText(Self(p).GetCihperData()); }},
    {L"GetCihperDataLen", 9, Lng, 0, {}, {}, DoGetCihperDataLen},
    {L"GetPlainBuf", 10, Txt, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetText(Self(p).GetPlainBuf()); }},
    {L"GetPlainBufLen", 11, Lng, 0, {}, {}, DoGetCihperDataLen},
    {L"GetUserEncCert", 12, Txt, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetText(Self(p).GetUserEncCert()); }},
    {L"GetUserEncCertLen", 13, Lng, 0, {}, {}, DoGetCihperDataLen},
    {L"InitCSP", 14, DispType::Short, 1, {Txt}, {L"CspName"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetShort(Self(p).InitCSP(a.Text(0))); }},
    {L"GetCspName", 15, Txt, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetText(Self(p).GetCspName()); }},
    {L"AddLog", 16, Lng, 2, {Txt, Txt}, {L"szSubject", L"szContent"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetLong(Self(p).AddLog(a.Text(0), a.Text(1))); }},
    {L"Sign", 17, Txt, 3, {Txt, Txt, Txt}, {L"str", L"cn", L"ou"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetText(Self(p).Sign(a.Text(0), a.Text(1), a.Text(2))); }},
    {L"Verify", 18, Lng, 3, {Txt, Txt, Txt}, {L"Sign", L"plain", L"cert"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetLong(Self(p).Verify(a.Text(0), a.Text(1), a.Text(2))); }},
    {L"SignFile", 19, Txt, 3, {Txt, Txt, Txt}, {L"file", L"cn", L"ou"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetText(Self(p).SignFile(a.Text(0), a.Text(1), a.Text(2)));
     }},
    {L"SignData", 20, Txt, 4, {Txt, Lng, Txt, Txt}, {L"data", L"lDataLen", L"strCn", L"strOu"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetText(Self(p).SignData(a.Text(0), a.Long(1), a.Text(2), a.Text(3)));
     }},
    {L"CryptPubKey", 21, Txt, 3, {Txt, Txt, Txt}, {L"str", L"cn", L"ou"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetText(Self(p).CryptPubKey(a.Text(0), a.Text(1), a.Text(2)));
     }},
    {L"CryptFilePubKey", 22, Lng, 3, {Txt, Txt, Txt}, {L"file", L"cn", L"ou"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetLong(Self(p).CryptFilePubKey(a.Text(0), a.Text(1), a.Text(2)));
     }},
    {L"DecryptPriKey", 23, Txt, 3, {Txt, Txt, Txt}, {L"str", L"cn", L"ou"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetText(Self(p).DecryptPriKey(a.Text(0), a.Text(1), a.Text(2)));
     }},
    {L"DecryptFilePriKey", 24, Lng, 3, {Txt, Txt, Txt}, {L"file", L"cn", L"ou"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetLong(Self(p).DecryptFilePriKey(a.Text(0), a.Text(1), a.Text(2)));
     }},
    {L"GenertKey", 25, Txt, 0, {}, {},
     [](void* p, const DispArgs&, DispResult& r) { r.SetText(Self(p).GenertKey()); }},
    {L"GetCert", 26, Txt, 2, {Txt, Txt}, {L"cn", L"ou"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetText(Self(p).GetCert(a.Text(0), a.Text(1))); }},
    {L"Encrypt", 27, Txt, 2, {Txt, Txt}, {L"str", L"key"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetText(Self(p).Encrypt(a.Text(0), a.Text(1))); }},
    {L"EncryptFile", 28, Lng, 2, {Txt, Txt}, {L"file", L"key"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetLong(Self(p).EncryptFile(a.Text(0), a.Text(1))); }},
    {L"Decrypt", 29, Txt, 2, {Txt, Txt}, {L"str", L"key"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetText(Self(p).Decrypt(a.Text(0), a.Text(1))); }},
    {L"DecryptFile", 30, Lng, 2, {Txt, Txt}, {L"file", L"key"},
     [](void* p, const DispArgs& a, DispResult& r) { r.SetLong(Self(p).DecryptFile(a.Text(0), a.Text(1))); }},
    {L"SetSignType", 31, DispType::Void, 1, {Lng}, {L"type"},
     [](void* p, const DispArgs& a, DispResult&) { Self(p).SetSignType(a.Long(0)); }},
    {L"VerifyFile", 32, Lng, 3, {Txt, Txt, Txt}, {L"SignData", L"filename", L"cert"},
     [](void* p, const DispArgs& a, DispResult& r) {
         r.SetLong(Self(p).VerifyFile(a.Text(0), a.Text(1), a.Text(2)));
     }},
};

const fw::DispTable kTable = {kMethods, sizeof(kMethods) / sizeof(kMethods[0])};

}  // namespace

const fw::DispTable& CQelCryptCtrl::DispatchTable() { return kTable; }
