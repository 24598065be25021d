// ShowCertificate as it really runs: WinExec starts "rundll32.exe ..." and
// finds the stand-in viewer next to this program first (viewer_stub.cpp),
// which records its command line and the bytes of the file it was given.
// The test gives itself a private temporary directory with a Chinese name.
#include "scratchdir.h"
#include "certinfo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "certtest.h"
#include "certtext.h"

using cert::CCertInfo;
using cert::CCertStoreList;
using cert::ShowCertificate;

namespace {

using certbuild::Bytes;

std::string ReadFile(const std::string& path, bool* exists = nullptr)
{
    std::string data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (exists)
        *exists = f != nullptr;
    if (!f)
        return data;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0)
        data.append(buffer, n);
    std::fclose(f);
    return data;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}


class ShowCertificateTest : public testing::Test {
protected:
    void SetUp() override
    {
        // WinExec waits for the started program's first wait for input only
        // in a process that uses the window system, as the control's and the
        // tool's processes do.
        ASSERT_NE(nullptr, LoadLibraryA("user32.dll"));

        m_tmp = Env("TMP");
        m_tempVar = Env("TEMP");
        char base[MAX_PATH] = "";
        ASSERT_GT(GetTempPathA(MAX_PATH, base), 0u);
        // "证书" in code page 936.
        m_temp = std::string(base) + "qel\xD6\xA4\xCA\xE9-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(GetTickCount()) + "-" +
                 testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(m_temp.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
            << m_temp << " " << GetLastError();
        // The stand-in's record goes to a directory with an ASCII name: Wine
        // 8 cuts double-byte environment values short in GetEnvironmentVariableA.
        m_views = std::string(base) + "qelviews-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(GetTickCount()) + "-" +
                  testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(m_views.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        SetEnvironmentVariableA("TMP", m_temp.c_str());
        SetEnvironmentVariableA("TEMP", m_temp.c_str());
        m_record = m_views + "\\viewer";
        SetEnvironmentVariableA("QEL_VIEWER_RECORD", m_record.c_str());
        const std::string event = "qel-viewer-release-" + std::to_string(GetCurrentProcessId());
        m_release = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        ASSERT_NE(nullptr, m_release);
        SetEnvironmentVariableA("QEL_VIEWER_RELEASE", event.c_str());
    }

    void TearDown() override
    {
        SetEnvironmentVariableA("TMP", m_tmp.empty() ? nullptr : m_tmp.c_str());
        SetEnvironmentVariableA("TEMP", m_tempVar.empty() ? nullptr : m_tempVar.c_str());
        if (m_release) {
            SetEvent(m_release);
            if (Exists(m_record + ".cmd"))
                for (int i = 0; i < 100 && !Exists(m_record + ".end"); ++i)
                    Sleep(50);
            CloseHandle(m_release);
        }
        for (const std::string& dir : {m_temp, m_views}) {
            for (const auto& entry : scratch::Listing(dir + "\\"))
                DeleteFileA((dir + "\\" + entry.first).c_str());
            RemoveDirectoryA(dir.c_str());
        }
    }

    static std::string Env(const char* name)
    {
        char value[MAX_PATH * 2] = "";
        const DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
        return n > 0 && n < sizeof(value) ? value : "";
    }

    std::string m_tmp, m_tempVar;  // the variables as they were
    std::string m_temp, m_views, m_record;
    HANDLE m_release = nullptr;
};

TEST_F(ShowCertificateTest, EmptySubjectStartsNothing)
{
    CCertStoreList list;
    ASSERT_GT(list.LoadStore("MY"), 0);
    CCertInfo info;
    int i = 0;
    while (i < list.GetCount() && !list.GetCertInfo(i, info))
        ++i;
    ASSERT_FALSE(info.m_strCertPem.empty());
    info.m_strSubject.clear();
    EXPECT_EQ(1, ShowCertificate(info));
    Sleep(500);
    EXPECT_FALSE(Exists(m_record + ".cmd")) << "a viewer was started";
    EXPECT_TRUE(scratch::Listing(m_temp + "\\").empty()) << "a temporary file was made";
}

TEST_F(ShowCertificateTest, ViewerGetsTheDerBytesAndTheFileGoes)
{
    const std::vector<certtest::CEntry> entries = certtest::Snapshot("MY");
    CCertStoreList list;
    ASSERT_EQ(static_cast<int>(entries.size()), list.LoadStore("MY"));
    CCertInfo info;
    int i = 0;
    while (i < list.GetCount() && !list.GetCertInfo(i, info))
        ++i;
    ASSERT_LT(i, list.GetCount());

    const DWORD start = GetTickCount();
    EXPECT_EQ(1, ShowCertificate(info));
    const DWORD elapsed = GetTickCount() - start;

    bool started = false;
    const std::string command = ReadFile(m_record + ".cmd", &started);
    ASSERT_TRUE(started) << "no viewer was started";
    const std::string prefix = "rundll32.exe cryptext.dll,CryptExtOpenCER " + m_temp + "\\Tes";
    EXPECT_EQ(prefix, command.substr(0, prefix.size()));
    const std::string path = command.substr(command.find(m_temp));
    EXPECT_EQ(".tmp", path.substr(path.size() - 4));
    const Bytes& der = entries[static_cast<size_t>(i)].m_der;
    EXPECT_EQ(std::string(der.begin(), der.end()), ReadFile(m_record + ".der"));

    EXPECT_FALSE(Exists(path)) << "the temporary file is deleted";
    EXPECT_TRUE(scratch::Listing(m_temp + "\\").empty());
    EXPECT_GE(elapsed, 240u) << "the pause before deleting";
    EXPECT_FALSE(Exists(m_record + ".end")) << "ShowCertificate waited for the viewer to end";
}

}  // namespace
