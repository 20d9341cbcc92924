#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace xls {
class Workbook;
}

namespace xlstool {

// "A1" style address of a 0-based cell, and back (false for a text that is not an address).
std::string cellAddress(int row, int col);
bool parseAddress(const std::string& text, int& row, int& col);

// Writes every sheet (the active one marked), its used range and one line per cell: address,
// kind, value, number format.
void dump(const xls::Workbook& book, std::ostream& out);

// Runs the tool; returns the exit status. args excludes the program name.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace xlstool
