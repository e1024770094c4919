// One run of orvanel-render: load, render, write, report.
#pragma once

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "cli/options.h"

// Everything after parsing. `stop` may be set from a signal handler to
// abandon the render; `interactive` says that `err` is a terminal.
int runRenderCommand(const CliOptions& options, std::ostream& out, std::ostream& err, bool interactive,
                     const std::atomic<bool>* stop = nullptr);

// parseOptions then runRenderCommand, as main does.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err, bool interactive,
                   const std::atomic<bool>* stop = nullptr);
