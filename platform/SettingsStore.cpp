#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>

#include "platform/IniText.h"

namespace platform {

QString SettingsStore::filePath(const QString& application) {
    QString folder = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(folder).filePath(application + ".ini");
}

namespace {

// The file's bytes when it exists and can be read.
std::optional<QByteArray> fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll();
}

QString writeFailure(const QString& path, const QString& reason) {
    return QString("The settings file \"%1\" could not be written: %2.")
        .arg(QDir::toNativeSeparators(path), reason);
}

}  // namespace

std::optional<QString> SettingsStore::read(const QString& application, const QString& section,
                                           const QString& key) {
    const QString path = filePath(application);
    const std::optional<QByteArray> bytes = fileBytes(path);
    if (!bytes) return std::nullopt;
    if (const auto single = IniText::readSingleValueFile(*bytes)) {
        if (single->group == section && single->key == key) return single->text;
        return std::nullopt;
    }
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    if (!settings.contains(key)) return std::nullopt;
    return settings.value(key).toString();
}

QString SettingsStore::read(const QString& application, const QString& section, const QString& key,
                            const QString& defaultText) {
    return read(application, section, key).value_or(defaultText);
}

std::optional<QString> SettingsStore::write(const QString& application, const QString& section,
                                            const QString& key, const QString& text) {
    const QString path = filePath(application);
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return QString(
                   "The settings file \"%1\" could not be written: its folder \"%2\" "
                   "could not be created.")
            .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(folder));

    // The usual file holds just this one value: write it directly, atomically.
    const std::optional<QByteArray> old = fileBytes(path);
    const bool onlyThisValue = !old || old->isEmpty() || [&] {
        const auto single = IniText::readSingleValueFile(*old);
        return single && single->group == section && single->key == key;
    }();
    if (onlyThisValue) {
        if (const std::optional<QByteArray> content =
                IniText::singleValueFile(section, key, text)) {
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly)) return writeFailure(path, file.errorString());
            if (file.write(*content) != content->size() || !file.commit())
                return writeFailure(path, file.errorString());
            return std::nullopt;
        }
    }

    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    settings.setValue(key, text);
    settings.endGroup();
    settings.sync();
    switch (settings.status()) {
        case QSettings::NoError:
            return std::nullopt;
        case QSettings::AccessError:
            return QString(
                       "The settings file \"%1\" could not be written: access was denied "
                       "or the disk is full.")
                .arg(QDir::toNativeSeparators(path));
        case QSettings::FormatError:
            return QString(
                       "The settings file \"%1\" could not be written: the file is damaged "
                       "and could not be read.")
                .arg(QDir::toNativeSeparators(path));
    }
    return std::nullopt;
}

}  // namespace platform
