#include "platform/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace platform {

QString SettingsStore::filePath(const QString& application) {
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(folder).filePath(application + ".ini");
}

std::optional<QString> SettingsStore::read(const QString& application, const QString& section,
                                           const QString& key) {
    QSettings settings(filePath(application), QSettings::IniFormat);
    settings.beginGroup(section);
    if (!settings.contains(key)) return std::nullopt;
    return settings.value(key).toString();
}

QString SettingsStore::read(const QString& application, const QString& section,
                            const QString& key, const QString& defaultText) {
    return read(application, section, key).value_or(defaultText);
}

std::optional<QString> SettingsStore::write(const QString& application, const QString& section,
                                            const QString& key, const QString& text) {
    const QString path = filePath(application);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QString("The settings file \"%1\" could not be written: its folder \"%2\" "
                       "could not be created.")
            .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(folder));

    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    settings.setValue(key, text);
    settings.endGroup();
    settings.sync();
    switch (settings.status()) {
        case QSettings::NoError:
            return std::nullopt;
        case QSettings::AccessError:
            return QString("The settings file \"%1\" could not be written: access was denied "
                           "or the disk is full.")
                .arg(QDir::toNativeSeparators(path));
        case QSettings::FormatError:
            return QString("The settings file \"%1\" could not be written: the file is damaged "
                           "and could not be read.")
                .arg(QDir::toNativeSeparators(path));
    }
    return std::nullopt;
}

}  // namespace platform
