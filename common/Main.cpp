#include "common/Main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QTemporaryFile>
#include <cmath>

#include "common/Failure.h"
#include "common/SkinFramework.h"
#include "platform/Dialogs.h"
#include "platform/RandomSource.h"
#include "platform/UrlOpener.h"
#include "platform/WorkingFile.h"

namespace common::Main {

QString programFolder() { return QCoreApplication::applicationDirPath(); }

QString pathIn(const QString& folder, const QString& name) {
    return QDir::toNativeSeparators(QDir(folder).filePath(name));
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

void WriteNewFile(const QByteArray& bytes, const QString& path) {
    QCoreApplication::processEvents();
    if (FileExists(path)) return;
    // Written under a temporary name beside it and renamed once whole, so that no partial file
    // ever carries the name. The files written here are working copies that live for one command,
    // so they are not forced to the disk.
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open())
        throw common::Failure(QString("The file \"%1\" could not be created: %2.")
                                  .arg(QDir::toNativeSeparators(path), file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.rename(path))
        throw common::Failure(QString("The file \"%1\" could not be written: %2.")
                                  .arg(QDir::toNativeSeparators(path), file.errorString()));
    file.setAutoRemove(false);
}

void DeleteFileQuietly(const QString& path) {
    QCoreApplication::processEvents();
    if (path.isEmpty()) return;
    platform::removeOwnFile(path);
}

QColor buttonFaceColor() { return QApplication::palette().color(QPalette::Button); }

void setBackgroundColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    // The text drawn on the ground goes with it, so no theme puts light text on a fixed white
    // ground: the theme's own on the ground the theme gives (button faces), else black or white,
    // whichever stands out.
    const QPalette theme = QApplication::palette();
    const QColor text = color == theme.color(QPalette::Button) ? theme.color(QPalette::ButtonText)
                        : color.lightnessF() > 0.5                ? QColor(Qt::black)
                                                                 : QColor(Qt::white);
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QColor backgroundColor(const QWidget* widget) { return widget->palette().color(QPalette::Window); }

namespace {

bool isFrameOrLabelKind(const QWidget* w) {
    return qobject_cast<const QRadioButton*>(w) || qobject_cast<const QCheckBox*>(w) ||
           qobject_cast<const QGroupBox*>(w) || qobject_cast<const QLabel*>(w);
}

void colorControls(QWidget* window, bool includePictureBoxes) {
    const QList<QWidget*> controls = window->findChildren<QWidget*>();
    for (QWidget* control : controls) {
        const bool isPicture = control->inherits("PictureBox");  // by the name Q_OBJECT gives
        if (isFrameOrLabelKind(control) || (includePictureBoxes && isPicture))
            setBackgroundColor(control, buttonFaceColor());
    }
}

}  // namespace

void SetFormColors(QWidget* window) {
    setBackgroundColor(window, buttonFaceColor());
    colorControls(window, false);
}

void ApplySkin(QWidget* mainWindow, common::SkinFramework& skin, const QString& folder) {
    const QString skinPath = pathIn(folder, "x/o.cjs");
    const QFileInfo info(skinPath);
    if (!info.exists() || !info.isFile() || info.isHidden()) return;

    setBackgroundColor(mainWindow, buttonFaceColor());
    colorControls(mainWindow, true);

    skin.LoadSkin(skinPath, QString(""));
    skin.setFlags(skin.flags() | 1);
    skin.setApplyOptions(true);
    skin.setApplyColors(true);
    skin.ApplyWindow(mainWindow);
}

QString ApplicationTitleFor(const QString& displayName) {
    QString title = displayName;
    do {
        const int space = title.lastIndexOf(' ');
        if (space < 0) break;  // nothing left to cut at: keep the words there are
        title.truncate(space);
    } while (title.size() > kTitleLimit);
    return title;
}

void SetApplicationTitle() {
    platform::Dialogs::setApplicationTitle(ApplicationTitleFor(kDisplayName));
}

bool OpenWebSiteAtRandom(platform::RandomSource& random, platform::UrlOpener& shell) {
    random.reseedFromTimer();
    const double r = random.next();
    const int n = static_cast<int>(std::floor(r * 100.0)) + 1;
    if (n != 7) return false;
    shell.open(kWebSite);
    return true;
}

}  // namespace common::Main
