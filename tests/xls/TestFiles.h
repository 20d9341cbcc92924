#pragma once

#include <string>
#include <vector>

#include "xls/Bytes.h"

namespace xls {
class Workbook;
}

// Files and outside programs for the workbook engine's tests.
namespace xlstest {

std::string dataPath(const std::string& name);  // tests/data/<name>
// A fresh folder for one test, removed by the next call with the same tag and when the test
// program ends.
std::string tempDir(const std::string& tag);
xls::Bytes readBytes(const std::string& path);
void writeBytes(const std::string& path, const xls::Bytes& bytes);

// Runs a shell command; returns its exit status and collects its standard output.
int runCommand(const std::string& command, std::string* output = nullptr);
// Runs the xlrd reader over `path` (every non-empty cell and note, one line each; see
// support/Xlrd.h); returns its exit status, and its standard output and errors in `output`.
int readCellsWithXlrd(const std::string& path, std::string* output);
bool haveSoffice();
// A quoted shell word.
std::string shellQuote(const std::string& s);
// Fails the current test for every sheet of `book` whose cell table breaks an invariant,
// naming the sheet and the fault.
void expectSoundCellTables(const xls::Workbook& book);

}  // namespace xlstest
