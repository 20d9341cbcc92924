// Morrowlin: keeps a list of labelled amounts and turns it into a pie-chart workbook.
#include "common/Main.h"

#include <QApplication>
#include <QStandardPaths>
#include <cstdio>
#if QT_CONFIG(sessionmanager)
#include <QSessionManager>
#endif

#include "app/DisplayCheck.h"
#include "app/Form1.h"
#include "chart/EngineSpreadsheet.h"
#include "common/Amounts.h"
#include "platform/ProcessMemory.h"
#include "platform/QtDialogs.h"
#include "platform/RandomSource.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignals.h"
#include "platform/UrlOpener.h"
#include "preview/Form2.h"
#include "xls/draw/BundledFonts.h"

namespace {

// Every window draws with the bundled fonts: the families the windows name map to them, and
// message boxes and prompts get the bundled sans serif at the desktop's size. Only the sans serif
// the main window uses is read before it is shown; the other families are read when a picture
// is first drawn with them (a millisecond), so a start that never builds never maps them.
void useBundledFonts() {
    QFont font = xls::draw::bundledFont(QStringLiteral("Microsoft Sans Serif"));
    const QFont desktop = QApplication::font();
    if (desktop.pointSizeF() > 0)
        font.setPointSizeF(desktop.pointSizeF());
    else
        font.setPixelSize(desktop.pixelSize());
    QApplication::setFont(font);
}

// The window the user works in (the Preview while it is shown, else the main window), raised
// and activated as a later start asks.
void bringToFront(Form1& window) {
    QWidget* shown = &window;
    if (QWidget* preview = window.previewIfLoaded(); preview && preview->isVisible())
        shown = preview;
    if (!shown->isVisible()) return;  // the program is ending
    shown->setWindowState(shown->windowState() & ~Qt::WindowMinimized);
    shown->raise();
    shown->activateWindow();
}

}  // namespace

int main(int argc, char* argv[]) {
    platform::keepFreedMemoryForReuse();
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
#ifdef MORROWLIN_DESKTOP_FILE_NAME
    QGuiApplication::setDesktopFileName(QStringLiteral(MORROWLIN_DESKTOP_FILE_NAME));
#endif
    QApplication::setQuitOnLastWindowClosed(false);
    // One copy per user: a second start brings the running copy's window to the front and
    // ends, so that no copy overwrites the list another one stored.
    platform::SingleInstance instance(
        QStringLiteral("Morrowlin"),
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    if (instance.anotherCopyRuns()) return 0;
    useBundledFonts();
    // Amounts are read as the user writes numbers (LC_NUMERIC).
    common::setAmountLocale(QLocale::system());

    platform::QtDialogs dialogs;
    platform::SystemRandom random;
    platform::DesktopUrlOpener shell;
    chart::EngineSpreadsheetClass spreadsheets;

    common::Services services;
    services.dialogs = &dialogs;
    services.random = &random;
    services.shell = &shell;
    services.spreadsheets = &spreadsheets;
    services.programFolder = common::Main::programFolder();

    Form1 window(services);
    window.Form_Load();
    window.show();
    QObject::connect(&instance, &platform::SingleInstance::activationRequested, &window,
                     [&window] { bringToFront(window); });

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
