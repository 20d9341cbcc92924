// xlstool-picture FILE OUT.png: the picture command of xlstool, which starts it in its place.
#include <iostream>

#include "PictureCommand.h"
#include "xls/Error.h"

int main(int argc, char** argv) {
    std::vector<std::string> args{"picture"};
    args.insert(args.end(), argv + 1, argv + argc);
    try {
        return xlstool::picture(args, std::cout, std::cerr);
    } catch (const xls::Error& e) {
        std::cerr << "xlstool: " << e.what() << "\n";
        return 1;
    }
}
