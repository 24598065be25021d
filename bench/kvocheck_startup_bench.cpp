// KvoCheck's start-up: from CreateProcess to its main dialog shown with
// every line and list filled (the 50 certificates listed, the first log
// record shown), against Wine's notepad from CreateProcess to its window
// shown, measured in alternation in the same run. Prints the median time of
// each and the ratio (KvoCheck / notepad; lower is better).
//
// Run by bench/kvocheck_startup_bench.sh in a Wine prefix of its own:
//
//   kvocheck_startup_bench.exe KVOCHECK_EXE [ROUNDS]
//
// It puts 50 certificates with a key-provider property into the current
// user's "MY" store (one key container, CN "Bench 01" to "Bench 50"), keeps
// KvoCheck's log in a directory of its own under the temporary directory,
// and removes both at the end.
#include "certbuild.h"
#include "wintimer.h"

#include <windows.h>
#include <commctrl.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

const int kCertificates = 50;
const char kContainer[] = "qelbench-startup";
const wchar_t kCsp[] = L"Microsoft Enhanced Cryptographic Provider v1.0";
const wchar_t kOrg[] = L"QelCrypt Bench";
const int kCertList = 1206, kLogList = 1207;

bool IsBenchCertificate(PCCERT_CONTEXT cert)
{
    wchar_t org[64] = L"";
    CertGetNameStringW(cert, CERT_NAME_ATTR_TYPE, 0, const_cast<char*>(szOID_ORGANIZATION_NAME), org, 64);
    return lstrcmpW(org, kOrg) == 0;
}

void RemoveCertificates()
{
    HCERTSTORE store = CertOpenSystemStoreA(0, "MY");
    if (!store)
        return;
    std::vector<PCCERT_CONTEXT> ours;
    for (PCCERT_CONTEXT c = nullptr; (c = CertEnumCertificatesInStore(store, c)) != nullptr;)
        if (IsBenchCertificate(c))
            ours.push_back(CertDuplicateCertificateContext(c));
    for (PCCERT_CONTEXT c : ours)
        CertDeleteCertificateFromStore(c);
    CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(store, 0);
    HCRYPTPROV prov = 0;
    CryptAcquireContextW(&prov, certbuild::Wide(kContainer).c_str(), kCsp, PROV_RSA_FULL, CRYPT_DELETEKEYSET);
}

bool AddCertificates()
{
    RemoveCertificates();
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextW(&prov, certbuild::Wide(kContainer).c_str(), kCsp, PROV_RSA_FULL, CRYPT_NEWKEYSET))
        return false;
    HCRYPTKEY key = 0;
    bool ok = CryptGenKey(prov, AT_KEYEXCHANGE, 1024u << 16, &key) != FALSE;
    if (key)
        CryptDestroyKey(key);
    HCERTSTORE store = ok ? CertOpenSystemStoreA(0, "MY") : nullptr;
    for (int i = 1; store && ok && i <= kCertificates; ++i) {
        wchar_t cn[16];
        swprintf(cn, 16, L"Bench %02d", i);
        certbuild::CCertSpec spec;
        spec.m_subject = certbuild::EncodeName({certbuild::Country(L"CN"), certbuild::Org(kOrg), certbuild::Common(cn)});
        spec.m_serial = static_cast<BYTE>(i);
        const certbuild::Bytes der = certbuild::BuildCertificate(prov, AT_KEYEXCHANGE, spec);
        PCCERT_CONTEXT cert =
            der.empty() ? nullptr
                        : CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
        ok = cert && certbuild::SetKeyProv(cert, certbuild::Wide(kContainer), kCsp, AT_KEYEXCHANGE) &&
             CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
        if (cert)
            CertFreeCertificateContext(cert);
    }
    if (store)
        CertCloseStore(store, 0);
    CryptReleaseContext(prov, 0);
    return ok;
}

struct Process {
    PROCESS_INFORMATION pi = {};

    bool Start(const std::string& commandLine, const std::string& directory)
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        std::string line = commandLine;
        return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                              directory.empty() ? nullptr : directory.c_str(), &si, &pi) != FALSE;
    }
    // Closes `window`, waits for the end and releases the handles.
    void End(HWND window)
    {
        if (window)
            PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

struct Found {
    DWORD thread;
    const wchar_t* windowClass;
    HWND window;
};

BOOL CALLBACK Visit(HWND window, LPARAM data)
{
    auto* found = reinterpret_cast<Found*>(data);
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    if (GetWindowThreadProcessId(window, nullptr) != found->thread || lstrcmpW(name, found->windowClass) != 0 ||
        !IsWindowVisible(window))
        return TRUE;
    found->window = window;
    return FALSE;
}

// Polls until `ready` holds for a visible top-level window of `windowClass`
// of the process's thread; null after 60 s.
HWND WaitForWindow(const Process& p, const wchar_t* windowClass, const std::function<bool(HWND)>& ready)
{
    const double give = Now() + 60;
    while (Now() < give) {
        Found found = {p.pi.dwThreadId, windowClass, nullptr};
        EnumWindows(&Visit, reinterpret_cast<LPARAM>(&found));
        if (found.window && ready(found.window))
            return found.window;
        Sleep(2);
    }
    return nullptr;
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: kvocheck_startup_bench KVOCHECK_EXE [ROUNDS]\n");
        return 2;
    }
    const std::string kvocheck = argv[1];
    int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    if (rounds < 1)
        rounds = 1;

    char base[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + "kvocheck_bench." + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
    if (!AddCertificates()) {
        std::fprintf(stderr, "kvocheck_startup_bench: cannot make the %d certificates\n", kCertificates);
        RemoveCertificates();
        return 1;
    }

    std::vector<double> ours, notepad;
    bool ok = true;
    for (int i = 0; i < rounds && ok; ++i) {
        Process p;
        double start = Now();
        ok = p.Start("\"" + kvocheck + "\"", dir);
        HWND main = ok ? WaitForWindow(p, L"#32770",
                                       [](HWND w) {
                                           return SendMessageW(GetDlgItem(w, kCertList), LB_GETCOUNT, 0, 0) >=
                                                      kCertificates &&
                                                  SendMessageW(GetDlgItem(w, kLogList), LVM_GETITEMCOUNT, 0, 0) >= 1;
                                       })
                       : nullptr;
        if (main)
            ours.push_back(Now() - start);
        if (ok)
            p.End(main);
        ok = ok && main;

        Process n;
        start = Now();
        ok = ok && n.Start("notepad.exe", "");
        HWND window = ok ? WaitForWindow(n, L"Notepad", [](HWND) { return true; }) : nullptr;
        if (window)
            notepad.push_back(Now() - start);
        if (ok)
            n.End(window);
        ok = ok && window;
    }
    RemoveCertificates();
    DeleteFileA((dir + "\\KvoLog.log").c_str());
    RemoveDirectoryA(dir.c_str());
    if (!ok || ours.empty() || notepad.empty()) {
        std::fprintf(stderr, "kvocheck_startup_bench: a window did not show\n");
        return 1;
    }
    const double a = Median(ours), b = Median(notepad);
    std::printf("%-44s %10s\n", "start-up to the window (median of runs)", "ms");
    std::printf("%-44s %10.1f\n", "KvoCheck, dialog filled, 50 certificates", a * 1e3);
    std::printf("%-44s %10.1f\n", "notepad, window shown", b * 1e3);
    std::printf("ratio (KvoCheck / notepad): %.2fx over %d runs each\n", a / b, rounds);
    return 0;
}
