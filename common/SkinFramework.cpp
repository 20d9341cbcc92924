#include "common/SkinFramework.h"

#include <QDir>
#include <QFile>
#include <QWidget>

#include "common/Failure.h"

namespace common {

void SkinFramework::LoadSkin(const QString& path, const QString& /*iniName*/) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QString("The skin file \"%1\" could not be read: %2.")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Failure(QString("The skin file \"%1\" could not be read: %2.")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
    styleSheet_ = QString::fromUtf8(bytes);
}

void SkinFramework::ApplyWindow(QWidget* window) {
    if (!loaded()) throw Failure("No skin is loaded, so none can be applied to the window.");
    if (window == nullptr) throw Failure("The skin cannot be applied: there is no window.");
    window->setStyleSheet(styleSheet_);
}

}  // namespace common
