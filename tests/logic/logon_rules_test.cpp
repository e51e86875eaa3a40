#include "logon_rules.h"

#include <gtest/gtest.h>

#include <string>

using portauth::ErrorNumber;
using portauth::LogonUserName;
using portauth::MD5String;
using portauth::NumberedError;

namespace {

template <class Case>
std::string caseName(const testing::TestParamInfo<Case>& param)
{
    return param.param.name;
}

struct UserNameCase {
    const char* name;
    std::u16string account;
    std::u16string ip;
    std::u16string expected;
};

class LogonUserNameTest : public testing::TestWithParam<UserNameCase> {};

TEST_P(LogonUserNameTest, TrimsOnlyOuterAsciiSpaces)
{
    const auto& c = GetParam();
    EXPECT_EQ(LogonUserName(c.account, c.ip), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, LogonUserNameTest,
    testing::Values(
        UserNameCase{"OuterSpaces", u"  alice ", u" 10.0.0.5 ", u"alice@10.0.0.5"},
        UserNameCase{"InnerSpaceKept", u"a b", u"1.2.3.4", u"a b@1.2.3.4"},
        UserNameCase{"BothEmpty", u"", u"", u"@"},
        UserNameCase{"OnlySpaces", u"   ", u" ", u"@"},
        UserNameCase{"EmptyAddress", u" bob", u"", u"bob@"},
        UserNameCase{"TabsKept", u"\tbob\t", u"\t1.2.3.4", u"\tbob\t@\t1.2.3.4"},
        UserNameCase{"IdeographicSpaceKept", u"\u3000bob", u"1.2.3.4\u3000", u"\u3000bob@1.2.3.4\u3000"},
        UserNameCase{"CaseAndChineseKept", u" Bob张 ", u"Host", u"Bob张@Host"},
        UserNameCase{"AtSignsNotSpecial", u"a@b", u"@", u"a@b@@"}),
    caseName<UserNameCase>);

// The digest class and the fuzz target check the bytes against OpenSSL;
// here only what the rule adds: lowercase text, and the overflow passed on.
struct PasswordCase {
    const char* name;
    std::u16string password;
    std::string expected;
};

class MD5StringTest : public testing::TestWithParam<PasswordCase> {};

TEST_P(MD5StringTest, GivesLowercaseDigestOfGbkBytes)
{
    EXPECT_EQ(MD5String(GetParam().password), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, MD5StringTest,
    testing::Values(PasswordCase{"Empty", u"", "d41d8cd98f00b204e9800998ecf8427e"},
                    PasswordCase{"Abc", u"abc", "900150983cd24fb0d6963f7d28e17f72"},
                    PasswordCase{"ChineseAsGbk", u"中", "5301da37e5ffca1823a5cef67488d4bf"}),
    caseName<PasswordCase>);

TEST(MD5StringLimit, PassesTheOverflowOn)
{
    try {
        MD5String(std::u16string(16384, u'中')); // 32,768 GBK bytes
        FAIL() << "32,768 bytes were hashed";
    } catch (const NumberedError& error) {
        EXPECT_EQ(error.number(), ErrorNumber::Overflow);
    }
}

} // namespace
