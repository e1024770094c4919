// orvanel-merge: the pieces of a picture rendered apart into the whole picture.
#include <iostream>

#include "cli/merge_command.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return runMergeCommandLine(arguments, std::cout, std::cerr);
}
