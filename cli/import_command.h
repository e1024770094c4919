// One run of orvanel-import: parse, read the model, write the scene.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

inline constexpr int kImportSuccess = 0;
inline constexpr int kImportUnreadableModel = 1;
inline constexpr int kImportUsage = 2;
inline constexpr int kImportNothingToWrite = 3;  // no triangle left, or no framing for --scene
inline constexpr int kImportWriteFailed = 4;

// `arguments` without the program name. Writes the scene to `out` when
// there is no -o; messages go to `err`.
int runImportCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
