#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The window as it was drawn: every control with its place in twips, its
// text and its flags. Each toolkit draws this table; none keeps its own copy.
namespace portauth::ui {

enum class ControlId : std::uint8_t {
    txtNDomain,
    txtNPassword,
    txtNUserName,
    txtPassword,
    txtIP,
    txtUsername,
    Text1,
    Label9,
    Label8,
    Label7,
    Label6,
    Label5,
    Label4,
    Line1,
    Label3,
    Label2,
    Label1,
};
inline constexpr std::size_t kControlCount = 17;

enum class ControlKind : std::uint8_t { TextBox, MultiLineTextBox, Label, Line };

// Flags a control may carry; a plain bit set so a table row stays one line.
namespace flags {
inline constexpr unsigned Locked = 1;         // read-only for the user, settable by the program
inline constexpr unsigned GreyBackground = 2; // the system's scroll-bar colour
inline constexpr unsigned PasswordStar = 4;   // every character shows as '*'
inline constexpr unsigned InputMethodOff = 8; // typed keys bypass the input method
} // namespace flags

// Left, top, width and height in twips from the client area's top-left
// corner. A line keeps its two end points as (left, top) and
// (left + width, top + height).
struct TwipsRect {
    int left;
    int top;
    int width;
    int height;
};

struct Control {
    ControlId id;
    std::string_view name;
    ControlKind kind;
    TwipsRect twips;
    int tabIndex; // -1 for the line, which has none
    std::u16string_view text;
    unsigned flags;

    bool has(unsigned flag) const noexcept { return (flags & flag) != 0; }
    bool isTextBox() const noexcept { return kind == ControlKind::TextBox || kind == ControlKind::MultiLineTextBox; }
};

// Every control in creation order, which is also the stacking order.
std::span<const Control, kControlCount> Controls();
const Control& ControlOf(ControlId id);

// The seven text boxes in increasing TabIndex: the order Tab visits them.
// The first one has the focus when the window opens.
inline constexpr std::size_t kFocusStops = 7;
const std::array<ControlId, kFocusStops>& FocusOrder();

// The caption label of each input and output box, on the same row.
struct CaptionedBox {
    ControlId box;
    ControlId caption;
};
std::span<const CaptionedBox, 6> CaptionedBoxes();

inline constexpr int kClientWidthTwips = 5475;
inline constexpr int kClientHeightTwips = 5940;

struct WindowFont {
    std::u16string_view face;
    int points;
    int charset;
    int weight;
};
inline constexpr WindowFont kWindowFont{u"宋体", 9, 134, 400};

// A twip is 1/1440 inch; through the display's logical dpi the controls keep
// their proportion to the point-sized font on every screen.
int TwipsToPixels(int twips, int logicalDpi) noexcept;

} // namespace portauth::ui
