#include "cli/scene_input.h"

#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/options.h"

bool loadSceneArgument(const std::string& argument, Scene& scene, Random& generator, SceneDiagnostic* diagnostic) {
    if (argument != kStandardInput) return loadScene(argument, scene, generator, diagnostic);
    generator.seed(1);
    const SceneDiagnostic result = readScene(std::cin, scene);
    if (diagnostic) *diagnostic = result;
    return !std::cin.bad();
}

bool readSceneText(const std::string& argument, std::string& text) {
    std::ostringstream contents;
    if (argument == kStandardInput) {
        contents << std::cin.rdbuf();
    } else {
        struct stat info {};
        if (::stat(argument.c_str(), &info) != 0 || !(S_ISREG(info.st_mode) || S_ISFIFO(info.st_mode))) return false;
        std::ifstream file(argument, std::ios::binary);
        if (!file) return false;
        try {
            contents << file.rdbuf();
        } catch (const std::ios_base::failure&) {
            return false;
        }
    }
    text = std::move(contents).str();
    return true;
}
