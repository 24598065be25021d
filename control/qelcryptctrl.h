// CQelCryptCtrl: the QelCrypt control object. Each instance keeps the results
// of the last SignMessage and the hash choice for signing; its 32 methods are
// reached through the dispatch table in qelcryptctrl.cpp.
//
// Text arguments arrive as 8-bit text in the ANSI code page (936 on target
// systems); text results are built as 8-bit text and handed back as BSTRs.
// No method raises an error to the page: each returns a code or a string.
#ifndef QEL_CONTROL_QELCRYPTCTRL_H
#define QEL_CONTROL_QELCRYPTCTRL_H

#include "olecontrol.h"

#include <string>

// Identity of the control, its interfaces and its type library.
extern const CLSID kClsidQelCrypt;       // {93E15B7A-2C48-4F0D-8D67-41A9C3F0E85E}
extern const IID kDiidQelCrypt;          // {0E7B93D4-58A2-4C61-9F30-B6D21A8E47C5}
extern const IID kDiidQelCryptEvents;    // {C2948F61-7D05-4E3A-B18C-5A06E9D3F27B}
extern const GUID kLibidQelCrypt;        // {6A1D4E02-93C7-4B58-A0E6-2F8B71C45D93}
const WORD kTypeLibMajor = 1;
const WORD kTypeLibMinor = 0;
extern const char kProgIdQelCrypt[];     // "QELCRYPT.QelCryptCtrl.1"
const UINT kIdsUserTypeName = 1;         // string table: "QelCrypt Control"
const UINT kIdbToolbox = 1;              // toolbox bitmap
const DWORD kMiscStatusQelCrypt = 0x20591;
const DWORD kPersistVersion = 0x00010000;

class CQelCryptCtrl : public fw::COleControl {
public:
    CQelCryptCtrl();
    ~CQelCryptCtrl() override;

    // Class-factory creator: a new control, `riid` of it in *ppv.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    // Session state and result accessors.
    long GetVersion();
    std::string GetSignData();
    long GetSignDataLen();
    std::string GetUserSignCert();
    long GetUserSignCertLen();
    std::string GetCihperData();
    std::string GetPlainBuf();
    std::string GetUserEncCert();
    // One handler answers GetCihperDataLen, GetPlainBufLen and GetUserEncCertLen.
    long GetCihperDataLen();
    short InitCSP(const char* cspName);
    std::string GetCspName();
    void SetSignType(long type);

    // Signing (sign.cpp).
    long SignMessage(const char* plainData, long plainDataLen);
    long SignMessageSW(const char* sessionId, const char* plainData, long plainDataLen);
    std::string Sign(const char* str, const char* cn, const char* ou);
    std::string SignFile(const char* file, const char* cn, const char* ou);
    std::string SignData(const char* data, long dataLen, const char* cn, const char* ou);

    // Verification (verify.cpp).
    long Verify(const char* sign, const char* plain, const char* cert);
    long VerifyFile(const char* signData, const char* fileName, const char* cert);

    // Certificate public-key encryption and private-key decryption (pubkey.cpp).
    std::string CryptPubKey(const char* str, const char* cn, const char* ou);
    long CryptFilePubKey(const char* file, const char* cn, const char* ou);
    std::string DecryptPriKey(const char* str, const char* cn, const char* ou);
    long DecryptFilePriKey(const char* file, const char* cn, const char* ou);

    // Symmetric encryption and key generation (symmetric.cpp).
    std::string GenertKey();
    std::string Encrypt(const char* str, const char* key);
    long EncryptFile(const char* file, const char* key);
    std::string Decrypt(const char* str, const char* key);
    long DecryptFile(const char* file, const char* key);

    // Certificate lookup (getcert.cpp) and the page's log records (addlog.cpp).
    std::string GetCert(const char* cn, const char* ou);
    long AddLog(const char* subject, const char* content);

    // The dispatch table of _DQelCrypt (DISPIDs 1 to 32).
    static const fw::DispTable& DispatchTable();

protected:
    using fw::COleControl::GetMiscStatus;
    void DoPropExchange(fw::CPropExchange* px) override;
    void OnResetState() override;
    void OnDraw(HDC dc, const RECT& bounds, const RECT& invalid) override;
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    DWORD GetControlFlags() override;
    UINT GetUserTypeNameID() override;
    DWORD GetMiscStatus() override;
    const fw::DispTable& GetDispatchTable() const override;

private:
    std::string m_strUserSignCert;  // PEM text of the certificate last confirmed by SignMessage
    std::string m_strSignData;      // Base64 signature of the last successful SignMessage
    std::string m_strCspName;       // CSP of the certificate last confirmed by SignMessage
    long m_nSignType = 0;           // 0: MD5, any other value: SHA-1
};

#endif
