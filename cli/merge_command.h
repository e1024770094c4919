// orvanel-merge: the command line over mergePieces (cli/pieces/merge.h).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Besides those of options.h: the pieces do not make one picture.
inline constexpr int kExitPiecesRefused = 5;

// The program: argv without the program name.
int runMergeCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
