// The result codes of the control's methods and of the engines behind them,
// shared by the method bodies, the log texts and the diagnostic tool. Each
// family keeps the numbers pages and stored logs already know.
#ifndef QEL_COMMON_RESULTCODES_H
#define QEL_COMMON_RESULTCODES_H

namespace qel {

// Version 1.0.1.0 as GetVersion reports it.
const long kControlVersion = 1010;

// Results of the dispatch methods.
enum MethodResult : long {
    kResultOk = 0,
    kFileFailed = 1,             // the file methods' one failure status
    kVerifyFileUnopenable = 20,  // VerifyFile: the file could not be opened
    kSignCancelled = 1001,       // SignMessage: no certificate chosen (also SignMessageSW)
    kSignEmptyData = 1003,       // signing with a data length of 0
    kSignFailed = 1010,          // signing failed without a more precise cause
    kSignOpenCspFailed = 1011,   // SignMessage: engine code kHashSignOpenCsp
    kSignCreateHashFailed = 1012,
    kSignHashDataFailed = 1013,
    kSignHashFailed = 1014,
    kCertNotFound = 1015,        // certificate encryption: no certificate for CN and OU
    kCertNoContext = 1016,       // its key container cannot be opened
    kCertNoContextParam = 1017,  // the container does not answer its provider name
    kCertNoKey = 1018,           // the container has no key-exchange key
    kEncryptFailed = 1019,       // a piece failed to encrypt
    kDecryptFailed = 1020,       // a piece failed to decrypt
};

// SignMessage's code for an engine code other than 0: 1010 + code.
inline long SignMessageCodeOf(long hashSignCode) { return kSignFailed + hashSignCode; }

// Results of the hash-and-sign engine.
enum HashSignResult : long {
    kHashSignOk = 0,
    kHashSignOpenCsp = 1,     // the CSP context could not be acquired
    kHashSignCreateHash = 2,  // the hash object could not be created
    kHashSignHashData = 3,    // hashing the data failed
    kHashSignSign = 4,        // the CSP refused to sign (or the signature is too long)
};

// Results of the verification engine.
enum VerifyResult : long {
    kVerifyOk = 0,
    kVerifyNullData = 1,
    kVerifyZeroLength = 2,
    kVerifyLengthMismatch = 3,  // a zero byte before the stated end
    kVerifyNullSignature = 4,
    kVerifyBadCertificate = 5,
    kVerifyMismatch = 6,
    kVerifyNoPublicKey = 7,
    kVerifyNoHash = 8,
    kVerifyNoContext = 9,
};

}  // namespace qel

#endif
