// The registry store. It runs under a key of its own, never the program's.
#include "settings_store.h"

#include "numbered_error.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace portauth;

namespace {

constexpr std::u16string_view kApplication = u"PortAuth store test";
const wchar_t* const kSectionKey = L"Software\\PortAuth store test\\PortAuth";

// Whether the value is stored with this type and no other.
bool storedAs(const wchar_t* name, DWORD type)
{
    return ::RegGetValueW(HKEY_CURRENT_USER, kSectionKey, name, type | RRF_NOEXPAND, nullptr, nullptr, nullptr) == 0;
}

class RegistryStore : public testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\PortAuth store test"); }
    void TearDown() override { SetUp(); }
    static auto load(std::u16string_view key) { return GetSetting(kApplication, kSettingsSection, key, u"-"); }
};

// Each text is kept exactly, as a plain string. Start-up saves back what it
// loaded: that must write nothing, which would turn a string of another type
// into a plain one. Another writer may have stored it without a terminator.
TEST_F(RegistryStore, KeepsEachTextExactlyAndRewritesNone)
{
    EXPECT_EQ(load(kUsernameKey), u"-");
    for (const std::u16string_view value : {u"", u"  张三😀 a,b;c=d\"\\\n"}) {
        SaveSetting(kApplication, kSettingsSection, kUsernameKey, value);
        EXPECT_EQ(load(kUsernameKey), value);
        EXPECT_TRUE(storedAs(L"Username", RRF_RT_REG_SZ));
    }
    EXPECT_EQ(load(kIPKey), u"-");
    const wchar_t text[] = L"10.0.0.5";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, L"IP", REG_EXPAND_SZ, text, sizeof text - 2), 0);
    SaveSetting(kApplication, kSettingsSection, kIPKey, u"10.0.0.5");
    EXPECT_TRUE(storedAs(L"IP", RRF_RT_REG_EXPAND_SZ));
    EXPECT_EQ(load(kIPKey), u"10.0.0.5");
}

// A value of another type cannot be shown, and its error names it; the
// other value still loads, and typing replaces the bad one. A key that
// cannot be created takes no save.
TEST_F(RegistryStore, WhatCannotBeReadOrWrittenIsAnError)
{
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, L"Username", REG_BINARY, "bytes", 5), 0);
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, L"IP", REG_SZ, L"10.0.0.5", 18), 0);
    try {
        load(kUsernameKey);
        ADD_FAILURE() << "a binary value was read";
    } catch (const NumberedError& error) {
        EXPECT_EQ(error.subject(), u"HKEY_CURRENT_USER\\Software\\PortAuth store test\\PortAuth\\Username");
    }
    EXPECT_EQ(load(kIPKey), u"10.0.0.5");
    SaveSetting(kApplication, kSettingsSection, kUsernameKey, u"bob");
    EXPECT_EQ(load(kUsernameKey), u"bob");
    EXPECT_THROW(SaveSetting(kApplication, std::u16string(300, u'x'), kUsernameKey, u"bob"), NumberedError);
}

} // namespace
