#include "platform/OutputDevices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QPaintDevice>
#include <QStringList>
#include <stdexcept>

namespace platform {

namespace {

constexpr char kModuleFile[] = "morrowlin-output.so";

QString& firstFolder() {
    static QString folder;
    return folder;
}

}  // namespace

void useOutputModuleFrom(const QString& folder) { firstFolder() = folder; }

OutputDevices& outputDevices() {
    // Loaded once, by the thread the windows live in, and never unloaded: the devices it made
    // may outlive any one caller.
    static OutputDevices* devices = nullptr;
    if (devices != nullptr) return *devices;
    QStringList folders;
    if (!firstFolder().isEmpty()) folders << firstFolder();
    folders << QCoreApplication::applicationDirPath();
    QString fault;
    for (const QString& folder : folders) {
        const QString path = QDir(folder).filePath(QLatin1String(kModuleFile));
        if (!QFile::exists(path)) {
            fault = QString("\"%1\" is missing").arg(QDir::toNativeSeparators(path));
            continue;  // the program's folder tells the user where it belongs
        }
        QLibrary module(path);
        using Entry = OutputDevices* (*)();
        const auto entry = reinterpret_cast<Entry>(module.resolve(kOutputDevicesEntry));
        if (entry == nullptr || entry() == nullptr) {
            fault = QString("\"%1\" could not be loaded (%2)")
                        .arg(QDir::toNativeSeparators(path), module.errorString());
            break;
        }
        devices = entry();
        return *devices;
    }
    throw std::runtime_error(
        QString("The program's printing and SVG module %1; reinstall the program.")
            .arg(fault)
            .toStdString());
}

std::unique_ptr<QPaintDevice> svgDevice(QIODevice& out, QSizeF size, int dpi,
                                        const QString& title) {
    return outputDevices().svg(out, size, dpi, title);
}

}  // namespace platform
