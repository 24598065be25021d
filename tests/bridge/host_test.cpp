// QelCryptHost.exe under Wine, driven through its standard input and output
// as a browser drives it: every method by name against the same call made
// directly through the control's IDispatch in this process (one session
// each, the same sequence, so the session state must agree too), the
// parameter types read from the type information, framing faults, who may
// call (the diagnostic log shows whether anything ran), and Chinese text.
#include "comutil.h"
#include "hostprocess.h"
#include "json.h"
#include "logfile.h"
#include "logtest.h"
#include "methods.h"
#include "qelcrypt_h.h"
#include "selectdialog.h"
#include "session.h"
#include "textconv.h"
#include "toolmutex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using diaglog::CLogFile;
using diaglog::CloseToolMutex;
using diaglog::CreateToolMutex;
using diaglog::kToolMutexName;

namespace {

using bridge::json::Value;
using hosttest::CHostProcess;

const char kLocal[] = "http://127.0.0.1:8000";
const char kZh[] = "\xE4\xB8\xAD\xE6\x96\x87\xE7\xAD\xBE\xE5\x90\x8D";  // 中文签名 (UTF-8)

// The allow-list the tests give the host: two origins and one entry that is none.
const wchar_t kAllowList[] = L"https://bank.example\0not an origin\0http://intranet.corp:8080\0";

std::string Request(const std::string& method, const Value& args, const std::string& origin = kLocal, int id = 1)
{
    Value r = Value::Object();
    r.Set("id", Value::Integer(id));
    r.Set("origin", Value::String(origin));
    r.Set("method", Value::String(method));
    r.Set("args", args);
    return bridge::json::Write(r);
}

struct Reply {
    Value result;
    long long code = 0;  // 0: a result
    std::string text;
};

Reply Parse(const std::string& text)
{
    Reply r;
    r.text = text;
    Value v;
    if (!bridge::json::Parse(text.data(), text.size(), &v, nullptr)) {
        r.code = 1;
        return r;
    }
    if (const Value* result = v.Find("result"))
        r.result = *result;
    else if (const Value* error = v.Find("error"); !error || !error->Find("code") ||
                                                   !error->Find("code")->AsInteger(&r.code))
        r.code = 1;
    return r;
}

class HostTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\QelCrypt\\NativeHost", 0, nullptr, 0,
                        KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
        ASSERT_NE(nullptr, key);
        RegSetValueExW(key, L"AllowedOrigins", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kAllowList),
                       sizeof(kAllowList));
        RegCloseKey(key);
    }
    static void TearDownTestSuite()
    {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\QelCrypt\\NativeHost");
    }
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }

    // The host's error stream, kept in this test's temporary directory.
    std::string ErrorFile(const char* name) const { return temp.Dir() + name; }

    // TMP and TEMP of this process and of the hosts it starts: the log and the files stay here.
    logtest::PrivateTemp temp;
};

// ---- Every method, through the host and directly ---------------------------

// An argument: a text (UTF-8), a number, or the result of an earlier row.
struct Arg {
    enum Kind { Text, Number, Ref } kind;
    std::string text;
    long number;
};
Arg T(const std::string& s) { return {Arg::Text, s, 0}; }
Arg N(long n) { return {Arg::Number, "", n}; }
Arg R(long row) { return {Arg::Ref, "", row}; }

enum class Compare { Equal, SameLength };

struct Row {
    const char* method;
    std::vector<Arg> args;
    Compare compare;
    bool dialog;  // SignMessage's certificate dialog opens
};

