// What only the Qt front end can get wrong: what it draws, where, and how
// it forwards the toolkit's events. The decisions are tested without it.
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolButton>

#include <functional>
#include <map>
#include <memory>

#include "form_widget.h"
#include "message_windows.h"
#include "qt_translations.h"
#include "system_clipboard.h"
#include "window_rules.h"

using namespace portauth;

namespace {

// The remembered inputs stay in memory: a test never touches the user's store.
class MemorySettings final : public ui::SettingsPort {
public:
    std::u16string Get(std::u16string_view key) override { return values[std::u16string(key)]; }
    void Save(std::u16string_view key, std::u16string_view value) override { values[std::u16string(key)] = value; }
    std::map<std::u16string, std::u16string> values{{u"Username", u"bob"}};
};

// The messages' own windows are tested apart from the form.
class NoMessages final : public ui::MessagePort {
    void Show(ui::Failure, std::u16string_view) override {}
    void Close(ui::Failure) override {}
};

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

class FormWidgetTest : public QObject {
    Q_OBJECT

    std::unique_ptr<qt::FormWidget> window;

    QWidget* control(const QString& name) { return window->findChild<QWidget*>(name); }
    QLineEdit* lineEdit(const char* name) { return window->findChild<QLineEdit*>(QString::fromLatin1(name)); }

    // The box's own menu, which speaks Chinese, as Qt's own texts do once
    // translated; the action whose text starts so.
    static void chooseFromMenu(QLineEdit* box, const QString& action)
    {
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(1, 1), box->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(box, &click);
        QMenu* menu = box->findChild<QMenu*>();
        for (QAction* item : menu->actions())
            if (item->text().startsWith(action))
                item->trigger();
        menu->close();
    }

    static QString clipboardWithHint()
    {
        return QApplication::clipboard()->text() + u'|'
            + QApplication::clipboard()->mimeData()->data(QStringLiteral("x-kde-passwordManagerHint"));
    }

private slots:
    // The window keeps its plain 9 points whatever the desktop's font.
    void initTestCase()
    {
        QFont desktop(QApplication::font().family(), 13, QFont::Bold, true);
        desktop.setUnderline(true);
        desktop.setStrikeOut(true);
        QApplication::setFont(desktop);
        QVERIFY(qt::installChineseQtTranslations(*qApp));
    }
    void init()
    {
        window = std::make_unique<qt::FormWidget>(std::make_unique<qt::SystemClipboard>(),
                                                  std::make_unique<MemorySettings>(), std::make_unique<NoMessages>());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup() { window.reset(); }

    // A fixed client area of 5475 x 5940 twips with a close box alone; every
    // control inside it, none over another, each caption whole; the rule, one row of the
    // window-text colour, across the whole window.
    void controlsStayApart()
    {
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(qAbs(window->width() - 5475 * window->logicalDpiX() / 1440.0) <= 0.5);
        QVERIFY(qAbs(window->height() - 5940 * window->logicalDpiY() / 1440.0) <= 0.5);
        const auto buttons = Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint;
        QCOMPARE(window->windowFlags() & buttons, Qt::WindowCloseButtonHint);
        const QFont font = window->font();
        QCOMPARE(QFontInfo(font).pointSize(), 9);
        QVERIFY(font.weight() == QFont::Normal && !font.italic() && !font.underline() && !font.strikeOut());
        const auto all = window->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(all.size(), qsizetype(ui::kControlCount));
        for (const QWidget* a : all) {
            if (a->objectName() == QLatin1String("Line1"))
                continue;
            QVERIFY2(window->rect().contains(a->geometry()), qPrintable(a->objectName()));
            QCOMPARE(a->font(), window->font());
            // Every caption on one line, with room for all of it as measured.
            if (const auto* label = qobject_cast<const QLabel*>(a))
                QVERIFY2(!label->text().isEmpty() && a->fontMetrics().boundingRect(label->text()).width()
                             <= label->contentsRect().width() && a->fontMetrics().height() <= label->contentsRect().height(),
                         qPrintable(a->objectName()));
            for (const QWidget* b : all)
                QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + u' ' + b->objectName()));
        }
        const QImage picture = window->grab().toImage();
        const qreal dpr = picture.devicePixelRatio();
        const int row = int((control(QStringLiteral("Line1"))->y() + 0.5) * dpr);
        const QColor ink = window->palette().color(QPalette::WindowText);
        for (int x = 0; x < picture.width(); ++x)
            QCOMPARE(picture.pixelColor(x, row), ink);
        QVERIFY(picture.pixelColor(picture.width() / 2, row - int(dpr)) != ink);
    }

