// The picture's way through "temp.bmp": saved after the clipboard, read back into the Preview, as
// the program does it and as Qt's BMP writer and reader do it. The picture is the size of the
// 1,000-entry sheet's (205 x 16,384 pixels, cut to the side bound), in the painter's 32-bit form.
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QPainter>

#include "BenchMain.h"
#include "platform/PictureFile.h"
#include "platform/TempFolder.h"

namespace {

QImage sheetSizedPicture() {
    QImage picture(205, 16384, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    for (int y = 0; y < picture.height(); y += 20) {
        painter.fillRect(0, y, 205, 19,
                         (y / 20) % 2 ? QColor(221, 235, 247) : QColor(189, 215, 238));
        painter.drawText(4, y + 15, QString("Asset number %1").arg(y / 20));
    }
    return picture;
}

enum Way { kOurs, kQtBmp };

QString picturePath() { return QDir(platform::temporaryFolder()).filePath("temp.bmp"); }

bool save(Way way, const QImage& picture) {
    if (way == kOurs) return platform::savePictureFile(picture, picturePath(), nullptr);
    QImageWriter writer(picturePath(), "bmp");
    return writer.write(picture);
}

QImage load(Way way) {
    if (way == kOurs) return platform::loadPictureFile(picturePath());
    QImage picture;
    picture.load(picturePath());
    return picture;
}

// Arg 0: ours; 1: Qt's BMP writer.
void BM_SavePictureFile(benchmark::State& state) {
    const QImage picture = sheetSizedPicture();
    const Way way = Way(state.range(0));
    for (auto _ : state) {
        if (!save(way, picture)) state.SkipWithError("the picture was not saved");
        state.PauseTiming();
        QFile::remove(picturePath());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SavePictureFile)->Arg(kOurs)->Arg(kQtBmp)->Unit(benchmark::kMillisecond);

// Arg 0: ours (the file as we save it); 1: Qt's reader (the file as Qt's writer saves it).
void BM_LoadPictureFile(benchmark::State& state) {
    const Way way = Way(state.range(0));
    save(way, sheetSizedPicture());
    for (auto _ : state) {
        const QImage picture = load(way);
        if (picture.isNull()) state.SkipWithError("the picture was not read");
        benchmark::DoNotOptimize(picture.constBits());
    }
    QFile::remove(picturePath());
}
BENCHMARK(BM_LoadPictureFile)->Arg(kOurs)->Arg(kQtBmp)->Unit(benchmark::kMillisecond);

}  // namespace

MORROWLIN_BENCHMARK_MAIN()
