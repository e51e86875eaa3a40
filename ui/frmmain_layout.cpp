#include "frmmain.h"

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProxyStyle>

#include <algorithm>
#include <limits>
#include <utility>

#include "horizontal_rule.h"
#include "output_box_colour.h"
#include "twips.h"
#include "window_texts.h"

namespace portauth {

namespace {

// Client area, in twips.
constexpr int windowWidth = 5475;
constexpr int windowHeight = 5940;

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
    const QStringList songFaces{QStringLiteral("宋体"), QStringLiteral("SimSun"),
                                QStringLiteral("AR PL UMing CN")};
    const auto installed = std::find_if(songFaces.begin(), songFaces.end(), QFontDatabase::hasFamily);
    QFont font;
    if (installed != songFaces.end())
        font.setFamily(*installed);
    else
        font.setFamilies(songFaces);
    font.setPointSize(9);
    font.setWeight(QFont::Normal);
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

QString withLineFeeds(QStringView crLfText)
{
    return crLfText.toString().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

void frmMain::setWindowFrame()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(windowFont());
    setFixedSize(toPixels(QRect(0, 0, windowWidth, windowHeight)).size());
}

void frmMain::createControls()
{
    // Creation order, which also decides the stacking order.
    txtNDomain = addTextBox("txtNDomain", {1140, 5475, 4065, 300});
    txtNPassword = addTextBox("txtNPassword", {1140, 5115, 4065, 300});
    txtNUserName = addTextBox("txtNUserName", {1155, 4740, 4065, 300});
    txtPassword = addTextBox("txtPassword", {1140, 3870, 4065, 300});
    txtIP = addTextBox("txtIP", {1140, 3510, 4065, 300});
    txtUsername = addTextBox("txtUsername", {1155, 3135, 4065, 300});

    Text1 = new QPlainTextEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(toPixels({180, 480, 5100, 2265}));

    Label9 = addLabel("Label9", {240, 4455, 4890, 225});
    Label8 = addLabel("Label8", {240, 2820, 1680, 225});
    Label7 = addLabel("Label7", {210, 165, 3930, 255});
    Label6 = addLabel("Label6", {255, 5160, 675, 270});
    Label5 = addLabel("Label5", {240, 5505, 765, 225});
    Label4 = addLabel("Label4", {255, 4845, 765, 225});

    // The rule runs from x = -60 to x = 5745 twips at y = 4305, past both
    // edges of the window, so neither end shows.
    Line1 = new HorizontalRule(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    const QPoint ruleStart = twipsToPixels(QPoint(-60, 4305), logicalDpiY());
    const QPoint ruleEnd = twipsToPixels(QPoint(5745, 4305), logicalDpiY());
    Line1->setGeometry(QRect(ruleStart, ruleEnd));

    Label3 = addLabel("Label3", {210, 3945, 675, 270});
    Label2 = addLabel("Label2", {240, 3555, 765, 225});
    Label1 = addLabel("Label1", {240, 3225, 765, 225});
}

void frmMain::setTexts()
{
    setWindowTitle(texts::caption.toString());
    Text1->setPlainText(withLineFeeds(texts::instructions));
    Label1->setText(texts::userNameCaption.toString());
    Label2->setText(texts::ipCaption.toString());
    Label3->setText(texts::passwordCaption.toString());
    Label4->setText(texts::userNameCaption.toString());
    Label5->setText(texts::domainCaption.toString());
    Label6->setText(texts::passwordCaption.toString());
    Label7->setText(texts::title.toString());
    Label8->setText(texts::inputsHeading.toString());
    Label9->setText(texts::outputsHeading.toString());
    setAccessibleNames();
}

// A screen reader names each box by its caption and tells the inputs from
// the outputs by the heading of their group; the colons are not read out.
void frmMain::setAccessibleNames()
{
    const auto spoken = [](QStringView text) { return text.toString().remove(u':').remove(u'：'); };
    const std::pair<QLineEdit*, QLabel*> captioned[]{
        {txtUsername, Label1},  {txtIP, Label2},        {txtPassword, Label3},
        {txtNUserName, Label4}, {txtNPassword, Label6}, {txtNDomain, Label5}};
    for (const auto& [box, caption] : captioned) {
        box->setAccessibleName(spoken(caption->text()));
        const QLabel* heading = box->y() < Line1->y() ? Label8 : Label9;
        box->setAccessibleDescription(spoken(heading->text()));
    }
    Text1->setAccessibleName(Label7->text());
}

void frmMain::setFlags()
{
    Text1->setReadOnly(true);
    // Read-only would also drop keyboard selection; the text stays copyable.
    Text1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text1->setTabChangesFocus(true);
    Text1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text1->document()->setDocumentMargin(instructionMargin);

    txtPassword->setEchoMode(QLineEdit::Password);
    auto* starStyle = new StarPasswordStyle(QApplication::style()->name());
    starStyle->setParent(txtPassword);
    txtPassword->setStyle(starStyle);
    txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);

    lockOutputBox(txtNUserName);
    lockOutputBox(txtNPassword);
    lockOutputBox(txtNDomain);
}

void frmMain::setFocusOrder()
{
    const QList<QWidget*> order{Text1,        txtUsername,  txtIP,     txtPassword,
                                txtNUserName, txtNPassword, txtNDomain};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    Text1->setFocus();
}

QRect frmMain::toPixels(const QRect& twips) const
{
    return twipsToPixels(twips, logicalDpiY());
}

QLineEdit* frmMain::addTextBox(const char* name, const QRect& twips)
{
    auto* box = new QLineEdit(this);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(toPixels(twips));
    // QLineEdit cuts texts at 32,767 characters by default; these boxes take any length.
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

QLabel* frmMain::addLabel(const char* name, const QRect& twips)
{
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(toPixels(twips));
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

void frmMain::lockOutputBox(QLineEdit* box)
{
    box->setReadOnly(true);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, outputBoxColour(this->palette()));
    box->setPalette(palette);
}

} // namespace portauth
