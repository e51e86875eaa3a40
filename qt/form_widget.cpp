#include "form_widget.h"

#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <limits>
#include <utility>

#include "horizontal_rule.h"
#include "message_windows.h"
#include "output_box_colour.h"
#include "qt_text.h"
#include "system_clipboard.h"
#include "text_box_accessible.h"
#include "window_texts.h"

namespace portauth::qt {
namespace {

using ui::Control;
using ui::ControlId;
using ui::ControlKind;
namespace flags = ui::flags;

// A native multi-line edit control leaves about a pixel between its border
// and the text. Qt's default of four, inside a two-pixel frame, would wrap
// the 55-cell lines.
constexpr qreal instructionMargin = 1.0;

QFont windowFont()
{
    // The Song face the texts were laid out in, then a free face with the
    // same cell widths where it is not installed. Only an installed face is
    // named: a missing one sends the font system through its fallback
    // rules, which cost a tenth of the start-up.
    const QStringList songFaces{toQString(ui::kWindowFont.face), QStringLiteral("SimSun"),
                                QStringLiteral("AR PL UMing CN")};
    const auto installed = std::find_if(songFaces.begin(), songFaces.end(), QFontDatabase::hasFamily);
    QFont font;
    if (installed != songFaces.end())
        font.setFamily(*installed);
    else
        font.setFamilies(songFaces);
    font.setPointSize(ui::kWindowFont.points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    // Hinting runs the face's bytecode for every glyph on first layout, a
    // fifth of the start-up; the Song faces keep whole-pixel cells at 9
    // points without it, so the layout is the same.
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

// Styles draw a password as bullets by default; this box shows stars.
class StarPasswordStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

ui::ControlId idOf(const QObject* box)
{
    return static_cast<ui::ControlId>(box->property("controlId").toInt());
}

std::int16_t keyCodeOf(const QKeyEvent& event)
{
    // Qt numbers a letter or digit key by its upper-case character; a key
    // without a character by a number above every character's.
    const int key = event.key();
    return ui::KeyCodeOf(key < Qt::Key_Escape ? static_cast<char32_t>(key) : U'\0');
}

std::int16_t shiftStateOf(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    return ui::ShiftStateOf(modifiers & Qt::ShiftModifier, modifiers & Qt::ControlModifier,
                            modifiers & Qt::AltModifier);
}

QLineEdit* newLineEdit(QWidget* parent, const Control& control)
{
    auto* box = new QLineEdit(parent);
    // QLineEdit cuts texts at 32,767 characters by default; these boxes take any length.
    box->setMaxLength(std::numeric_limits<int>::max());
    box->setReadOnly(control.has(flags::Locked));
    if (control.has(flags::GreyBackground)) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, outputBoxColour(parent->palette()));
        box->setPalette(palette);
    }
    if (control.has(flags::PasswordStar)) {
        box->setEchoMode(QLineEdit::Password);
        auto* starStyle = new StarPasswordStyle(QApplication::style()->name());
        starStyle->setParent(box);
        box->setStyle(starStyle);
    }
    // Read-only boxes already turn the input method off themselves.
    if (control.has(flags::InputMethodOff))
        box->setAttribute(Qt::WA_InputMethodEnabled, false);
    return box;
}

QPlainTextEdit* newMultiLineBox(QWidget* parent, const Control& control)
{
    auto* box = new QPlainTextEdit(parent);
    box->setPlainText(toQString(control.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box->setReadOnly(control.has(flags::Locked));
    // Read-only would also drop keyboard selection; the text stays copyable.
    // Without TextEditable, Tab moves the focus on as from any other box.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->document()->setDocumentMargin(instructionMargin);
    return box;
}

QLabel* newLabel(QWidget* parent, const Control& control)
{
    auto* label = new QLabel(toQString(control.text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

} // namespace

FormWidget::FormWidget(std::unique_ptr<ui::ClipboardPort> clipboard, std::unique_ptr<ui::SettingsPort> settings,
                       std::unique_ptr<ui::MessagePort> messages, QWidget* parent)
    : QWidget(parent),
      clipboard_(std::move(clipboard)),
      settings_(std::move(settings)),
      messages_(messages ? std::move(messages) : std::make_unique<MessageWindows>(this))
{
    // Before any box exists: an assistive program already listening gets
    // the window's interface for each from the start.
    QAccessible::installFactory(&FormWidget::accessibleBox);
    setWindowFrame();
    for (const Control& control : ui::Controls())
        controls_[static_cast<std::size_t>(control.id)] = createControl(control);
    setAccessibleNames();
    setFocusOrder();
    form_ = std::make_unique<ui::frmMain>(*this, *clipboard_, *settings_, *messages_);
    connectEvents();
    form_->Form_Load();
}

FormWidget::~FormWidget() = default;

void FormWidget::setWindowFrame()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(toQString(ui::texts::caption));
    setFont(windowFont());
    setFixedSize(toPixels({0, 0, ui::kClientWidthTwips, ui::kClientHeightTwips}).size());
}

QWidget* FormWidget::createControl(const Control& control)
{
    QWidget* widget = nullptr;
    switch (control.kind) {
    case ControlKind::TextBox:
        widget = newLineEdit(this, control);
        break;
    case ControlKind::MultiLineTextBox:
        widget = newMultiLineBox(this, control);
        break;
    case ControlKind::Label:
        widget = newLabel(this, control);
        break;
    case ControlKind::Line:
        widget = new HorizontalRule(this);
        break;
    }
    widget->setObjectName(QLatin1String(control.name.data(), static_cast<qsizetype>(control.name.size())));
    const QRect pixels = toPixels(control.twips);
    // The rule is a line between two points; its widget is one pixel high.
    widget->setGeometry(control.kind == ControlKind::Line ? pixels.adjusted(0, 0, 0, 1) : pixels);
    return widget;
}

QRect FormWidget::toPixels(const ui::TwipsRect& twips) const
{
    const int dpiX = logicalDpiX();
    const int dpiY = logicalDpiY();
    return {ui::TwipsToPixels(twips.left, dpiX), ui::TwipsToPixels(twips.top, dpiY),
            ui::TwipsToPixels(twips.width, dpiX), ui::TwipsToPixels(twips.height, dpiY)};
}

void FormWidget::setAccessibleNames()
{
    for (ControlId box : ui::FocusOrder()) {
        control(box)->setAccessibleName(toQString(ui::AccessibleName(box)));
        control(box)->setAccessibleDescription(toQString(ui::AccessibleDescription(box)));
    }
}

void FormWidget::setFocusOrder()
{
    const auto& order = ui::FocusOrder();
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(control(order[i - 1]), control(order[i]));
    control(order.front())->setFocus();
}

void FormWidget::connectEvents()
{
    for (const Control& box : ui::Controls()) {
        if (box.kind != ControlKind::TextBox)
            continue;
        auto* edit = static_cast<QLineEdit*>(control(box.id));
        edit->setProperty("controlId", static_cast<int>(box.id));
        edit->installEventFilter(this);
        if (!ui::IsOutputBox(box.id))
            connect(edit, &QLineEdit::textChanged, this, [this, id = box.id] { form_->Change(id); });
    }
    connect(QApplication::clipboard(), &QClipboard::selectionChanged, this, &FormWidget::offerSelection);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &FormWidget::copyMade);

    // Qt's interface for the instructions edits them for an assistive
    // program, read-only or not; what it changes goes back once it is done.
    auto* instructions = static_cast<QPlainTextEdit*>(control(ControlId::Text1));
    connect(
        instructions, &QPlainTextEdit::textChanged, instructions,
        [instructions, text = instructions->toPlainText()] {
            if (instructions->toPlainText() != text)
                instructions->setPlainText(text);
        },
        Qt::QueuedConnection);
}

// A box copies its selection to X11's primary selection itself, as the user
// selects, by mouse or by key; frmMain may then offer it again, marked.
void FormWidget::offerSelection()
{
    auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    if (offeringSelection_ || !edit || !QApplication::clipboard()->ownsSelection())
        return;
    const QScopedValueRollback offering(offeringSelection_, true);
    form_->SelectionMade(idOf(edit), edit->selectedText().toStdU16String());
}

// Qt asks for the most derived class first: the boxes are plain QLineEdits.
QAccessibleInterface* FormWidget::accessibleBox(const QString& /*className*/, QObject* object)
{
    auto* box = qobject_cast<QLineEdit*>(object);
    auto* form = box ? qobject_cast<FormWidget*>(box->parentWidget()) : nullptr;
    if (!form)
        return nullptr;
    return new TextBoxAccessible(box, [form, box](const QString& part) { form->readOut(box, part); });
}

// Qt's bridge copies or cuts for an assistive program by reading the part
// and putting it on the clipboard at once, in the same turn of the event
// loop: the clipboard's text then tells which box it came from.
void FormWidget::readOut(QLineEdit* box, const QString& part)
{
    readOutBox_ = box;
    readOutPart_ = part;
    QTimer::singleShot(0, this, [this] { readOutBox_ = nullptr; });
}

// frmMain decides on the copy as on the box's own: the derived password is
// offered again, marked.
void FormWidget::copyMade()
{
    QLineEdit* const box = std::exchange(readOutBox_, nullptr);
    if (box && QApplication::clipboard()->text() == readOutPart_)
        form_->CopySelection(idOf(box), readOutPart_.toStdU16String());
}

std::u16string FormWidget::Text(ControlId box) const
{
    return static_cast<const QLineEdit*>(control(box))->text().toStdU16String();
}

void FormWidget::SetText(ControlId box, std::u16string_view text)
{
    static_cast<QLineEdit*>(control(box))->setText(toQString(text));
}

// The output boxes' key-downs reach the handlers before the box's own
// handling, which a handler may take over; every copy of a box's selection,
// by key or by its menu, goes to frmMain first, and every paste, by key,
// menu, middle click or drop, keeps what a one-line box keeps. QLineEdit
// starts no drag unless asked to, so no text leaves a box that way.
bool FormWidget::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::ContextMenu:
        showMenu(edit, static_cast<QContextMenuEvent&>(*event).globalPos());
        return true;
    case QEvent::KeyPress:
        return keyPressed(edit, static_cast<const QKeyEvent&>(*event));
    case QEvent::MouseButtonRelease:
        return static_cast<const QMouseEvent&>(*event).button() == Qt::MiddleButton
            && paste(edit, QClipboard::Selection);
    case QEvent::Drop:
        return dropped(edit, static_cast<QDropEvent&>(*event));
    default:
        return false;
    }
}

bool FormWidget::keyPressed(QLineEdit* edit, const QKeyEvent& key)
{
    const ControlId id = idOf(edit);
    if (ui::IsOutputBox(id) && form_->KeyDown(id, keyCodeOf(key), shiftStateOf(key)))
        return true;
    if (key.matches(QKeySequence::Paste))
        return paste(edit, QClipboard::Clipboard);
    return key.matches(QKeySequence::Copy) && form_->CopySelection(id, edit->selectedText().toStdU16String());
}

// As Qt pastes, but for the line kept; false where Qt pastes nothing: into
// a read-only box, or from a primary selection the platform does not have.
bool FormWidget::paste(QLineEdit* edit, QClipboard::Mode mode)
{
    const QClipboard* board = QApplication::clipboard();
    if (edit->isReadOnly() || (mode == QClipboard::Selection && !board->supportsSelection()))
        return false;
    if (mode == QClipboard::Selection)
        edit->deselect();
    edit->insert(pastedLine(board->text(mode)));
    return true;
}

// Qt's own drop, of the line kept.
bool FormWidget::dropped(QLineEdit* edit, QDropEvent& drop)
{
    const QString text = drop.mimeData()->text();
    QMimeData kept;
    kept.setText(pastedLine(text));
    if (kept.text() == text)
        return false;
    QDropEvent keptDrop(drop.position(), drop.possibleActions(), &kept, drop.buttons(), drop.modifiers());
    QApplication::sendEvent(edit, &keptDrop);
    drop.setDropAction(keptDrop.dropAction());
    drop.setAccepted(keptDrop.isAccepted());
    return true;
}

// The box's own menu, with its Copy and Cut asking frmMain first and its
// Paste keeping a line. They are known by their text, which Qt translates
// as it makes the menu.
void FormWidget::showMenu(QLineEdit* edit, const QPoint& at)
{
    QMenu* menu = edit->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString copy = QLineEdit::tr("&Copy"), cut = QLineEdit::tr("Cu&t"), pasting = QLineEdit::tr("&Paste");
    for (QAction* action : menu->actions()) {
        const bool cuts = action->text().startsWith(cut);
        std::function<void()> own;
        if (action->text().startsWith(pasting))
            own = [this, edit] { paste(edit, QClipboard::Clipboard); };
        else if (cuts || action->text().startsWith(copy))
            own = [this, edit, cuts] {
                if (!form_->CopySelection(idOf(edit), edit->selectedText().toStdU16String()))
                    cuts ? edit->cut() : edit->copy();
            };
        else
            continue;
        disconnect(action, &QAction::triggered, edit, nullptr);
        connect(action, &QAction::triggered, edit, own);
    }
    menu->popup(at);
}

} // namespace portauth::qt
