// fw::DispInvoke when a method body throws: the call fails with
// DISP_E_EXCEPTION and an EXCEPINFO that describes the exception, and the
// caller's result stays as it was.
#include "comutil.h"
#include "dispatch.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace {

const long kSentinel = 0x5A5A5A5A;
const char kSource[] = "DispTest";

// Each body sets a result first, so a result written after all would show.
const fw::DispMethod kMethods[] = {
    {L"Boom", 1, fw::DispType::Long, 0, {}, {},
     [](void*, const fw::DispArgs&, fw::DispResult& r) {
         r.SetLong(1);
         throw std::runtime_error("boom");
     }},
    {L"Exhausted", 2, fw::DispType::Text, 0, {}, {},
     [](void*, const fw::DispArgs&, fw::DispResult& r) {
         r.SetText("partial");
         throw std::bad_alloc();
     }},
    {L"Chinese", 3, fw::DispType::Short, 1, {fw::DispType::Text}, {L"text"},
     [](void*, const fw::DispArgs& a, fw::DispResult&) { throw std::runtime_error(a.Text(0)); }},
    {L"Other", 4, fw::DispType::Void, 0, {}, {}, [](void*, const fw::DispArgs&, fw::DispResult&) { throw 42; }},
};
const fw::DispTable kTable = {kMethods, sizeof(kMethods) / sizeof(kMethods[0]), kSource};

struct Case {
    DISPID id;
    HRESULT scode;
    const wchar_t* description;  // null: any text
};

TEST(DispInvoke, ExceptionOfTheBodyBecomesDispEException)
{
    ASSERT_EQ(936u, GetACP()) << "tests expect the zh_CN locale";
    const Case cases[] = {
        {1, E_FAIL, L"boom"},
        {2, E_OUTOFMEMORY, nullptr},
        {3, E_FAIL, L"\u4e2d\u6587"},  // what() is 8-bit text in the ANSI code page
        {4, E_FAIL, nullptr},
    };
    for (const Case& c : cases) {
        VARIANT arg;
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = SysAllocString(L"\u4e2d\u6587");
        const fw::DispMethod* m = kTable.Find(c.id);
        DISPPARAMS params = {&arg, nullptr, static_cast<UINT>(m->argCount), 0};
        fw::CVariant result;
        V_VT(&result) = VT_I4;
        V_I4(&result) = kSentinel;
        EXCEPINFO info = {};
        info.wCode = 0xA5A5;
        info.scode = 0x5A5A5A5A;
        UINT argErr = 77;

        HRESULT hr = fw::DispInvoke(kTable, nullptr, c.id, DISPATCH_METHOD, &params, &result, &info, &argErr);
        EXPECT_EQ(DISP_E_EXCEPTION, hr) << "DISPID " << c.id;
        EXPECT_EQ(c.scode, info.scode) << "DISPID " << c.id;
        EXPECT_EQ(0, info.wCode) << "wCode and scode both set, DISPID " << c.id;
        EXPECT_EQ(nullptr, info.pfnDeferredFillIn) << "DISPID " << c.id;
        EXPECT_STREQ(L"DispTest", info.bstrSource) << "DISPID " << c.id;
        if (c.description)
            EXPECT_STREQ(c.description, info.bstrDescription) << "DISPID " << c.id;
        else
            EXPECT_NE(0u, SysStringLen(info.bstrDescription)) << "no description, DISPID " << c.id;
        EXPECT_EQ(VT_I4, V_VT(&result)) << "result written, DISPID " << c.id;
        EXPECT_EQ(kSentinel, V_I4(&result)) << "DISPID " << c.id;
        EXPECT_EQ(77u, argErr) << "DISPID " << c.id;
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);

        // Without an EXCEPINFO the call fails the same way.
        EXPECT_EQ(DISP_E_EXCEPTION, fw::DispInvoke(kTable, nullptr, c.id, DISPATCH_METHOD, &params, &result,
                                                   nullptr, nullptr))
            << "DISPID " << c.id;
        EXPECT_EQ(kSentinel, V_I4(&result)) << "DISPID " << c.id;
        VariantClear(&arg);
    }
}

}  // namespace
