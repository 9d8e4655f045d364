// Texts: formatting, addresses, and the form's number syntax.

#include <gtest/gtest.h>

#include <cmath>

#include "framework/core/CString.h"
#include "framework/core/Ipv4Text.h"
#include "framework/core/NumberText.h"

TEST(CStringFormat, FormatsThirtyTwoBitSignedDecimalsAndLongTexts)
{
    EXPECT_EQ(CString::Formatted(L"Misscount :%d .\r\n", -2147483647 - 1), CString(L"Misscount :-2147483648 .\r\n"));
    const std::wstring longText(5000, L'x');
    EXPECT_EQ(CString::Formatted(L"%ls!", longText.c_str()).GetLength(), 5001);
}

TEST(CStringFormat, Utf8RoundTripKeepsChineseTexts)
{
    const CString text(L"服务器IP：127.0.0.1");
    EXPECT_EQ(CString::FromUtf8(text.ToUtf8()), text);
    EXPECT_EQ(CString::FromUtf8("\xE6\x97\xA5\xE5\xBF\x97"), CString(L"日志"));
    EXPECT_EQ(CString::FromUtf8("ab\xE6"), CString(L"ab\uFFFD"));  // cut short: no over-read
}

TEST(Ipv4Text, ParsesDottedDecimalAndTheShortForms)
{
    EXPECT_EQ(ParseIpv4(L"127.0.0.1"), 0x7F000001u);
    EXPECT_EQ(ParseIpv4(L"0"), 0u);
    EXPECT_EQ(ParseIpv4(L"255.255.255.255"), 0xFFFFFFFFu);
    EXPECT_EQ(ParseIpv4(L"127.1"), 0x7F000001u);
    EXPECT_EQ(ParseIpv4(L"10.1.258"), 0x0A010102u);
    for (const wchar_t* bad : {L"", L".", L"1.", L".1", L"1..2", L"256.0.0.1", L"1.2.3.4.5", L" 1.2.3.4",
                               L"1.2.3.4 ", L"a.b.c.d", L"4294967296", L"1.16777216", L"-1"})
        EXPECT_FALSE(ParseIpv4(bad)) << std::wstring(bad).size();
}

TEST(Ipv4Text, FormatsWithoutLeadingZerosAndRoundTrips)
{
    EXPECT_EQ(FormatIpv4(0), CString(L"0.0.0.0"));
    EXPECT_EQ(FormatIpv4(0x0A00FF09), CString(L"10.0.255.9"));
    for (std::uint32_t a : {0x7F000001u, 0xC0A80164u, 0xFFFFFFFFu, 0x01020304u})
        EXPECT_EQ(ParseIpv4(FormatIpv4(a).View()), a);
}

TEST(NumberText, IntegersAllowSignAndBlanksAndRejectAnythingElse)
{
    EXPECT_EQ(ParseInt32(L"0"), 0);
    EXPECT_EQ(ParseInt32(L"  -42\t"), -42);
    EXPECT_EQ(ParseInt32(L"+65535"), 65535);
    EXPECT_EQ(ParseInt32(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseInt32(L"-2147483648"), -2147483647 - 1);
    for (const wchar_t* bad : {L"", L"  ", L"-", L"12a", L"1 2", L"1e3", L"0x10", L"2147483648", L"-2147483649",
                               L"99999999999999999999", L"3.5"})
        EXPECT_FALSE(ParseInt32(bad)) << std::wstring(bad).size();
}

TEST(NumberText, DoublesAllowDecimalsAndExponentsButNotNonFiniteOrHex)
{
    EXPECT_EQ(ParseDouble(L"25"), 25.0);
    EXPECT_EQ(ParseDouble(L" -0.5 "), -0.5);
    EXPECT_EQ(ParseDouble(L".5"), 0.5);
    EXPECT_EQ(ParseDouble(L"5."), 5.0);
    EXPECT_EQ(ParseDouble(L"1e-300"), 1e-300);
    EXPECT_EQ(ParseDouble(L"1E+300"), 1e300);
    for (const wchar_t* bad : {L"", L".", L"e5", L"1e", L"1e+", L"nan", L"inf", L"-infinity", L"0x1p3", L"1e400",
                               L"1,5", L"12%"})
        EXPECT_FALSE(ParseDouble(bad)) << std::wstring(bad).size();
}
