#pragma once

#include "copyTables.h"
#include "fileError.h"

#include <cstdint>

// The state file "br927.zekconfig" in the working directory: the two settings between runs.
// Every call opens the file afresh and closes it again, so each read sees the last write.

// The name of the state file, as the player is told it.
extern const char kStateFileName[];

// The BinPatch value: the first character of the file as a digit (0 for any other
// character), or -1 when the file is missing or empty.
int32_t getBinPatchState();

// The cab-view value: read from where the first line ends, if it is at most three characters
// long, at most five characters; -1 when the file is missing or nothing follows.
int32_t getCabviewState();

// The value of the button's setting, by the reader above that belongs to it.
int32_t getState(Button button);

// Replaces the file whole with both values ("<binpatch> CR LF <cabview>"), as the tool's own
// files are written (ownFile.h). FileError::None when the pair is on disk; otherwise the file
// is as it was, and the error tells why.
FileError setState(int32_t binpatch, int32_t cabview);
