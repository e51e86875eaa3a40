#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "clipboard_port.h"
#include "error_reporter.h"
#include "frmmain.h"
#include "settings_store.h"

using namespace portauth;

namespace {

const QString abcDigest = QStringLiteral("900150983cd24fb0d6963f7d28e17f72");

// Records what the window asks of the clipboard, in order, or fails.
class RecordingClipboard final : public ClipboardPort {
public:
    RecordingClipboard(QStringList& log, const bool& failing) : log_(log), failing_(failing) {}
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

// QTest::keyClicks takes Latin-1 only.
void typeInto(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Qt's own MD5 of bytes written out by hand is the reference.
QString md5Of(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
}

// Deterministic noise, so that a failing row can be replayed.
QByteArray noise(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
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

    QLineEdit* box(const QString& name) { return window->findChild<QLineEdit*>(name); }
    QString text(const QString& name) { return box(name)->text(); }
    QString iniPath() const { return configDir->filePath(QStringLiteral("Lanbridge.ini")); }

    // Another process sees only what reached the disk.
    QString storedOnDisk(const QString& key) const
    {
        QProcess probe;
        probe.start(QStringLiteral(SETTINGS_PROBE), {QStringLiteral("--get-setting"), configDir->path(), key});
        if (!probe.waitForFinished(10000) || probe.exitCode() != 0)
            return QStringLiteral("<probe failed>");
        return QString::fromUtf8(probe.readAllStandardOutput());
    }

    void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    QByteArray fileBytes() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init()
    {
        configDir = std::make_unique<QTemporaryDir>();
        QVERIFY(configDir->isValid());
        qputenv("XDG_CONFIG_HOME", configDir->path().toUtf8());
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
        SaveSetting(kSettingsApplication, kSettingsSection, kUsernameKey, u" alice ");
        SaveSetting(kSettingsApplication, kSettingsSection, kIPKey, u"10.0.0.5");
        openWindow();
        QCOMPARE(text("txtUsername"), QStringLiteral(" alice "));
        QCOMPARE(text("txtIP"), QStringLiteral("10.0.0.5"));
        QCOMPARE(text("txtNUserName"), QStringLiteral("alice@10.0.0.5"));
        QCOMPARE(text("txtNPassword"), QString());
        QCOMPARE(storedOnDisk(QStringLiteral("Username")), QStringLiteral(" alice "));
    }

    // Every keystroke updates the user name and the store; only the output
    // loses the outer spaces.
    void typingUpdatesOutputAndStore()
    {
        openWindow();
        QLineEdit* account = box("txtUsername");
        typeInto(account, QStringLiteral("张"));
        QCOMPARE(text("txtNUserName"), QStringLiteral("张@"));
        QCOMPARE(storedOnDisk(QStringLiteral("Username")), QStringLiteral("张"));
        typeInto(account, QStringLiteral("三 "));
        QTest::keyClick(account, Qt::Key_Home);
        typeInto(account, QStringLiteral("  "));
        typeInto(box("txtIP"), QStringLiteral(" 10.0.0.5 "));
        QCOMPARE(text("txtNUserName"), QStringLiteral("张三@10.0.0.5"));
        QCOMPARE(storedOnDisk(QStringLiteral("Username")), QStringLiteral("  张三 "));
        QCOMPARE(storedOnDisk(QStringLiteral("IP")), QStringLiteral(" 10.0.0.5 "));
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
        QCOMPARE(text("txtNPassword"), md5Of(""));
        QVERIFY(!fileBytes().contains("900150983cd2"));
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
        if (selectPart)
            box(boxName)->setSelection(0, 3);
        QApplication::clipboard()->setText(QStringLiteral("untouched"));

        QTest::keyClick(box(boxName), Qt::Key_C, Qt::KeyboardModifiers(modifiers));
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
    // grows past what can be hashed; the report comes once per cause.
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
        QCOMPARE(text("txtNPassword"), md5Of(QByteArray(32767, 'a')));
        password->setText(QString(16384, u'中'));
        QCOMPARE(text("txtNPassword"), QString());
        QCOMPARE(reports.size(), 2);
    }

    // A settings file edited by hand, cut short, or not text at all: the
    // window shows what can be read, and typing goes on and saves.
    void damagedSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("userNameAfterTyping");
        // What the file holds after the first save; null when not checked.
        QTest::addColumn<QByteArray>("rewritten");

        QTest::newRow("by hand: byte order mark, CR LF, comments, spaces, quotes, escapes, another group")
            << QByteArray("\xef\xbb\xbf; mine\r\n[General]\r\nkeep=1\r\n\r\n[PortAuth]\r\n  Username = \"  bob \"  \r\n"
                          "IP=\\x4e2d\\x6587 ; office\r\n")
            << "  bob " << "中文" << "bob x@中文"
            << QByteArray("\xef\xbb\xbf; mine\r\n[General]\r\nkeep=1\r\n\r\n[PortAuth]\r\n  Username=\"  bob x\"  \r\n"
                          "IP=\\x4e2d\\x6587 ; office\r\n");
        QTest::newRow("by hand: comma in a value")
            << QByteArray("[PortAuth]\nUsername=Smith, John\nIP=1.2.3.4\n") << "Smith, John" << "1.2.3.4" << "Smith, Johnx@1.2.3.4"
            << QByteArray("[PortAuth]\nUsername=\"Smith, Johnx\"\nIP=1.2.3.4\n");
        QTest::newRow("cut in a value") << QByteArray("[PortAuth]\nIP=10.0.0.5\nUsername=al") << "al" << "10.0.0.5"
                                        << "alx@10.0.0.5" << QByteArray("[PortAuth]\nIP=10.0.0.5\nUsername=alx");
        QTest::newRow("empty") << QByteArray("") << "" << "" << "x@" << QByteArray("[PortAuth]\nUsername=x\n");
        QTest::newRow("binary lines around the entries")
            << QByteArrayLiteral("\x00\xff\x01\n[PortAuth]\nUsername=bob\n\x7f\x00\xfe\nIP=1.2\n") << "bob" << "1.2"
            << "bobx@1.2" << QByteArrayLiteral("\x00\xff\x01\n[PortAuth]\nUsername=bobx\n\x7f\x00\xfe\nIP=1.2\n");
        QTest::newRow("saved as UTF-16")
            << QByteArrayLiteral("\xff\xfe[\0P\0o\0r\0t\0A\0u\0t\0h\0]\0\n\0U\0=\0b\0\n\0") << "" << "" << "x@" << QByteArray();
        // Bytes that are not UTF-8 show as U+FFFD, and stay in the file
        // until their value is changed.
        QTest::newRow("GBK and Latin-1, not UTF-8")
            << QByteArray("[PortAuth]\nUsername=\xd5\xc5 x\nIP=1.2\xe9\n") << "\ufffd\ufffd x" << "1.2\ufffd"
            << "\ufffd\ufffd xx@1.2\ufffd" << QByteArray("[PortAuth]\nUsername=\xef\xbf\xbd\xef\xbf\xbd xx\nIP=1.2\xe9\n");
        QTest::newRow("10 MB of noise before the group")
            << noise(10 << 20).replace('[', 'x') + "\n[PortAuth]\nUsername=bob\n" << "bob" << "" << "bobx@" << QByteArray();
    }

    void damagedSettingsFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, account);
        QFETCH(QString, address);
        QFETCH(QString, userNameAfterTyping);
        QFETCH(QByteArray, rewritten);
        writeFile(iniPath(), file);

