#include "remembered_inputs.h"

#include <exception>

#include "cli_error.h"
#include "settings_store.h"

namespace portauth::cli {

std::u16string Remembered(RememberedInput input)
{
    const auto key = input == RememberedInput::Account ? kUsernameKey : kIPKey;
    try {
        return GetSetting(kSettingsApplication, kSettingsSection, key, u"");
    } catch (const std::exception& error) {
        throw CliError(Problem::StoreUnreadable, error.what());
    }
}

} // namespace portauth::cli
