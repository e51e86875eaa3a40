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
             {u"  alice ", u" 10.0.0.5 ", u"alice@10.0.0.5"},
             {u"a b", u"1.2.3.4", u"a b@1.2.3.4"},
             {u"", u"", u"@"},
             {u"   ", u" ", u"@"},
             {u" bob", u"", u"bob@"},
             {u"\tbob\t", u"\t1.2.3.4", u"\tbob\t@\t1.2.3.4"},
             {u"\u3000bob", u"1.2.3.4\u3000", u"\u3000bob@1.2.3.4\u3000"},
             {u" Bob张 ", u"Host", u"Bob张@Host"},
             {u"a@b", u"@", u"a@b@@"}})
        EXPECT_EQ(LogonUserName(account, ip), expected);
}

// The digest class and the fuzz target check the bytes against OpenSSL;
// here only what the rule adds: lowercase text, and the overflow passed on.
TEST(MD5String, GivesLowercaseDigestAndPassesTheOverflowOn)
{
    EXPECT_EQ(MD5String(u"中"), "5301da37e5ffca1823a5cef67488d4bf");
    try {
        MD5String(std::u16string(16384, u'中')); // 32,768 GBK bytes
        FAIL() << "32,768 bytes were hashed";
    } catch (const NumberedError& error) {
        EXPECT_EQ(error.number(), ErrorNumber::Overflow);
    }
}

} // namespace
