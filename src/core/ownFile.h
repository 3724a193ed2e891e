#pragma once

#include "fileError.h"

#include <string>

// The tool's own files beside the state file (the state file itself, the mark of a click) are
// replaced whole and durably, as the player's are: a crash or a full disk leaves the old file,
// never an empty one.

// Replaces the file with the bytes; a failure is told as a line (fileReport.h) as it happens.
// FileError::None when the bytes are on disk, else why not.
FileError saveOwnFile(const char* name, const std::string& bytes);
