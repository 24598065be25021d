// Verification and certificate encryption under Wine against OpenSSL:
// openssl_rsa.sh made a key, its certificate, signatures and cipher blocks.
// For the run the key goes into a container of a fixture USB-key CSP and the
// certificate into "MY", so the control finds the "OpenSSL Peer" by CN.
#include "comutil.h"
#include "logtest.h"
#include "ocx.h"
#include "ocxtest.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "certbuild.h"
#include "diskfile.h"
#include "logfile.h"
#include "pathname.h"
#include "pubkey.h"
#include "textconv.h"
#include "toolmutex.h"
#include "verifier.h"

using cert::CCertInfo;
using cert::VerifySignature;
using diaglog::CLogFile;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::MutexExists;
using diaglog::kToolMutexName;

namespace {

const DISPID kSign = 17, kVerify = 18, kCryptPubKey = 21, kCryptFilePubKey = 22, kDecryptPriKey = 23,
             kDecryptFilePriKey = 24, kGetCert = 26, kSetSignType = 31, kVerifyFile = 32;
const char kPeerCn[] = "OpenSSL Peer", kPeerOu[] = "OpenSSL", kZhang[] = "Zhang San", kDeptA[] = "Dept A";
// Named by process and start time: a container left by a killed run is never met again.
const std::string kContainer =
    "qeltest-openssl-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());

std::string Load(const std::string& path)
{
    const logtest::Bytes b = logtest::ReadBytes(path);
    return std::string(b.begin(), b.end());
}

std::string OpenSsl(const std::string& name)
{
    const std::string b = Load(QEL_OPENSSL_DIR "\\" + name);
    EXPECT_FALSE(b.empty()) << "no " << name << " in " << QEL_OPENSSL_DIR;
    return b;
}

// `size` bytes of CP936 text: "A" when odd, then 测.
std::string Chinese(size_t size)
{
    std::string s(size % 2, 'A');
    while (s.size() < size)
        s += "\xB2\xE2";
    return s;
}

class CertCrypt : public ocx::CControlTest {
protected:
    // The OpenSSL key in a container of a fixture USB-key CSP and its
    // certificate in "MY" for the suite's run.
    static void SetUpTestSuite()
    {
        HCRYPTPROV prov = 0;
        HCRYPTKEY key = 0;
        const std::string blob = OpenSsl("key.blob");
        ASSERT_TRUE(CryptAcquireContextA(&prov, kContainer.c_str(), kCsp, PROV_RSA_FULL, CRYPT_NEWKEYSET));
        EXPECT_TRUE(CryptImportKey(prov, reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size()),
                                   0, 0, &key));
        CryptDestroyKey(key);
        CryptReleaseContext(prov, 0);
        PeerInStore(true);
    }
    static void TearDownTestSuite()
    {
        PeerInStore(false);
        HCRYPTPROV prov = 0;
        CryptAcquireContextA(&prov, kContainer.c_str(), kCsp, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
    }
    static void PeerInStore(bool add)
    {
        const std::string der = OpenSsl("cert.der");
        PCCERT_CONTEXT cert = CertCreateCertificateContext(
            X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size()));
        HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
        if (add)
            EXPECT_TRUE(cert &&
                        certbuild::SetKeyProv(cert, certbuild::Wide(kContainer.c_str()), certbuild::Wide(kCsp),
                                              AT_KEYEXCHANGE) &&
                        CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
        else if (PCCERT_CONTEXT f = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert,
                                                               nullptr))
            CertDeleteCertificateFromStore(f);
        CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
        CertCloseStore(store, 0);
        CertFreeCertificateContext(cert);
    }

