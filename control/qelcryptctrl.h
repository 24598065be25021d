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
#include "qelcrypt_h.h"
#include "resource.h"

#include <string>

// Identity of the control, its interfaces and its type library, as the IDL
// (resources/qelcrypt.idl) gives them.
inline const CLSID& kClsidQelCrypt = CLSID_QelCrypt;
inline const IID& kDiidQelCrypt = DIID__DQelCrypt;
inline const IID& kDiidQelCryptEvents = DIID__DQelCryptEvents;
inline const GUID& kLibidQelCrypt = LIBID_QELCRYPTLib;
const WORD kTypeLibMajor = 1;
const WORD kTypeLibMinor = 0;
extern const char kProgIdQelCrypt[];     // "QELCRYPT.QelCryptCtrl.1"
const UINT kIdsUserTypeName = IDS_QELCRYPT;  // string table: "QelCrypt Control"
const UINT kIdbToolbox = IDB_QELCRYPT;       // toolbox bitmap
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
    // The body of Sign, SignData and SignFile's in-memory case: signs
    // data[0..length) with the certificate named by CN and OU and logs it.
    std::string SignDataInternal(const char* data, size_t length, const char* cn, const char* ou);

    std::string m_strUserSignCert;  // PEM text of the certificate last confirmed by SignMessage
    std::string m_strSignData;      // Base64 signature of the last successful SignMessage
    std::string m_strCspName;       // CSP of the certificate last confirmed by SignMessage
    long m_nSignType = 0;           // 0: MD5, any other value: SHA-1
};

#endif
