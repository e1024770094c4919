#include "cli/check_command.h"

#include <ostream>
#include <string>

#include "cli/scene_check.h"
#include "cli/scene_input.h"

int runCheckCommand(const CliOptions& options, std::ostream& out, std::ostream& err) {
    std::string text;
    if (!readSceneText(options.scenePath, text)) {
        err << "Could not read file " << options.scenePath << "\n";
        return kExitUnreadableScene;
    }
    const SceneCheck check = checkSceneForPicture(text, options.width);
    for (const SceneProblem& problem : check.problems) out << formatProblem(options.scenePath, problem) << "\n";
    for (const std::string& line : checkSummary(check, options.width)) out << line << "\n";
    return check.problems.empty() ? kExitSuccess : kExitCheckFoundProblems;
}
