// Self-registration of QELCRYPT.OCX through its own entry points: every key
// and value it writes, both safe categories, the type library, and an
// unregistration that removes it all and can be repeated.
#include "nocopy.h"
#include "ocx.h"

#include <gtest/gtest.h>

#include <comcat.h>
#include <olectl.h>

namespace {

const CATID kSafeForInitializing = {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
const CATID kSafeForScripting = {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

std::string ModulePath()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(ocx::Module(), path, MAX_PATH);
    return path;
}

// The default value of a key under HKEY_CLASSES_ROOT as UTF-16, or a text
// that says why there is none.
std::wstring WideValue(const std::string& key)
{
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, std::wstring(key.begin(), key.end()).c_str(), 0, KEY_READ, &h) !=
        ERROR_SUCCESS)
        return L"<no key>";
    std::wstring value(32768, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t)), type = 0;
    LONG rc = RegQueryValueExW(h, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &size);
    RegCloseKey(h);
    if (rc != ERROR_SUCCESS)
        return L"<no value, error " + std::to_wstring(rc) + L">";
    if (type != REG_SZ)
        return L"<type " + std::to_wstring(type) + L">";
    value.resize(size / sizeof(wchar_t));
    if (!value.empty() && value.back() == L'\0')
        value.pop_back();
    return value;
}

// A copy of the build's module in a new folder, loaded from there; unloaded
// and deleted with its folder at the end.
class ModuleCopy : private CNoCopy {
public:
    explicit ModuleCopy(const std::wstring& folder) : m_folder(folder), m_path(folder + L"\\QELCRYPT.OCX")
    {
        const std::string built = QEL_OCX_PATH;
        if (CreateDirectoryW(m_folder.c_str(), nullptr) &&
            CopyFileW(std::wstring(built.begin(), built.end()).c_str(), m_path.c_str(), FALSE))
            m_module = LoadLibraryW(m_path.c_str());
    }
    ~ModuleCopy()
    {
        if (m_module)
            FreeLibrary(m_module);
        DeleteFileW(m_path.c_str());
        RemoveDirectoryW(m_folder.c_str());
    }

    HMODULE Module() const { return m_module; }
    const std::wstring& Path() const { return m_path; }
    HRESULT Call(const char* name) const
    {
        using Fn = HRESULT(STDAPICALLTYPE*)();
        FARPROC proc = GetProcAddress(m_module, name);
        return proc ? reinterpret_cast<Fn>(reinterpret_cast<void*>(proc))()
                    : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }

private:
    std::wstring m_folder, m_path;
    HMODULE m_module = nullptr;
};

std::string Value(const std::string& key, const char* name = nullptr)
{
    std::string v = "<missing>";
    ocx::ReadClassesValue(key, name, &v);
    return v;
}

bool ImplementsCategory(const CATID& catid)
{
    ICatInformation* info = nullptr;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICatInformation, reinterpret_cast<void**>(&info))))
        return false;
    CATID id = catid;
    HRESULT hr = info->IsClassOfCategories(ocx::kClsid, 1, &id, 0, nullptr);
    info->Release();
    return hr == S_OK;
}

class Registration : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_NE(nullptr, ocx::Module()) << "cannot load " << QEL_OCX_PATH;
        clsidKey = "CLSID\\" + ocx::GuidText(ocx::kClsid);
        typeLibKey = "TypeLib\\" + ocx::GuidText(ocx::kLibid) + "\\1.0";
    }
    // Leave the control registered for the tests that follow.
    void TearDown() override
    {
        EXPECT_EQ(S_OK, ocx::CallExport("DllRegisterServer"));
        CoUninitialize();
    }
    std::string clsidKey, typeLibKey;
};

TEST_F(Registration, WritesClassProgIdCategoriesAndTypeLibrary)
{
    ASSERT_EQ(S_OK, ocx::CallExport("DllRegisterServer"));
    std::string path = ModulePath();

    EXPECT_EQ("QelCrypt Control", Value(clsidKey));
    EXPECT_EQ(path, Value(clsidKey + "\\InprocServer32"));
    EXPECT_EQ("Apartment", Value(clsidKey + "\\InprocServer32", "ThreadingModel"));
    EXPECT_EQ("QELCRYPT.QelCryptCtrl.1", Value(clsidKey + "\\ProgID"));
    EXPECT_TRUE(ocx::ClassesKeyExists(clsidKey + "\\Control"));
    EXPECT_EQ(path + ", 1", Value(clsidKey + "\\ToolboxBitmap32"));
    EXPECT_EQ("0", Value(clsidKey + "\\MiscStatus"));
    EXPECT_EQ("132497", Value(clsidKey + "\\MiscStatus\\1")) << "0x20591 in decimal";
    EXPECT_EQ(ocx::GuidText(ocx::kLibid), Value(clsidKey + "\\TypeLib"));
    EXPECT_EQ("1.0", Value(clsidKey + "\\Version"));

    EXPECT_EQ("QelCrypt Control", Value("QELCRYPT.QelCryptCtrl.1"));
    EXPECT_EQ(ocx::GuidText(ocx::kClsid), Value("QELCRYPT.QelCryptCtrl.1\\CLSID"));
    CLSID fromProgId = {};
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"QELCRYPT.QelCryptCtrl.1", &fromProgId));
    EXPECT_TRUE(IsEqualCLSID(ocx::kClsid, fromProgId));

    EXPECT_TRUE(ImplementsCategory(kSafeForInitializing));
    EXPECT_TRUE(ImplementsCategory(kSafeForScripting));
    EXPECT_EQ("Controls safely initializable from persistent data!",
              Value("Component Categories\\" + ocx::GuidText(kSafeForInitializing), "409"));
    EXPECT_EQ("Controls safely scriptable!",
              Value("Component Categories\\" + ocx::GuidText(kSafeForScripting), "409"));

    EXPECT_EQ("QelCrypt ActiveX Control module", Value(typeLibKey));
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadRegTypeLib(ocx::kLibid, 1, 0, 0, &lib));
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
    EXPECT_EQ(1, attr->wMajorVerNum);
    EXPECT_EQ(0, attr->wMinorVerNum);
    lib->ReleaseTLibAttr(attr);
    lib->Release();
}

