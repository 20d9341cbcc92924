#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace xlstool {

// "picture FILE OUT.png [--chart | --sheet]": draws the active sheet's used range as the program
// shows it (with --chart: the sheet's first chart alone, OUT ending in .png, .svg or .pdf; with
// --sheet: the cells from A1 with every chart drawn over them, a chart of a kind not drawn named
// on `err`) and saves it. Starts a headless GUI application for the fonts when none runs.
// Returns the exit status.
int picture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace xlstool
