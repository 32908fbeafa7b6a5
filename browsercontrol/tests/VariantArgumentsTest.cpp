#include "browsercontrol/js/VariantArguments.h"

#include <gtest/gtest.h>

#include <limits>

using BrowserControl::JS::CArgumentList;
using BrowserControl::JS::CVariant;
using BrowserControl::JS::VariantToInt;

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

TEST(VariantToInt, IntegersAndNumbersThatFitAreTakenOthersRefused)
{
    const auto make = [](VARTYPE type, auto set) {
        VARIANT value;
        ::VariantInit(&value);
        value.vt = type;
        set(value);
        return value;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        VARIANT value;
        bool accepted;
        int result;
    } cases[] = {
        {make(VT_I2, [](VARIANT& v) { v.iVal = -7; }), true, -7},
        {make(VT_UI2, [](VARIANT& v) { v.uiVal = 65535; }), true, 65535},
        {make(VT_I4, [](VARIANT& v) { v.lVal = 640; }), true, 640},
        {make(VT_UI4, [](VARIANT& v) { v.ulVal = 0x7FFFFFFFu; }), true, 2147483647},
        {make(VT_UI4, [](VARIANT& v) { v.ulVal = 0x80000000u; }), false, 0},
        {make(VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; }), false, 0},
        {make(VT_UINT, [](VARIANT& v) { v.uintVal = 0x7FFFFFFFu; }), true, 2147483647},
        {make(VT_UINT, [](VARIANT& v) { v.uintVal = 0xFFFFFFFFu; }), false, 0},
        {make(VT_INT, [](VARIANT& v) { v.intVal = 5; }), true, 5},
        {make(VT_UINT, [](VARIANT& v) { v.uintVal = 480u; }), true, 480},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = -2.9; }), true, -2},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = 640.7; }), true, 640},
        {make(VT_R4, [](VARIANT& v) { v.fltVal = 480.2f; }), true, 480},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = 2147483647.9; }), true, 2147483647},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = -2147483648.9; }), true, -2147483647 - 1},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = 2147483648.0; }), false, 0},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = -2147483649.0; }), false, 0},
        {make(VT_R8, [nan](VARIANT& v) { v.dblVal = nan; }), false, 0},
        {make(VT_R4, [infinity](VARIANT& v) { v.fltVal = static_cast<float>(-infinity); }), false, 0},
        {make(VT_R8, [](VARIANT& v) { v.dblVal = 1e300; }), false, 0},
        {make(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), false, 0},
        {make(VT_UI1, [](VARIANT& v) { v.bVal = 1; }), false, 0},
        {make(VT_EMPTY, [](VARIANT&) {}), false, 0},
    };
    for (const auto& c : cases) {
        int result = 12345;
        EXPECT_EQ(VariantToInt(c.value, result), c.accepted) << c.value.vt;
        EXPECT_EQ(result, c.accepted ? c.result : 12345) << c.value.vt;
    }
    int result = 12345;
    EXPECT_FALSE(VariantToInt(CVariant::String(L"5").Get(), result));
    EXPECT_EQ(result, 12345);
}

} // namespace
