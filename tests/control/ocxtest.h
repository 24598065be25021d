// The base of the tests that call a control through its dispatch interface:
// COM initialised and a new control from the module's own class factory for
// each test, released before COM goes.
#ifndef QEL_TESTS_CONTROL_OCXTEST_H
#define QEL_TESTS_CONTROL_OCXTEST_H

#include <gtest/gtest.h>

#include "comutil.h"
#include "ocx.h"

namespace ocx {

class CControlTest : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        ASSERT_EQ(S_OK, Create(IID_IDispatch, reinterpret_cast<void**>(&disp)));
    }
    void TearDown() override
    {
        disp.Release();
        CoUninitialize();
    }

    fw::CComPtr<IDispatch> disp;
};

}  // namespace ocx

#endif
