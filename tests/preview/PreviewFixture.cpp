#include "PreviewFixture.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>

#include "platform/Twips.h"

void RecordingMainWindow::closeEvent(QCloseEvent* event) {
    ++closeRequests;
    QWidget::closeEvent(event);
}

void PreviewFixture::SetUp() {
    TestEnv::SetUp();
    mainWindow = std::make_unique<RecordingMainWindow>();
    newWindow();
}

void PreviewFixture::newWindow() {
    form.reset();
    dialogs.clear();
    form = std::make_unique<Form2>(dialogs, mainWindow.get());
}

void PreviewFixture::TearDown() {
    form.reset();
    mainWindow.reset();
    TestEnv::TearDown();
}

QImage PreviewFixture::patternPicture(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, ((x + y) % 2) ? qRgb(255, 255, 255) : qRgb(x % 256, 0, y % 256));
    return picture;
}

void PreviewFixture::showWith(const QImage& picture) {
    form->loadPicture(picture);
    form->show();
}

void PreviewFixture::mouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                           Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, held,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

int PreviewFixture::px(double twips) { return platform::twipsToPixels(twips); }

QRect PreviewFixture::twipsRect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

QString PreviewFixture::handOverWorkbook(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = char((i * 31 + 7) % 251);
    const QString path = QDir(tempDir()).filePath("tkvane12345678.xls");
    writeFile(path, bytes);
    form->mExcelFile = path;
    return path;
}
