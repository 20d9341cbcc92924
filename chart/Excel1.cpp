#include "chart/Excel1.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>

#include "common/ErrorTrap.h"
#include "common/Failure.h"
#include "platform/ClipboardContent.h"
#include "platform/Dialogs.h"
#include "platform/PictureFile.h"

namespace Excel1 {

QString runningWarningText() {
    return QString("Excel may be open. It is recommended that you close Excel first.") + "\r" +
           "Use Ctrl+Alt+Del > Task Manager > EXCEL.EXE if necessary." + "\r\n\r\n" +
           "Would you like to proceed anyway?";
}

bool isExcelRunning(chart::SpreadsheetClass& spreadsheets) {
    try {
        const std::unique_ptr<chart::SpreadsheetApplication> running = spreadsheets.GetRunning();
        return running && running->Name() == "Microsoft Excel";
    } catch (...) {
        return false;
    }
}

bool warnIfExcelOpen(chart::SpreadsheetClass& spreadsheets, platform::Dialogs& dialogs) {
    if (!isExcelRunning(spreadsheets)) return false;
    const int answer = dialogs.messageBox(runningWarningText(), platform::kYesNo);
    return answer != platform::kAnswerYes;
}

std::unique_ptr<chart::SpreadsheetApplication> openExcelWorkbook(
    chart::SpreadsheetClass& spreadsheets, const QString& path) {
    std::unique_ptr<chart::SpreadsheetApplication> instance = spreadsheets.CreateNew();
    instance->OpenWorkbook(path);
    return instance;
}

void saveCellsActivesheet(chart::SpreadsheetWorkbook* workbook, const QString& path,
                          platform::Dialogs& dialogs) {
    common::ErrorTrap trap(dialogs, "Excel1.saveCellsActivesheet");
    // What the user had copied is theirs: it goes back once the picture is read.
    const platform::ClipboardKeeper userClipboard;
    chart::SpreadsheetSheet* sheet = nullptr;
    std::unique_ptr<chart::SpreadsheetRange> range;
    trap.step(100, [&] {
        if (workbook == nullptr)
            throw common::Failure("There is no workbook to take the picture from.");
        sheet = &workbook->ActiveSheet();
    });
    trap.step(110, [&] {
        // An old picture must never pass for this one when drawing fails.
        if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->clear();
        if (sheet == nullptr) throw common::Failure("There is no sheet to take the picture from.");
        range = sheet->UsedRange();
        range->CopyPicture();
    });
    trap.step(112, [&] {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        QImage picture = clipboard ? clipboard->image() : QImage();
        // Where the clipboard could not take the picture (a compositor that gives a program
        // without focus no clipboard, no clipboard at all), or kept something else, the picture
        // drawn goes on without it.
        const QImage drawn = range ? range->copiedPicture() : QImage();
        if (!drawn.isNull() && (picture.isNull() || picture.size() != drawn.size()))
            picture = drawn;
        if (picture.isNull()) throw common::Failure("The clipboard holds no picture.");
        QString error;
        if (!platform::savePictureFile(picture, path, &error))
            throw common::Failure(QString("The picture could not be saved as \"%1\": %2.")
                                      .arg(QDir::toNativeSeparators(path), error));
    });
}

}  // namespace Excel1
