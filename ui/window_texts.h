#pragma once

#include <string_view>

// Every text the window shows, in one place.
namespace portauth::ui::texts {

extern const std::u16string_view caption;

// Twelve lines joined by CR LF, the last one empty.
extern const std::u16string_view instructions;

extern const std::u16string_view title;
extern const std::u16string_view inputsHeading;
extern const std::u16string_view outputsHeading;
extern const std::u16string_view userNameCaption;
extern const std::u16string_view ipCaption;
extern const std::u16string_view passwordCaption;
extern const std::u16string_view domainCaption;
// Before an output box's caption where a screen reader names it: the word
// the logon dialog and its domain field use.
extern const std::u16string_view logonFieldPrefix;

// What the window says when something fails, and the details line below it.
extern const std::u16string_view passwordTooLong;
extern const std::u16string_view settingsUnreadable;
extern const std::u16string_view settingsUnwritable;
extern const std::u16string_view clipboardUnavailable;
extern const std::u16string_view unexpectedError;

extern const std::u16string_view errorDetailsOpen;  // "（错误 "
extern const std::u16string_view errorDetailsColon; // "："
extern const std::u16string_view errorDetailsClose; // "）"
extern const std::u16string_view cannotRead;        // followed by the store's path
extern const std::u16string_view cannotWrite;       // followed by the store's path
extern const std::u16string_view overflow;
extern const std::u16string_view subscriptOutOfRange;
extern const std::u16string_view clipboardHeld;

} // namespace portauth::ui::texts
