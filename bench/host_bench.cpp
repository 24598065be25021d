// The native-messaging host against the control's other callers, in one run:
// host start-up (CreateProcess to the reply of the first GetVersion, the
// control created), and the round trip of GetVersion and of Sign over 1 KiB
// through the host (framed message on its standard input, reply on its
// standard output), directly through IDispatch in this process (by name, as
// a script calls) and from a JScript page script under cscript, measured in
// alternation. Prints the median time per call of each and the ratios; the
// target is Sign through the host at most 1.5 times Sign from JScript.
//
// The host is reached two ways. Started here with CreateProcess, its pipes
// are Wine's own, which Wine serves through its server: every message costs
// server round trips that Windows pipes and Unix pipes do not. With
// --stdio, this program's standard input and output are also connected (by
// bench/host_bench.sh) to a host that bridge/wine-host.sh started on Unix
// pipes, as a browser on Linux starts it; the ratio against the target is
// then taken on that path, and the report goes to the error stream.
//
// Run by bench/host_bench.sh in a Wine prefix of its own (the control
// registered, the certificate fixtures in place):
//
//   host_bench.exe HOST_EXE JS_FILE [ROUNDS] [--stdio]
#include "comutil.h"
#include "hostprocess.h"
#include "json.h"
#include "qelcrypt_h.h"
#include "wintimer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Calls per round: a round of each kind takes some 0.1 to 0.5 s.
const int kVersionCalls = 300;         // through the host and through IDispatch
const int kScriptVersionCalls = 20000; // from JScript, timed to the millisecond
const int kSignCalls = 30;
const char kOrigin[] = "http://127.0.0.1:8080";

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Seconds per call over `calls` calls; -1 when a call failed.
double PerCall(int calls, const std::function<bool()>& call)
{
    const double start = Now();
    for (int i = 0; i < calls; ++i)
        if (!call())
            return -1;
    return (Now() - start) / calls;
}

std::string SignText()
{
    std::string text;
    while (text.size() < 1024)
        text += "0123456789abcdef";
    return text;
}

std::string Request(const char* method, const bridge::json::Value& args)
{
    bridge::json::Value r = bridge::json::Value::Object();
    r.Set("id", bridge::json::Value::Integer(1));
    r.Set("origin", bridge::json::Value::String(kOrigin));
    r.Set("method", bridge::json::Value::String(method));
    r.Set("args", args);
    return bridge::json::Write(r);
}

bool IsResult(const std::string& reply)
{
    return reply.find("\"result\":") != std::string::npos && reply.find("\"result\":\"\"") == std::string::npos;
}

// The control by name through IDispatch, as a script engine calls it.
class CDirect {
public:
    CDirect()
    {
        CoCreateInstance(CLSID_QelCrypt, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(&m_disp));
    }
    bool Call(const wchar_t* method, std::vector<VARIANT> args)
    {
        LPOLESTR name = const_cast<LPOLESTR>(method);
        DISPID id = 0;
        if (!m_disp || FAILED(m_disp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id)))
            return false;
        std::reverse(args.begin(), args.end());
        DISPPARAMS dp = {args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
        fw::CVariant out;
        const HRESULT hr = m_disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, &out, nullptr,
                                          nullptr);
        for (VARIANT& v : args)
            VariantClear(&v);
        return SUCCEEDED(hr) && (V_VT(&out) != VT_BSTR || SysStringLen(V_BSTR(&out)) > 0);
    }

private:
    fw::CComPtr<IDispatch> m_disp;
};

VARIANT Text(const std::string& ascii)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocString(hosttest::Wide(ascii).c_str());
    return v;
}

// Runs one round of the page script under cscript; its line is "GETVERSION_US SIGN_US".
bool RunScript(const std::string& js, double* version, double* sign)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = nullptr;
    std::string command = "cscript.exe //nologo \"" + js + "\" " + std::to_string(kScriptVersionCalls) + " " +
                          std::to_string(kSignCalls) + " 1";
    PROCESS_INFORMATION pi = {};
    const BOOL started =
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    char buffer[256];
    DWORD got = 0;
    while (started && ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0)
        out.append(buffer, got);
    CloseHandle(readEnd);
    if (!started)
        return false;
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (std::sscanf(out.c_str(), "%lf %lf", version, sign) != 2) {
        std::fprintf(stderr, "host_bench: the page script said: %s\n", out.c_str());
        return false;
    }
    *version /= 1e6;
    *sign /= 1e6;
    return true;
}

