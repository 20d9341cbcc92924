#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include "platform/Dialogs.h"

// Benchmarks of the windows run headless, with their own configuration and temporary folders.
#define MORROWLIN_BENCHMARK_MAIN()                               \
    int main(int argc, char** argv) {                            \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))      \
            qputenv("QT_QPA_PLATFORM", "offscreen");             \
        QTemporaryDir config, temp;                              \
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit()); \
        qputenv("TEMP", temp.path().toLocal8Bit());              \
        QApplication app(argc, argv);                            \
        platform::Dialogs::setApplicationTitle("Morrowlin");     \
        ::benchmark::Initialize(&argc, argv);                    \
        ::benchmark::RunSpecifiedBenchmarks();                   \
        ::benchmark::Shutdown();                                 \
        return 0;                                                \
    }
