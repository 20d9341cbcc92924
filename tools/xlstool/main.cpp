#include <iostream>

#include "XlsTool.h"
#include "platform/ProcessMemory.h"

int main(int argc, char** argv) {
    platform::keepFreedMemoryForReuse();
    std::vector<std::string> args(argv + 1, argv + argc);
    return xlstool::run(args, std::cout, std::cerr);
}
