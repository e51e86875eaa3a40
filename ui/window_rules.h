#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "window_table.h"

// What both front ends do alike where a toolkit would choose for itself:
// each one feeds these its own events and measures and draws the result.
namespace portauth::ui {

// The boxes the user reads the logon values from: the user cannot type in
// them, and their key-downs reach the handlers before the box's own keys.
bool IsOutputBox(ControlId box) noexcept;

// The key code the KeyDown handlers take, from the character the key
// writes without Shift (letters in either case): a letter or a digit has
// its upper-case character code; any other key has none a handler acts on.
std::int16_t KeyCodeOf(char32_t unshiftedCharacter) noexcept;

// Key codes and shift state as the KeyDown handlers receive them.
inline constexpr std::int16_t kKeyC = 67;
inline constexpr std::int16_t kShiftMask = 1;
inline constexpr std::int16_t kCtrlMask = 2;
inline constexpr std::int16_t kAltMask = 4;
std::int16_t ShiftStateOf(bool shift, bool ctrl, bool alt) noexcept;

// What a one-line box keeps of a paste, as a Windows edit box does: what
// comes before the first line feed, less one carriage return just before
// it. A carriage return elsewhere, a tab and any other character stay.
std::u16string_view PastedLine(std::u16string_view pasted) noexcept;

// What a screen reader says for a box: its caption without the colon, and
// the heading of its group; the instructions are named by the title. An
// output box is named as the logon dialog's field ("登陆密码"), so that no
// two boxes share a name.
std::u16string AccessibleName(ControlId box);
std::u16string AccessibleDescription(ControlId box);

// The failure messages: text this wide, a margin around it, and this gap
// between the window and the messages and between one message and the next.
inline constexpr int kMessageTextWidthTwips = 4200;
inline constexpr int kMessageMarginTwips = 90;
inline constexpr int kMessageGapTwips = 90;

struct PixelRect {
    int left;
    int top;
    int width;
    int height;
};

// Top-left corners, in screen pixels, of messages of the given outer sizes,
// in the order given: a column beside the window, to its right, or to its
// left where the screen ends on the right and the left has room; the first
// level with the window's top, each below the one before. Messages show
// only while the window does, above it but not above other programs, and a
// click anywhere on one, or its close box, dismisses it.
std::vector<PixelRect> PlaceMessages(const PixelRect& window, const PixelRect& screen,
                                     std::span<const PixelRect> messages, int logicalDpi);

} // namespace portauth::ui
