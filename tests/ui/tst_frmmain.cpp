#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <memory>

#include "frmmain.h"
#include "output_box_colour.h"
#include "qt_translations.h"
#include "window_texts.h"

using portauth::frmMain;

namespace {

// The dpi this run's screen is configured for; the default offscreen screen has 96.
int configuredDpi()
{
    return qEnvironmentVariableIsSet("PORTAUTH_TEST_DPI")
               ? qEnvironmentVariableIntValue("PORTAUTH_TEST_DPI")
               : 96;
}

QString textOf(const QWidget* box)
{
    if (const auto* edit = qobject_cast<const QPlainTextEdit*>(box))
        return edit->toPlainText();
    return qobject_cast<const QLineEdit*>(box)->text();
}

// QTest::keyClicks takes Latin-1 only.
void typeInto(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace

class FrmMainTest : public QObject {
    Q_OBJECT

    std::unique_ptr<frmMain> window;
    QTemporaryDir configDir; // the window remembers inputs: never in the user's store

    QWidget* control(const QString& name) { return window->findChild<QWidget*>(name); }
    QWidget* currentControl() { return control(QString::fromLatin1(QTest::currentDataTag())); }
    double pixelsPerTwip() const { return window->logicalDpiY() / 1440.0; }

private slots:
    void initTestCase()
    {
        QVERIFY(configDir.isValid());
        qputenv("XDG_CONFIG_HOME", configDir.path().toUtf8());
    }

    void init()
    {
        window = std::make_unique<frmMain>();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    void cleanup() { window.reset(); }

    void screenDpi()
    {
        // Either Qt scales logical pixels (dpr) or the logical dpi itself changes.
        const double effectiveDpi = window->logicalDpiY() * window->devicePixelRatioF();
        QCOMPARE(qRound(effectiveDpi), configuredDpi());
        // 9-point Song, in the face that stands in for SimSun where it is missing.
        const QFontInfo font(window->font());
        const QStringList songFaces{QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN")};
        QVERIFY2(songFaces.contains(font.family()), qPrintable(font.family()));
        QCOMPARE(font.pointSize(), 9);
        QCOMPARE(qRound(font.pixelSize() * window->devicePixelRatioF()), 9 * configuredDpi() / 72);
        QVERIFY(!font.bold() && !font.italic() && !font.underline() && !font.strikeOut());
    }

    void windowFrame()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Lanbridge 802.1x Util for Windows 64"));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(qAbs(window->width() - 5475 * pixelsPerTwip()) <= 0.5);
        QVERIFY(qAbs(window->height() - 5940 * pixelsPerTwip()) <= 0.5);
        const auto buttons = Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
        QCOMPARE(window->windowFlags() & buttons, Qt::WindowCloseButtonHint);
    }

    void controls_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("twips");
        const auto row = [](const char* name, const char* kind, QRect twips) {
            QTest::newRow(name) << QString::fromLatin1(kind) << twips;
        };
        row("txtNDomain", "QLineEdit", {1140, 5475, 4065, 300});
        row("txtNPassword", "QLineEdit", {1140, 5115, 4065, 300});
        row("txtNUserName", "QLineEdit", {1155, 4740, 4065, 300});
        row("txtPassword", "QLineEdit", {1140, 3870, 4065, 300});
        row("txtIP", "QLineEdit", {1140, 3510, 4065, 300});
        row("txtUsername", "QLineEdit", {1155, 3135, 4065, 300});
        row("Text1", "QPlainTextEdit", {180, 480, 5100, 2265});
        row("Label9", "QLabel", {240, 4455, 4890, 225});
        row("Label8", "QLabel", {240, 2820, 1680, 225});
        row("Label7", "QLabel", {210, 165, 3930, 255});
        row("Label6", "QLabel", {255, 5160, 675, 270});
        row("Label5", "QLabel", {240, 5505, 765, 225});
        row("Label4", "QLabel", {255, 4845, 765, 225});
        row("Label3", "QLabel", {210, 3945, 675, 270});
        row("Label2", "QLabel", {240, 3555, 765, 225});
        row("Label1", "QLabel", {240, 3225, 765, 225});
    }

    void controls()
    {
        QFETCH(QString, kind);
        QFETCH(QRect, twips);
        const QWidget* widget = currentControl();
        QVERIFY(widget);
        QVERIFY(widget->inherits(kind.toLatin1().constData()));
        const QRect actual = widget->geometry();
        const int actualEdges[] = {actual.x(), actual.y(), actual.width(), actual.height()};
        const int twipEdges[] = {twips.x(), twips.y(), twips.width(), twips.height()};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(qAbs(actualEdges[i] - twipEdges[i] * pixelsPerTwip()) <= 0.5,
                     qPrintable(QStringLiteral("%1: %2 px for %3 twips").arg(i).arg(actualEdges[i]).arg(twipEdges[i])));
        QCOMPARE(widget->font(), window->font());
    }

    void labelsShowWhole_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::newRow("Label1") << QStringLiteral("用户名:");
        QTest::newRow("Label2") << QStringLiteral("IP:");
        QTest::newRow("Label3") << QStringLiteral("密码:");
        QTest::newRow("Label4") << QStringLiteral("用户名:");
        QTest::newRow("Label5") << QStringLiteral("登陆域:");
        QTest::newRow("Label6") << QStringLiteral("密码:");
        QTest::newRow("Label7") << QStringLiteral("使用 Windows 自带的802.1x端口认证登录网络");
        QTest::newRow("Label8") << QStringLiteral("您的网络相关信息：");
        QTest::newRow("Label9") << QStringLiteral("在Windows802.1x登陆对话窗中所需填写的信息：");
    }

    // The exact caption, on one line, with room for all of it as measured.
    void labelsShowWhole()
    {
        QFETCH(QString, caption);
        const auto* label = qobject_cast<QLabel*>(currentControl());
        QVERIFY(label);
        QCOMPARE(label->text(), caption);
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);
        const QFontMetrics metrics(label->font(), label);
        const int needed = metrics.boundingRect(caption).width();
        const QRect room = label->contentsRect();
        QVERIFY2(needed <= room.width() && metrics.height() <= room.height(),
                 qPrintable(QStringLiteral("needs %1x%2, has %3x%4")
                                .arg(needed).arg(metrics.height()).arg(room.width()).arg(room.height())));
    }

