// Runs the tests, or, called as `store_tests --get-setting DIR KEY`, prints
// one remembered value of the store in DIR as UTF-8, so that another test can
// see what reached the disk.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings_store.h"
#include "utf8.h"

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--get-setting") == 0) {
        ::setenv("XDG_CONFIG_HOME", argv[2], 1);
        const std::string key = argv[3];
        const std::u16string value = portauth::GetSetting(portauth::kSettingsApplication, portauth::kSettingsSection,
                                                          std::u16string(key.begin(), key.end()), u"<absent>");
        std::fputs(portauth::ToUtf8(value).c_str(), stdout);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