    // A method with 8-bit text arguments, through IDispatch: its text, or its number as text.
    std::string Call(DISPID id, std::initializer_list<std::string> args)
    {
        std::vector<VARIANT> v;
        for (auto a = args.end(); a != args.begin();)  // DISPPARAMS run last to first
            v.push_back(ocx::Text(qel::AnsiToWide(*--a).c_str()));
        DISPPARAMS params = {v.data(), nullptr, static_cast<UINT>(v.size()), 0};
        fw::CVariant r;
        EXPECT_EQ(S_OK, disp->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &r, nullptr, nullptr)) << id;
        for (VARIANT& a : v)
            VariantClear(&a);
        if (V_VT(&r) == VT_I4)
            return std::to_string(V_I4(&r));
        return V_VT(&r) == VT_BSTR ? qel::WideToAnsi(V_BSTR(&r), SysStringLen(V_BSTR(&r))) : "<no result>";
    }

    std::string Path(const std::string& name) const { return temp.Dir() + name; }
    void Write(const std::string& name, const std::string& s) const
    {
        logtest::WriteBytes(Path(name), logtest::Bytes(s.begin(), s.end()));
    }
    std::string Read(const std::string& name) const { return Load(Path(name)); }
    // "name:size:hash " for every file of the test's directory.
    std::string Listing() const
    {
        std::string list;
        WIN32_FIND_DATAA d;
        HANDLE find = FindFirstFileA(Path("*").c_str(), &d);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &d))
            if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                list += std::string(d.cFileName).substr(0, 24) + ":" + std::to_string(d.nFileSizeLow) + ":" +
                        std::to_string(std::hash<std::string>()(Read(d.cFileName)) % 100000) + " ";
        FindClose(find);
        return list;
    }

    static constexpr const char* kCsp = "M&W eKey XCSP";  // a fixture USB-key CSP
    logtest::PrivateTemp temp;  // the test's files and diagnostic log
};

TEST(VerifyEngine, CodesInTheirCheckOrder)
{
    const std::string plain = OpenSsl("plain.txt"), pem = OpenSsl("cert.pem"), zero("AB\0D", 4);
    const std::string md5 = OpenSsl("plain.md5.b64"), sha1 = OpenSsl("plain.sha1.b64"), bare = OpenSsl("cert.b64");
    const std::string longCert = OpenSsl("long-cert.b64"), longSig = OpenSsl("long-sig.b64");
    std::string changed = plain;
    changed[120] ^= 1;
    const struct {
        const char* what;
        const std::string& cert;
        long signType;
        const char* data;
        size_t length;
        const char* sig;
        long code;
    } cases[] = {
        {"PEM certificate", pem, 0, plain.c_str(), plain.size(), md5.c_str(), 0},
        {"bare Base64 certificate", bare, 0, plain.c_str(), plain.size(), md5.c_str(), 0},
        {"SHA-1 signature, sign type 1", pem, 1, plain.c_str(), plain.size(), sha1.c_str(), 0},
        {"SHA-1 signature, sign type 0", pem, 0, plain.c_str(), plain.size(), sha1.c_str(), 6},
        {"one byte changed", pem, 0, changed.c_str(), changed.size(), md5.c_str(), 6},
        {"empty signature", pem, 0, plain.c_str(), plain.size(), "", 6},
        {"513-byte signature", pem, 0, plain.c_str(), plain.size(), longSig.c_str(), 6},
        {"2,049-byte certificate", longCert, 0, plain.c_str(), plain.size(), md5.c_str(), 5},
        {"not a certificate", zero, 0, plain.c_str(), plain.size(), md5.c_str(), 5},
        {"null signature, bad certificate", zero, 0, plain.c_str(), plain.size(), nullptr, 4},
        {"zero byte before the stated end", pem, 0, zero.c_str(), 4, nullptr, 3},
        {"stated length short of the text", pem, 0, plain.c_str(), plain.size() - 1, md5.c_str(), 3},
        {"length 0", pem, 0, plain.c_str(), 0, nullptr, 2},
        {"null data", zero, 0, nullptr, 0, nullptr, 1},
    };
    for (const auto& c : cases) {
        CCertInfo info;
        info.m_strCertPem = c.cert;
        info.m_nSignType = c.signType;
        EXPECT_EQ(c.code, VerifySignature(info, c.data, c.length, c.sig)) << c.what;
    }
}

TEST(PubKeyHelpers, ExtensionStartsWherePathFindExtensionFindsIt)
{
    const struct {
        const char* path;
        size_t start;
    } cases[] = {{"C:\\d\\a.txt.gue", 10}, {"dir.d\\name", 10}, {"a.b c", 5}, {"x.", 1}, {"d\\.gue", 2}, {"", 0},
                 {"a.b\x81\x5C" "c", 1}};  // a trail byte 5C is no backslash
    for (const auto& c : cases)
        EXPECT_EQ(c.start, qel::ExtensionStart(c.path, qel::IsAnsiLeadByte)) << c.path;
}

