// orvanel-import: converts a 3D model into a scene file.
#include <iostream>

#include "cli/import_command.h"

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return runImportCommand(arguments, std::cout, std::cerr);
}
