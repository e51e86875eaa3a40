#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "clipboard_port.h"
#include "error_reporter.h"
#include "frmmain.h"
#include "settings_store.h"

using namespace portauth;

namespace {

const QString emptyDigest = QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
const QString abcDigest = QStringLiteral("900150983cd24fb0d6963f7d28e17f72");

// Records what the window asks of the clipboard, in order.
class RecordingClipboard final : public ClipboardPort {
public:
    explicit RecordingClipboard(QStringList& log, const bool& failing) : log_(log), failing_(failing) {}
    void Clear() override { record(QStringLiteral("clear")); }
    void SetText(const QString& text) override { record(QStringLiteral("set:") + text); }

private:
    void record(const QString& entry)
    {
        if (failing_)
            throw NumberedError(ErrorNumber::ClipboardUnavailable);
        log_ << entry;
    }
    QStringList& log_;
    const bool& failing_;
};

class CollectingReporter final : public ErrorReporter {
public:
    explicit CollectingReporter(QStringList& messages) : messages_(messages) {}
    void Report(const QString& message) override { messages_ << message; }

private:
    QStringList& messages_;
};

void typeInto(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

class FrmMainEventsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> configDir;
    std::unique_ptr<frmMain> window;
    QStringList clipboardLog;
    QStringList reports;
    bool clipboardFails = false;

    void openWindow()
    {
        window = std::make_unique<frmMain>(std::make_unique<RecordingClipboard>(clipboardLog, clipboardFails),
                                           std::make_unique<CollectingReporter>(reports));
        window->show();
    }

    QLineEdit* box(const char* name) { return window->findChild<QLineEdit*>(QLatin1String(name)); }
    QString text(const char* name) { return box(name)->text(); }
    QString iniPath() const { return configDir->filePath(QStringLiteral("Lanbridge.ini")); }

    // What a second process reads back from the file on disk.
    QString storedOnDisk(const QString& key) const
    {
        QProcess probe;
        probe.start(QStringLiteral(SETTINGS_PROBE), {QStringLiteral("--get-setting"), configDir->path(), key});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            return QStringLiteral("<probe failed>");
        return QString::fromUtf8(probe.readAllStandardOutput());
    }

    static void remember(std::u16string_view key, const QString& value)
    {
        SaveSetting(kSettingsApplication, kSettingsSection, key, value.toStdU16String());
    }

private slots:
    void init()
    {
        configDir = std::make_unique<QTemporaryDir>();
        QVERIFY(configDir->isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, configDir->path());
        clipboardLog.clear();
        reports.clear();
        clipboardFails = false;
    }

    void cleanup()
    {
        window.reset();
        configDir.reset();
    }

    void firstStartShowsAndStoresNothing()
    {
        openWindow();
        for (const char* name : {"txtUsername", "txtIP", "txtPassword", "txtNUserName", "txtNPassword", "txtNDomain"})
            QCOMPARE(text(name), QString());
        QVERIFY(!QFile::exists(iniPath()));
        QVERIFY(reports.isEmpty());
    }

    void startWithRememberedInputs()
    {
        remember(kUsernameKey, QStringLiteral(" alice "));
        remember(kIPKey, QStringLiteral("10.0.0.5"));
        openWindow();
        QCOMPARE(text("txtUsername"), QStringLiteral(" alice "));
        QCOMPARE(text("txtIP"), QStringLiteral("10.0.0.5"));
        QCOMPARE(text("txtNUserName"), QStringLiteral("alice@10.0.0.5"));
        QCOMPARE(text("txtNPassword"), QString());
        QCOMPARE(storedOnDisk(QStringLiteral("Username")), QStringLiteral(" alice "));
    }

    void typingUpdatesOutputAndStore_data()
    {
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::newRow("first character") << "" << "" << "txtUsername" << "a" << "a@" << "Username" << "a";
        QTest::newRow("address with spaces")
            << "alice" << "" << "txtIP" << " 10.0.0.5 " << "alice@10.0.0.5" << "IP" << " 10.0.0.5 ";
        QTest::newRow("account with spaces")
            << "" << "1.2.3.4" << "txtUsername" << "  bob " << "bob@1.2.3.4" << "Username" << "  bob ";
        QTest::newRow("chinese account") << "" << "" << "txtUsername" << "张三" << "张三@" << "Username" << "张三";
    }

    void typingUpdatesOutputAndStore()
    {
        QFETCH(QString, account);
        QFETCH(QString, address);
        QFETCH(QString, boxName);
        QFETCH(QString, typed);
        QFETCH(QString, userName);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        openWindow();
        box("txtUsername")->setText(account);
        box("txtIP")->setText(address);

        typeInto(box(qPrintable(boxName)), typed);
        QCOMPARE(text("txtNUserName"), userName);
        QCOMPARE(storedOnDisk(key), stored);
        QVERIFY(reports.isEmpty());
    }

    void everyPasswordChangeRecomputes()
    {
        openWindow();
        QLineEdit* password = box("txtPassword");
        typeInto(password, QStringLiteral("abc"));
        QCOMPARE(text("txtNPassword"), abcDigest);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(password, Qt::Key_Backspace);
        QCOMPARE(text("txtNPassword"), emptyDigest);

        QFile ini(iniPath());
        QVERIFY(!ini.exists() || (ini.open(QIODevice::ReadOnly) && !ini.readAll().contains("900150983cd2")));
    }

    void ctrlCInOutputBoxes_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("selectPart");
        QTest::addColumn<QStringList>("expected");
        const auto ctrl = int(Qt::ControlModifier);
        const QStringList copyUserName{"clear", "set:alice@10.0.0.5"};
        QTest::newRow("user name") << "txtNUserName" << ctrl << false << copyUserName;
        QTest::newRow("user name, part selected") << "txtNUserName" << ctrl << true << copyUserName;
        QTest::newRow("password") << "txtNPassword" << ctrl << false << QStringList{"clear", "set:" + abcDigest};
        QTest::newRow("domain keeps the clipboard") << "txtNDomain" << ctrl << false << QStringList{"set:"};
        QTest::newRow("plain C") << "txtNPassword" << int(Qt::NoModifier) << false << QStringList{};
        QTest::newRow("Ctrl+Shift+C") << "txtNPassword" << int(Qt::ControlModifier | Qt::ShiftModifier) << false
                                      << QStringList{};
        QTest::newRow("Ctrl+Alt+C") << "txtNPassword" << int(Qt::ControlModifier | Qt::AltModifier) << false
                                    << QStringList{};
        QTest::newRow("input box") << "txtUsername" << ctrl << false << QStringList{};
    }