TEST_F(CertCrypt, VerifyAndVerifyFileAgainstOpenSslSignatures)
{
    const std::string plain = OpenSsl("plain.txt"), pem = OpenSsl("cert.pem"), big = OpenSsl("big.txt");
    const std::string md5 = OpenSsl("plain.md5.b64"), bigMd5 = OpenSsl("big.md5.b64");
    EXPECT_EQ("0", Call(kVerify, {md5, plain, pem}));
    EXPECT_EQ("6", Call(kVerify, {md5, plain.substr(0, 249) + "Y", pem}));
    std::string bigZero = big, bigChanged = big;
    bigZero[150000] = '\0';  // in the third 64 KiB chunk
    bigChanged[199999] ^= 1;
    const struct {
        const char* name;
        std::string content;
        const std::string& sig;
        long code;
    } files[] = {{"plain", plain, md5, 0},   {"empty", "", md5, 2},           {"zero", plain + '\0', md5, 3},
                 {"big", big, bigMd5, 0},    {"bigzero", bigZero, bigMd5, 3}, {"bigchanged", bigChanged, bigMd5, 6}};
    for (const auto& f : files) {
        Write(f.name, f.content);
        EXPECT_EQ(std::to_string(f.code), Call(kVerifyFile, {f.sig, Path(f.name), pem})) << f.name;
    }
    EXPECT_EQ("20", Call(kVerifyFile, {md5, Path("missing"), pem}));
    for (const char* device : {"COM1", "AUX", "NUL"})  // no file: a serial port would keep the read waiting
        EXPECT_EQ("20", Call(kVerifyFile, {md5, Path(device), pem})) << device;
    // Opened denying writers: a file open for writing cannot be verified.
    HANDLE writer = CreateFileA(Path("plain").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ("20", Call(kVerifyFile, {md5, Path("plain"), pem}));
    CloseHandle(writer);
}

TEST_F(CertCrypt, SignaturesOfSignVerifyAsMd5Only)
{
    const std::string pem = Call(kGetCert, {kZhang, kDeptA}), text = Chinese(51);
    EXPECT_EQ("0", Call(kVerify, {Call(kSign, {text, kZhang, kDeptA}), text, pem}));
    fw::CVariant none;
    ASSERT_EQ(S_OK, ocx::Call(disp.Get(), kSetSignType, &none, {ocx::Long(1)}));
    EXPECT_EQ("6", Call(kVerify, {Call(kSign, {text, kZhang, kDeptA}), text, pem}));
}

TEST_F(CertCrypt, TextsGoInPiecesOf100BytesAndComeBack)
{
    for (size_t size : {0, 1, 100, 101, 250}) {
        const std::string cipher = Call(kCryptPubKey, {Chinese(size), kZhang, kDeptA});
        EXPECT_EQ((size + 99) / 100 * 172, cipher.size()) << size << " bytes";
        EXPECT_EQ(Chinese(size), Call(kDecryptPriKey, {cipher, kZhang, kDeptA})) << size << " bytes";
    }
    // OpenSSL's blocks; an empty OU matches any OU.
    EXPECT_EQ(OpenSsl("plain.txt"), Call(kDecryptPriKey, {OpenSsl("peer.b64"), kPeerCn, ""}));
    EXPECT_EQ("abc", Call(kDecryptPriKey, {Call(kCryptPubKey, {"abc", "Wang Wu", ""}), "Wang Wu", ""}));
    // A short last piece is dropped; a failure gives what was made before it.
    const std::string ascii(150, 'q'), cipher = Call(kCryptPubKey, {ascii, kPeerCn, kPeerOu});
    EXPECT_EQ(ascii.substr(0, 100), Call(kDecryptPriKey, {cipher.substr(0, 173), kPeerCn, kPeerOu}));
    for (const char* cn : {"Nobody", "Unplugged", "Big Key"})
        EXPECT_EQ("", Call(kCryptPubKey, {"abc", cn, ""})) << cn;
}

TEST_F(CertCrypt, OutcomesAreLoggedWhileTheToolRuns)
{
    struct Tool {
        HANDLE h = CreateToolMutex(kToolMutexName);
        ~Tool() { CloseToolMutex(h); }
    } tool;
    ASSERT_EQ(1, MutexExists(kToolMutexName));
    for (const char* cn : {kZhang, "Nobody", "Unplugged", "Big Key"})
        Call(kCryptPubKey, {"abc", cn, ""});
    Call(kDecryptPriKey, {std::string(173, 'A'), kZhang, ""});

    // 使用指定证书加密字符串 / 使用指定证书私钥解密字符串
    const std::string crypt = "\xCA\xB9\xD3\xC3\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9\xBC\xD3\xC3\xDC\xD7\xD6\xB7\xFB"
                              "\xB4\xAE";
    const std::string decrypt = "\xCA\xB9\xD3\xC3\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9\xCB\xBD\xD4\xBF\xBD\xE2\xC3\xDC"
                                "\xD7\xD6\xB7\xFB\xB4\xAE";
    const std::string ok = "\xB3\xC9\xB9\xA6", failed = "\xCA\xA7\xB0\xDC";  // 成功 失败
    const std::string expected[][2] = {
        {crypt + ok, "\xBC\xD3\xC3\xDC\xCA\xFD\xBE\xDD" + ok},                        // 加密数据成功
        {crypt + failed, "\xD5\xD2\xB2\xBB\xB5\xBD\xD6\xB8\xB6\xA8\xD6\xA4\xCA\xE9"},  // 找不到指定证书
        {crypt + failed, "\xC8\xA1\xB5\xC3\xC9\xCF\xCF\xC2\xCE\xC4" + failed},        // 取得上下文失败
        {crypt + failed, "\xBC\xD3\xC3\xDC\xCA\xFD\xBE\xDD" + failed},                // 加密数据失败
        {decrypt + failed, "\xBD\xE2\xC3\xDC\xCA\xFD\xBE\xDD" + failed},              // 解密数据失败
    };
    CLogFile log;
    ASSERT_TRUE(log.Load(log.GetPath().c_str()));
    ASSERT_EQ(5u, log.GetContents().size());
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(expected[i][0], std::string(log.GetHeaders()[i].subject)) << "record " << i;
        EXPECT_EQ(expected[i][1], log.GetContents()[i]) << "record " << i;
    }
}

