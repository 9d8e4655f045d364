// --allow's prefixes: the forms read and refused, and which senders each
// lets in, IPv4 as it comes from an IPv4 socket and mapped from a dual-stack one.

#include <gtest/gtest.h>

#include "framework/core/AllowList.h"

namespace {

IpEndpoint Sender(const wchar_t* text)
{
    if (const auto v4 = ParseIpv4Literal(text))
        return IpEndpoint::V4(*v4, 40000);
    const auto v6 = ParseIpv6Literal(text);
    EXPECT_TRUE(v6) << CString(text).ToUtf8();
    return IpEndpoint::V6(v6.value_or(IpEndpoint::V6Bytes{}), 40000);
}

}  // namespace

TEST(AllowList, ReadsPrefixesAndRefusesTheRest)
{
    struct Case {
        const wchar_t* text;
        const char* read;  // nullptr: refused
    };
    const Case cases[] = {
        {L"192.0.2.0/24", "192.0.2.0/24"},
        {L"192.0.2.77/24", "192.0.2.0/24"},  // host bits ignored
        {L"127.0.0.1", "127.0.0.1/32"},
        {L"0.0.0.0/0", "0.0.0.0/0"},
        {L"2001:DB8::1/32", "2001:db8::/32"},
        {L"::1", "::1/128"},
        {L"::ffff:10.1.2.3/104", "10.0.0.0/8"},  // the mapped form is IPv4
        {L"192.0.2.0/33", nullptr},
        {L"2001:db8::/129", nullptr},
        {L"::ffff:10.0.0.0/95", nullptr},  // reaches past the mapped form
        {L"192.0.2.0/", nullptr},
        {L"192.0.2.0/-1", nullptr},
        {L"192.0.2.0/+8", nullptr},
        {L"192.0.2/24", nullptr},
        {L"fe80::1%1/64", nullptr},
        {L"/8", nullptr},
        {L"", nullptr},
        {L"example.org/24", nullptr},
    };
    for (const Case& c : cases) {
        const auto prefix = AddressPrefix::Parse(c.text);
        SCOPED_TRACE(CString(c.text).ToUtf8());
        ASSERT_EQ(prefix.has_value(), c.read != nullptr);
        if (prefix) {
            EXPECT_EQ(prefix->ToText(), c.read);
        }
    }
}

TEST(AllowList, LetsInOnlyTheSendersItsPrefixesCover)
{
    AllowList list;
    EXPECT_TRUE(list.Allows(Sender(L"203.0.113.9")));  // empty: everyone
    for (const wchar_t* prefix : {L"10.0.0.0/8", L"127.0.0.2", L"2001:db8:1::/48", L"10.0.0.0/8"})
        list.Add(*AddressPrefix::Parse(prefix));
    EXPECT_EQ(list.ToText(), "10.0.0.0/8,127.0.0.2/32,2001:db8:1::/48");
    struct Case {
        const wchar_t* sender;
        bool allowed;
    };
    const Case cases[] = {
        {L"10.200.3.4", true},          {L"11.0.0.1", false},
        {L"::ffff:10.9.9.9", true},     // an IPv4 sender seen by a dual-stack socket
        {L"127.0.0.2", true},           {L"127.0.0.1", false},
        {L"2001:db8:1:ff::7", true},    {L"2001:db8:2::7", false},
        {L"::a00:1", false},            // the IPv4-compatible form is IPv6
    };
    for (const Case& c : cases)
        EXPECT_EQ(list.Allows(Sender(c.sender)), c.allowed) << CString(c.sender).ToUtf8();

    AllowList everyIpv6;
    everyIpv6.Add(*AddressPrefix::Parse(L"::/0"));
    EXPECT_TRUE(everyIpv6.Allows(Sender(L"2001:db8::1")));
    EXPECT_FALSE(everyIpv6.Allows(Sender(L"192.0.2.1")));  // ::/0 is not every IPv4 address too
}
