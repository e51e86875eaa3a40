#include "window_rules.h"

#include <algorithm>

#include "window_texts.h"

namespace portauth::ui {
namespace {

using enum ControlId;

bool IsInputCaptioned(ControlId box)
{
    return box == txtUsername || box == txtIP || box == txtPassword;
}

bool IsOutputCaptioned(ControlId box)
{
    return box == txtNUserName || box == txtNPassword || box == txtNDomain;
}

std::u16string Spoken(std::u16string_view text)
{
    std::u16string spoken(text);
    std::erase_if(spoken, [](char16_t c) { return c == u':' || c == u'：'; });
    return spoken;
}

ControlId CaptionOf(ControlId box)
{
    for (const auto& [captioned, caption] : CaptionedBoxes())
        if (captioned == box)
            return caption;
    return Label7;
}

} // namespace

bool IsOutputBox(ControlId box) noexcept
{
    const Control& control = ControlOf(box);
    return control.kind == ControlKind::TextBox && control.has(flags::Locked);
}

std::int16_t KeyCodeOf(char32_t unshiftedCharacter) noexcept
{
    char32_t c = unshiftedCharacter;
    if (c >= U'a' && c <= U'z')
        c -= U'a' - U'A';
    const bool letterOrDigit = (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9');
    return letterOrDigit ? static_cast<std::int16_t>(c) : std::int16_t{0};
}

std::int16_t ShiftStateOf(bool shift, bool ctrl, bool alt) noexcept
{
    return static_cast<std::int16_t>((shift ? kShiftMask : 0) | (ctrl ? kCtrlMask : 0) | (alt ? kAltMask : 0));
}

std::u16string_view PastedLine(std::u16string_view pasted) noexcept
{
    std::u16string_view line = pasted.substr(0, pasted.find(u'\n'));
    if (line.size() < pasted.size() && line.ends_with(u'\r'))
        line.remove_suffix(1);
    return line;
}

std::u16string AccessibleName(ControlId box)
{
    std::u16string name = Spoken(ControlOf(CaptionOf(box)).text);
    // Two output captions repeat input ones; spoken as the logon dialog's
    // fields they fill, all seven boxes are told apart by name alone.
    if (IsOutputCaptioned(box) && !name.starts_with(texts::logonFieldPrefix))
        name.insert(0, texts::logonFieldPrefix);
    return name;
}

std::u16string AccessibleDescription(ControlId box)
{
    if (IsInputCaptioned(box))
        return Spoken(ControlOf(Label8).text);
    return IsOutputCaptioned(box) ? Spoken(ControlOf(Label9).text) : std::u16string();
}

std::vector<PixelRect> PlaceMessages(const PixelRect& window, const PixelRect& screen,
                                     std::span<const PixelRect> messages, int logicalDpi)
{
    const int gap = TwipsToPixels(kMessageGapTwips, logicalDpi);
    std::vector<PixelRect> placed;
    int top = window.top;
    for (const PixelRect& message : messages) {
        int left = window.left + window.width + gap;
        const int leftSide = window.left - gap - message.width;
        if (left + message.width > screen.left + screen.width && leftSide >= screen.left)
            left = leftSide;
        placed.push_back({left, top, message.width, message.height});
        top += message.height + gap;
    }
    return placed;
}

} // namespace portauth::ui
