// One "Zoom In" or "Zoom Out" click in the Preview window: the redraw from the unscaled picture,
// the bars' set-up and the repaint of the image box. Target: under 16 ms (one frame).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QWidget>

#include "preview/Form2.h"
#include "support/Doubles.h"

namespace {

QImage sheetLikePicture(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y,
                             (x % 20 == 0 || y % 17 == 0) ? qRgb(192, 192, 192)
                                                          : qRgb(255, 255 - x % 64, y % 256));
    return picture;
}

// Alternates between two neighbouring factors, each iteration one click that redraws.
void zoomSteps(benchmark::State& state, int width, int height, int clicksIn) {
    platform::ScriptedDialogs dialogs;
    QWidget mainWindow;
    Form2 form(dialogs, &mainWindow);
    form.loadPicture(sheetLikePicture(width, height));
    form.show();
    auto* zoomIn = form.findChild<QPushButton*>("PushButton1");
    auto* zoomOut = form.findChild<QPushButton*>("PushButton2");
    auto* picture = form.findChild<QWidget*>("Picture1");
    for (int i = 0; i < clicksIn; ++i) zoomIn->click();
    const float low = form.viewport().mZoom;
    bool in = true;
    for (auto _ : state) {
        (in ? zoomIn : zoomOut)->click();
        picture->repaint();
        in = !in;
    }
    if (form.viewport().mZoom != low && form.viewport().mZoom != low + 0.25f)
        state.SkipWithError("the zoom did not alternate between two factors");
    state.counters["zoom_from"] = low;
    state.counters["image_px"] = picture->width() * picture->height();
}

// A small captured sheet, 1.0 <-> 1.25.
void BM_ZoomStep_SmallSheet(benchmark::State& state) { zoomSteps(state, 200, 150, 0); }
// The largest image the size bound allows: 3.75 <-> 4.0, about 263 x 599 pixels.
void BM_ZoomStep_LargestImage(benchmark::State& state) { zoomSteps(state, 66, 150, 11); }

}  // namespace

BENCHMARK(BM_ZoomStep_SmallSheet)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomStep_LargestImage)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
