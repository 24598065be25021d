// Stands in for the system's rundll32.exe in the certificate viewer test.
// Placed next to the test program, it is what WinExec starts for
// "rundll32.exe ...": the directory of the starting program is searched
// first. It records what a viewer would see, waits for input as a viewer
// does, and stays until the test releases it.
//
// Environment: QEL_VIEWER_RECORD  path prefix of the record files:
//                                 <prefix>.cmd  the command line
//                                 <prefix>.der  the bytes of the file named last
//                                 <prefix>.end  written when the stub ends
//              QEL_VIEWER_RELEASE name of an event that ends the stub
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Env(const char* name)
{
    char value[MAX_PATH * 2] = "";
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
    return n > 0 && n < sizeof(value) ? value : "";
}

void WriteFile(const std::string& path, const void* data, size_t size)
{
    const std::string part = path + ".part";
    if (FILE* f = std::fopen(part.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    const std::string record = Env("QEL_VIEWER_RECORD");
    if (record.empty())
        return 1;
    const std::string command = GetCommandLineA();
    const char kVerb[] = "CryptExtOpenCER ";
    const size_t at = command.find(kVerb);
    std::string bytes;
    if (at != std::string::npos) {
        if (FILE* f = std::fopen(command.substr(at + std::strlen(kVerb)).c_str(), "rb")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
                bytes.append(buffer, n);
            std::fclose(f);
        }
    }
    WriteFile(record + ".der", bytes.data(), bytes.size());
    WriteFile(record + ".cmd", command.data(), command.size());

    // Waiting in GetMessage is what lets WinExec return in the starting process.
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, Env("QEL_VIEWER_RELEASE").c_str());
    SetTimer(nullptr, 0, 50, nullptr);
    const DWORD start = GetTickCount();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER &&
            (!release || WaitForSingleObject(release, 0) == WAIT_OBJECT_0 || GetTickCount() - start > 30000))
            break;
        DispatchMessageA(&msg);
    }
    if (release)
        CloseHandle(release);
    WriteFile(record + ".end", "", 0);
    return 0;
}
