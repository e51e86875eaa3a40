#include "settings_store.h"

#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QString>

#include <chrono>

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

// QSettings guards each save with "<file>.lock". A save killed between
// creating that file and writing its owner into it leaves it empty, and an
// empty lock counts as stale only at 30 s of age: until then every save,
// the one at start included, hangs. A save holds the lock for milliseconds,
// so one older than a second is taken as abandoned.
void clearAbandonedLock(const QString& settingsFile)
{
    const QString lockPath = settingsFile + QStringLiteral(".lock");
    if (!QFileInfo::exists(lockPath))
        return;
    QLockFile lock(lockPath);
    lock.setStaleLockTime(std::chrono::seconds(1));
    if (lock.tryLock(std::chrono::seconds(3)))
        lock.unlock();
}

// QSettings reads an unquoted comma in a hand-edited value as a list, which
// converts to the empty text; put the parts back together instead.
QString textOf(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
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
    const QString value = textOf(store.value(toQString(key), toQString(defaultValue)));
    // A FormatError still yields the entries that could be parsed: keep them.
    if (store.status() == QSettings::AccessError)
        throwAccessError(store, "read");
    return value.toStdU16String();
}

void SaveSetting(std::u16string_view application, std::u16string_view section,
                 std::u16string_view key, std::u16string_view value)
{
    QSettings store = openStore(application);
    clearAbandonedLock(store.fileName());
    store.beginGroup(toQString(section));
    store.setValue(toQString(key), toQString(value));
    store.sync();
    if (store.status() == QSettings::AccessError)
        throwAccessError(store, "write");
}

} // namespace portauth
