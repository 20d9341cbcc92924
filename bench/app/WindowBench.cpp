// Speed of the things a user waits for: storing and loading the list, starting the main window,
// and a chart build from the press to the shown Preview.
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QTreeView>
#include <memory>
#include <vector>

#include "BareWindow.h"
#include "BenchMain.h"
#include "app/Form1.h"
#include "chart/EngineSpreadsheet.h"
#include "entries/EntryCodec.h"
#include "entries/EntryListModel.h"
#include "platform/RandomSource.h"
#include "platform/SettingsStore.h"
#include "preview/Form2.h"
#include "support/Doubles.h"

namespace {

struct World {
    platform::ScriptedDialogs dialogs;
    platform::SystemRandom random;
    RecordingOpener shell;
    chart::EngineSpreadsheetClass engine;
    QTemporaryDir programFolder;
    common::Services services() {
        common::Services s;
        s.dialogs = &dialogs;
        s.random = &random;
        s.shell = &shell;
        s.spreadsheets = &engine;
        s.programFolder = programFolder.path();
        return s;
    }
};

EntryList entriesOf(int count) {
    EntryList list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
        list.append({QString("Asset number %1").arg(i), QString::number(1000 + i * 37)});
    return list;
}

void storeText(const QString& text) {
    platform::SettingsStore::write(EntryCodec::kApplication, EntryCodec::kSection, EntryCodec::kKey,
                                   text);
}

// EncodeEntries and the write of the settings file, as a close request does it.
void BM_EncodeAndStore(benchmark::State& state) {
    World world;
    Form1 form(world.services());
    form.entries().appendAll(entriesOf(int(state.range(0))));
    for (auto _ : state) {
        const auto failure = form.StoreEntries();
        if (failure) state.SkipWithError(failure->toStdString().c_str());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_EncodeAndStore)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// LoadEntries: read the settings file, split the text, fill the list.
void BM_LoadEntries(benchmark::State& state) {
    World world;
    storeText(EntryCodec::EncodeEntries(entriesOf(int(state.range(0)))));
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<Form1>(world.services());
        state.ResumeTiming();
        form->LoadEntries();
        benchmark::DoNotOptimize(form->entries().count());
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_LoadEntries)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(32767)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// Start-up: create the main window, run its start-up sequence and show it.
void BM_StartUp(benchmark::State& state) {
    World world;
    storeText(EntryCodec::DefaultStoredText());
    for (auto _ : state) {
        Form1 form(world.services());
        form.Form_Load();
        form.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(form.isVisible());
    }
}
BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond);

// Beside it, the bare toolkit: a window of the same size with the same widgets (a two-column list
// of the six samples and seven buttons with the same captions), made, shown and painted, without
// the program's start-up steps. BM_StartUp over this is the program's own share.
void BM_BareWindow(benchmark::State& state) {
    for (auto _ : state) {
        BareWindow bare;
        bare.window.show();
        QCoreApplication::processEvents();
        benchmark::DoNotOptimize(bare.window.isVisible());
    }
}
BENCHMARK(BM_BareWindow)->Unit(benchmark::kMillisecond);

// "Start Creating Template" up to the shown Preview, then "< Back" outside the timing.
void BM_BuildToPreview(benchmark::State& state) {
    World world;
    Form1 form(world.services());
    form.entries().appendAll(entriesOf(int(state.range(0))));
    form.show();
    for (auto _ : state) {
        form.PushButton1_Click();
        QCoreApplication::processEvents();
        state.PauseTiming();
        if (!form.previewIfLoaded() || !form.previewIfLoaded()->isVisible())
            state.SkipWithError("the Preview window did not show");
        form.previewIfLoaded()->PushButton8_Click();
        // The main window, shown again, paints now, as it does before the user can press again.
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildToPreview)->Arg(6)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

MORROWLIN_BENCHMARK_MAIN()