TEST_F(Registration, UnregisterRemovesEverythingAndCanBeRepeated)
{
    ASSERT_EQ(S_OK, ocx::CallExport("DllRegisterServer"));
    ASSERT_EQ(S_OK, ocx::CallExport("DllUnregisterServer"));

    EXPECT_FALSE(ocx::ClassesKeyExists(clsidKey)) << "the CLSID key stays";
    EXPECT_FALSE(ocx::ClassesKeyExists("QELCRYPT.QelCryptCtrl.1")) << "the ProgID key stays";
    EXPECT_FALSE(ocx::ClassesKeyExists(typeLibKey)) << "the type library stays registered";
    EXPECT_FALSE(ocx::ClassesKeyExists("Interface\\" + ocx::GuidText(ocx::kDiid)));
    EXPECT_FALSE(ImplementsCategory(kSafeForInitializing));
    EXPECT_FALSE(ImplementsCategory(kSafeForScripting));
    ITypeLib* lib = reinterpret_cast<ITypeLib*>(0x1);
    EXPECT_NE(S_OK, LoadRegTypeLib(ocx::kLibid, 1, 0, 0, &lib));

    EXPECT_EQ(S_OK, ocx::CallExport("DllUnregisterServer")) << "a second unregistration must succeed";
}

// A module in a folder whose name code page 936 cannot spell registers its
// real path: the registry gets it in UTF-16, not through the ANSI code page.
TEST_F(Registration, ModulePathOutsideTheAnsiCodePage)
{
    // Д and м are in code page 936; έ, ї, ğ and Ł are not.
    const std::wstring name =
        L"qelreg-\u0414\u043c-\u03ad\u0457\u011f\u0141-" + std::to_wstring(GetCurrentProcessId());
    BOOL lossy = FALSE;
    WideCharToMultiByte(936, 0, name.c_str(), -1, nullptr, 0, nullptr, &lossy);
    ASSERT_TRUE(lossy) << "the folder name should have characters outside code page 936";
    wchar_t temp[MAX_PATH] = L"";
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));

    ModuleCopy copy(temp + name);
    ASSERT_NE(nullptr, copy.Module()) << "cannot load the copy, error " << GetLastError();
    EXPECT_EQ(S_OK, copy.Call("DllRegisterServer"));
    EXPECT_EQ(copy.Path(), WideValue(clsidKey + "\\InprocServer32"));
    EXPECT_EQ(copy.Path() + L", 1", WideValue(clsidKey + "\\ToolboxBitmap32"));
    EXPECT_EQ(S_OK, copy.Call("DllUnregisterServer"));
    // TearDown registers the build's module again.
}

TEST_F(Registration, EntryPointsAndVersionResource)
{
    for (const char* name : {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"})
        EXPECT_NE(nullptr, GetProcAddress(ocx::Module(), name)) << name;

    std::string path = ModulePath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &block[0]));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(&block[0], "\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionLS);

    const struct { const char* name; const char* text; } strings[] = {
        {"FileDescription", "Vantor\xbf\xd8\xbc\xfe"},  // the control's name in code page 936
        {"ProductName", "Vantor"},
        {"InternalName", "QelCrypto"},
        {"OriginalFilename", "QelCrypt.exe"},
        {"FileVersion", "1, 0, 1, 0"},
        {"ProductVersion", "1, 0, 1, 0"},
    };
    for (const auto& s : strings) {
        char* text = nullptr;
        std::string query = std::string("\\StringFileInfo\\080404b0\\") + s.name;
        ASSERT_TRUE(VerQueryValueA(&block[0], query.c_str(), reinterpret_cast<void**>(&text), &len)) << s.name;
        EXPECT_STREQ(s.text, text) << s.name;
    }

    char userType[64] = "";
    EXPECT_GT(LoadStringA(ocx::Module(), 1, userType, sizeof(userType)), 0);
    EXPECT_STREQ("QelCrypt Control", userType);
    HRSRC bitmap = FindResourceA(ocx::Module(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(224u, SizeofResource(ocx::Module(), bitmap));
}

}  // namespace
