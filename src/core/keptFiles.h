#pragma once

#include "copyTables.h"

#include <string>
#include <vector>

// Keeping the player's own changes aside before a copy replaces them: which live files hold
// bytes that no variant holds, and where each one is kept.

// Where changed files are kept, in the working directory: a folder per command below it.
constexpr char kKeptRoot[] = "Sicherungen";

// For each step, whether its copy would destroy bytes that no variant of its target holds: the
// live file is a regular file holding none of the files that any batch copies onto it (the
// player changed it), and the step's source is there to replace it.
std::vector<bool> changedByPlayer(const std::vector<CopyStep>& steps);

// A folder of the command's own for the files it keeps, named by the local time to the
// second, with a suffix where an earlier command took that name. It is not made here.
std::string newKeptFolder();

// Where each live file is kept in the folder: at its path below the simulator's root as the
// disk spells it, so that it goes back by hand to the very folders it came from.
std::vector<std::string> keptPaths(const std::string& folder, const std::vector<std::string>& liveFiles);
