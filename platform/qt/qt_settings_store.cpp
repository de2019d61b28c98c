#include "platform/qt/qt_settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <sys/stat.h>

namespace tallyhive::platform {
namespace {

QString address(const QString& section, const QString& key) { return section + u'/' + key; }

// The file may hold a password: it is created private, before anything is written.
void makePrivate(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!QFileInfo::exists(path)) {
        const mode_t previous = ::umask(077);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.close();
        ::umask(previous);
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace

QString QtSettingsStore::filePath(const QString& application)
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, application).fileName();
}

QString QtSettingsStore::getSetting(const QString& application, const QString& section, const QString& key,
                                    const std::optional<QString>& defaultValue) const
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, application);
    const QVariant value = settings.value(address(section, key));
    if (!value.isValid())
        return defaultValue.value_or(QString());
    return value.toString();
}

void QtSettingsStore::saveSetting(const QString& application, const QString& section, const QString& key,
                                  const QString& value)
{
    const QString path = filePath(application);
    makePrivate(path);
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, application);
    settings.setValue(address(section, key), value);
    settings.sync();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace tallyhive::platform