    void ctrlCInOutputBoxes()
    {
        QFETCH(QString, boxName);
        QFETCH(int, modifiers);
        QFETCH(bool, selectPart);
        QFETCH(QStringList, expected);
        openWindow();
        box("txtUsername")->setText(QStringLiteral("alice"));
        box("txtIP")->setText(QStringLiteral("10.0.0.5"));
        box("txtPassword")->setText(QStringLiteral("abc"));
        QLineEdit* target = box(qPrintable(boxName));
        if (selectPart)
            target->setSelection(0, 3);
        QApplication::clipboard()->setText(QStringLiteral("untouched"));

        QTest::keyClick(target, Qt::Key_C, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(clipboardLog, expected);
        // The window takes the key it acted on: the box's own copy of the
        // selection never runs after it.
        if (!expected.isEmpty())
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
    }

    void ctrlCReachesTheDesktopClipboard()
    {
        window = std::make_unique<frmMain>();
        window->show();
        box("txtPassword")->setText(QStringLiteral("abc"));
        QApplication::clipboard()->setText(QStringLiteral("old"));
        QTest::keyClick(box("txtNPassword"), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), abcDigest);
    }

    void clipboardFailureIsReportedOnce()
    {
        openWindow();
        clipboardFails = true;
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(box("txtNUserName"), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().contains(QStringLiteral("剪贴板")));
    }

    // A digest of an earlier text must not stay on show when the password
    // grows past what can be hashed.
    void tooLongPasswordEmptiesTheOutput()
    {
        openWindow();
        QLineEdit* password = box("txtPassword");
        password->setText(QStringLiteral("abc"));
        password->setText(QString(32768, u'a'));
        QCOMPARE(text("txtNPassword"), QString());
        typeInto(password, QStringLiteral("b"));
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().contains(QStringLiteral("32767")));

        password->setText(QString(32767, u'a'));
        QCOMPARE(text("txtNPassword").size(), 32);
        password->setText(QString(16384, u'中'));
        QCOMPARE(text("txtNPassword"), QString());
        QCOMPARE(reports.size(), 2);
    }

    void unwritableStoreIsReportedOnceAndTypingGoesOn()
    {
        QFile blocker(configDir->filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, blocker.fileName());
        openWindow();
        typeInto(box("txtUsername"), QStringLiteral("bob"));
        typeInto(box("txtIP"), QStringLiteral("1.2"));
        QCOMPARE(text("txtUsername"), QStringLiteral("bob"));
        QCOMPARE(text("txtNUserName"), QStringLiteral("bob@1.2"));
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.first().contains(QStringLiteral("75")));
    }

    void unreadableStoreStillOpensTheWindow()
    {
        QVERIFY(QDir(configDir->path()).mkdir(QStringLiteral("Lanbridge.ini")));
        openWindow();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(text("txtUsername"), QString());
        box("txtPassword")->setText(QStringLiteral("abc"));
        QCOMPARE(text("txtNPassword"), abcDigest);
    }
};

QTEST_MAIN(FrmMainEventsTest)
#include "tst_frmmain_events.moc"
