#pragma once

#include <QStringView>

// Every text the window shows, in one place.
namespace portauth::texts {

extern const QStringView caption;

// Twelve lines joined by CR LF, the last one empty.
extern const QStringView instructions;

extern const QStringView title;
extern const QStringView inputsHeading;
extern const QStringView outputsHeading;
extern const QStringView userNameCaption;
extern const QStringView ipCaption;
extern const QStringView passwordCaption;
extern const QStringView domainCaption;

// What the window says when something fails.
extern const QStringView passwordTooLong;
extern const QStringView settingsUnreadable;
extern const QStringView settingsUnwritable;
extern const QStringView clipboardUnavailable;
extern const QStringView unexpectedError;
extern const QStringView errorNumber; // %1: the number, %2: the details

} // namespace portauth::texts
