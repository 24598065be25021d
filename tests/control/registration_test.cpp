// Self-registration of QELCRYPT.OCX through its own entry points: every key
// and value it writes, both safe categories, the type library, and an
// unregistration that removes it all and can be repeated.
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
