#pragma once

#include "fileError.h"

#include <cstddef>
#include <string>
#include <vector>

// Removing the tool's own files: its mark of a click under way, and new files that a killed
// click or a power cut left behind.

// Removes the file at path, spelt as written, and makes its removal durable. FileError::None
// when it is gone (also when it was not there), else why it is not.
FileError removeFileDurably(const char* path);

// Removes every new file of a replacement (named with kNewFileSuffix) in the folders, each
// found regardless of letter case; a folder that is not there is passed over. Only a holder
// of the click lock may call it: no other click can be filling one of them. Tells how many it
// removed.
size_t removeLeftovers(const std::vector<std::string>& folders);

// The same in the folder and in every folder below it, found as written (the tool's own
// folder of kept files, whose copies are put in place as new files too).
size_t removeLeftoversBelow(const char* folder);
