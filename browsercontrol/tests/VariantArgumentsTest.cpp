#include "browsercontrol/js/VariantArguments.h"

#include <gtest/gtest.h>

using BrowserControl::JS::CArgumentList;
using BrowserControl::JS::CVariant;

namespace {

TEST(VariantArguments, ParamsHoldTheLastArgumentFirst)
{
    CArgumentList arguments;
    arguments.Add(CVariant::Int(7)).Add(CVariant::String(L"second")).Add(CVariant::Float(51.41f));
    DISPPARAMS* params = arguments.Params();
    ASSERT_EQ(params->cArgs, 3u);
    EXPECT_EQ(params->cNamedArgs, 0u);
    EXPECT_EQ(params->rgvarg[0].vt, VT_R4);
    EXPECT_FLOAT_EQ(params->rgvarg[0].fltVal, 51.41f);
    EXPECT_EQ(params->rgvarg[1].vt, VT_BSTR);
    EXPECT_STREQ(params->rgvarg[1].bstrVal, L"second");
    EXPECT_EQ(params->rgvarg[2].vt, VT_INT);
    EXPECT_EQ(params->rgvarg[2].intVal, 7);

    EXPECT_EQ(CArgumentList().Params()->cArgs, 0u);
    EXPECT_EQ(CArgumentList().Params()->rgvarg, nullptr);
}

} // namespace
