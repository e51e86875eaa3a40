#include "settings_store.h"

#include <QSettings>
#include <QString>

#include "numbered_error.h"

namespace portauth {
namespace {

QString toQString(std::u16string_view text)
{
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

// An INI file in the user's configuration folder, named after the
// application, with one group per section. QSettings replaces the file
// atomically on every sync, so a crash never leaves a torn file behind.
QSettings openStore(std::u16string_view application)
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, toQString(application));
}

[[noreturn]] void throwAccessError(const QSettings& store, const char* action)
{
    throw NumberedError(ErrorNumber::SettingsAccess,
                        std::string("cannot ") + action + " " + store.fileName().toStdString());
}

} // namespace

std::u16string GetSetting(std::u16string_view application, std::u16string_view section,
                          std::u16string_view key, std::u16string_view defaultValue)
{
    QSettings store = openStore(application);
    store.beginGroup(toQString(section));
    const QString value = store.value(toQString(key), toQString(defaultValue)).toString();
    // A FormatError still yields the entries that could be parsed: keep them.
    if (store.status() == QSettings::AccessError)
        throwAccessError(store, "read");
    return value.toStdU16String();
}

void SaveSetting(std::u16string_view application, std::u16string_view section,
                 std::u16string_view key, std::u16string_view value)
{
    QSettings store = openStore(application);
    store.beginGroup(toQString(section));
    store.setValue(toQString(key), toQString(value));
    store.sync();
    if (store.status() == QSettings::AccessError)
        throwAccessError(store, "write");
}

} // namespace portauth
