#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
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

void pasteInto(QLineEdit* box, const QString& text)
{
    QApplication::clipboard()->setText(text);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

// The reference digest comes from Qt's own MD5, of bytes written out by hand.
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

QString elapsedText(const QElapsedTimer& timer)
{
    return QString::number(timer.elapsed()) + QStringLiteral(" ms");
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

        QTest::newRow("by hand: CR LF, comments, spaces, another group")
            << QByteArray("; mine\r\n[General]\r\nkeep=1\r\n\r\n[PortAuth]\r\n  Username = bob  \r\n"
                          "IP=10.0.0.5 ; office\r\n")
            << "bob" << "10.0.0.5" << "bobx@10.0.0.5"
            << QByteArray("[General]\nkeep=1\n\n[PortAuth]\nIP=10.0.0.5\nUsername=bobx\n");
        QTest::newRow("by hand: quotes and escapes")
            << QByteArray("[PortAuth]\nUsername=\"  alice \"\nIP=\\x4e2d\\x6587\n")
            << "  alice " << "中文" << "alice x@中文"
            << QByteArray("[PortAuth]\nIP=\xe4\xb8\xad\xe6\x96\x87\nUsername=\"  alice x\"\n");
        QTest::newRow("by hand: comma in a value")
            << QByteArray("[PortAuth]\nUsername=Smith, John\nIP=1.2.3.4\n")
            << "Smith, John" << "1.2.3.4" << "Smith, Johnx@1.2.3.4"
            << QByteArray("[PortAuth]\nIP=1.2.3.4\nUsername=\"Smith, Johnx\"\n");
        QTest::newRow("by hand: byte order mark")
            << QByteArray("\xef\xbb\xbf[PortAuth]\nUsername=bob\n") << "bob" << "" << "bobx@"
            << QByteArray("[PortAuth]\nUsername=bobx\n");
        QTest::newRow("cut in a value") << QByteArray("[PortAuth]\nIP=10.0.0.5\nUsername=al") << "al"
                                        << "10.0.0.5" << "alx@10.0.0.5"
                                        << QByteArray("[PortAuth]\nIP=10.0.0.5\nUsername=alx\n");
        QTest::newRow("cut in a key") << QByteArray("[PortAuth]\nIP=10.0.0.5\nUser") << "" << "10.0.0.5"
                                      << "x@10.0.0.5" << QByteArray("[PortAuth]\nIP=10.0.0.5\nUsername=x\n");
        QTest::newRow("cut in the group") << QByteArray("[PortAu") << "" << "" << "x@"
                                        << QByteArray("[PortAuth]\nUsername=x\n");
        QTest::newRow("empty") << QByteArray("") << "" << "" << "x@"
                               << QByteArray("[PortAuth]\nUsername=x\n");
        QTest::newRow("binary") << noise(4096) << "" << "" << "x@" << QByteArray();
        QTest::newRow("binary lines around the entries")
            << QByteArrayLiteral("\x00\xff\x01\n[PortAuth]\nUsername=bob\n\x7f\x00\xfe\nIP=1.2\n") << "bob" << "1.2"
            << "bobx@1.2" << QByteArray("[PortAuth]\nIP=1.2\nUsername=bobx\n");
        QTest::newRow("saved as UTF-16")
            << QByteArrayLiteral("\xff\xfe[\0P\0o\0r\0t\0A\0u\0t\0h\0]\0\n\0U\0=\0b\0\n\0") << "" << ""
            << "x@" << QByteArray();
        // Bytes that are not UTF-8 read as U+FFFD, except at the very end of a
        // value, where the decoder still waits for the rest of a sequence.
        QTest::newRow("GBK, not UTF-8")
            << QByteArray("[PortAuth]\nUsername=\xd5\xc5 x\nIP=1.2\n") << "\ufffd\ufffd x" << "1.2"
            << "\ufffd\ufffd xx@1.2" << QByteArray("[PortAuth]\nIP=1.2\nUsername=\xef\xbf\xbd\xef\xbf\xbd xx\n");
        QTest::newRow("Latin-1, not UTF-8") << QByteArray("[PortAuth]\nUsername=Jos\xe9\n") << "Jos" << ""
                                            << "Josx@" << QByteArray("[PortAuth]\nUsername=Josx\n");

        const QByteArray bigNoise = noise(10 << 20).replace('[', 'x');
        QTest::newRow("10 MB of noise before the group")
            << bigNoise + "\n[PortAuth]\nUsername=bob\n" << "bob" << "" << "bobx@" << QByteArray();
        const QString bigName(10 << 20, u'n');
        QTest::newRow("10 MB user name") << "[PortAuth]\nIP=1.2\nUsername=" + bigName.toLatin1() << bigName
                                         << "1.2" << bigName + "x@1.2" << QByteArray();
    }

    void damagedSettingsFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, account);
        QFETCH(QString, address);
        QFETCH(QString, userNameAfterTyping);
        QFETCH(QByteArray, rewritten);
        writeFile(iniPath(), file);

        QElapsedTimer timer;
        timer.start();
        openWindow();
        const QString startTime = elapsedText(timer);
        QCOMPARE(text("txtUsername"), account);
        QCOMPARE(text("txtIP"), address);
        QCOMPARE(text("txtNPassword"), QString());
        QVERIFY(reports.isEmpty());

        timer.restart();
        QLineEdit* accountBox = box("txtUsername");
        accountBox->end(false);
        typeInto(accountBox, QStringLiteral("x"));
        qInfo().noquote() << "start" << startTime << "| one keystroke" << elapsedText(timer);
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
        qInfo().noquote() << "start beside an empty lock file:" << elapsedText(timer);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(elapsedText(timer)));
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
        const QByteArray noBytes;
        QTest::newRow("1 MB account") << "txtUsername" << "  " + mega + "  " << mega + "@" << "  " + mega + "  "
                                      << noBytes;
        QTest::newRow("1 MB address") << "txtIP" << " " + mega << "@" + mega << " " + mega << noBytes;
        QTest::newRow("1 MB password") << "txtPassword" << mega << QString() << QString() << noBytes;

        const QString controls = QStringLiteral("\t\x01\x1b\x7f a\r\nb \u2028 ");
        QTest::newRow("control characters, account")
            << "txtUsername" << controls << "\t\x01\x1b\x7f a\r\nb \u2028@" << controls << noBytes;
        QTest::newRow("control characters, password")
            << "txtPassword" << controls << QString() << QString()
            << QByteArray("\t\x01\x1b\x7f a\r\nb ? ");

        // UTF-8 cannot hold a lone surrogate: Qt writes U+FFFD for a high
        // one and leaves a low one out.
        const QString lone = QString::fromUtf16(u"\xd800x\xdc00");
        QTest::newRow("unpaired surrogates, account") << "txtUsername" << lone << lone + "@" << "\ufffdx" << noBytes;
        QTest::newRow("unpaired surrogates, password")
            << "txtPassword" << lone << QString() << QString() << QByteArray("?x?");

        const QString marks = QStringLiteral("\u200f alice \u200e");
        QTest::newRow("direction marks, address") << "txtIP" << marks << "@" + marks << marks << noBytes;
        QTest::newRow("direction marks, password")
            << "txtPassword" << marks << QString() << QString() << QByteArray("? alice ?");

        const QString emoji = QStringLiteral(" 😀 bob 👍🏽 ");
        QTest::newRow("emoji, account") << "txtUsername" << emoji << "😀 bob 👍🏽@" << emoji << noBytes;
        QTest::newRow("emoji, password")
            << "txtPassword" << emoji << QString() << QString() << QByteArray(" ? bob ?? ");
        QTest::newRow("Chinese and euro, password")
            << "txtPassword" << QStringLiteral("中文€") << QString() << QString() << QByteArray("\xd6\xd0\xce\xc4\x80");

        QTest::newRow("32,767 GBK bytes") << "txtPassword" << QString(16383, u'中') + u'a' << QString() << QString()
                                          << QByteArray(16383 * 2, 'x').replace("xx", "\xd6\xd0") + 'a';
        QTest::newRow("32,768 GBK bytes") << "txtPassword" << QString(16384, u'中') << QString() << QString()
                                          << noBytes;
        QTest::newRow("1 MB of emoji, password")
            << "txtPassword" << QString(QStringLiteral("😀")).repeated(1 << 18) << QString() << QString() << noBytes;
    }

    void pasteIntoInputBox()
    {
        QFETCH(QString, boxName);
        QFETCH(QString, pasted);
        QFETCH(QString, userName);
        QFETCH(QString, stored);
        QFETCH(QByteArray, passwordBytes);
        openWindow();
        QLineEdit* target = box(qPrintable(boxName));

        QElapsedTimer timer;
        timer.start();
        pasteInto(target, pasted);
        qInfo().noquote() << "paste of" << pasted.size() << "code units:" << elapsedText(timer);
        QCOMPARE(target->text(), pasted);

        if (boxName == u"txtPassword") {
            const bool hashable = !passwordBytes.isNull();
            QCOMPARE(text("txtNPassword"), hashable ? md5Of(passwordBytes) : QString());
            QCOMPARE(reports.size(), hashable ? 0 : 1);
            if (!hashable) { // the same cause is not reported again
                typeInto(target, QStringLiteral("b"));
                QCOMPARE(text("txtNPassword"), QString());
                QCOMPARE(reports.size(), 1);
                QVERIFY(reports.first().contains(QStringLiteral("32767")));
            }
            QVERIFY(!QFile::exists(iniPath()));
            return;
        }
        QCOMPARE(text("txtNUserName"), userName);
        QCOMPARE(storedOnDisk(boxName == u"txtIP" ? QStringLiteral("IP") : QStringLiteral("Username")), stored);
        QVERIFY(reports.isEmpty());
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
