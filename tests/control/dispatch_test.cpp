// The dispatch surface of the control through IDispatch: names and DISPIDs,
// rejection of bad calls before any method body runs, result types, the
// session accessors of a new instance, type information (names from the
// registered control, types against the dispatch table), and the ANSI
// (code page 936) conversion of texts.
#include "comutil.h"
#include "dispatch.h"
#include "methods.h"
#include "ocx.h"
#include "ocxtest.h"
#include "qelcryptctrl.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <algorithm>
#include <cwctype>
#include <string>

namespace {

using fw::CComPtr;
using fw::CVariant;

using methods::Method;
using methods::Param;

std::vector<VARTYPE> ParamTypes(const Method& m)
{
    std::vector<VARTYPE> types;
    for (const Param& p : m.params)
        types.push_back(methods::TypeOf(p.role));
    return types;
}

const long kSentinel = 0x5A5A5A5A;

VARIANT Sentinel()
{
    return ocx::Long(kSentinel);
}

// An argument no method parameter accepts: an array converts to neither a
// number nor a text.
VARIANT Uncoercible()
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ARRAY | VT_I4;
    V_ARRAY(&v) = SafeArrayCreateVector(VT_I4, 0, 2);
    return v;
}

VARIANT Acceptable(VARTYPE t)
{
    return t == VT_I4 ? ocx::Long(0) : ocx::Text(L"");
}

std::wstring MixCase(const char* name)
{
    std::wstring s = methods::Wide(name);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<wchar_t>(i % 2 ? std::towupper(s[i]) : std::towlower(s[i]));
    return s;
}

class Dispatch : public ocx::CControlTest {
protected:
    HRESULT Invoke(DISPID id, CVariant& result, std::vector<VARIANT> args, UINT* argErr = nullptr)
    {
        std::vector<VARIANT> rev(args.rbegin(), args.rend());
        DISPPARAMS params = {rev.empty() ? nullptr : rev.data(), nullptr, static_cast<UINT>(rev.size()), 0};
        HRESULT hr = disp->Invoke(id, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result,
                                  nullptr, argErr);
        for (VARIANT& v : rev) VariantClear(&v);
        return hr;
    }

};

TEST_F(Dispatch, NamesResolveCaseInsensitivelyWithParameterPositions)
{
    for (const Method& m : methods::All()) {
        std::vector<std::wstring> text{MixCase(m.name)};
        for (const Param& p : m.params) text.push_back(methods::Wide(p.name));
        std::vector<LPOLESTR> names;
        for (std::wstring& t : text) names.push_back(&t[0]);
        std::vector<DISPID> ids(names.size(), 777);
        ASSERT_EQ(S_OK, disp->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), 0, ids.data()))
            << "name " << static_cast<int>(m.id);
        EXPECT_EQ(m.id, ids[0]);
        for (size_t i = 1; i < ids.size(); ++i)
            EXPECT_EQ(static_cast<DISPID>(i - 1), ids[i]) << "parameter " << i << " of DISPID " << m.id;
    }
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"NoSuchMethod")};
    DISPID id = 777;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, disp->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id));
    EXPECT_EQ(DISPID_UNKNOWN, id);
}

TEST_F(Dispatch, EveryMethodAnswersWithItsResultType)
{
    for (const Method& m : methods::All()) {
        if (m.id == 2 || m.id == 3)
            continue;  // signing methods are exercised by their own tests
        std::vector<VARIANT> args;
        for (VARTYPE t : ParamTypes(m)) args.push_back(Acceptable(t));
        CVariant result;
        ASSERT_EQ(S_OK, Invoke(m.id, result, args)) << "DISPID " << m.id;
        EXPECT_EQ(m.result, V_VT(&result)) << "result type of DISPID " << m.id;
    }
}

