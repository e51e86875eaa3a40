#include "logon_rules.h"

#include <gtest/gtest.h>

#include <string>

using namespace portauth;

namespace {

// Only ASCII spaces at the ends of each part go; nothing else is special.
TEST(LogonUserName, TrimsOnlyOuterAsciiSpaces)
{
    struct Case { std::u16string account, ip, expected; };
    for (const auto& [account, ip, expected] : std::initializer_list<Case>{
             {u"  a b ", u" 10.0.0.5 ", u"a b@10.0.0.5"},
             {u"   ", u"", u"@"},
             {u"\tbob\u3000", u"\u3000x\t", u"\tbob\u3000@\u3000x\t"},
             {u"a@b", u"@", u"a@b@@"}})
        EXPECT_EQ(LogonUserName(account, ip), expected);
}

// The bytes are proven against the reference in the digest's tests; here
// what the rule adds: lowercase, and the overflow of the GBK bytes passed on.
TEST(MD5String, GivesLowercaseDigestAndPassesTheOverflowOn)
{
    EXPECT_EQ(MD5String(u"中"), "5301da37e5ffca1823a5cef67488d4bf");
    EXPECT_THROW(MD5String(std::u16string(16384, u'中')), NumberedError); // 32,768 GBK bytes
}

} // namespace
