#include "window_table.h"

#include <algorithm>
#include <cmath>

#include "window_texts.h"

namespace portauth::ui {
namespace {

using enum ControlId;
using enum ControlKind;
using namespace flags;

constexpr unsigned kOutputBox = Locked | GreyBackground;

// clang-format off
// Not constexpr: the texts are defined with the other texts, which are
// constant-initialised and so ready before this table.
const std::array<Control, kControlCount> kControls{{
    {txtNDomain,   "txtNDomain",   TextBox,          {1140, 5475, 4065, 300},  13, {},                     kOutputBox},
    {txtNPassword, "txtNPassword", TextBox,          {1140, 5115, 4065, 300},  12, {},                     kOutputBox},
    {txtNUserName, "txtNUserName", TextBox,          {1155, 4740, 4065, 300},  11, {},                     kOutputBox},
    {txtPassword,  "txtPassword",  TextBox,          {1140, 3870, 4065, 300},  10, {},                     PasswordStar | InputMethodOff},
    {txtIP,        "txtIP",        TextBox,          {1140, 3510, 4065, 300},   9, {},                     0},
    {txtUsername,  "txtUsername",  TextBox,          {1155, 3135, 4065, 300},   8, {},                     0},
    {Text1,        "Text1",        MultiLineTextBox, {180, 480, 5100, 2265},    7, texts::instructions,    Locked},
    {Label9,       "Label9",       Label,            {240, 4455, 4890, 225},   15, texts::outputsHeading,  0},
    {Label8,       "Label8",       Label,            {240, 2820, 1680, 225},   14, texts::inputsHeading,   0},
    {Label7,       "Label7",       Label,            {210, 165, 3930, 255},     6, texts::title,           0},
    {Label6,       "Label6",       Label,            {255, 5160, 675, 270},     5, texts::passwordCaption, 0},
    {Label5,       "Label5",       Label,            {240, 5505, 765, 225},     4, texts::domainCaption,   0},
    {Label4,       "Label4",       Label,            {255, 4845, 765, 225},     3, texts::userNameCaption, 0},
    // From x = -60 to x = 5745 twips, past both edges: neither end shows.
    {Line1,        "Line1",        Line,             {-60, 4305, 5805, 0},     -1, {},                     0},
    {Label3,       "Label3",       Label,            {210, 3945, 675, 270},     2, texts::passwordCaption, 0},
    {Label2,       "Label2",       Label,            {240, 3555, 765, 225},     1, texts::ipCaption,       0},
    {Label1,       "Label1",       Label,            {240, 3225, 765, 225},     0, texts::userNameCaption, 0},
}};

constexpr std::array<CaptionedBox, 6> kCaptionedBoxes{{
    {txtUsername, Label1}, {txtIP, Label2}, {txtPassword, Label3},
    {txtNUserName, Label4}, {txtNPassword, Label6}, {txtNDomain, Label5},
}};
// clang-format on

std::array<ControlId, kFocusStops> textBoxesByTabIndex()
{
    std::array<const Control*, kFocusStops> boxes{};
    auto* out = boxes.begin();
    for (const Control& control : kControls)
        if (control.isTextBox())
            *out++ = &control;
    std::sort(boxes.begin(), boxes.end(), [](const Control* a, const Control* b) { return a->tabIndex < b->tabIndex; });
    std::array<ControlId, kFocusStops> order{};
    std::transform(boxes.begin(), boxes.end(), order.begin(), [](const Control* box) { return box->id; });
    return order;
}

} // namespace

std::span<const Control, kControlCount> Controls()
{
    return kControls;
}

const Control& ControlOf(ControlId id)
{
    // The table is in enumeration order, so the id is the index.
    return kControls[static_cast<std::size_t>(id)];
}

const std::array<ControlId, kFocusStops>& FocusOrder()
{
    static const std::array<ControlId, kFocusStops> order = textBoxesByTabIndex();
    return order;
}

std::span<const CaptionedBox, 6> CaptionedBoxes()
{
    return kCaptionedBoxes;
}

int TwipsToPixels(int twips, int logicalDpi) noexcept
{
    return static_cast<int>(std::lround(twips * logicalDpi / 1440.0));
}

} // namespace portauth::ui
