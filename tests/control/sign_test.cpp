// Sign, SignData and SignFile on the fixture store, through the control's
// dispatch interface. With QEL_SIGN_OUT set, each signature made here is also
// written out there (data, signature bytes, signer's PEM, digest) for
// sign_openssl.sh, which checks it with OpenSSL after this program ends.
#include "base64.h"
#include "comutil.h"
#include "fixtures.h"
#include "logfile.h"
#include "logtest.h"
#include "ocx.h"
#include "selectdialog.h"
#include "textconv.h"
#include "toolmutex.h"

#include <functional>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using crypto::Base64Decode;
using diaglog::CLogFile;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::kToolMutexName;

namespace {

using fw::CVariant;

const DISPID kSignMessage = 2, kSignMessageSW = 3, kGetSignData = 4, kGetUserSignCert = 6, kGetCspName = 15;
const DISPID kGetCert = 26, kSign = 17, kSignFile = 19, kSignData = 20, kSetSignType = 31;

const char kSigned[] = "*\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD";            // *签名数据
const char kSignError[] = "\xC7\xA9\xC3\xFB\xB4\xED\xCE\xF3";          // 签名错误
const char kEmptyData[] = "\xC7\xA9\xC3\xFB\xCA\xFD\xBE\xDD\xCE\xAA\xBF\xD5";  // 签名数据为空
const char kSignFailed[] = "\xC7\xA9\xC3\xFB\xD2\xEC\xB3\xA3";          // 签名异常

std::string Bstr(const VARIANT& v) { return V_VT(&v) == VT_BSTR ? qel::WideToAnsi(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : "?"; }

std::vector<unsigned char> Unbase64(const std::string& text)
{
    std::vector<unsigned char> out(text.size() + 3);
    uint32_t n = 0;
    if (Base64Decode(text.c_str(), static_cast<uint32_t>(text.size()), out.data(), &n) != 0)
        n = 0;
    out.resize(n);
    return out;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f) << path;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

class SignTest : public ::testing::Test {
protected:
    // What an earlier run wrote out must not be checked again.
    static void SetUpTestSuite()
    {
        const char* out = std::getenv("QEL_SIGN_OUT");
        if (!out)
            return;
        CreateDirectoryA(out, nullptr);
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((std::string(out) + "\\*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE)
            return;
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((std::string(out) + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(h, &found));
        FindClose(h);
    }

    void SetUp() override
    {
        ASSERT_EQ(S_OK, ocx::Create(IID_IDispatch, reinterpret_cast<void**>(&disp)));
        const char* out = std::getenv("QEL_SIGN_OUT");
        outDir = out ? out : "";
    }

    std::string Call(DISPID id, std::initializer_list<VARIANT> args)
    {
        CVariant r;
        EXPECT_EQ(S_OK, ocx::Call(disp.Get(), id, &r, args)) << "DISPID " << id;
        return Bstr(r);
    }
    std::string Sign(const std::string& text, const wchar_t* cn, const wchar_t* ou)
    {
        return Call(kSign, {ocx::Text(qel::AnsiToWide(text).c_str()), ocx::Text(cn), ocx::Text(ou)});
    }
    void SetSignType(long type)
    {
        CVariant r;
        ASSERT_EQ(S_OK, ocx::Call(disp.Get(), kSetSignType, &r, {ocx::Long(type)}));
    }
    std::string Cert(const wchar_t* cn, const wchar_t* ou) { return Call(kGetCert, {ocx::Text(cn), ocx::Text(ou)}); }

    // Hands a signature to the OpenSSL check: `digest` is md5 or sha1.
    void Expect(const char* name, const char* digest, const std::string& data, const std::string& signature,
                const std::string& pem, size_t keyBytes = 128)
    {
        EXPECT_EQ(keyBytes, Unbase64(signature).size()) << name << ": the signature is the modulus' length";
        if (outDir.empty())
            return;
        const std::string base = outDir + "\\" + name;
        WriteFile(base + ".data", data);
        const std::vector<unsigned char> sig = Unbase64(signature);
        WriteFile(base + ".sig", std::string(sig.begin(), sig.end()));
        WriteFile(base + ".pem", pem);
        WriteFile(base + ".md", digest);
    }

    fw::CComPtr<IDispatch> disp;
    std::string outDir;
};

TEST_F(SignTest, SignaturesByNameVerify)
{
    const std::string zhangA = Cert(L"Zhang San", L"Dept A");
    ASSERT_FALSE(zhangA.empty());
    const std::string text = "QelCrypt \xC7\xA9\xC3\xFB";  // Chinese text
    const std::string md5 = Sign(text, L"Zhang San", L"Dept A");
    Expect("md5", "md5", text, md5, zhangA);
    // An empty OU takes the first certificate with that CN, whichever OU it has.
    Expect("empty-ou", "md5", text, Sign(text, L"Zhang San", L""), Cert(L"Zhang San", L""));
    EXPECT_EQ(md5, Call(kSignData, {ocx::Text(qel::AnsiToWide(text).c_str()), ocx::Long(static_cast<long>(text.size())),
                                    ocx::Text(L"Zhang San"), ocx::Text(L"Dept A")}))
        << "SignData over the whole text is Sign";
    const std::string prefix = Call(kSignData, {ocx::Text(L"abcdef"), ocx::Long(3), ocx::Text(L"Zhang San"), ocx::Text(L"Dept B")});
    Expect("prefix", "md5", "abc", prefix, Cert(L"Zhang San", L"Dept B"));
    Expect("empty", "md5", "", Sign("", L"Zhang San", L"Dept A"), zhangA);
    Expect("rsa2048", "md5", text, Sign(text, L"Big Key", L""), Cert(L"Big Key", L""), 256);
    Expect("signature-key", "md5", text, Sign(text, L"Sign Only", L""), Cert(L"Sign Only", L""));

    SetSignType(1);
    Expect("sha1", "sha1", text, Sign(text, L"Zhang San", L"Dept A"), zhangA);
    SetSignType(2);
    Expect("sha1-type2", "sha1", text, Sign(text, L"Zhang San", L"Dept A"), zhangA);
    SetSignType(0);
    EXPECT_EQ(md5, Sign(text, L"Zhang San", L"Dept A")) << "back to MD5";
}

TEST_F(SignTest, FailuresGiveTheEmptyText)
{
    EXPECT_EQ("", Sign("text", L"Nobody", L"")) << "unknown CN";
    EXPECT_EQ("", Sign("text", L"Zhang San", L"Dept C")) << "unknown OU";
    EXPECT_EQ("", Sign("text", L"Unplugged", L"")) << "the USB key is not inserted";
    EXPECT_EQ("", Sign("text", L"No Key", L"")) << "no key-provider property";
    for (long length : {-1L, 7L, 0x7fffffffL, -0x7fffffffL - 1})
        EXPECT_EQ("", Call(kSignData, {ocx::Text(L"abcdef"), ocx::Long(length), ocx::Text(L"Zhang San"), ocx::Text(L"")}))
            << "a length of " << length << " for a text of 6 bytes";
    EXPECT_EQ("", Call(kSignFile, {ocx::Text(L"Z:\\no\\such\\file"), ocx::Text(L"Zhang San"), ocx::Text(L"")}));
    // Devices are no files: a serial port would keep the read waiting, NUL would sign nothing.
    for (const wchar_t* device : {L"COM1", L"AUX", L"C:\\windows\\COM1.txt", L"NUL"})
        EXPECT_EQ("", Call(kSignFile, {ocx::Text(device), ocx::Text(L"Zhang San"), ocx::Text(L"")}));
}

TEST_F(SignTest, FilesAreSignedWhole)
{
    logtest::PrivateTemp temp;
    const std::string withZero("head\0tail\r\n\xff", 12);
    const std::string path = temp.Dir() + "zero.bin";
    WriteFile(path, withZero);
    Expect("file-zero", "md5", withZero,
           Call(kSignFile, {ocx::Text(qel::AnsiToWide(path).c_str()), ocx::Text(L"Li"), ocx::Text(L"Unit A")}),
           Cert(L"Li", L"Unit A"));
    std::string big(3 * 65536 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + 1);
    WriteFile(temp.Dir() + "big.bin", big);
    Expect("file-big", "md5", big,
           Call(kSignFile, {ocx::Text(qel::AnsiToWide(temp.Dir() + "big.bin").c_str()), ocx::Text(L"Wang Wu"),
                            ocx::Text(L"")}),
           Cert(L"Wang Wu", L""));
    WriteFile(temp.Dir() + "empty.bin", "");
    Expect("file-empty", "md5", "",
           Call(kSignFile, {ocx::Text(qel::AnsiToWide(temp.Dir() + "empty.bin").c_str()), ocx::Text(L"Wang Wu"),
                            ocx::Text(L"")}),
           Cert(L"Wang Wu", L""));
}

// With the tool's mutex the named signing methods leave one record each.
TEST_F(SignTest, RecordsWhileTheToolRuns)
{
    logtest::PrivateTemp temp;
    HANDLE tool = CreateToolMutex(kToolMutexName);
    const std::string pem = Cert(L"Zhang San", L"Dept A");
    const std::string signature = Sign("abc", L"Zhang San", L"Dept A");
    Sign("abc", L"Nobody", L"");
    Sign("", L"Zhang San", L"Dept A");
    WriteFile(temp.Dir() + "z.bin", std::string("ab\0cd", 5));
    const std::string fileSignature = Call(kSignFile, {ocx::Text(qel::AnsiToWide(temp.Dir() + "z.bin").c_str()),
                                                       ocx::Text(L"Zhang San"), ocx::Text(L"Dept A")});
    Call(kSignFile, {ocx::Text(qel::AnsiToWide(temp.Dir() + "none.bin").c_str()), ocx::Text(L"Zhang San"),
                     ocx::Text(L"")});  // unopenable: no record
    CloseToolMutex(tool);

    CLogFile log;
    ASSERT_TRUE(log.Load(log.GetPath().c_str()));
    const auto line = [](const char* label, const std::string& text) {
        return std::string(label) + ":" + std::to_string(text.size()) + ":" + text + "\r\n";
    };
    const std::vector<std::pair<std::string, std::string>> want = {
        {kSigned, line("Plain", "abc") + line("Cert", pem) + line("signdata", signature)},
        {kSignError, kSignFailed},
        {kSignError, kEmptyData},
        {kSigned, "Plain:5:ab\r\n" + line("Cert", pem) + line("signdata", fileSignature)},
    };
    ASSERT_EQ(static_cast<int>(want.size()), log.GetCount());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(want[i].first, std::string(log.GetHeaders()[i].subject)) << "record " << i;
        EXPECT_EQ(want[i].second, log.GetContents()[i]) << "record " << i;
    }
    Expect("logged", "md5", "abc", signature, pem);
}

// ---- SignMessage and its certificate dialog, driven as a user would ----

using Dialog = ocx::CSelectDialog;
const int kView = ocx::kSelectView;

// The eligible fixtures and the CN the list shows for each, in store order.
std::vector<std::string> EligibleInStoreOrder()
{
    const std::vector<std::pair<const char*, const char*>> shown = {
        {"zhangsan-a", "Zhang San"}, {"zhangsan-b", "Zhang San"}, {"zhangsan-lower", "zhang san"},
        {"li-two-ou", "Li"}, {"no-cn", ""}, {"wangwu-no-ou", "Wang Wu"}, {"comma-cn", "\"Li"},
        {"chinese", "\xC0\xEE\xCB\xC4"}, {"sign-only", "Sign Only"}, {"rsa2048", "Big Key"},
        {"provider-case", "Case Provider"}, {"unplugged", "Unplugged"},
    };  // not: software (software CSP), no-property, large-der (DER too large)
    std::vector<std::string> order;
    for (const std::string& id : fixtures::IdsInStoreOrder())
        for (const auto& entry : shown)
            if (id == entry.first)
                order.push_back(entry.second);
    return order;
}

class SignMessageTest : public SignTest {
protected:
    // Calls SignMessage while `user` acts on the dialog; fails the test when
    // no dialog shows or it does not close.
    long SignMessage(const std::string& text, long length, std::function<void(const Dialog&)> user)
    {
        CVariant r;
        const bool closed = ocx::WithSelectDialog(
            [&] {
                EXPECT_EQ(S_OK, ocx::Call(disp.Get(), kSignMessage, &r,
                                          {ocx::Text(qel::AnsiToWide(text).c_str()), ocx::Long(length)}));
            },
            user);
        EXPECT_TRUE(closed) << "the dialog closed by the user's action";
        return V_VT(&r) == VT_I4 ? V_I4(&r) : -12345;
    }
    std::string Get(DISPID id) { return Call(id, {}); }
    // Selects the item whose CN is `cn` (first of them) and confirms.
    static std::function<void(const Dialog&)> Choose(const std::string& cn)
    {
        return [cn](const Dialog& d) {
            const std::vector<std::string> items = d.Items();
            for (size_t i = 0; i < items.size(); ++i)
                if (items[i] == cn) {
                    d.Select(static_cast<int>(i));
                    break;
                }
            d.Click(IDOK);
        };
    }
};

TEST_F(SignMessageTest, TheDialogListsUsbKeyCertificates)
{
    std::vector<std::string> items;
    int selection = -2;
    bool okEnabled = false, viewEnabled = false, openAfterView = false, openAfterEnter = true;
    const char* record = std::getenv("QEL_VIEWER_RECORD");
    const std::string started = record ? std::string(record) + ".cmd" : "";
    bool viewed = false, viewedAgain = false;
    EXPECT_EQ(1001, SignMessage("abc", 3, [&](const Dialog& d) {
        items = d.Items();
        selection = d.Selection();
        okEnabled = d.Enabled(IDOK);
        viewEnabled = d.Enabled(kView);
        d.Select(-1);  // no selection: nothing to confirm or view
        okEnabled = okEnabled && !d.Enabled(IDOK) && !d.Enabled(kView);
        d.Key(VK_RETURN);
        // Posted after the key, so handled after it: once the list shows
        // this selection, Enter has had its effect.
        const HWND list = d.Item(ocx::kSelectList);
        PostMessageW(list, LB_SETCURSEL, 0, 0);
        for (int i = 0; i < 400 && d.Open() && SendMessageW(list, LB_GETCURSEL, 0, 0) != 0; ++i)
            Sleep(25);
        openAfterEnter = d.Open();
        d.Select(0);
        // The viewer is a process of its own: wait for its record, however
        // slowly it starts.
        const auto viewerStarted = [&] {
            for (int i = 0; i < 400 && record && !logtest::FileExists(started); ++i)
                Sleep(50);
            return logtest::FileExists(started);
        };
        d.Click(kView);
        viewed = viewerStarted();
        DeleteFileA(started.c_str());
        d.DoubleClick();
        viewedAgain = viewerStarted();
        openAfterView = d.Open();
        d.Key(VK_ESCAPE);
    }));
    EXPECT_EQ(EligibleInStoreOrder(), items) << "listed CSPs only, in store order";
    EXPECT_EQ(0, selection) << "the first item is selected";
    EXPECT_TRUE(okEnabled && viewEnabled) << "OK and view follow the selection";
    EXPECT_TRUE(openAfterEnter) << "Enter does nothing without a selection";
    EXPECT_TRUE(openAfterView) << "viewing leaves the dialog open";
    if (record) {
        EXPECT_TRUE(viewed) << "the view button starts the viewer";
        EXPECT_TRUE(viewedAgain) << "a double click starts the viewer";
    }
    EXPECT_EQ(1001, SignMessage("abc", 3, [](const Dialog& d) { d.CloseBox(); })) << "the close box cancels";
}

TEST_F(SignMessageTest, OutcomesOfSigning)
{
    const std::string zhangB = Cert(L"Zhang San", L"Dept B");
    EXPECT_EQ(0, SignMessage("message", 7, Choose("Li")));
    const std::string liPem = Get(kGetUserSignCert);
    EXPECT_EQ(Cert(L"Li", L""), liPem);
    EXPECT_EQ("Watchdata QRT CSP v3.2", Get(kGetCspName));
    Expect("message-md5", "md5", "message", Get(kGetSignData), liPem);

    SetSignType(1);
    EXPECT_EQ(0, SignMessage("message", 4, Choose("Wang Wu")));
    Expect("message-sha1", "sha1", "mess", Get(kGetSignData), Get(kGetUserSignCert));
    SetSignType(0);

    EXPECT_EQ(1001, SignMessage("message", 7, [](const Dialog& d) { d.Key(VK_ESCAPE); }));
    EXPECT_EQ("", Get(kGetSignData)) << "a cancelled SignMessage empties the signature";
    EXPECT_EQ("StarSec CSP QRT", Get(kGetCspName)) << "Cancel keeps the certificate and CSP";

    EXPECT_EQ(1003, SignMessage("message", 0, Choose("Li"))) << "nothing to sign, after OK";
    EXPECT_EQ(1001, SignMessage("message", 0, [](const Dialog& d) { d.Key(VK_ESCAPE); }));
    EXPECT_EQ(1010, SignMessage("message", 8, Choose("Li"))) << "a length beyond the text";
    EXPECT_EQ(1010, SignMessage("message", -1, Choose("Li"))) << "a negative length";

    EXPECT_EQ(1011, SignMessage("message", 7, Choose("Unplugged"))) << "the USB key is not inserted";
    EXPECT_EQ("", Get(kGetSignData));
    EXPECT_EQ("M&W eKey XCSP", Get(kGetCspName));

    EXPECT_EQ(0, SignMessage("again", 5, Choose("Li")));
    EXPECT_NE("", Get(kGetSignData));
    CVariant r;
    ASSERT_EQ(S_OK, ocx::Call(disp.Get(), kSignMessageSW, &r, {ocx::Text(L"s"), ocx::Text(L"p"), ocx::Long(1)}));
    EXPECT_EQ(1001, V_I4(&r));
    EXPECT_EQ("", Get(kGetSignData)) << "SignMessageSW empties the signature";
}

TEST_F(SignMessageTest, RecordsWhileTheToolRuns)
{
    logtest::PrivateTemp temp;
    HANDLE tool = CreateToolMutex(kToolMutexName);
    EXPECT_EQ(0, SignMessage("abc", 3, Choose("Li")));
    const std::string pem = Get(kGetUserSignCert), signature = Get(kGetSignData);
    EXPECT_EQ(1001, SignMessage("abc", 3, [](const Dialog& d) { d.Key(VK_ESCAPE); }));
    EXPECT_EQ(1003, SignMessage("abc", 0, Choose("Li")));
    CloseToolMutex(tool);

    CLogFile log;
    ASSERT_TRUE(log.Load(log.GetPath().c_str()));
    ASSERT_EQ(3, log.GetCount());
    EXPECT_EQ(kSigned, std::string(log.GetHeaders()[0].subject));
    EXPECT_EQ("Plain:3:abc\r\nCert:" + std::to_string(pem.size()) + ":" + pem + "\r\nsigndata:" +
                  std::to_string(signature.size()) + ":" + signature + "\r\nCSP:Watchdata QRT CSP v3.2\r\n",
              log.GetContents()[0]);
    EXPECT_EQ(kSignError, std::string(log.GetHeaders()[1].subject));
    EXPECT_EQ("\xCE\xB4\xD6\xAA\xD2\xEC\xB3\xA3", log.GetContents()[1]) << "1001 is an unknown exception";
    EXPECT_EQ(kEmptyData, log.GetContents()[2]);
    Expect("message-logged", "md5", "abc", signature, pem);
}

}  // namespace
