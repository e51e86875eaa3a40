// The registry store. It runs under a key of its own, never the program's.
#include "settings_store.h"

#include "numbered_error.h"

#include <gtest/gtest.h>

#include <functional>

#include <windows.h>

using namespace portauth;

namespace {

constexpr std::u16string_view kApplication = u"PortAuth store test";
const wchar_t* const kApplicationKey = L"Software\\PortAuth store test";
const wchar_t* const kSectionKey = L"Software\\PortAuth store test\\PortAuth";

class RegistryStore : public testing::Test {
protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kApplicationKey); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kApplicationKey); }

    static std::u16string load(std::u16string_view key)
    {
        return GetSetting(kApplication, kSettingsSection, key, u"<absent>");
    }

    static void save(std::u16string_view key, std::u16string_view value)
    {
        SaveSetting(kApplication, kSettingsSection, key, value);
    }

    static DWORD storedType(const wchar_t* name)
    {
        DWORD type = REG_NONE;
        EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, kSectionKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                                 nullptr),
                  ERROR_SUCCESS);
        return type;
    }

    static void expectAccessError(const std::function<void()>& operation)
    {
        try {
            operation();
            ADD_FAILURE() << "the store reported success";
        } catch (const NumberedError& error) {
            EXPECT_EQ(error.number(), ErrorNumber::SettingsAccess);
            EXPECT_NE(error.subject().find(u"HKEY_CURRENT_USER\\Software\\"), std::u16string::npos);
        }
    }
};

TEST_F(RegistryStore, KeepsEachTextExactlyAsAString)
{
    EXPECT_EQ(load(kUsernameKey), u"<absent>");
    for (const std::u16string value : {u"  alice ", u"", u"张三😀", u"a,b;c=d\"\\", u"line\nbreak"}) {
        save(kUsernameKey, u"earlier");
        save(kUsernameKey, value);
        EXPECT_EQ(load(kUsernameKey), value);
        EXPECT_EQ(storedType(L"Username"), DWORD{REG_SZ});
    }
    EXPECT_EQ(load(kIPKey), u"<absent>");
}

// Start-up saves back what it loaded: the value must not be written again,
// which would turn this one into a plain string.
TEST_F(RegistryStore, EqualValueWritesNothing)
{
    const wchar_t text[] = L"10.0.0.5";
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, L"IP", REG_EXPAND_SZ, text, sizeof text),
              ERROR_SUCCESS);
    save(kIPKey, u"10.0.0.5");
    EXPECT_EQ(storedType(L"IP"), DWORD{REG_EXPAND_SZ});
}

// A value of another type cannot be shown, but typing replaces it.
TEST_F(RegistryStore, ValueOfAnotherTypeIsAnErrorUntilReplaced)
{
    const DWORD number = 5;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, kSectionKey, L"Username", REG_DWORD, &number, sizeof number),
              ERROR_SUCCESS);
    expectAccessError([] { load(kUsernameKey); });
    save(kUsernameKey, u"bob");
    EXPECT_EQ(load(kUsernameKey), u"bob");
}

TEST_F(RegistryStore, KeyThatCannotBeCreatedIsError75)
{
    const std::u16string tooLong(300, u'x');
    expectAccessError([&] { SaveSetting(kApplication, tooLong, kUsernameKey, u"bob"); });
}

} // namespace
