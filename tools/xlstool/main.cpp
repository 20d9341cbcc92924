#include <iostream>

#include "XlsTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return xlstool::run(args, std::cout, std::cerr);
}
