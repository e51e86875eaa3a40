#include "settings_store.h"

#include "numbered_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace portauth;

namespace {

class SettingsStore : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(configDir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configDir.path());
    }

    // Qt's cache answers reads in this process: only another one sees the disk.
    QString readFromDisk(const QString& key) const
    {
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(), {"--get-setting", configDir.path(), key});
        EXPECT_TRUE(probe.waitForFinished(10000));
        EXPECT_EQ(probe.exitCode(), 0);
        return QString::fromUtf8(probe.readAllStandardOutput());
    }

    QByteArray fileBytes() const
    {
        QFile ini(configDir.filePath("Lanbridge.ini"));
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
    }

    static std::u16string load(std::u16string_view key, std::u16string_view fallback = u"")
    {
        return GetSetting(kSettingsApplication, kSettingsSection, key, fallback);
    }

    static void save(std::u16string_view key, std::u16string_view value)
    {
        SaveSetting(kSettingsApplication, kSettingsSection, key, value);
    }

    static void expectAccessError(const std::function<void()>& operation)
    {
        try {
            operation();
            ADD_FAILURE() << "the store reported success";
        } catch (const NumberedError& error) {
            EXPECT_EQ(error.number(), ErrorNumber::SettingsAccess);
        }
    }

    QTemporaryDir configDir;
};

// Each value replaces an earlier one and reaches the disk exactly.
TEST_F(SettingsStore, RoundTripsThroughTheDisk)
{
    for (const std::u16string value : {u"alice", u"  alice ", u"", u"\tbob\t", u"张三 李四", u"a=b;c#d[e]\"f\\g",
                                       u"line\nbreak", u"\u3000\U0001F600"}) {
        save(kUsernameKey, u"earlier");
        save(kUsernameKey, value);
        save(kIPKey, u"10.0.0.5 ");
        EXPECT_EQ(readFromDisk("Username").toStdU16String(), value);
        EXPECT_EQ(readFromDisk("IP"), "10.0.0.5 ");
    }
}

TEST_F(SettingsStore, AbsentKeysGiveTheDefaultAndWriteNothing)
{
    EXPECT_EQ(load(kUsernameKey, u"fallback"), u"fallback");
    EXPECT_EQ(load(kIPKey), u"");
    EXPECT_FALSE(QFile::exists(configDir.filePath("Lanbridge.ini")));
}

TEST_F(SettingsStore, UnreadableStoreThrows)
{
    ASSERT_TRUE(QDir(configDir.path()).mkdir("Lanbridge.ini"));
    expectAccessError([] { load(kUsernameKey); });
}

TEST_F(SettingsStore, StoreUnderAFileCannotBeWritten)
{
    QFile blocker(configDir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, blocker.fileName());
    expectAccessError([] { save(kUsernameKey, u"alice"); });
}

// A folder that refuses new files: the old file must stay byte for byte.
// Root ignores permission bits, so it makes the folder immutable instead.
TEST_F(SettingsStore, FailedSaveLeavesTheFileWhole)
{
    save(kUsernameKey, u"alice");
    const QByteArray before = fileBytes();
    const QString folder = configDir.path();
    const bool root = geteuid() == 0;
    const bool locked = root ? QProcess::execute("chattr", {"+i", folder}) == 0
                             : QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (!locked)
        GTEST_SKIP() << "this file system cannot make a folder read-only";
    expectAccessError([] { save(kUsernameKey, u"bob"); });
    if (root)
        QProcess::execute("chattr", {"-i", folder});
    else
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(readFromDisk("Username"), "alice");
}

} // namespace
