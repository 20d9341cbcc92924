// Morrowlin: keeps a list of labelled amounts and turns it into a pie-chart workbook.
#include "common/Main.h"

#include <QApplication>
#include <cstdio>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include "app/DisplayCheck.h"
#include "app/Form1.h"
#include "chart/EngineSpreadsheet.h"
#include "common/Amounts.h"
#include "platform/QtDialogs.h"
#include "platform/RandomSource.h"
#include "platform/TerminationSignals.h"
#include "platform/UrlOpener.h"
#include "xls/draw/BundledFonts.h"

namespace {

// Every window draws with the bundled fonts: the families the windows name map to them, and
// message boxes and prompts get the bundled sans serif at the desktop's size.
void useBundledFonts() {
    xlsdraw::registerBundledFonts();
    QFont font = xlsdraw::bundledFont(QStringLiteral("Microsoft Sans Serif"));
    const QFont desktop = QApplication::font();
    if (desktop.pointSizeF() > 0)
        font.setPointSizeF(desktop.pointSizeF());
    else
        font.setPixelSize(desktop.pixelSize());
    QApplication::setFont(font);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Without a display, or with one that cannot be reached, one plain line instead of the
    // toolkit's abort.
    if (const std::optional<std::string> line = app::noDisplayNamed()) {
        std::fputs(line->c_str(), stderr);
        return app::kNoDisplayStatus;
    }
    app::DisplayConnection connection;
    QApplication application(argc, argv);
    connection.established();
    QApplication::setApplicationName("Morrowlin");
    QApplication::setOrganizationName("Kestrune");
    QApplication::setQuitOnLastWindowClosed(false);
    useBundledFonts();
    // Amounts are read as the user writes numbers (LC_NUMERIC).
    app::setAmountLocale(QLocale::system());

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
#if QT_CONFIG(sessionmanager)
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.endProgram(); });
#endif
    platform::TerminationSignals termination;
    QObject::connect(&termination, &platform::TerminationSignals::requested, &window,
                     &Form1::endProgram);
    return application.exec();
}
