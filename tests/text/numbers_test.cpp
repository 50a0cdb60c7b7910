#include "text/numbers.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(ClassifyNumber, Table)
{
    struct Case {
        const wchar_t* text;
        NumberKind kind;
    } cases[] = {
        {L"", NumberKind::NotNumeric},      {L"0", NumberKind::Integer},
        {L"-7", NumberKind::Integer},       {L"+7", NumberKind::Integer},
        {L"1e5", NumberKind::Decimal},      {L"1.5", NumberKind::Decimal},
        {L"-", NumberKind::Integer},        {L"+", NumberKind::Integer},
        {L".", NumberKind::Decimal},        {L"1-2", NumberKind::Decimal},
        {L"1.2.3", NumberKind::NotNumeric}, {L"0x10", NumberKind::NotNumeric},
        {L"1e2e3", NumberKind::NotNumeric}, {L"1-2-3", NumberKind::NotNumeric},
        {L" 1 2 ", NumberKind::Integer},    {L"   ", NumberKind::NotNumeric},
        {L"true", NumberKind::NotNumeric},  {L"1E-5", NumberKind::Decimal},
    };
    for (const auto& c : cases) EXPECT_EQ(classifyNumber(c.text), c.kind) << c.text;
}

TEST(ReadDecimal, Values)
{
    EXPECT_EQ(readDecimal(L"1e3"), 1000.0);
    EXPECT_EQ(readDecimal(L"2.5E-1"), 0.25);
    EXPECT_EQ(readDecimal(L"-0.5"), -0.5);
    EXPECT_EQ(readDecimal(L""), 0.0);
    EXPECT_EQ(readDecimal(L"-"), 0.0);
    EXPECT_EQ(readDecimal(L"."), 0.0);
    EXPECT_EQ(readDecimal(L"1-2"), 1.0);
    EXPECT_EQ(readDecimal(L"  +12.25xyz"), 12.25);
    EXPECT_EQ(readDecimal(L"1e"), 1.0);
    EXPECT_EQ(readDecimal(L".5"), 0.5);
    // Correctly rounded, including the extremes.
    EXPECT_EQ(readDecimal(L"0.1"), 0.1);
    EXPECT_EQ(readDecimal(L"1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_EQ(readDecimal(L"4.9e-324"), 4.9e-324);
    EXPECT_TRUE(std::isinf(readDecimal(L"1e400")));
    EXPECT_EQ(readDecimal(L"1e-400"), 0.0);
    EXPECT_EQ(readDecimal(L"123456789012345678901234567890"), 123456789012345678901234567890.0);
}

TEST(ReadDecimal, BeyondTheDoubleRangeBySide)
{
    // The side is where the first significant digit stands, not which way the exponent points.
    const std::wstring manyZeros = L"0." + std::wstring(400, L'0') + L"1";
    EXPECT_EQ(readDecimal(manyZeros), 0.0);
    EXPECT_EQ(readDecimal(L"-" + manyZeros), 0.0);
    EXPECT_TRUE(std::signbit(readDecimal(L"-" + manyZeros)));
    const double subnormal = readDecimal(L"0." + std::wstring(315, L'0') + L"1");
    EXPECT_GT(subnormal, 0.0);
    EXPECT_LT(subnormal, 2.3e-308);
    EXPECT_EQ(readDecimal(L"0." + std::wstring(300, L'0') + L"1e-30"), 0.0);
    EXPECT_EQ(readDecimal(L"0." + std::wstring(400, L'0') + L"1e500"), 1e99);

    const std::wstring hugeMantissa = L"1" + std::wstring(400, L'0');
    EXPECT_EQ(readDecimal(hugeMantissa + L"e-5"), HUGE_VAL);
    EXPECT_EQ(readDecimal(L"-" + hugeMantissa + L".5e-10"), -HUGE_VAL);
    EXPECT_EQ(readDecimal(hugeMantissa + L"e-300"), 1e100);
    EXPECT_EQ(readDecimal(L"00000" + hugeMantissa.substr(0, 300) + L"e9999999999999999999"), HUGE_VAL);
    EXPECT_EQ(readDecimal(L"1e-9999999999999999999"), 0.0);
}

TEST(ReadInteger, Values)
{
    EXPECT_EQ(readInteger(L"20000000"), 20000000);
    EXPECT_EQ(readInteger(L"-42"), -42);
    EXPECT_EQ(readInteger(L" +42abc"), 42);
    EXPECT_EQ(readInteger(L""), 0);
    EXPECT_EQ(readInteger(L"-"), 0);
    EXPECT_EQ(readInteger(L"9007199254740992"), 9007199254740992LL);
    // Beyond 2^53 the double accumulation rounds.
    EXPECT_EQ(readInteger(L"9007199254740993"), 9007199254740992LL);
    // Beyond the 64-bit range the value saturates instead of wrapping.
    EXPECT_EQ(readInteger(L"99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(readInteger(L"-99999999999999999999999"), -INT64_MAX);
}

TEST(FormatNumber, Doubles)
{
    EXPECT_EQ(formatNumber(1.5), "1.5");
    EXPECT_EQ(formatNumber(2.0), "2");
    EXPECT_EQ(formatNumber(100.0), "100");
    EXPECT_EQ(formatNumber(0.0000001), "0");
    EXPECT_EQ(formatNumber(-0.0000001), "-0");
    EXPECT_EQ(formatNumber(-12.125), "-12.125");
    EXPECT_EQ(formatNumber(1e20), "100000000000000000000");
    EXPECT_EQ(formatNumberW(0.25), L"0.25");
}

TEST(FormatNumber, NonFiniteValuesAreNeverBareWords)
{
    EXPECT_EQ(formatNumber(HUGE_VAL), "1e999");
    EXPECT_EQ(formatNumber(-HUGE_VAL), "-1e999");
    EXPECT_EQ(formatNumber(std::nan("")), "null");
    EXPECT_EQ(readDecimal(formatNumberW(HUGE_VAL)), HUGE_VAL);
    EXPECT_EQ(readDecimal(formatNumberW(-HUGE_VAL)), -HUGE_VAL);
}

TEST(FormatNumber, Integers)
{
    EXPECT_EQ(formatNumber(int64_t{0}), "0");
    EXPECT_EQ(formatNumber(int64_t{-5}), "-5");
    EXPECT_EQ(formatNumber(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(formatNumberW(int64_t{1234567890123}), L"1234567890123");
}
