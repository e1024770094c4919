// orvanel-render --check: the scene's problems and a summary, no picture.
#pragma once

#include <iosfwd>

#include "cli/options.h"

// Prints every problem as PATH:LINE:COLUMN: TEXT, then the summary, on
// `out`. Returns 0 when there was none, kExitCheckFoundProblems otherwise,
// kExitUnreadableScene when the scene cannot be read.
int runCheckCommand(const CliOptions& options, std::ostream& out, std::ostream& err);