TEST_F(CertCrypt, FilesRoundTripThroughGue)
{
    for (size_t size : {0, 200, 250, 99}) {
        const std::string name = size == 99 ? "again.gue" : "f" + std::to_string(size) + ".txt";
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>(i * 7);
        Write(name, content);
        EXPECT_EQ("0", Call(kCryptFilePubKey, {Path(name), kZhang, kDeptA})) << name;
        EXPECT_EQ((size / 100 + 1) * 128, Read(name + ".gue").size()) << name;
        DeleteFileA(Path(name).c_str());
        EXPECT_EQ("0", Call(kDecryptFilePriKey, {Path(name) + ".gue", kZhang, kDeptA})) << name;
        EXPECT_EQ(content, Read(name)) << name;
    }
    Write("peer.txt.gue", OpenSsl("peer.gue"));
    EXPECT_EQ("0", Call(kDecryptFilePriKey, {Path("peer.txt.gue"), kPeerCn, kPeerOu}));
    EXPECT_EQ(OpenSsl("plain.txt"), Read("peer.txt"));
}

TEST_F(CertCrypt, FailedFileCallsLeaveTheDirectoryAsItWas)
{
    const std::string longName(MAX_PATH - 4 - temp.Dir().size(), 'n');  // its ".gue" name is too long
    for (const char* name : {"doc.txt", "doc.txt.gue", longName.c_str()})
        Write(name, name);
    const std::string block = OpenSsl("peer.gue").substr(0, 128);
    Write("noext", block);  // would decrypt, but into itself
    Write("dot.gue", block);  // "dot.gue." less its extension is itself
    Write("damaged.txt.gue", block + std::string(128, '\0'));
    const std::string before = Listing();
    const struct {
        DISPID method;
        std::string file;
        const char* cn;
    } cases[] = {
        {kCryptFilePubKey, "doc.txt", "Nobody"},       {kCryptFilePubKey, "doc.txt", "Unplugged"},
        {kCryptFilePubKey, "missing.txt", kZhang},     {kCryptFilePubKey, longName, kZhang},
        {kDecryptFilePriKey, "doc.txt.gue", "Nobody"}, {kDecryptFilePriKey, "doc.txt.gue", "Unplugged"},
        {kDecryptFilePriKey, "noext", kPeerCn},        {kDecryptFilePriKey, "damaged.txt.gue", kPeerCn},
        {kDecryptFilePriKey, "dot.gue.", kPeerCn},
        // Devices: a serial port would keep the read waiting.
        {kCryptFilePubKey, "COM1", kZhang},            {kCryptFilePubKey, "AUX.txt", kZhang},
        {kDecryptFilePriKey, "COM1.gue", kPeerCn},     {kCryptFilePubKey, "NUL", kZhang},
    };
    for (const auto& c : cases) {
        EXPECT_EQ("1", Call(c.method, {Path(c.file), c.cn, ""})) << c.file.substr(0, 24) << " for " << c.cn;
        EXPECT_EQ(before, Listing()) << c.file.substr(0, 24) << " for " << c.cn;
    }
}

}  // namespace