std::string Time(double seconds)
{
    char text[32];
    if (seconds >= 1e-3)
        std::snprintf(text, sizeof(text), "%.2f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof(text), "%.1f us", seconds * 1e6);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: host_bench HOST_EXE JS_FILE [ROUNDS] [--stdio]\n");
        return 2;
    }
    const std::string exe = argv[1], js = argv[2];
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 7;
    const bool stdio = argc > 4 && std::string(argv[4]) == "--stdio";
    FILE* report = stdio ? stderr : stdout;
    CoInitialize(nullptr);

    const std::string getVersion = Request("GetVersion", bridge::json::Value::Array());
    bridge::json::Value signArgs = bridge::json::Value::Array();
    signArgs.Push(bridge::json::Value::String(SignText()));
    signArgs.Push(bridge::json::Value::String("Zhang San"));
    signArgs.Push(bridge::json::Value::String("Dept A"));
    const std::string sign = Request("Sign", signArgs);

    // Start-up: a new host each time, up to its first answer.
    std::vector<double> startups;
    for (int r = 0; r < rounds; ++r) {
        const double start = Now();
        hosttest::CHostProcess host(exe, std::string(), 600000);
        const std::string reply = host.Call(getVersion);
        startups.push_back(Now() - start);
        if (!IsResult(reply)) {
            std::fprintf(stderr, "host_bench: the host answered %s\n", reply.c_str());
            return 1;
        }
    }

    // Round trips through one host each, as one page connection makes them,
    // against the same calls through IDispatch and from JScript, measured in
    // alternation so that a change of the machine's load meets all of them.
    hosttest::CHostProcess winePipes(exe, std::string(), 600000);
    std::unique_ptr<hosttest::CHostProcess> unixPipes;
    if (stdio) {
        // No child inherits them: the host must see the end of its input when we close it.
        SetHandleInformation(GetStdHandle(STD_OUTPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(GetStdHandle(STD_INPUT_HANDLE), HANDLE_FLAG_INHERIT, 0);
        unixPipes.reset(new hosttest::CHostProcess(GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_INPUT_HANDLE)));
    }
    for (int i = 0; i < 20; ++i) {
        winePipes.Call(getVersion);
        if (unixPipes && !IsResult(unixPipes->Call(getVersion))) {
            std::fprintf(stderr, "host_bench: no answer from the host on the standard input and output\n");
            return 1;
        }
    }
    CDirect direct;
    const std::string text = SignText();
    struct Path {
        const char* name;
        std::function<bool(bool sign)> call;  // one call of GetVersion or Sign
        std::vector<double> version, sign;
    };
    std::vector<Path> paths;
    paths.push_back({"JScript (cscript)", nullptr, {}, {}});
    paths.push_back({"IDispatch (in process)", [&](bool s) {
                         return s ? direct.Call(L"Sign", {Text(text), Text("Zhang San"), Text("Dept A")})
                                  : direct.Call(L"GetVersion", {});
                     }, {}, {}});
    if (unixPipes)
        paths.push_back({"host, Unix pipes", [&](bool s) { return IsResult(unixPipes->Call(s ? sign : getVersion)); },
                         {}, {}});
    paths.push_back({"host, Wine pipes", [&](bool s) { return IsResult(winePipes.Call(s ? sign : getVersion)); },
                     {}, {}});
    for (int r = 0; r < rounds; ++r) {
        for (Path& p : paths) {
            double v = -1, s = -1;
            if (!p.call) {
                RunScript(js, &v, &s);
            } else {
                v = PerCall(kVersionCalls, [&] { return p.call(false); });
                s = PerCall(kSignCalls, [&] { return p.call(true); });
            }
            if (v <= 0 || s <= 0) {
                std::fprintf(stderr, "host_bench: a call of %s failed in round %d\n", p.name, r + 1);
                return 1;
            }
            p.version.push_back(v);
            p.sign.push_back(s);
        }
    }

    std::fprintf(report, "host start-up (CreateProcess to the first reply, control created): median %s, min %s, %d runs\n",
                 Time(Median(startups)).c_str(), Time(*std::min_element(startups.begin(), startups.end())).c_str(),
                 rounds);
    const double scriptVersion = Median(paths[0].version), scriptSign = Median(paths[0].sign);
    std::fprintf(report, "%-24s %12s %12s %16s %16s\n", "median time per call", "GetVersion", "Sign 1 KiB",
                 "GetVersion/JS", "Sign/JS");
    for (const Path& p : paths) {
        const double v = Median(p.version), s = Median(p.sign);
        std::fprintf(report, "%-24s %12s %12s %15.2fx %15.2fx\n", p.name, Time(v).c_str(), Time(s).c_str(),
                     v / scriptVersion, s / scriptSign);
    }
    const Path& browser = paths[paths.size() - (unixPipes ? 2 : 1)];
    std::fprintf(report, "%s: Sign / JScript Sign %.2fx (target <= 1.5x)\n", browser.name,
                 Median(browser.sign) / scriptSign);
    CoUninitialize();
    return 0;
}
