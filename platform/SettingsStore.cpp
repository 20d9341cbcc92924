#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>

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

QString readFailure(const QString& path, const QString& reason) {
    return QString("The settings file \"%1\" could not be read: %2.")
        .arg(QDir::toNativeSeparators(path), reason);
}

// True when the bytes are UTF-8 text without NUL characters, as every settings file is.
bool isText(const QByteArray& bytes) {
    if (bytes.contains('\0')) return false;
    QStringDecoder decoder(QStringDecoder::Utf8);
    (void)decoder.decode(bytes);
    return !decoder.hasError();
}

// The value as QSettings reads it from `path`, or nothing. `status` receives QSettings' status.
std::optional<QString> readWithQSettings(const QString& path, const QString& section,
                                         const QString& key, QSettings::Status* status = nullptr) {
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(section);
    std::optional<QString> text;
    if (settings.contains(key)) text = settings.value(key).toString();
    if (status) *status = settings.status();
    return text;
}

// The value in the bytes, read as the store reads a file.
std::optional<QString> valueIn(const QByteArray& bytes, const QString& section,
                               const QString& key) {
    if (const auto single = IniText::readSingleValueFile(bytes)) {
        if (single->group == section && single->key == key) return single->text;
        return std::nullopt;
    }
    // QSettings keeps the files it has read by name for the whole process, so a file just
    // written is read from a copy of its bytes under a fresh name.
    QTemporaryDir dir;
    if (!dir.isValid()) return std::nullopt;
    const QString copy = dir.filePath("copy.ini");
    QFile file(copy);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) return std::nullopt;
    file.close();
    return readWithQSettings(copy, section, key);
}

}  // namespace

SettingsStore::ReadResult SettingsStore::readChecked(const QString& application,
                                                     const QString& section, const QString& key) {
    const QString path = filePath(application);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return {};  // nothing stored yet
    if (info.isDir()) return {std::nullopt, readFailure(path, "it is a folder, not a file")};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt, readFailure(path, file.errorString())};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {std::nullopt, readFailure(path, file.errorString())};
    if (!isText(bytes))
        return {std::nullopt, readFailure(path, "it holds bytes that are not text")};
    if (const auto single = IniText::readSingleValueFile(bytes)) {
        if (single->group == section && single->key == key) return {single->text, std::nullopt};
        return {};
    }
    QSettings::Status status = QSettings::NoError;
    ReadResult result;
    result.text = readWithQSettings(path, section, key, &status);
    if (status != QSettings::NoError)
        result.failure = readFailure(path, "it is damaged and is not a settings file");
    return result;
}

std::optional<QString> SettingsStore::read(const QString& application, const QString& section,
                                           const QString& key) {
    return readChecked(application, section, key).text;
}

QString SettingsStore::read(const QString& application, const QString& section, const QString& key,
                            const QString& defaultText) {
    return read(application, section, key).value_or(defaultText);
}

QString SettingsStore::backupPath(const QString& application) {
    const QString first = filePath(application) + ".bak";
    QString candidate = first;
    for (int n = 2; QFileInfo(candidate).exists() || QFileInfo(candidate).isSymLink(); ++n)
        candidate = first + "." + QString::number(n);
    return candidate;
}

std::optional<QString> SettingsStore::keepCopy(const QString& application) {
    const QString path = filePath(application);
    const QString copy = backupPath(application);
    const auto failure = [&](const QString& reason) {
        return QString("No copy of the settings file \"%1\" could be kept as \"%2\": %3.")
            .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(copy), reason);
    };
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return std::nullopt;  // nothing there to keep
    if (info.isDir()) return failure("it is a folder, not a file");
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) return failure(in.errorString());
    const QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError) return failure(in.errorString());
    QSaveFile out(copy);
    if (!out.open(QIODevice::WriteOnly)) return failure(out.errorString());
    if (out.write(bytes) != bytes.size() || !out.commit()) return failure(out.errorString());
    return std::nullopt;
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
    const QSettings::Status status = settings.status();
    if (status == QSettings::NoError) return std::nullopt;
    // The status also tells what reading the old file found (a byte-order mark or a stray line
    // above the first group counts as a format error there), so the file itself says whether
    // this write took effect.
    if (const auto written = fileBytes(path); written && valueIn(*written, section, key) == text)
        return std::nullopt;
    switch (status) {
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
