#pragma once

#include "fileError.h"
#include "filePair.h"

#include <vector>

// Keeping a player's own files aside before a copy replaces them.

// Keeps each source (a live file) at its target (a path in the tool's own folder, whose
// missing folders are created): a hard link where the file system has them, which costs no
// room, else a copy. Every kept file that succeeded is on disk, its name included, when the
// call returns, so a crash after it never loses the file kept. Tells for each pair why it
// failed, or FileError::None.
std::vector<FileError> keepFiles(const std::vector<FilePair>& keeps);