    void boxes_data()
    {
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("masked");
        QTest::addColumn<bool>("grey");
        QTest::newRow("txtUsername") << false << false << false;
        QTest::newRow("txtIP") << false << false << false;
        QTest::newRow("txtPassword") << false << true << false;
        QTest::newRow("txtNUserName") << true << false << true;
        QTest::newRow("txtNPassword") << true << false << true;
        QTest::newRow("txtNDomain") << true << false << true;
        QTest::newRow("Text1") << true << false << false;
    }

    // Typing, masking, copying a selection and the background of every box.
    void boxes()
    {
        QFETCH(bool, locked);
        QFETCH(bool, masked);
        QFETCH(bool, grey);
        QWidget* box = currentControl();
        QVERIFY(box);
        auto* lineEdit = qobject_cast<QLineEdit*>(box);
        if (lineEdit && locked)
            lineEdit->setText(QStringLiteral("alice@10.0.0.5")); // the program still can
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        const QString before = textOf(box);

        typeInto(box, QStringLiteral("Ab中"));
        const QString expected = locked ? before : before + QStringLiteral("Ab中");
        QCOMPARE(textOf(box), expected);
        if (masked)
            QCOMPARE(lineEdit->displayText(), QString(expected.size(), u'*'));

        QApplication::clipboard()->setText(QStringLiteral("untouched"));
        QTest::keyClick(box, Qt::Key_Home);
        QTest::keyClick(box, Qt::Key_End, Qt::ShiftModifier);
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), masked ? QStringLiteral("untouched") : expected.section(u'\n', 0, 0));
        // Qt's switch for input-method composition (Qt sets it off in read-only boxes itself).
        QCOMPARE(box->testAttribute(Qt::WA_InputMethodEnabled), !locked && !masked);

        // Output boxes stand out in the grey picked for them from the palette.
        const QImage picture = box->grab().toImage();
        const QRgb shown = picture.pixel(picture.width() - 4, picture.height() / 2); // right of any text
        const QColor base = QApplication::palette().color(QPalette::Base);
        QCOMPARE(shown, (grey ? portauth::outputBoxColour(QApplication::palette()) : base).rgb());
        QCOMPARE(shown != base.rgb(), grey);
    }

    // Tab and Shift+Tab go round all seven boxes and leave the instructions alone.
    void focusCycle()
    {
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1"));
        const QString instructions = textOf(control(QStringLiteral("Text1")));
        const auto visit = [](Qt::Key key, Qt::KeyboardModifiers modifiers) {
            QStringList visited;
            for (int press = 0; press < 7; ++press) {
                QTest::keyClick(QApplication::focusWidget(), key, modifiers);
                visited << QApplication::focusWidget()->objectName();
            }
            return visited;
        };
        QCOMPARE(visit(Qt::Key_Tab, Qt::NoModifier), (QStringList{"txtUsername", "txtIP", "txtPassword", "txtNUserName",
                                                                   "txtNPassword", "txtNDomain", "Text1"}));
        QCOMPARE(visit(Qt::Key_Backtab, Qt::ShiftModifier), (QStringList{"txtNDomain", "txtNPassword", "txtNUserName",
                                                                          "txtPassword", "txtIP", "txtUsername", "Text1"}));
        QCOMPARE(textOf(control(QStringLiteral("Text1"))), instructions);
    }

    void instructionLines()
    {
        const QStringList expected{
            QStringLiteral("    启动\"Wireless Configuration\"服务(默认会自动启动)，"),
            QStringLiteral("在网络连接属性里面的“身份验证”标签中，选中“启用 IEEE "),
            QStringLiteral("802.1x”，下面的下拉框中选择“MD5-Challenge”，并把下面"),
            QStringLiteral("的两个选择框的钩都去掉（不使用那些功能）。"),
            QStringLiteral("    当下次网络连接上的时候（可以通过拔插网线强制刷新网"),
            QStringLiteral("络连接），Windows会出现一个对话窗让你输入登录信息。这些"),
            QStringLiteral("信息通过以下程序生成。"),
            QStringLiteral("    802.1x端口认证通过后，您可以去 "),
            QString(11, u' ') + QStringLiteral(PORTAUTH_REGISTRATION_URL) + u' ',
            QStringLiteral("    打开对外的联网权限。"),
            QStringLiteral("    注意，为了安全，请不要使用开放国际流量的联网！"),
            QString()};
        QCOMPARE(portauth::texts::instructions.toString().split(QStringLiteral("\r\n")), expected);
        QCOMPARE(textOf(control(QStringLiteral("Text1"))).split(u'\n'), expected);
    }

    void instructionsFit()
    {
        auto* text1 = qobject_cast<QPlainTextEdit*>(control(QStringLiteral("Text1")));
        QVERIFY(text1);
        QVERIFY(text1->lineWrapMode() != QPlainTextEdit::NoWrap); // else nothing could wrap
        QVERIFY(!text1->horizontalScrollBar()->isVisible());
        QVERIFY(!text1->verticalScrollBar()->isVisible());
        const int viewportHeight = text1->viewport()->height();
        int lines = 0;
        for (QTextBlock block = text1->document()->begin(); block.isValid(); block = block.next()) {
            ++lines;
            QVERIFY2(block.layout()->lineCount() == 1, qPrintable(QString::number(lines)));
            QTextCursor lineEnd(block);
            lineEnd.movePosition(QTextCursor::EndOfBlock);
            if (lines <= 11)
                QVERIFY2(text1->cursorRect(lineEnd).bottom() < viewportHeight,
                         qPrintable(QString::number(lines)));
        }
        QCOMPARE(lines, 12);
    }

    void rule()
    {
        const QWidget* line = control(QStringLiteral("Line1"));
        QVERIFY(line);
        QVERIFY(line->geometry().left() < 0);
        QVERIFY(line->geometry().right() >= window->width());
        QVERIFY(qAbs(line->y() - 4305 * pixelsPerTwip()) <= 0.5);
        QCOMPARE(line->focusPolicy(), Qt::NoFocus);
        QVERIFY(line->testAttribute(Qt::WA_TransparentForMouseEvents));

        const QImage picture = window->grab().toImage();
        const qreal dpr = picture.devicePixelRatio();
        const int row = int((line->y() + 0.5) * dpr);
        const QColor ink = window->palette().color(QPalette::WindowText);
        for (int x = 0; x < picture.width(); ++x)
            QCOMPARE(picture.pixelColor(x, row), ink);
        QVERIFY(picture.pixelColor(picture.width() / 2, int((line->y() - 1) * dpr)) != ink);
    }

    // One 48x48 image of 256 colours with its transparency mask.
    void icon()
    {
        QFile file(QStringLiteral(":/icon/portauth.ico"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.size() >= 38);
        const auto field = [&bytes](int offset, int size) {
            quint32 value = 0;
            for (int i = size - 1; i >= 0; --i)
                value = value << 8 | quint8(bytes[offset + i]);
            return value;
        };
        QCOMPARE(field(2, 2), 1u); // resource type: icon
        QCOMPARE(field(4, 2), 1u); // image count
        QCOMPARE(field(6, 1), 48u);
        QCOMPARE(field(7, 1), 48u);
        QCOMPARE(field(12, 2), 8u);
        // header + 256-colour table + 48x48 bytes + mask rows of 64 bits
        QCOMPARE(field(14, 4), 40u + 1024u + 2304u + 384u);
        QCOMPARE(field(30, 4), 96u); // bitmap height: colour and mask
        QCOMPARE(field(36, 2), 8u);

        const QImage image(file.fileName());
        QCOMPARE(image.size(), QSize(48, 48));
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);    // corner: masked
        QCOMPARE(image.pixelColor(24, 24).alpha(), 255); // centre: drawn
    }

    void accessibleNames()
    {
        const QString inputs = QStringLiteral("您的网络相关信息");
        const QString outputs = QStringLiteral("在Windows802.1x登陆对话窗中所需填写的信息");
        for (const auto& [name, label, group] : std::initializer_list<std::tuple<QString, QString, QString>>{
                 {"txtUsername", "用户名", inputs}, {"txtIP", "IP", inputs}, {"txtPassword", "密码", inputs},
                 {"txtNUserName", "用户名", outputs}, {"txtNPassword", "密码", outputs},
                 {"txtNDomain", "登陆域", outputs}}) {
            QAccessibleInterface* box = QAccessible::queryAccessibleInterface(control(name));
            QVERIFY2(box, qPrintable(name));
            QCOMPARE(box->role(), QAccessible::EditableText);
            QCOMPARE(box->text(QAccessible::Name), label);
            QCOMPARE(box->text(QAccessible::Description), group);
        }
    }

    void contextMenuInChinese()
    {
        QVERIFY(portauth::installChineseQtTranslations(*qApp));
        auto* box = qobject_cast<QLineEdit*>(control(QStringLiteral("txtNPassword")));
        const std::unique_ptr<QMenu> menu(box->createStandardContextMenu());
        QStringList texts;
        for (const QAction* action : menu->actions())
            if (!action->isSeparator())
                texts << action->text().section(u'\t', 0, 0); // drop the shortcut
        QVERIFY2(texts.contains(QStringLiteral("复制(&C)")), qPrintable(texts.join(u'|')));
        QVERIFY2(texts.contains(QStringLiteral("全选")), qPrintable(texts.join(u'|')));
    }
};

QTEST_MAIN(FrmMainTest)
#include "tst_frmmain.moc"