    // Twelve lines, none wrapped again, the eleven with text in view, no scroll
    // bar; the keyboard selects in it as the mouse does.
    void instructionsFit()
    {
        auto* text1 = qobject_cast<QPlainTextEdit*>(control(QStringLiteral("Text1")));
        QTest::keyClick(text1, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(text1->textCursor().selectedText(), text1->document()->firstBlock().text());
        QVERIFY(text1->lineWrapMode() != QPlainTextEdit::NoWrap); // else nothing could wrap
        QVERIFY(!text1->horizontalScrollBar()->isVisible() && !text1->verticalScrollBar()->isVisible());
        int lines = 0;
        for (QTextBlock block = text1->document()->begin(); block.isValid(); block = block.next()) {
            ++lines;
            QVERIFY2(block.layout()->lineCount() == 1, qPrintable(QString::number(lines)));
            QTextCursor lineEnd(block);
            lineEnd.movePosition(QTextCursor::EndOfBlock);
            if (lines <= 11)
                QVERIFY2(text1->cursorRect(lineEnd).bottom() < text1->viewport()->height(),
                         qPrintable(QString::number(lines)));
        }
        QCOMPARE(lines, 12);
    }

    // The focus starts in the first box; Tab goes round the boxes in their
    // order and Shift+Tab back, and neither stops anywhere else.
    void focusCycle()
    {
        const auto focusIsIn = [](ui::ControlId id) {
            return QApplication::focusWidget()->objectName() == QString::fromLatin1(ui::ControlOf(id).name);
        };
        for (ui::ControlId id : ui::FocusOrder()) {
            QVERIFY2(focusIsIn(id), ui::ControlOf(id).name.data());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QVERIFY(focusIsIn(ui::FocusOrder().front()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(focusIsIn(ui::FocusOrder().back()));
    }

    void boxes_data()
    {
        QTest::addColumn<int>("id");
        for (ui::ControlId id : ui::FocusOrder())
            QTest::newRow(ui::ControlOf(id).name.data()) << int(id);
    }

    // Typing and pasting, masking, the input method, the name and the
    // background of each box, as its row of the table asks.
    void boxes()
    {
        QFETCH(int, id);
        const ui::Control& row = ui::ControlOf(ui::ControlId(id));
        const bool locked = row.has(ui::flags::Locked), masked = row.has(ui::flags::PasswordStar);
        QWidget* box = control(QString::fromLatin1(QTest::currentDataTag()));
        box->setFocus();
        QTRY_VERIFY(box->hasFocus());
        const QString before = textOf(box);
        typeInto(box, QStringLiteral("Ab中"));
        QApplication::clipboard()->setText(QStringLiteral("x\r\ny"));
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        const QString expected = locked ? before : before + QStringLiteral("Ab中x");
        QCOMPARE(textOf(box), expected);
        if (masked) {
            QCOMPARE(qobject_cast<QLineEdit*>(box)->displayText(), QString(expected.size(), u'*'));
            // The stars are the one thing its style changes.
            const QWidget* plain = control(QStringLiteral("txtIP"));
            for (int hint = 0; hint < int(QStyle::SH_LineEdit_PasswordCharacter); ++hint)
                QCOMPARE(box->style()->styleHint(QStyle::StyleHint(hint), nullptr, box),
                         plain->style()->styleHint(QStyle::StyleHint(hint), nullptr, plain));
        }
        QCOMPARE(box->testAttribute(Qt::WA_InputMethodEnabled), !locked && !masked);
        QCOMPARE(box->accessibleName(), QString::fromStdU16String(ui::AccessibleName(row.id)));

        // Output boxes stand out in a grey like a scroll bar's.
        const QImage picture = box->grab().toImage();
        const QColor shown = picture.pixelColor(picture.width() - 4, picture.height() / 2); // right of any text
        const bool grey = row.has(ui::flags::GreyBackground);
        QCOMPARE(shown != QApplication::palette().color(QPalette::Base), grey);
        QCOMPARE(qAbs(shown.red() - 200) <= 24 && shown.red() == shown.green() && shown.green() == shown.blue(), grey);
    }

    // A remembered value is loaded and typed keys reach the decisions. Ctrl+C
    // copies the whole text even with a part selected; every copy of the
    // derived password, by key or by the box's menu, carries the hint that
    // keeps clipboard managers away from it, and none copies the typed
    // password. The program's clipboard reads back what it set, and throws
    // when it finds another text.
    void copiesOfThePasswordStaySecret()
    {
        typeInto(control(QStringLiteral("txtPassword")), QStringLiteral("abc"));
        const std::function<void(QLineEdit*)> ways[] = {
            [](QLineEdit* box) { QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier); },
            [](QLineEdit* box) { QTest::keyClick(box, Qt::Key_Insert, Qt::ControlModifier); },
            [](QLineEdit* box) { chooseFromMenu(box, QStringLiteral("复制(&C)")); }};
        for (const auto& way : ways) {
            for (const auto& [name, expected] : {std::pair{"txtNPassword", "900150983cd24fb0d6963f7d28e17f72|secret"},
                                                 std::pair{"txtPassword", "before|"}}) {
                QLineEdit* box = lineEdit(name);
                qt::SystemClipboard().SetText(u"before", ui::ClipboardPort::Sensitivity::Plain);
                box->setFocus();
                box->setSelection(0, 32);
                way(box);
                QVERIFY2(clipboardWithHint() == QString::fromLatin1(expected),
                         qPrintable(clipboardWithHint() + QString::number(&way - ways)));
            }
        }
        QLineEdit* userName = lineEdit("txtNUserName");
        userName->setSelection(0, 2);
        QTest::keyClick(userName, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(clipboardWithHint(), QStringLiteral("bob@|"));
    }

    // Every other way of pasting keeps what a paste by key keeps, where the
    // paste lands: the menu's, a drop, and an assistive program's edits.
    void everyPasteKeepsALine()
    {
        QLineEdit* box = lineEdit("txtIP");
        box->setFocus();
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
        QMimeData dragged;
        dragged.setText(QStringLiteral("b\r\nrest"));
        const QPoint end(box->width() - 3, box->height() / 2);
        QDragEnterEvent enter(end, Qt::CopyAction, &dragged, Qt::LeftButton, {});
        QDropEvent drop(end, Qt::CopyAction, &dragged, Qt::LeftButton, {});
        QApplication::clipboard()->setText(QStringLiteral("b\nrest"));
        const std::pair<std::function<void()>, const char*> ways[] = {
            {[&] { QTest::keyClick(box, Qt::Key_Insert, Qt::ShiftModifier); }, "acb"},
            {[&] { chooseFromMenu(box, QStringLiteral("粘贴(&P)")); }, "acb"},
            {[&] { QApplication::sendEvent(box, &enter), QApplication::sendEvent(box, &drop); }, "acb"},
            {[&] { accessible->editableTextInterface()->insertText(1, QStringLiteral("b\nrest")); }, "abc"},
            {[&] { accessible->editableTextInterface()->deleteText(1, -1); }, "a"},
            {[&] { accessible->setText(QAccessible::Value, QStringLiteral("b\n")); }, "b"}};
        for (const auto& [way, expected] : ways) {
            box->setText(QStringLiteral("ac"));
            way();
            QCOMPARE(box->text(), QString::fromLatin1(expected));
        }
    }

    // What Qt's bridge does for an assistive program, through the boxes'
    // interfaces: it copies what it reads there (and a cut deletes it after).
    // The derived password goes marked, the typed one as its stars, and a
    // read-only box keeps its text, the instructions too.
    void assistiveProgramsFollowTheRules()
    {
        typeInto(control(QStringLiteral("txtPassword")), QStringLiteral("abc"));
        const auto read = [this](const char* name, int start, int end) {
            return QAccessible::queryAccessibleInterface(lineEdit(name))->textInterface()->text(start, end);
        };
        const auto copied = [&](const char* name, int start, int end) {
            QApplication::clipboard()->setText(read(name, start, end));
            return clipboardWithHint();
        };
        QCOMPARE(copied("txtNPassword", 2, 6), QStringLiteral("0150|secret"));
        QCOMPARE(copied("txtNUserName", 0, 4), QStringLiteral("bob@|"));
        QCOMPARE(copied("txtPassword", 0, 3), QStringLiteral("***|"));
        read("txtNPassword", 0, 2);
        QCoreApplication::processEvents(); // a copy made after a read is another's
        QApplication::clipboard()->setText(QStringLiteral("90"));
        QCOMPARE(clipboardWithHint(), QStringLiteral("90|"));

        for (const QString name : {"txtNPassword", "Text1"}) {
            QAccessibleInterface* box = QAccessible::queryAccessibleInterface(control(name));
            const QString before = textOf(control(name));
            box->editableTextInterface()->deleteText(0, 3);
            box->setText(QAccessible::Value, QStringLiteral("z"));
            QTRY_COMPARE(textOf(control(name)), before);
        }
    }

    // They hear a read-only box as one, select in it, and find each
    // character where the box shows it.
    void assistiveProgramsFindEachCharacter()
    {
        QLineEdit* box = lineEdit("txtNUserName");
        box->setText(QStringLiteral("bob@10"));
        const QAccessible::State state = QAccessible::queryAccessibleInterface(box)->state();
        QVERIFY(state.editable && state.readOnly && state.selectableText && !state.passwordEdit);
        QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(box)->textInterface();
        int start = 0, end = 0;
        text->setSelection(0, 1, 3), text->selection(0, &start, &end);
        const int selected = text->selectionCount();
        text->removeSelection(0);
        QCOMPARE(QList<int>({start, end, selected, text->selectionCount()}), QList<int>({1, 3, 1, 0}));
        for (int offset = 0; offset < text->characterCount(); ++offset) {
            const QRect shown = text->characterRect(offset);
            QCOMPARE(text->offsetAtPoint(QPoint(shown.left() + shown.width() / 4, shown.center().y())), offset);
        }
    }

    // Beside the window, never over it, and without taking the focus from
    // the box the user types in; a message raised while the window is hidden
    // waits for it, one cause shows one message, and its button closes it.
    void messagesStandAsideWithoutFocus()
    {
        QWidget* box = control(QStringLiteral("txtUsername"));
        window->hide();
        qt::MessageWindows real(window.get());
        real.Show(ui::Failure::SaveSettings, u"无法保存");
        QCOMPARE(visibleMessages().size(), 0);
        window->show();
        box->activateWindow();
        box->setFocus();
        real.Show(ui::Failure::SaveSettings, u"无法保存。");
        QList<QWidget*> shown = visibleMessages();
        QCOMPARE(shown.size(), 1);
        QVERIFY(shown[0]->x() > window->frameGeometry().right());
        const QPalette colours = shown[0]->palette();
        QVERIFY(colours.color(QPalette::ToolTipBase) != colours.color(QPalette::Window));
        QCOMPARE(shown[0]->grab().toImage().pixelColor(1, 1), colours.color(QPalette::ToolTipBase));
        typeInto(QApplication::focusWidget(), QStringLiteral("x"));
        QCOMPARE(textOf(box), QStringLiteral("bobx"));

        // It follows the window, and takes back the place of one closed above it.
        window->move(window->pos() + QPoint(0, 40));
        QTRY_COMPARE(shown[0]->y(), window->frameGeometry().top());
        real.Show(ui::Failure::LoadSettings, u"无法读取。");
        QVERIFY(shown[0]->y() > window->frameGeometry().top());
        real.Close(ui::Failure::LoadSettings);
        QCOMPARE(shown[0]->y(), window->frameGeometry().top());
        QTest::mouseClick(shown[0]->findChild<QToolButton*>(), Qt::LeftButton);
        QVERIFY(visibleMessages().isEmpty());
    }

private:
    static QList<QWidget*> visibleMessages()
    {
        QList<QWidget*> shown = QApplication::topLevelWidgets();
        shown.removeIf([](const QWidget* top) { return top->objectName() != u"message" || !top->isVisible(); });
        return shown;
    }
};

QTEST_MAIN(FormWidgetTest)
#include "tst_form_widget.moc"
