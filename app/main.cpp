// Morrowlin: keeps a list of labelled amounts and turns it into a pie-chart workbook.
#include "app/Main.h"

#include <QApplication>
#include <QSessionManager>
#include <cstdio>

#include "app/Form1.h"
#include "chart/EngineSpreadsheet.h"
#include "platform/QtDialogs.h"
#include "platform/RandomSource.h"
#include "platform/TerminationSignals.h"
#include "platform/UrlOpener.h"

namespace {

// A desktop program needs a display; say so plainly instead of letting the toolkit abort.
bool haveDisplay() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!haveDisplay()) {
        std::fprintf(stderr,
                     "morrowlin: no display found (DISPLAY and WAYLAND_DISPLAY are not set); "
                     "start it from a desktop session, or under Xvfb.\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Morrowlin");
    QApplication::setOrganizationName("Kestrune");
    QApplication::setApplicationDisplayName(Main::kDisplayName);
    QApplication::setQuitOnLastWindowClosed(false);

    platform::QtDialogs dialogs;
    platform::SystemRandom random;
    platform::DesktopUrlOpener shell;
    chart::EngineSpreadsheetClass spreadsheets;

    Services services;
    services.dialogs = &dialogs;
    services.random = &random;
    services.shell = &shell;
    services.spreadsheets = &spreadsheets;
    services.programFolder = Main::programFolder();

    Form1 window(services);
    window.Form_Load();
    window.show();

    // The end of the desktop session and a termination signal end the program as a close does.
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.endProgram(); });
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::requested, &window,
                     &Form1::endProgram);
    return application.exec();
}
