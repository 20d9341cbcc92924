// Test main for the programs that need a QApplication: headless, with the application title set
// as the program sets it.
#include <gtest/gtest.h>

#include <QApplication>

#include "platform/Dialogs.h"
#include "platform/OutputDevices.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::Dialogs::setApplicationTitle("Morrowlin");
    // The test programs do not live beside the printing and SVG module.
    platform::useOutputModuleFrom(MORROWLIN_OUTPUT_MODULE_DIR);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
