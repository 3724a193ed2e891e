#pragma once

#include "fileError.h"

// The mark of a click under way: a file of the tool's own beside the state file, made durable
// before a click writes anything and removed, durably, once its batch has ended. A start that
// finds it knows that a click was cut off (killed, or by a power cut) and finishes it.

// The mark's name, as the player is told it.
extern const char kClickMarkName[];

// Makes the mark durable; says so as it fails, and tells why (FileError::None when it is made).
FileError markClickUnderWay();

// True when the mark is gone, durably.
bool clearClickMark();

// Found regardless of letter case, as the state file beside it is.
bool clickMarkFound();
