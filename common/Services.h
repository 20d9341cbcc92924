#pragma once

#include <QString>

namespace platform {
class Dialogs;
class RandomSource;
class UrlOpener;
}  // namespace platform

namespace chart {
class SpreadsheetClass;
}

namespace common {

// What the windows use of the world outside: dialogs, the random source, the shell, the
// spreadsheet application class and the program folder. The program passes the real ones; tests
// pass doubles and folders of their own.
struct Services {
    platform::Dialogs* dialogs = nullptr;
    platform::RandomSource* random = nullptr;
    platform::UrlOpener* shell = nullptr;
    chart::SpreadsheetClass* spreadsheets = nullptr;
    QString programFolder;
};

}  // namespace common
