#include "support/Xlrd.h"

#include <cstdlib>

std::string xlrdReaderScript() {
    return std::string(MORROWLIN_SOURCE_DIR) + "/tests/support/read_workbook.py";
}

bool haveXlrd() {
    return std::system((std::string(kXlrdPython) + " -c 'import xlrd' >/dev/null 2>&1").c_str()) ==
           0;
}
