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

class SettingsStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(configDir.isValid());
        pointStoreAt(configDir.path());
    }

    static void pointStoreAt(const QString& dir)
    {
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
    }

    QString iniPath() const { return configDir.filePath("Lanbridge.ini"); }

    // What another process reads back from the file on disk.
    QString readFromDisk(const QString& key) const
    {
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(), {"--get-setting", configDir.path(), key});
        EXPECT_TRUE(probe.waitForFinished(10000));
        EXPECT_EQ(probe.exitCode(), 0);
        return QString::fromUtf8(probe.readAllStandardOutput());
    }

    static std::u16string load(std::u16string_view key)
    {
        return GetSetting(kSettingsApplication, kSettingsSection, key, u"");
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

class SettingsRoundTrip : public SettingsStoreTest, public testing::WithParamInterface<std::u16string> {};

TEST_P(SettingsRoundTrip, ReachesTheDiskExactly)
{
    save(kUsernameKey, GetParam());
    save(kIPKey, u"10.0.0.5 ");
    EXPECT_EQ(readFromDisk("Username").toStdU16String(), GetParam());
    EXPECT_EQ(readFromDisk("IP"), "10.0.0.5 ");
}

INSTANTIATE_TEST_SUITE_P(Values, SettingsRoundTrip,
                         testing::Values(u"alice", u"  alice ", u"", u"\tbob\t", u"张三 李四", u"a=b;c#d[e]\"f\\g",
                                         u"line\nbreak", u"\u3000\U0001F600"),
                         [](const auto& value) { return "Value" + std::to_string(value.index); });

TEST_F(SettingsStoreTest, AbsentKeysGiveTheDefaultAndWriteNothing)
{
    EXPECT_EQ(GetSetting(kSettingsApplication, kSettingsSection, kUsernameKey, u"fallback"), u"fallback");
    EXPECT_EQ(load(kIPKey), u"");
    EXPECT_FALSE(QFile::exists(iniPath()));
}

TEST_F(SettingsStoreTest, UsesTheFixedNamesAndKeepsAnEmptyValue)
{
    save(kUsernameKey, u"alice");
    save(kIPKey, u"");
    QFile ini(iniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray text = ini.readAll();
    EXPECT_TRUE(text.contains("[PortAuth]")) << text.constData();
    EXPECT_TRUE(text.contains("Username=alice")) << text.constData();
    EXPECT_TRUE(text.contains("IP=\n") || text.endsWith("IP=")) << text.constData();
    EXPECT_EQ(readFromDisk("IP"), "");
}

TEST_F(SettingsStoreTest, LaterSaveReplacesEarlierOne)
{
    save(kUsernameKey, u"first");
    save(kUsernameKey, u"second");
    EXPECT_EQ(readFromDisk("Username"), "second");
    EXPECT_EQ(load(kUsernameKey), u"second");
}

TEST_F(SettingsStoreTest, DamagedFileStillGivesWhatItHolds)
{
    QFile ini(iniPath());
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("\x00\xff garbage [[[\n=\n[PortAuth]\nUsername=bob\n\xfe", 40);
    ini.close();
    EXPECT_EQ(load(kUsernameKey), u"bob");
    save(kIPKey, u"1.2.3.4");
    EXPECT_EQ(readFromDisk("Username"), "bob");
    EXPECT_EQ(readFromDisk("IP"), "1.2.3.4");
}

TEST_F(SettingsStoreTest, UnreadableStoreThrows)
{
    ASSERT_TRUE(QDir(configDir.path()).mkdir("Lanbridge.ini"));
    expectAccessError([] { load(kUsernameKey); });
}

TEST_F(SettingsStoreTest, StoreUnderAFileCannotBeWritten)
{
    QFile blocker(configDir.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    pointStoreAt(blocker.fileName());
    expectAccessError([] { save(kUsernameKey, u"alice"); });
}

// A folder that refuses new files: the old file must stay byte for byte.
// Root ignores permission bits, so it makes the folder immutable instead.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString path) : path_(std::move(path))
    {
        locked_ = geteuid() == 0 ? run("chattr", {"+i", path_})
                                 : QFile::setPermissions(path_, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~ReadOnlyFolder()
    {
        if (geteuid() == 0)
            run("chattr", {"-i", path_});
        else
            QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool locked() const { return locked_; }

private:
    static bool run(const QString& program, const QStringList& arguments)
    {
        return QProcess::execute(program, arguments) == 0;
    }
    QString path_;
    bool locked_ = false;
};

TEST_F(SettingsStoreTest, FailedSaveLeavesTheFileWhole)
{
    save(kUsernameKey, u"alice");
    QFile ini(iniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray before = ini.readAll();
    ini.close();

    ReadOnlyFolder folder(configDir.path());
    if (!folder.locked())
        GTEST_SKIP() << "this file system cannot make a folder read-only";
    expectAccessError([] { save(kUsernameKey, u"bob"); });

    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), before);
    EXPECT_EQ(readFromDisk("Username"), "alice");
}

} // namespace