        openWindow();
        QCOMPARE(text("txtUsername"), account);
        QCOMPARE(text("txtIP"), address);
        QCOMPARE(text("txtNPassword"), QString());

        box("txtUsername")->end(false);
        typeInto(box("txtUsername"), QStringLiteral("x"));
        QCOMPARE(text("txtNUserName"), userNameAfterTyping);
        QCOMPARE(storedOnDisk(QStringLiteral("Username")), account + u'x');
        if (!address.isEmpty())
            QCOMPARE(storedOnDisk(QStringLiteral("IP")), address);
        if (!rewritten.isNull())
            QCOMPARE(fileBytes(), rewritten);
        QVERIFY(reports.isEmpty());
    }

    // A save killed between creating the lock file and writing its owner
    // into it leaves the lock empty; the next start must not wait for it.
    void abandonedEmptyLockDoesNotHangTheStart()
    {
        writeFile(iniPath(), "[PortAuth]\nUsername=bob\n");
        writeFile(iniPath() + QStringLiteral(".lock"), {});
        QElapsedTimer timer;
        timer.start();
        openWindow();
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed()) + " ms"));
        typeInto(box("txtUsername"), QStringLiteral("x"));
        QCOMPARE(storedOnDisk(QStringLiteral("Username")), QStringLiteral("bobx"));
        QVERIFY(reports.isEmpty());
    }

    // Pastes of any size and any code units: nothing breaks, and the outputs
    // follow the rules.
    void pasteIntoInputBox_data()
    {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("userName");
        // What a second process reads back; null for the password box.
        QTest::addColumn<QString>("stored");
        // The password's bytes in code page 936; null when they cannot be
        // hashed in one piece.
        QTest::addColumn<QByteArray>("passwordBytes");

        const QString mega(1 << 20, u'a');
        QTest::newRow("1 MB account") << "txtUsername" << "  " + mega + "  " << mega + "@" << "  " + mega + "  "
                                      << QByteArray();
        QTest::newRow("1 MB address") << "txtIP" << " " + mega << "@" + mega << " " + mega << QByteArray();
        QTest::newRow("1 MB password") << "txtPassword" << mega << QString() << QString() << QByteArray();

        // UTF-8 cannot hold a lone surrogate: the store writes U+FFFD for
        // it. Code page 936 gives '?'.
        const QString mixed = QString::fromUtf16(u"\t\x01\x1b\x7f a\r\nb \u2028 😀 bob 👍🏽 \xd800x\xdc00");
        QTest::newRow("control characters, emoji, lone surrogates: account")
            << "txtUsername" << mixed << mixed + "@"
            << QString::fromUtf16(u"\t\x01\x1b\x7f a\r\nb \u2028 😀 bob 👍🏽 \xfffdx\xfffd") << QByteArray();
        QTest::newRow("control characters, emoji, lone surrogates: password")
            << "txtPassword" << mixed << QString() << QString() << QByteArray("\t\x01\x1b\x7f a\r\nb ? ? bob ?? ?x?");

        QTest::newRow("32,767 GBK bytes") << "txtPassword" << QString(16383, u'中') + u'a' << QString() << QString()
                                          << QByteArray(16383 * 2, 'x').replace("xx", "\xd6\xd0") + 'a';
        QTest::newRow("32,768 GBK bytes") << "txtPassword" << QString(16384, u'中') << QString() << QString()
                                          << QByteArray();
    }

    void pasteIntoInputBox()
    {
        QFETCH(QString, boxName);
        QFETCH(QString, pasted);
        QFETCH(QString, userName);
        QFETCH(QString, stored);
        QFETCH(QByteArray, passwordBytes);
        openWindow();
        QApplication::clipboard()->setText(pasted);
        box(boxName)->setFocus();
        QTest::keyClick(box(boxName), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(text(boxName), pasted);

        if (boxName == u"txtPassword") {
            QCOMPARE(text("txtNPassword"), passwordBytes.isNull() ? QString() : md5Of(passwordBytes));
            QCOMPARE(reports.size(), passwordBytes.isNull() ? 1 : 0);
            QVERIFY(!QFile::exists(iniPath()));
        } else {
            QCOMPARE(text("txtNUserName"), userName);
            QCOMPARE(storedOnDisk(boxName == u"txtIP" ? QStringLiteral("IP") : QStringLiteral("Username")), stored);
            QVERIFY(reports.isEmpty());
        }
    }

    void unwritableStoreIsReportedOnceAndTypingGoesOn()
    {
        QFile blocker(configDir->filePath(QStringLiteral("not-a-folder")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        qputenv("XDG_CONFIG_HOME", blocker.fileName().toUtf8());
        openWindow();
        typeInto(box("txtUsername"), QStringLiteral("bob"));
        typeInto(box("txtIP"), QStringLiteral("1.2"));
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