TEST_F(Dispatch, WrongArgumentCountIsRejectedBeforeTheBody)
{
    for (const Method& m : methods::All()) {
        std::vector<VARIANT> more;
        for (VARTYPE t : ParamTypes(m)) more.push_back(Acceptable(t));
        more.push_back(ocx::Long(1));
        CVariant result;
        *static_cast<VARIANT*>(&result) = Sentinel();
        EXPECT_EQ(DISP_E_BADPARAMCOUNT, Invoke(m.id, result, more)) << "one argument too many, DISPID " << m.id;
        EXPECT_EQ(VT_I4, V_VT(&result));
        EXPECT_EQ(kSentinel, V_I4(&result)) << "result written on a rejected call, DISPID " << m.id;
        if (m.params.size() > 0) {
            std::vector<VARIANT> fewer;
            for (size_t i = 1; i < m.params.size(); ++i) fewer.push_back(Acceptable(VT_BSTR));
            EXPECT_EQ(DISP_E_BADPARAMCOUNT, Invoke(m.id, result, fewer)) << "one argument short, DISPID " << m.id;
        }
    }
}

TEST_F(Dispatch, UncoercibleArgumentIsNamedByArgErr)
{
    for (const Method& m : methods::All()) {
        size_t n = m.params.size();
        for (size_t bad = 0; bad < n; ++bad) {
            std::vector<VARIANT> args;
            size_t i = 0;
            for (VARTYPE t : ParamTypes(m)) args.push_back(i++ == bad ? Uncoercible() : Acceptable(t));
            CVariant result;
            *static_cast<VARIANT*>(&result) = Sentinel();
            UINT argErr = 99;
            EXPECT_EQ(DISP_E_TYPEMISMATCH, Invoke(m.id, result, args, &argErr)) << "DISPID " << m.id;
            EXPECT_EQ(n - 1 - bad, argErr) << "rgvarg index of parameter " << bad << ", DISPID " << m.id;
            EXPECT_EQ(kSentinel, V_I4(&result));
        }
    }
    // A text where a number is expected fails the same way.
    CVariant result;
    UINT argErr = 99;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Invoke(31, result, {ocx::Text(L"not a number")}, &argErr));
    EXPECT_EQ(0u, argErr);
}

TEST_F(Dispatch, NamedArgumentsAreHonouredOrRejected)
{
    VARIANT args[2] = {ocx::Text(L"subject"), ocx::Text(L"content")};
    DISPID named[2] = {0, 1};  // szSubject, szContent given by name
    DISPPARAMS params = {args, named, 2, 2};
    CVariant result;
    EXPECT_EQ(S_OK, disp->Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr));

    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS putParams = {args, &put, 1, 1};
    UINT argErr = 99;
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, disp->Invoke(14, IID_NULL, 0, DISPATCH_METHOD, &putParams, &result, nullptr,
                                                 &argErr));
    EXPECT_EQ(0u, argErr);
    DISPID twice[2] = {0, 0};
    DISPPARAMS dupParams = {args, twice, 2, 2};
    EXPECT_EQ(DISP_E_PARAMNOTFOUND, disp->Invoke(16, IID_NULL, 0, DISPATCH_METHOD, &dupParams, &result, nullptr,
                                                 &argErr));
    EXPECT_EQ(1u, argErr);
    for (VARIANT& v : args) VariantClear(&v);

    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, Invoke(33, result, {}));
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, disp->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, nullptr, nullptr, nullptr));
}

TEST_F(Dispatch, NewInstanceState)
{
    CVariant r;
    ASSERT_EQ(S_OK, Invoke(1, r, {}));
    EXPECT_EQ(1010, V_I4(&r));
    for (DISPID text : {4, 6, 8, 10, 12, 15}) {
        CVariant s;
        ASSERT_EQ(S_OK, Invoke(text, s, {}));
        ASSERT_EQ(VT_BSTR, V_VT(&s));
        EXPECT_EQ(0u, SysStringLen(V_BSTR(&s))) << "DISPID " << text;
    }
    for (DISPID len : {5, 7, 9, 11, 13}) {
        CVariant n;
        ASSERT_EQ(S_OK, Invoke(len, n, {}));
        EXPECT_EQ(0, V_I4(&n)) << "DISPID " << len;
    }
    // InitCSP accepts anything, a NULL BSTR included, and changes nothing.
    for (const wchar_t* name : {L"anything", L"", static_cast<const wchar_t*>(nullptr), L"\u4e2d\u6587CSP"}) {
        CVariant code;
        ASSERT_EQ(S_OK, Invoke(14, code, {ocx::Text(name)}));
        EXPECT_EQ(VT_I2, V_VT(&code));
        EXPECT_EQ(0, V_I2(&code));
        CVariant csp;
        ASSERT_EQ(S_OK, Invoke(15, csp, {}));
        EXPECT_EQ(0u, SysStringLen(V_BSTR(&csp)));
    }
    CVariant none;
    EXPECT_EQ(S_OK, Invoke(31, none, {ocx::Long(2)}));
    EXPECT_EQ(VT_EMPTY, V_VT(&none));
}

