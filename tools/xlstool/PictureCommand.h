#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace xlstool {

// "picture FILE OUT.png": draws the active sheet's used range as the program shows it and saves
// it as a PNG. Starts a headless GUI application for the fonts when none runs. Returns the exit
// status.
int picture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace xlstool
