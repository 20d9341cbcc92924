#include "app/ChartBuild.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <cmath>
#include <memory>

#include "app/Form1.h"
#include "chart/Excel1.h"
#include "chart/Spreadsheet.h"
#include "chart/Template.h"
#include "common/ErrorTrap.h"
#include "common/Failure.h"
#include "common/Main.h"
#include "common/MousePointer.h"
#include "entries/EntryListModel.h"
#include "platform/Dialogs.h"
#include "platform/RandomSource.h"
#include "platform/TempFolder.h"
#include "platform/WorkingFile.h"
#include "preview/Form2.h"

namespace app {

namespace {

// How many names are drawn before the folder is taken to be full of them.
constexpr int kNameAttempts = 100000;

template <class T>
T& need(T* object, const char* what) {
    if (object == nullptr)
        throw common::Failure(QString("There is no %1 to work with: an earlier step failed.")
                                  .arg(QString::fromLatin1(what)));
    return *object;
}

// What a build of more entries than the pie shows tells the user.
QString chartLimitText(int count) {
    const QLocale english(QLocale::English);
    return QString("The chart shows the first %1 entries; the table holds all %2 entries.")
        .arg(english.toString(chart::kChartEntryLimit), english.toString(count));
}

// Removes a picture file left in the temporary folder; throws when one stays. One that is not
// the user's own is never removed, nor written through.
void removeOldPicture(const QString& path) {
    common::Main::DeleteFileQuietly(path);
    const platform::PathStatus left = platform::pathStatus(path);
    if (left.kind == platform::PathStatus::Missing) return;
    if (left.owner != platform::currentUserId())
        throw common::Failure(
            QString("The picture file \"%1\" was not made by this program: it "
                    "belongs to another account. It is left alone, and no picture "
                    "is saved under its name.")
                .arg(QDir::toNativeSeparators(path)));
    throw common::Failure(QString("The old picture file \"%1\" could not be removed.")
                              .arg(QDir::toNativeSeparators(path)));
}

// Makes the temporary workbook's file, empty and the user's alone, so that the name is this
// build's before the workbook is saved over it.
void reserveWorkbookName(const QString& path) {
    QString error;
    if (!platform::createPrivateFile(path, &error))
        throw common::Failure(QString("The temporary workbook \"%1\" could not be created: %2.")
                                  .arg(QDir::toNativeSeparators(path), error));
}

}  // namespace

ChartBuild::ChartBuild(Form1& form, const common::Services& services)
    : form_(form), services_(services) {}

QString ChartBuild::drawWorkbookName(platform::RandomSource& random) {
    QString name = QStringLiteral("tkvane");
    for (int i = 0; i < 8; ++i) {
        random.reseedFromTimer();
        int digit = int(std::floor(random.next() * 9.0)) + 1;
        if (digit < 1) digit = 1;
        if (digit > 9) digit = 9;
        name += QChar('0' + digit);
    }
    return name;
}

void ChartBuild::run() {
    platform::Dialogs& dialogs = *services_.dialogs;
    common::ErrorTrap trap(dialogs, "Form1.PushButton1_Click");
    common::MousePointer& pointer = form_.mousePointer();
    EntryListModel& entries = form_.entries();

    bool stop = false;
    trap.step(100, [&] { stop = Excel1::warnIfExcelOpen(*services_.spreadsheets, dialogs); });
    if (stop) return;

    const QString folder = platform::temporaryFolder();
    QString templatePath = QDir(folder).filePath(kTemplateFileName);
    const QString picturePath = QDir(folder).filePath(kPictureFileName);
    QByteArray templateBytes;
    std::unique_ptr<chart::SpreadsheetApplication> instance;
    std::shared_ptr<chart::SpreadsheetWorkbook> book;

    trap.step(102, [&] { pointer.set(common::MousePointer::Hourglass); });
    trap.step(104, [&] { templateBytes = chart::TemplateBytes(); });
    trap.step(106, [&] { chart::WriteTemplateCopy(templateBytes, templatePath); });
    trap.step(108, [&] { instance = services_.spreadsheets->CreateNew(); });
    trap.step(110, [&] {
        book = need(instance.get(), "spreadsheet application").OpenWorkbook(templatePath);
    });

    // The template's six sample rows are cleared, labels first, then amounts.
    int line = 112;
    for (int column = 1; column <= 2; ++column) {
        for (int row = 4; row <= 9; ++row, line += 2) {
            trap.step(line, [&] {
                need(book.get(), "workbook").ActiveSheet().setCellValue(row, column, "");
            });
        }
    }

    int count = 0;
    trap.step(136, [&] { count = entries.count(); });
    for (int i = 1; i <= count; ++i) {
        trap.step(138, [&] {
            need(book.get(), "workbook")
                .ActiveSheet()
                .setCellValue(i + 3, 1, entries.at(i - 1).label);
        });
        trap.step(140, [&] {
            need(book.get(), "workbook")
                .ActiveSheet()
                .setCellValue(i + 3, 2, entries.at(i - 1).amount);
        });
        trap.step(142, [&] {
            need(book.get(), "workbook").ActiveSheet().setCellNumberFormat(i + 3, 2, kAmountFormat);
        });
    }
    trap.step(146, [&] { pointer.set(common::MousePointer::Default); });

    QString workbookPath;
    for (int attempt = 0;; ++attempt) {
        const QString name = drawWorkbookName(*services_.random);
        workbookPath = QDir(folder).filePath(name + ".xls");
        const bool taken = trap.test(162, [&] {
            if (attempt >= kNameAttempts)
                throw common::Failure(
                    QString("No free name for the temporary workbook was found in "
                            "\"%1\".")
                        .arg(QDir::toNativeSeparators(folder)));
            return common::Main::FileExists(workbookPath) ||
                   platform::pathStatus(workbookPath).kind != platform::PathStatus::Missing;
        });
        if (!taken || attempt >= kNameAttempts) break;
    }

    trap.step(164, [&] {
        chart::SpreadsheetWorkbook& workbook = need(book.get(), "workbook");
        reserveWorkbookName(workbookPath);
        try {
            workbook.SaveAs(workbookPath);
        } catch (...) {
            platform::removeOwnFile(workbookPath);
            throw;
        }
    });
    trap.step(166,
              [&] { need(instance.get(), "spreadsheet application").setDisplayAlerts(false); });
    trap.step(168, [&] { need(book.get(), "workbook").Close(); });
    trap.step(170, [&] { need(instance.get(), "spreadsheet application").Quit(); });
    trap.step(172, [&] {
        book.reset();
        instance.reset();
    });
    // The workbook is saved: a list longer than the pie shows is told once, before the Preview.
    trap.step(174, [&] {
        if (count > chart::kChartEntryLimit)
            dialogs.messageBox(chartLimitText(count), platform::kOkOnly);
    });
    trap.step(176, [&] { common::Main::DeleteFileQuietly(templatePath); });

    std::unique_ptr<chart::SpreadsheetApplication> pictureInstance;
    std::shared_ptr<chart::SpreadsheetWorkbook> pictureBook;
    trap.step(178, [&] {
        pictureInstance = Excel1::openExcelWorkbook(*services_.spreadsheets, workbookPath);
    });
    trap.step(180, [&] { pointer.set(common::MousePointer::Hourglass); });
    trap.step(182, [&] {
        chart::SpreadsheetApplication& app = need(pictureInstance.get(), "spreadsheet application");
        pictureBook = app.Workbook(app.WorkbookCount());
    });
    // A picture file left by anything else must never pass for this build's picture: it goes
    // first, and a build that could not remove it shows no picture.
    const bool pictureTaken = trap.step(184, [&] {
        removeOldPicture(picturePath);
        Excel1::saveCellsActivesheet(pictureBook.get(), picturePath, dialogs);
    });
    trap.step(186, [&] {
        need(pictureInstance.get(), "spreadsheet application").setDisplayAlerts(false);
    });
    trap.step(188, [&] { need(pictureBook.get(), "workbook").Close(); });
    trap.step(190, [&] { need(pictureInstance.get(), "spreadsheet application").Quit(); });
    pictureBook.reset();
    pictureInstance.reset();
    trap.step(192, [&] { pointer.set(common::MousePointer::Default); });

    trap.step(194, [&] {
        if (!pictureTaken) {
            form_.preview()->loadPicture(QImage());
            throw common::Failure("No picture of the sheet was taken, so none is shown.");
        }
        form_.preview()->loadPictureFile(picturePath);
    });
    trap.step(196, [&] { form_.preview()->mExcelFile = workbookPath; });
    trap.step(198, [&] { form_.preview()->show(); });
    trap.step(200, [&] { form_.hide(); });
    trap.step(202, [&] { common::Main::DeleteFileQuietly(picturePath); });
    trap.step(212, [&] {
        if (const std::optional<QString> failure = form_.StoreEntries())
            throw common::Failure(*failure);
    });
}

}  // namespace app
