#pragma once

#include "fileError.h"

// The mark of a click under way: a file of the tool's own beside the state file, made durable
// before a click writes anything and removed, durably, once its batch has ended. A start that
// finds it knows that a click was cut off (killed, or by a power cut) and finishes it.

// The mark's name, as the player is told it.
extern const char kClickMarkName[];

// Makes the mark durable; says so as it fails, and tells why (FileError::None when it is made).
FileError markClickUnderWay();

// Removes the mark durably, under the spelling found; FileError::None when it is gone.
FileError clearClickMark();

// Found regardless of letter case, as the state file beside it is.
bool clickMarkFound();

// Why no click can be marked while what stands at the mark's name stays there (a folder, say);
// FileError::None when the name is free or holds a mark.
FileError clickMarkBlocked();