TEST_F(Dispatch, TypeInformationMatchesTheTable)
{
    UINT count = 0;
    ASSERT_EQ(S_OK, disp->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    CComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, disp->GetTypeInfo(0, 0, &info));
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualIID(ocx::kDiid, attr->guid));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    info->ReleaseTypeAttr(attr);

    for (const Method& m : methods::All()) {
        BSTR names[5] = {};
        UINT got = 0;
        ASSERT_EQ(S_OK, info->GetNames(m.id, names, 5, &got)) << "DISPID " << m.id;
        ASSERT_EQ(1 + m.params.size(), got) << "DISPID " << m.id;
        EXPECT_STREQ(methods::Wide(m.name).c_str(), names[0]);
        size_t i = 1;
        for (const Param& p : m.params) EXPECT_STREQ(methods::Wide(p.name).c_str(), names[i++]);
        for (UINT k = 0; k < got; ++k) SysFreeString(names[k]);
    }

    CComPtr<IProvideClassInfo2> classInfo;
    ASSERT_EQ(S_OK, disp.As(classInfo));
    GUID events = GUID_NULL;
    ASSERT_EQ(S_OK, classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events));
    EXPECT_TRUE(IsEqualIID(ocx::kEventDiid, events));
    CComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, classInfo->GetClassInfo(&coclass));
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualCLSID(ocx::kClsid, attr->guid));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    coclass->ReleaseTypeAttr(attr);
}

TEST_F(Dispatch, TypeInformationSurvivesABrokenRegistration)
{
    // Point the registered library at a file that does not exist.
    std::string key = "TypeLib\\" + ocx::GuidText(ocx::kLibid) + "\\1.0\\0\\" +
                      (sizeof(void*) == 8 ? "win64" : "win32");
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &h, nullptr));
    const char bogus[] = "C:\\nowhere\\missing.tlb";
    RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(bogus), sizeof(bogus));
    RegCloseKey(h);

    CComPtr<IDispatch> fresh;
    ASSERT_EQ(S_OK, ocx::Create(IID_IDispatch, reinterpret_cast<void**>(&fresh)));
    CComPtr<ITypeInfo> info;
    EXPECT_EQ(S_OK, fresh->GetTypeInfo(0, 0, &info)) << "no fallback to the module's own type library";
    LPOLESTR name[] = {const_cast<LPOLESTR>(L"getversion")};
    DISPID id = 0;
    EXPECT_EQ(S_OK, fresh->GetIDsOfNames(IID_NULL, name, 1, 0, &id));
    EXPECT_EQ(1, id);

    EXPECT_EQ(S_OK, ocx::CallExport("DllRegisterServer"));
}

// Whether the type library declares a type of the table; Wanted names it.
bool Declares(VARTYPE declared, fw::DispType t)
{
    switch (t) {
    case fw::DispType::Void: return declared == VT_VOID || declared == VT_EMPTY;
    case fw::DispType::Short: return declared == VT_I2;
    case fw::DispType::Long: return declared == VT_I4;
    case fw::DispType::Text: return declared == VT_BSTR;
    }
    return false;
}

const char* Wanted(fw::DispType t)
{
    switch (t) {
    case fw::DispType::Void: return "VT_VOID";
    case fw::DispType::Short: return "VT_I2";
    case fw::DispType::Long: return "VT_I4";
    case fw::DispType::Text: return "VT_BSTR";
    }
    return "?";
}

