// Runs the tests, or, called as `store_tests --get-setting DIR KEY`, prints one
// remembered value as UTF-8 so a test can see what reached the disk from a
// process that shares no cache with it.
#include <QCoreApplication>
#include <QSettings>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "settings_store.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--get-setting") == 0) {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QString::fromUtf8(argv[2]));
        const std::u16string value = portauth::GetSetting(portauth::kSettingsApplication, portauth::kSettingsSection,
                                                          QString::fromUtf8(argv[3]).toStdU16String(), u"<absent>");
        std::fputs(QString::fromStdU16String(value).toUtf8().constData(), stdout);
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