// The control called directly: by name, like a page script.
class CDirect {
public:
    CDirect()
    {
        CoCreateInstance(CLSID_QelCrypt, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(&m_disp));
    }
    bool Ok() const { return m_disp.Get() != nullptr; }
    Value Call(const std::string& method, const std::vector<Value>& args)
    {
        std::wstring name = hosttest::Wide(method);
        LPOLESTR names[1] = {&name[0]};
        DISPID id = 0;
        if (FAILED(m_disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
            return Value::String("(no such method)");
        std::vector<VARIANT> params(args.size());
        for (size_t i = 0; i < args.size(); ++i) {
            VARIANT& v = params[args.size() - 1 - i];
            VariantInit(&v);
            long long n;
            if (args[i].AsInteger(&n)) {
                V_VT(&v) = VT_I4;
                V_I4(&v) = static_cast<LONG>(n);
            } else {
                V_VT(&v) = VT_BSTR;
                V_BSTR(&v) = SysAllocString(hosttest::Wide(args[i].Text()).c_str());
            }
        }
        DISPPARAMS dp = {params.empty() ? nullptr : params.data(), nullptr, static_cast<UINT>(params.size()), 0};
        fw::CVariant out;
        const HRESULT hr = m_disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &out, nullptr,
                                          nullptr);
        for (VARIANT& v : params)
            VariantClear(&v);
        if (FAILED(hr))
            return Value::String("(failed)");
        switch (V_VT(&out)) {
        case VT_EMPTY: return Value();
        case VT_I4: return Value::Integer(V_I4(&out));
        case VT_I2: return Value::Integer(V_I2(&out));
        case VT_BSTR: return Value::String(hosttest::Utf8(std::wstring(V_BSTR(&out), SysStringLen(V_BSTR(&out)))));
        default: return Value::String("(unexpected type)");
        }
    }

private:
    fw::CComPtr<IDispatch> m_disp;
};

TEST_F(HostTest, EveryMethodAnswersAsTheControlDoes)
{
    // A file with a Chinese name (签名.txt) for the file methods.
    const std::wstring fileW = hosttest::Wide(hosttest::Utf8(qel::AnsiToWide(temp.Dir())) +
                                              "\xE7\xAD\xBE\xE5\x90\x8D.txt");
    HANDLE f = CreateFileW(fileW.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    DWORD written = 0;
    WriteFile(f, "file body\r\n", 11, &written, nullptr);
    CloseHandle(f);
    const std::string file = hosttest::Utf8(fileW);
    const char key[] = "OziYNxUg914=";

    const std::vector<Row> rows = {
        /* 0 */ {"GetVersion", {}, Compare::Equal, false},
        {"GetSignData", {}, Compare::Equal, false},
        {"GetSignDataLen", {}, Compare::Equal, false},
        {"GetUserSignCert", {}, Compare::Equal, false},
        {"GetUserSignCertLen", {}, Compare::Equal, false},
        /* 5 */ {"GetCihperData", {}, Compare::Equal, false},
        {"GetCihperDataLen", {}, Compare::Equal, false},
        {"GetPlainBuf", {}, Compare::Equal, false},
        {"GetPlainBufLen", {}, Compare::Equal, false},
        {"GetUserEncCert", {}, Compare::Equal, false},
        /* 10 */ {"GetUserEncCertLen", {}, Compare::Equal, false},
        {"InitCSP", {T(kZh)}, Compare::Equal, false},
        {"GetCspName", {}, Compare::Equal, false},
        {"SignMessageSW", {T("session"), T("text"), N(4)}, Compare::Equal, false},
        {"AddLog", {T(kZh), T("content")}, Compare::Equal, false},
        /* 15 */ {"GetCert", {T("Zhang San"), T("Dept A")}, Compare::Equal, false},
        {"Sign", {T(kZh), T("Zhang San"), T("Dept A")}, Compare::Equal, false},
        {"Verify", {R(16), T(kZh), R(15)}, Compare::Equal, false},
        {"SignData", {T("abcdef"), N(3), T("Zhang San"), T("Dept A")}, Compare::Equal, false},
        {"GetCert", {T("Li"), T("Unit A")}, Compare::Equal, false},
        /* 20 */ {"SignFile", {T(file), T("Li"), T("Unit A")}, Compare::Equal, false},
        {"VerifyFile", {R(20), T(file), R(19)}, Compare::Equal, false},
        {"SetSignType", {N(1)}, Compare::Equal, false},
        {"Sign", {T(kZh), T("Zhang San"), T("Dept A")}, Compare::Equal, false},
        {"CryptPubKey", {T(kZh), T("Zhang San"), T("Dept A")}, Compare::SameLength, false},
        /* 25 */ {"DecryptPriKey", {R(24), T("Zhang San"), T("Dept A")}, Compare::Equal, false},
        {"CryptFilePubKey", {T(file), T("Zhang San"), T("Dept A")}, Compare::Equal, false},
        {"DecryptFilePriKey", {T(file + ".gue"), T("Zhang San"), T("Dept A")}, Compare::Equal, false},
        {"GenertKey", {}, Compare::SameLength, false},
        {"Encrypt", {T(kZh), T(key)}, Compare::Equal, false},
        /* 30 */ {"Decrypt", {R(29), T(key)}, Compare::Equal, false},
        {"EncryptFile", {T(file), T(key)}, Compare::Equal, false},
        {"DecryptFile", {T(file + ".gse"), T(key)}, Compare::Equal, false},
        {"GetCert", {T("\xE6\x9D\x8E\xE5\x9B\x9B"), T("")}, Compare::Equal, false},  // CN 李四
        {"SignMessage", {T("message"), N(7)}, Compare::Equal, true},
        /* 35 */ {"GetSignData", {}, Compare::Equal, false},
        {"GetSignDataLen", {}, Compare::Equal, false},
        {"GetUserSignCert", {}, Compare::Equal, false},
        {"GetUserSignCertLen", {}, Compare::Equal, false},
        {"GetCspName", {}, Compare::Equal, false},
        /* 40 */ {"getversion", {}, Compare::Equal, false},  // names in any letter case, as in scripts
    };

    for (const methods::Method& m : methods::All()) {
        bool covered = false;
        for (const Row& row : rows)
            covered = covered || row.method == std::string(m.name);
        EXPECT_TRUE(covered) << m.name << " has no row";
    }

    CHostProcess host(HOST_EXE, ErrorFile("every.err"));
    ASSERT_TRUE(host.Started());
    CDirect direct;
    ASSERT_TRUE(direct.Ok()) << "the control is registered";
    std::vector<Value> viaHost, viaDirect;
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        Value hostArgs = Value::Array();
        std::vector<Value> directArgs;
        for (const Arg& a : row.args) {
            Value h = a.kind == Arg::Text ? Value::String(a.text) : Value::Integer(a.number);
            Value d = h;
            if (a.kind == Arg::Ref) {
                h = viaHost[static_cast<size_t>(a.number)];
                d = viaDirect[static_cast<size_t>(a.number)];
            }
            hostArgs.Push(h);
            directArgs.push_back(d);
        }
        Reply r;
        Value d;
        const auto viaHostCall = [&] { r = Parse(host.Call(Request(row.method, hostArgs))); };
        const auto directCall = [&] { d = direct.Call(row.method, directArgs); };
        if (row.dialog) {
            // The same certificate is chosen, in the host's dialog and in
            // ours: by its name, since the store's order differs from one
            // machine to the next and not every listed key is present.
            const auto chooseLi = [](const ocx::CSelectDialog& dialog) {
                const std::vector<std::string> items = dialog.Items();
                for (size_t k = 0; k < items.size(); ++k)
                    if (items[k] == "Li")
                        dialog.Select(static_cast<int>(k));
                dialog.Click(IDOK);
            };
            EXPECT_TRUE(ocx::WithSelectDialog(viaHostCall, chooseLi)) << "the host shows the dialog";
            EXPECT_TRUE(ocx::WithSelectDialog(directCall, chooseLi));
        } else {
            viaHostCall();
            directCall();
        }
        const std::string what = std::to_string(i) + " " + row.method + ": " + r.text;
        EXPECT_EQ(0, r.code) << what;
        if (row.compare == Compare::Equal) {
            EXPECT_EQ(bridge::json::Write(d), bridge::json::Write(r.result)) << what;
        } else {
            EXPECT_EQ(d.Text().size(), r.result.Text().size()) << what;
        }
        viaHost.push_back(r.result);
        viaDirect.push_back(d);
    }
    // The results that show the calls did their work, not just agreed.
    EXPECT_EQ("1010", bridge::json::Write(viaHost[0]));
    // Verify, VerifyFile, CryptFilePubKey, DecryptFilePriKey, EncryptFile, SignMessage succeed.
    for (size_t i : {17, 21, 26, 27, 31, 34})
        EXPECT_EQ("0", bridge::json::Write(viaHost[i])) << i << " " << rows[i].method;
    for (size_t i : {15, 16, 19, 20, 23, 29, 33, 35})
        EXPECT_NE("", viaHost[i].Text()) << i << " " << rows[i].method;
    EXPECT_NE(viaHost[16].Text(), viaHost[23].Text()) << "SetSignType changed the session's hash";
    EXPECT_EQ(kZh, viaHost[25].Text()) << "Chinese text round-trips through CryptPubKey and DecryptPriKey";
    host.CloseInput();
    EXPECT_EQ(0u, host.Wait(10000));
}

// ---- Names ------------------------------------------------------------------

// Only the methods of the control's type information are called: a NUL
// cannot cut a name short for GetIDsOfNames, and IDispatch's own members
// are no methods. Argument counts and types come from the type library too.
TEST_F(HostTest, OnlyTheControlsMethodsByTheirTypes)
{
    const struct {
        const char* method;
        const char* args;
        long long code;
    } cases[] = {
        {"NoSuchMethod", "[]", bridge::kMethodNotFound}, {"", "[]", bridge::kMethodNotFound},
        {"GetVersion\\u0000", "[]", bridge::kMethodNotFound}, {"GetVersion\\u0000x", "[]", bridge::kMethodNotFound},
        {"QueryInterface", "[]", bridge::kMethodNotFound}, {"Invoke", "[]", bridge::kMethodNotFound},
        {"SignData", "[\"a\",1,\"b\"]", bridge::kInvalidArguments},          // four parameters
        {"SignData", "[\"a\",\"1\",\"b\",\"c\"]", bridge::kInvalidArguments},  // the second a long
        {"InitCSP", "[0]", bridge::kInvalidArguments},                        // a BSTR
        {"SetSignType", "[2147483648]", bridge::kInvalidArguments},
    };
    CHostProcess host(HOST_EXE, ErrorFile("names.err"));
    for (const auto& c : cases) {
        const Reply r = Parse(host.Call("{\"id\":1,\"origin\":\"http://localhost\",\"method\":\"" +
                                        std::string(c.method) + "\",\"args\":" + c.args + "}"));
        EXPECT_EQ(c.code, r.code) << c.method << " " << c.args << ": " << r.text;
    }
    // Every method refuses one argument too many, and its first parameter
    // given as the other type; nothing runs.
    for (const methods::Method& m : methods::All()) {
        Value more = Value::Array(), wrong = Value::Array();
        for (size_t i = 0; i < m.params.size(); ++i) {
            const bool number = methods::TypeOf(m.params[i].role) == VT_I4;
            more.Push(number ? Value::Integer(1) : Value::String("x"));
            wrong.Push(number == (i == 0) ? Value::String("1") : Value::Integer(1));
        }
        more.Push(Value::String("x"));
        EXPECT_EQ(bridge::kInvalidArguments, Parse(host.Call(Request(m.name, more))).code) << m.name << ", one more";
        if (!m.params.empty()) {
            EXPECT_EQ(bridge::kInvalidArguments, Parse(host.Call(Request(m.name, wrong))).code)
                << m.name << ", the first parameter's type";
        }
    }
}

// ---- Framing ----------------------------------------------------------------

std::string Prefix(unsigned long n)
{
    std::string p;
    for (int i = 0; i < 4; ++i)
        p += static_cast<char>((n >> (8 * i)) & 0xFF);
    return p;
}

TEST_F(HostTest, FramingFaultsGiveAnErrorReplyOrACleanExit)
{
    const std::string getVersion = Request("GetVersion", Value::Array());
    std::string padded = getVersion;
    padded.resize(bridge::kMaxMessageBytes, ' ');
    const struct {
        const char* what;
        std::string bytes;
        std::vector<long long> replies;  // error codes; 0 a result
        DWORD exit;                      // STILL_ACTIVE: the host reads on
    } cases[] = {
        {"no message", "", {}, 0},
        {"a short length", "\x05\x00", {}, bridge::kExitTruncated},
        {"a short message", Prefix(40) + "{\"id\":1", {}, bridge::kExitTruncated},
        {"a length over the limit", Prefix(bridge::kMaxMessageBytes + 1) + "{}", {bridge::kMessageTooLarge},
         bridge::kExitTooLarge},
        {"the largest length", Prefix(0xFFFFFFFF), {bridge::kMessageTooLarge}, bridge::kExitTooLarge},
        {"an empty message", Prefix(0), {bridge::kParseError}, STILL_ACTIVE},
        {"invalid JSON", CHostProcess::Frame("{\"id\":1,"), {bridge::kParseError}, STILL_ACTIVE},
        {"an encoded surrogate", CHostProcess::Frame("[\"\xED\xA0\x80\"]"), {bridge::kParseError}, STILL_ACTIVE},
        {"an overlong form in a member",
         CHostProcess::Frame("{\"id\":1,\"origin\":\"http://localhost\",\"method\":\"\xC0\xAF\"}"),
         {bridge::kParseError}, STILL_ACTIVE},
        {"an invalid byte", CHostProcess::Frame("\xFF"), {bridge::kParseError}, STILL_ACTIVE},
        {"deep nesting", CHostProcess::Frame(std::string(100000, '[')), {bridge::kParseError}, STILL_ACTIVE},
        {"two messages at once", CHostProcess::Frame(getVersion) + CHostProcess::Frame(getVersion), {0, 0},
         STILL_ACTIVE},
        {"a message of exactly the limit", CHostProcess::Frame(padded), {0}, STILL_ACTIVE},
    };
    for (const auto& c : cases) {
        CHostProcess host(HOST_EXE, ErrorFile("framing.err"));
        ASSERT_TRUE(host.SendRaw(c.bytes)) << c.what;
        for (long long code : c.replies) {
            std::string reply;
            ASSERT_TRUE(host.Receive(&reply)) << c.what;
            const Reply r = Parse(reply);
            EXPECT_EQ(code, r.code) << c.what << ": " << reply;
        }
        if (c.exit == STILL_ACTIVE) {
            // Still in step: the next message is answered, and the end of input ends the host.
            EXPECT_EQ(0, Parse(host.Call(getVersion)).code) << c.what;
            host.CloseInput();
            EXPECT_EQ(0u, host.Wait(10000)) << c.what;
        } else {
            host.CloseInput();
            EXPECT_EQ(c.exit, host.Wait(10000)) << c.what;
            std::string more;
            EXPECT_FALSE(host.Receive(&more)) << c.what << ": nothing after the exit";
        }
    }

    // A browser that stops reading: the host ends when its reply cannot be written.
    CHostProcess host(HOST_EXE, ErrorFile("closed.err"));
    host.CloseOutput();
    host.Send(getVersion);
    EXPECT_EQ(static_cast<DWORD>(bridge::kExitOutputClosed), host.Wait(10000));
}

// ---- Who may call -----------------------------------------------------------

TEST_F(HostTest, OnlyAllowedOriginsRunAnything)
{
    // 主题 / 内容 in UTF-8, and as the control logs them in code page 936.
    const std::string subject = "\xE4\xB8\xBB\xE9\xA2\x98", content = "\xE5\x86\x85\xE5\xAE\xB9";
    const std::string subject936 = "\xD6\xF7\xCC\xE2", content936 = "\xC4\xDA\xC8\xDD";
    const struct {
        const char* origin;
        bool allowed;
    } cases[] = {
        {"https://evil.example", false}, {"https://bank.example", true}, {"https://bank.example.evil", false},
        {"http://intranet.corp:8080", true}, {"http://intranet.corp:8081", false}, {"http://localhost:3000", true},
        {"not an origin", false}, {"null", false},
    };
    HANDLE tool = CreateToolMutex(kToolMutexName);
    size_t allowed = 0;
    {
        CHostProcess host(HOST_EXE, ErrorFile("origins.err"));
        for (const auto& c : cases) {
            Value args = Value::Array();
            args.Push(Value::String(subject));
            args.Push(Value::String(content + " " + c.origin));
            const Reply r = Parse(host.Call(Request("AddLog", args, c.origin)));
            EXPECT_EQ(c.allowed ? 0 : bridge::kOriginRefused, r.code) << c.origin << ": " << r.text;
            if (c.allowed) {
                EXPECT_EQ("1", bridge::json::Write(r.result)) << "AddLog while the tool runs";
            }
            allowed += c.allowed;
        }
    }
    CloseToolMutex(tool);

    CLogFile log;
    ASSERT_TRUE(log.Load(log.GetPath().c_str()));
    ASSERT_EQ(static_cast<int>(allowed), log.GetCount()) << "one record for each allowed call, none for the others";
    size_t k = 0;
    for (const auto& c : cases) {
        if (!c.allowed)
            continue;
        EXPECT_EQ(subject936, std::string(log.GetHeaders()[k].subject));
        EXPECT_EQ(content936 + " " + c.origin, log.GetContents()[k]);
        ++k;
    }
    // The entry that is no origin is named on the error stream.
    const logtest::Bytes err = logtest::ReadBytes(ErrorFile("origins.err"));
    EXPECT_NE(std::string::npos, std::string(err.begin(), err.end()).find("not an origin")) << "diagnostics";
}

}  // namespace