// The dispatch interface as the type library bound into the module
// declares it: what scripts see.
class TypeLibrary : public testing::Test {
protected:
    void SetUp() override
    {
        CComPtr<ITypeLib> lib;
        ASSERT_EQ(S_OK, LoadTypeLibEx(L"" QEL_OCX_PATH, REGKIND_NONE, &lib));
        ASSERT_EQ(S_OK, lib->GetTypeInfoOfGuid(ocx::kDiid, &info));
        TYPEATTR* attr = nullptr;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
        funcs = attr->cFuncs;
        info->ReleaseTypeAttr(attr);
    }

    CComPtr<ITypeInfo> info;
    UINT funcs = 0;
};

// What scripts see against what Invoke coerces to (the control's dispatch
// table), member by member.
TEST_F(TypeLibrary, DeclaresTheTypesOfTheDispatchTable)
{

    const fw::DispTable& table = CQelCryptCtrl::DispatchTable();
    EXPECT_EQ(table.count, funcs) << "members in the table and in the type library";
    for (UINT i = 0; i < funcs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
        const fw::DispMethod* m = table.Find(f->memid);
        if (!m) {
            ADD_FAILURE() << "DISPID " << f->memid << " is in the type library but not in the table";
        } else {
            EXPECT_EQ(INVOKE_FUNC, f->invkind) << m->id;
            EXPECT_TRUE(Declares(f->elemdescFunc.tdesc.vt, m->result))
                << "result of DISPID " << m->id << ": VARTYPE " << f->elemdescFunc.tdesc.vt << ", expected "
                << Wanted(m->result);
            EXPECT_EQ(m->argCount, f->cParams) << "parameters of DISPID " << m->id;
            EXPECT_EQ(0, f->cParamsOpt) << m->id;
            for (int a = 0; a < m->argCount && a < f->cParams; ++a) {
                VARTYPE declared = f->lprgelemdescParam[a].tdesc.vt;
                EXPECT_TRUE(Declares(declared, m->argTypes[a]))
                    << "parameter " << a << " of DISPID " << m->id << ": VARTYPE " << declared << ", expected "
                    << Wanted(m->argTypes[a]);
            }
        }
        info->ReleaseFuncDesc(f);
    }
}

// What scripts see (the type library bound into the module) against the
// interface as pages know it: every member, its result and parameter types.
TEST_F(TypeLibrary, DeclaresTheDocumentedMethods)
{

    EXPECT_EQ(methods::All().size(), funcs) << "members in the type library";
    std::vector<DISPID> seen;
    for (UINT i = 0; i < funcs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(S_OK, info->GetFuncDesc(i, &f));
        const Method* m = methods::Find(f->memid);
        if (!m) {
            ADD_FAILURE() << "DISPID " << f->memid << " is no method of the interface";
        } else {
            seen.push_back(m->id);
            const VARTYPE result = f->elemdescFunc.tdesc.vt;
            EXPECT_EQ(m->result, result == VT_VOID ? VARTYPE(VT_EMPTY) : result) << "result of " << m->name;
            EXPECT_EQ(static_cast<int>(m->params.size()), f->cParams) << "parameters of " << m->name;
            for (size_t a = 0; a < m->params.size() && a < static_cast<size_t>(f->cParams); ++a)
                EXPECT_EQ(methods::TypeOf(m->params[a].role), f->lprgelemdescParam[a].tdesc.vt)
                    << "parameter " << m->params[a].name << " of " << m->name;
        }
        info->ReleaseFuncDesc(f);
    }
    for (const Method& m : methods::All())
        EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), m.id)) << m.name << " is missing";
}

TEST(AnsiText, ConvertsThroughCodePage936)
{
    ASSERT_EQ(936u, GetACP()) << "tests expect the zh_CN locale";
    BSTR chinese = SysAllocString(L"\u4e2d\u6587 text");
    std::string bytes = fw::BstrToAnsi(chinese);
    EXPECT_EQ("\xd6\xd0\xce\xc4 text", bytes);
    BSTR back = fw::AnsiToBstr(bytes);
    EXPECT_STREQ(L"\u4e2d\u6587 text", back);
    EXPECT_EQ(SysStringLen(chinese), SysStringLen(back));
    SysFreeString(chinese);
    SysFreeString(back);

    EXPECT_EQ("", fw::BstrToAnsi(nullptr));
    BSTR empty = fw::AnsiToBstr("");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0u, SysStringLen(empty));
    SysFreeString(empty);
}

}  // namespace
